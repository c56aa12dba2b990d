#pragma once
// The search pane and the bookmark tree in the collection column, wired to the site tree,
// the browser and the window: results and bookmarks open their files there, the tree's and
// the browser's "Создать Закладку" / "Закладка" file bookmarks here, and the web-search
// switch sits beside the address box.

#include <functional>
#include <memory>
#include <string>

#include "main/collection/bookmarks.h"
#include "main/collection/collection_search.h"
#include "main/collection/tree_search.h"
#include "main/collection/web_search.h"

#include <QTimer>

namespace orv {

class OrvApp;
class OrvMainWindow;
struct CollectionPage;
class SearchPane;
class RemarkList;
class CollectionBrowser;

struct SearchPage {
  explicit SearchPage(CollectionPage& collection);
  ~SearchPage();

  // Builds the panes and installs them, with the web-search switch before the address box.
  void Install(OrvMainWindow& window, OrvApp& app);
  // Builds the two panes without a window (the caller owns them); Install uses it.
  void BuildPanes(ExchangeSink& exchange, std::function<void(const std::string& utf8)> status = {},
                  std::function<void(const std::string&, const std::string&)> sizeFieldsChanged = {});
  // The site tree's first level was built from root: the bookmarks of root are shown, and
  // the results are forgotten when the root is another one.
  void TreeBuilt(const std::string& root);
  // Bookmarks a file of the collection (the tree's current file, a browser page, a channel's file).
  bool Bookmark(const std::string& localPath);
  // The site tree's "Создать Закладку": the file last opened in the tree.
  bool BookmarkCurrentFile();
  // The channel list's "Создать Закладку": the local file of a channel's address.
  bool BookmarkAddress(const std::string& address);
  // Shutdown: the bookmarks are written.
  void Save();
  // A result clicked: its node is selected in the site tree and opened (a site not opened
  // yet is read first).
  void OpenResult(const std::string& key);
  // A bookmark clicked: its site is opened (and read when needed), then its file is selected
  // in the tree and shown in the browser.
  void OpenBookmark(const std::string& key);
  // What a search covers: the subtree chosen in the site tree.
  SearchScope Scope() const;

  CollectionPage& collection;
  TreeInterrupt interrupt;
  CollectionSearch search{interrupt};
  BookmarkModel bookmarks;
  std::unique_ptr<WebSearchMode> webSearch;
  SearchPane* searchPane = nullptr;  // owned by the window
  RemarkList* remarkList = nullptr;  // owned by the window
  CollectionBrowser* browser = nullptr;  // where bookmarks are shown: the collection's browser

 private:
  std::string shownRoot_;
  QTimer waitForSite_;
  void OpenWhenSiteRead(const std::string& key, QWidget* focus);

  std::string pendingBookmark_;
  QWidget* focusAfterWait_ = nullptr;
  int waitTicks_ = 0;
};

}  // namespace orv
