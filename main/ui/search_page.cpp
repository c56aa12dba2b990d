#include "main/ui/search_page.h"

#include <QCoreApplication>

#include "common/text.h"
#include "main/collection/node_kinds.h"
#include "main/ui/collection_icons.h"
#include "main/ui/collection_page.h"
#include "main/ui/browser_pane.h"
#include "main/ui/collection_tree_pane.h"
#include "main/ui/main_window.h"
#include "main/app/orv_app.h"
#include "main/ui/remark_list.h"
#include "main/ui/search_pane.h"
#include "main/ui/web_search_switch.h"

namespace orv {
namespace {

constexpr int kStatusLinePanel = 5;
// A bookmarked site is read in steps by the tree pane; its file is looked for when it is done.
constexpr int kSiteWaitMs = 50;
constexpr int kSiteWaitTicks = 1200;

std::string NameOf(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

SearchPage::SearchPage(CollectionPage& page) : collection(page), interrupt(page.tree) {
  waitForSite_.setInterval(kSiteWaitMs);
}

SearchPage::~SearchPage() = default;

void SearchPage::Install(OrvMainWindow& window, OrvApp& app) {
  browser = collection.browser;
  BuildPanes(
      app.Program().ExchangeRecords(),
      [&app](const std::string& utf8) { app.Status().Show(kStatusLinePanel, Utf8ToCp1251(utf8)); },
      [&window](const std::string& from, const std::string& to) { window.SetSearchSizeFields(from, to); });
  searchPane->SetSizeFields(window.SearchSizeFieldX(), window.SearchSizeFieldY());
  window.InstallPane(Pane::Search, searchPane);
  window.InstallPane(Pane::Bookmarks, remarkList);
  window.InstallAddressSwitch(new WebSearchSwitch(*webSearch, [&window] { window.FocusAddressBox(); }));
}

void SearchPage::BuildPanes(ExchangeSink& exchange, std::function<void(const std::string&)> status,
                            std::function<void(const std::string&, const std::string&)> sizeFieldsChanged) {
  webSearch = std::make_unique<WebSearchMode>(exchange);

  SearchPane::Ports ports;
  ports.openResult = [this](const std::string& key) { OpenResult(key); };
  ports.scope = [this] { return Scope(); };
  ports.showStatus = std::move(status);
  ports.icon = [](int image) { return CollectionIcon(image); };
  ports.sizeFieldsChanged = std::move(sizeFieldsChanged);
  searchPane = new SearchPane(search, ports);

  RemarkList::Ports marks;
  marks.lastOpenedFile = [this]() -> std::optional<BookmarkTarget> {
    const auto& c = collection.current;
    if (!c.set || !collection::IsFileImage(c.image)) return std::nullopt;
    return BookmarkTarget{c.key, c.text, c.image, c.image};
  };
  marks.openBookmark = [this](const std::string& key) { OpenBookmark(key); };
  marks.icon = [](int image) { return CollectionIcon(image); };
  remarkList = new RemarkList(bookmarks, marks);

  QObject::connect(&waitForSite_, &QTimer::timeout, [this] {
    if (collection.treePane->Busy() && ++waitTicks_ < kSiteWaitTicks) return;
    waitForSite_.stop();
    collection::NodeId file = collection.tree.Find(pendingBookmark_);
    if (collection.tree.Alive(file)) collection.treePane->Reveal(file);
    if (browser) browser->ShowLocalPath(pendingBookmark_);
    if (focusAfterWait_) focusAfterWait_->setFocus();
  });
}

void SearchPage::TreeBuilt(const std::string& root) {
  if (root != shownRoot_) {
    search.Clear();
    if (searchPane) searchPane->ShowResults();
    shownRoot_ = root;
  }
  bookmarks.Load(root);
}

bool SearchPage::Bookmark(const std::string& localPath) {
  if (!remarkList) return false;
  BookmarkTarget target{localPath, NameOf(localPath), collection::FileKindImage(NameOf(localPath)), 0};
  collection::NodeId id = collection.tree.Find(localPath);
  if (collection.tree.Alive(id)) {
    const auto& node = collection.tree.Node(id);
    target.text = node.text;
    target.image = node.image;
  }
  target.selectedImage = target.image;
  return remarkList->CreateBookmark(target);
}

bool SearchPage::BookmarkCurrentFile() { return remarkList && remarkList->CreateBookmarkOfLastFile(); }

bool SearchPage::BookmarkAddress(const std::string& address) {
  auto path = BookmarkPathOfAddress(address, collection.tree.Root());
  return path && Bookmark(*path);
}

void SearchPage::Save() { bookmarks.Save(); }

SearchScope SearchPage::Scope() const { return SearchScopeOf(collection.tree, collection.current); }

void SearchPage::OpenResult(const std::string& key) {
  if (!collection.treePane) return;
  collection::NodeId id = collection.tree.Find(key);
  if (!collection.tree.Alive(id)) return OpenWhenSiteRead(key, searchPane ? searchPane->SearchList : nullptr);
  collection.treePane->Reveal(id);
  collection.treePane->Open(id);
}

void SearchPage::OpenBookmark(const std::string& key) { OpenWhenSiteRead(key, remarkList); }

void SearchPage::OpenWhenSiteRead(const std::string& key, QWidget* focus) {
  if (!collection.treePane) return;
  for (collection::NodeId site : collection.tree.Sites()) {
    const std::string& siteKey = collection.tree.Node(site).key;
    if (key.compare(0, siteKey.size(), siteKey) == 0) {
      collection.treePane->Open(site);  // reads the site's folders when they are not loaded yet
      break;
    }
  }
  pendingBookmark_ = key;
  focusAfterWait_ = focus;
  waitTicks_ = 0;
  waitForSite_.start();
}

}  // namespace orv
