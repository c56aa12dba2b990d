#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPushButton>
#include <QMenu>
#include <QNetworkCookie>
#include <QTest>
#include <QTreeView>
#include <QWebEngineView>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>

#include "main/collection/collection_tree.h"
#include "main/ui/browser_pane.h"
#include "main/ui/collection_page.h"
#include "main/ui/main_window.h"
#include "main/ui/panes.h"
#include "main/ui/collection_tree_model.h"
#include "main/ui/collection_tree_pane.h"
#include "platform/file_attributes.h"
#include "tests/support/http_test_server.h"
#include "tests/support/temp_folder.h"

namespace orv {
namespace {

namespace fs = std::filesystem;
using collection::NodeId;

void Put(const std::string& path, const std::string& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

bool WaitFor(const std::function<bool()>& done, int ms = 30000) {
  for (int waited = 0; waited < ms; waited += 20) {
    if (done()) return true;
    QTest::qWait(20);
  }
  return done();
}

QAction* FindAction(QMenu* menu, const QString& name) {
  for (QAction* a : menu->findChildren<QAction*>()) {
    if (a->objectName() == name) return a;
  }
  return nullptr;
}

// What the window would show, recorded.
struct Window {
  QString address = "untouched", caption, status;
  std::vector<std::string> addedToScript, loginsAsked;
  CollectionPorts Ports() {
    CollectionPorts p;
    p.setAddressBar = [this](const QString& a) { address = a; };
    p.setCaption = [this](const QString& c) { caption = c; };
    p.setStatus = [this](const QString& s) { status = s; };
    p.addToScript = [this](const std::string& a) {
      addedToScript.push_back(a);
      return collection::ScriptTake{collection::ScriptTakeOutcome::Added, 3};
    };
    p.createBookmark = [] {};
    p.logIn = [this](const std::string& a) { loginsAsked.push_back(a); };
    return p;
  }
};

class RecordingBrowser : public CollectionBrowser {
 public:
  void ShowLocalPath(const std::string& path) override { shown.push_back(path); }
  void RefreshCurrent() override { ++refreshes; }
  std::vector<std::string> shown;
  int refreshes = 0;
};

class CollectionPaneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root = folder.Dir() + "coll/";
    site = root + "docs.example.org/";
    Put(site + "index.html",
        "<html><head><title>Docs</title></head><body>"
        "<a id=\"inside\" href=\"guide/intro.html\">intro</a> "
        "<a id=\"outside\" href=\"never/fetched.html\">gone</a> "
        "<a id=\"partial\" href=\"big.zip\">zip</a></body></html>");
    Put(site + "guide/intro.html", "<html><head><title>Intro</title></head><body>intro</body></html>");
    Put(site + "big.zip", "PK");
    ASSERT_TRUE(SetSystemMark(site + "big.zip"));
    Put(root + "other.net/a.txt", "a");
    tree.BuildFirstLevel(root);
  }

  orvtest::TempFolder folder;
  std::string root, site;
  collection::CollectionTree tree;
  collection::CurrentNode current;
  Window window;
};

TEST_F(CollectionPaneTest, ClickingASiteReadsItOnceAndTheTreeCommandsFollowThePopupRules) {
  RecordingBrowser browser;
  CollectionTreePane pane(tree, current, window.Ports());
  pane.SetBrowser(&browser);
  pane.resize(300, 400);
  pane.show();
  QTreeView* view = pane.TreeView();
  EXPECT_EQ(view->accessibleName(), "TTree");
  view->expand(pane.Model().IndexOf(tree.RootNode()));

  NodeId siteNode = tree.Find(site);
  QModelIndex siteIndex = pane.Model().IndexOf(siteNode);
  ASSERT_TRUE(siteIndex.isValid());
  EXPECT_EQ(siteIndex.data().toString(), "docs.example.org");
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(siteIndex).center());
  ASSERT_TRUE(WaitFor([&] { return !pane.Busy() && tree.Node(siteNode).children.size() == 3; }));
  // The site opens on its start page, not on a listing of its folder.
  EXPECT_EQ(browser.shown, std::vector<std::string>{site + "index.html"});
  EXPECT_TRUE(view->isExpanded(pane.Model().IndexOf(siteNode)));
  std::size_t nodes = tree.NodeCount();
  if (const char* dir = std::getenv("ORV_SCREENSHOT_DIR")) {
    view->expandAll();
    pane.grab().save(QString(dir) + "/collection_tree.png");
  }

  // "Обновить" on a file refreshes the browser and leaves the tree alone.
  NodeId file = tree.Find(site + "index.html");
  pane.Reveal(file);
  collection::SelectNode(tree, current, file);
  std::unique_ptr<QMenu> popup(pane.BuildPopup(file));
  QAction* refresh = FindAction(popup.get(), "Обновить Окно");
  ASSERT_NE(refresh, nullptr);
  refresh->trigger();
  EXPECT_EQ(browser.refreshes, 1);
  EXPECT_EQ(tree.NodeCount(), nodes);
  EXPECT_TRUE(FindAction(popup.get(), "Создать Закладку")->isEnabled());
  EXPECT_FALSE(FindAction(popup.get(), "Обновить Всю Структуру")->isEnabled());

  // The keyboard commands ask the same rules: Ctrl+O is refused on a file, Ctrl+U copies.
  std::map<QChar, CollectionTreePane::KeyCommand> keys;
  for (auto& k : pane.KeyCommands()) keys[k.letter] = k;
  ASSERT_EQ(keys.size(), 8u);
  EXPECT_FALSE(keys['O'].enabled());
  EXPECT_TRUE(keys['U'].enabled());
  EXPECT_TRUE(keys['U'].run());
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "http://docs.example.org/index.html");

  // On the site node: "Обновить Папку Сайта" rereads it; bookmarks are for files only.
  pane.Reveal(siteNode);
  collection::SelectNode(tree, current, siteNode);
  popup.reset(pane.BuildPopup(siteNode));
  EXPECT_FALSE(FindAction(popup.get(), "Создать Закладку")->isEnabled());
  // "Войти на сайт…" asks for a login on the site's live address.
  FindAction(popup.get(), "Войти на сайт…")->trigger();
  EXPECT_EQ(window.loginsAsked, std::vector<std::string>{"http://docs.example.org/"});
  fs::remove(site + "guide/intro.html");
  FindAction(popup.get(), "Обновить Папку Сайта")->trigger();
  ASSERT_TRUE(WaitFor([&] { return !pane.Busy(); }));
  EXPECT_EQ(tree.Find(site + "guide/intro.html"), collection::kNoNode);
  EXPECT_NE(tree.Find(site + "guide/"), collection::kNoNode);

  // Ctrl+D sends the branch to the trash and removes the node.
  qputenv("XDG_DATA_HOME", QByteArray::fromStdString(folder.Dir() + "data"));
  NodeId guide = tree.Find(site + "guide/");
  pane.Reveal(guide);
  EXPECT_TRUE(keys['D'].enabled());
  EXPECT_TRUE(keys['D'].run());
  EXPECT_EQ(tree.Find(site + "guide/"), collection::kNoNode);
  EXPECT_FALSE(fs::exists(site + "guide"));
  // Into the user's trash (whose folder did not exist yet), not the current folder.
  EXPECT_TRUE(fs::exists(folder.Dir() + "data/Trash/files/guide"));
  EXPECT_FALSE(fs::exists("info/guide.trashinfo"));
}

// A large site is read in steps of 100 entries with the busy panel in the tree's place; the
// user's stop ends the read with what was read so far, and a refresh reads the rest.
TEST_F(CollectionPaneTest, TheUsersStopEndsASiteReadInBusyMode) {
  const std::string big = root + "big.example.net/";
  for (int f = 0; f < 30; ++f) {
    for (int k = 0; k < 100; ++k) Put(big + "d" + std::to_string(f) + "/p" + std::to_string(k) + ".html", "");
  }
  tree.BuildFirstLevel(root);
  RecordingBrowser browser;
  std::vector<bool> busyChanges;
  CollectionPorts ports = window.Ports();
  ports.busyChanged = [&](bool on) { busyChanges.push_back(on); };
  CollectionTreePane pane(tree, current, ports);
  pane.SetBrowser(&browser);
  pane.resize(300, 400);
  pane.show();
  auto* label = pane.findChild<QLabel*>("BusyLabel");
  auto* stop = pane.findChild<QPushButton*>("TreeStop");
  ASSERT_TRUE(label && stop);
  EXPECT_FALSE(stop->isVisible());

  pane.RequestStop();  // nothing runs: not kept for the read below
  NodeId siteNode = tree.Find(big);
  pane.TreeView()->setFocus();
  pane.Open(siteNode);
  ASSERT_TRUE(pane.Busy());
  EXPECT_FALSE(pane.TreeView()->isVisible());
  EXPECT_TRUE(label->isVisible());
  EXPECT_TRUE(stop->isVisible());
  EXPECT_EQ(label->text(), "  работа...\n");
  // One timer tick: one step of 100 entries, then the label shows the count and the folder.
  while (tree.EntriesRead() == 0) QCoreApplication::processEvents();
  EXPECT_EQ(tree.EntriesRead(), 100u);
  EXPECT_EQ(label->text().section('\n', 1, 1), "прочитано: 100");

  QTest::mouseClick(stop, Qt::LeftButton);
  ASSERT_TRUE(WaitFor([&] { return !pane.Busy(); }));
  EXPECT_EQ(busyChanges, (std::vector<bool>{true, false}));
  EXPECT_TRUE(pane.TreeView()->isVisible());
  EXPECT_FALSE(stop->isVisible());
  EXPECT_EQ(label->text(), "  работа...\n");
  std::size_t read = tree.NodeCount();
  EXPECT_LT(tree.EntriesRead(), 3030u);
  EXPECT_TRUE(tree.IsLoaded(big));  // as far as read: opening it again reads nothing more
  pane.Open(siteNode);
  EXPECT_FALSE(pane.Busy());
  EXPECT_EQ(tree.NodeCount(), read);

  // Esc on the busy panel stops a read too; "Обновить Папку Сайта" then reads the whole site.
  pane.Reveal(siteNode);
  collection::SelectNode(tree, current, siteNode);
  ASSERT_TRUE(pane.RefreshNode());
  ASSERT_TRUE(pane.Busy());
  std::uint64_t before = tree.EntriesRead();
  while (tree.EntriesRead() == before) QCoreApplication::processEvents();
  QTest::keyClick(stop, Qt::Key_Escape);
  ASSERT_TRUE(WaitFor([&] { return !pane.Busy(); }));
  EXPECT_LT(tree.EntriesRead() - before, 3030u);
  ASSERT_TRUE(pane.RefreshNode());
  ASSERT_TRUE(WaitFor([&] { return !pane.Busy(); }));
  EXPECT_NE(tree.Find(big + "d29/p99.html"), collection::kNoNode);
  EXPECT_NE(tree.Find(big + "d0/p0.html"), collection::kNoNode);
}

class BrowserPaneTest : public CollectionPaneTest {
 protected:
  void SetUp() override {
    CollectionPaneTest::SetUp();
    treePane = std::make_unique<CollectionTreePane>(tree, current, window.Ports());
    browser = std::make_unique<BrowserPane>(tree, current, std::string(ORV_BIN_DIR) + "/", window.Ports());
    treePane->SetBrowser(browser.get());
    browser->resize(800, 600);
    browser->show();
  }
  // The page with that title, loaded whole: its title can come before its body is parsed, and a
  // click on a page still loading may be lost with the rest of its load.
  bool Loaded(int index, const QString& title) {
    return WaitFor([&] { return browser->View(index)->title() == title; }) &&
           WaitFor([&] { return PageText(index, "document.readyState") == "complete"; });
  }
  QString PageText(int index, const QString& script) {
    QString text;
    bool done = false;
    browser->View(index)->page()->runJavaScript(script, [&](const QVariant& v) {
      text = v.toString();
      done = true;
    });
    WaitFor([&] { return done; });
    return text;
  }
  // The title can arrive before the body is parsed: the click waits for its link to be there.
  void Click(const QString& selector) {
    browser->View(0)->page()->runJavaScript(
        QString("(function click() { const e = document.querySelector('%1');"
                " if (e) e.click(); else setTimeout(click, 20); })()")
            .arg(selector));
  }

  std::unique_ptr<CollectionTreePane> treePane;
  std::unique_ptr<BrowserPane> browser;
};

TEST_F(BrowserPaneTest, PagesShowTheirWebAddressAndLinksOutOfTheCopyShowTheOfflinePage) {
  // The start pages, in Russian, name themselves in the caption.
  ASSERT_TRUE(Loaded(0, "Orvanta: коллекция сайтов"));
  ASSERT_TRUE(Loaded(1, "Orvanta: второй браузер"));
  EXPECT_EQ(window.caption, "Orvanta: коллекция сайтов");

  // The root: the address bar is emptied.
  treePane->Open(tree.RootNode());
  ASSERT_TRUE(WaitFor([&] { return window.address.isEmpty(); }))
      << window.address.toStdString() << " " << browser->View(0)->url().toString().toStdString() << " "
      << browser->View(0)->title().toStdString();
  EXPECT_TRUE(window.caption.startsWith("ORVANTA  ("));

  // A page: its web address and caption.
  treePane->Open(tree.Find(site));
  ASSERT_TRUE(WaitFor([&] { return !treePane->Busy(); }));
  treePane->Open(tree.Find(site + "index.html"));
  ASSERT_TRUE(Loaded(0, "Docs"));
  ASSERT_TRUE(WaitFor([&] { return window.address == "http://docs.example.org/index.html"; }));
  EXPECT_EQ(window.caption, "ORVANTA  (Docs)");

  // Following a link within the copy.
  Click("#inside");
  ASSERT_TRUE(Loaded(0, "Intro"));
  ASSERT_TRUE(WaitFor([&] { return window.address == "http://docs.example.org/guide/intro.html"; }));

  // A link to a page never fetched: the offline page with its web address and offers.
  treePane->Open(tree.Find(site + "index.html"));
  ASSERT_TRUE(Loaded(0, "Docs"));
  Click("#outside");
  ASSERT_TRUE(WaitFor([&] { return !browser->OfflineAddress(0).empty(); }));
  EXPECT_EQ(browser->OfflineAddress(0), "http://docs.example.org/never/fetched.html");
  ASSERT_TRUE(WaitFor([&] { return browser->View(0)->title().startsWith("Этой страницы нет в копии"); }));
  ASSERT_TRUE(WaitFor([&] { return window.address == "http://docs.example.org/never/fetched.html"; }));
  window.address.clear();
  Click("a[href$=\"/script\"]");
  ASSERT_TRUE(WaitFor([&] { return !window.addedToScript.empty(); }));
  EXPECT_EQ(window.addedToScript[0], "http://docs.example.org/never/fetched.html");
  // The page says what became of it.
  ASSERT_TRUE(WaitFor([&] {
    return PageText(0, "document.getElementById('script-result').textContent") ==
           "Адрес добавлен в сценарий № 3.";
  }));
  EXPECT_EQ(window.status, "Адрес добавлен в сценарий № 3.");

  // A partial download says so, and can still be viewed.
  treePane->Open(tree.Find(site + "index.html"));
  ASSERT_TRUE(Loaded(0, "Docs"));
  Click("#partial");
  ASSERT_TRUE(WaitFor([&] { return browser->View(0)->title().startsWith("Файл загружен не полностью"); }));
  EXPECT_EQ(browser->OfflineAddress(0), "http://docs.example.org/big.zip");

  if (const char* dir = std::getenv("ORV_SCREENSHOT_DIR")) {
    browser->grab().save(QString(dir) + "/browser_offline.png");
  }
}

}  // namespace
}  // namespace orv

namespace orv {
namespace {

QAction* ToolButton(BrowserPane& pane, const char* key) {
  for (QAction* a : pane.ToolBar()->actions()) {
    if (a->objectName() == key) return a;
  }
  return nullptr;
}

// Back and forward walk the current browser's history, each page showing its own web address;
// a hovered link inside the copy puts its web address on the status line.
TEST_F(BrowserPaneTest, HistoryAndTheHoveredLinksWebAddress) {
  treePane->Open(tree.Find(site));
  ASSERT_TRUE(WaitFor([&] { return !treePane->Busy(); }));
  treePane->Open(tree.Find(site + "index.html"));
  ASSERT_TRUE(Loaded(0, "Docs"));
  // The link's place on the page, for the mouse.
  QString rect = PageText(0, "var r = document.getElementById('inside').getBoundingClientRect();"
                             "Math.round(r.left + 3) + ',' + Math.round(r.top + r.height / 2)");
  ASSERT_TRUE(rect.contains(',')) << rect.toStdString();
  QPoint at(rect.section(',', 0, 0).toInt(), rect.section(',', 1, 1).toInt());
  QWidget* surface = browser->View(0)->focusProxy();
  ASSERT_NE(surface, nullptr);

  // Hovering the link shows its web address on the status line.
  window.status.clear();
  QTest::mouseMove(surface, at - QPoint(0, 40));
  QTest::mouseMove(surface, at);
  ASSERT_TRUE(WaitFor([&] { return !window.status.isEmpty(); }, 10000));
  EXPECT_EQ(window.status, "    http://docs.example.org/guide/intro.html");

  // A click (a user's: the page stays in the history) follows it.
  QTest::mouseClick(surface, Qt::LeftButton, {}, at);
  ASSERT_TRUE(Loaded(0, "Intro"));

  ToolButton(*browser, "GoBack")->trigger();
  ASSERT_TRUE(Loaded(0, "Docs"));
  ASSERT_TRUE(WaitFor([&] { return window.address == "http://docs.example.org/index.html"; }));
  EXPECT_EQ(window.caption, "ORVANTA  (Docs)");
  ToolButton(*browser, "GoForward")->trigger();
  ASSERT_TRUE(Loaded(0, "Intro"));
  ASSERT_TRUE(WaitFor([&] { return window.address == "http://docs.example.org/guide/intro.html"; }));
  // The second browser keeps its own history: back there leaves the first one alone.
  browser->SetCurrentIndex(1);
  ToolButton(*browser, "GoBack")->trigger();
  QTest::qWait(200);
  EXPECT_EQ(browser->View(0)->title(), "Intro");
  browser->SetCurrentIndex(0);
}

// "FullScreen" hides the collection column and "Onleft" widens the browser over the option
// pages; pressed again, each gives the space back, and hiding the browser undoes both.
TEST_F(CollectionPaneTest, LayoutButtonsHideTheColumnAndWidenTheBrowser) {
  OrvMainWindow mainWindow;
  OrvMainWindow::Hooks hooks;
  hooks.pageShown = [](const std::string&) {};  // the page button below
  mainWindow.SetHooks(std::move(hooks));
  CollectionPorts ports = window.Ports();
  WireWindowLayout(ports, mainWindow);
  auto* pane = new BrowserPane(tree, current, std::string(ORV_BIN_DIR) + "/", ports);
  mainWindow.InstallPane(Pane::Browser, pane);
  mainWindow.resize(1400, 900);
  mainWindow.show();
  mainWindow.PressToolbarButton("brows");
  QWidget* column = mainWindow.findChild<QWidget*>("collectionColumn");
  QWidget* options = mainWindow.findChild<QWidget*>("optionPages");
  ASSERT_TRUE(column && options);
  // Browsing takes the main area; a page button brings a page back beside the browser.
  EXPECT_TRUE(options->isHidden());
  mainWindow.PressToolbarButton("options");
  ASSERT_TRUE(WaitFor([&] { return pane->isVisible() && pane->width() > 0 && column->isVisible(); }));
  QTest::qWait(50);
  const int narrow = pane->width();
  const int optionsWidth = options->width();

  QAction* full = ToolButton(*pane, "FullScreen");
  QAction* left = ToolButton(*pane, "Onleft");
  full->trigger();
  EXPECT_FALSE(column->isVisible());
  EXPECT_EQ(full->toolTip(), "Показать панель");
  ASSERT_TRUE(WaitFor([&] { return pane->width() > narrow; }));
  full->trigger();
  EXPECT_TRUE(column->isVisible());
  EXPECT_EQ(full->toolTip(), "Спрятать панель");
  ASSERT_TRUE(WaitFor([&] { return pane->width() == narrow; }));

  left->trigger();
  EXPECT_EQ(left->toolTip(), "Сдвинуть окно");
  EXPECT_FALSE(options->isVisible());
  ASSERT_TRUE(WaitFor([&] { return pane->width() >= narrow + optionsWidth; }));
  left->trigger();
  EXPECT_EQ(left->toolTip(), "Раздвинуть окно");
  ASSERT_TRUE(WaitFor([&] { return pane->width() == narrow && options->width() == optionsWidth; }));

  // The browser hidden with both pressed: the column comes back and the pages get their width.
  full->trigger();
  left->trigger();
  mainWindow.PressToolbarButton("brows", false);
  EXPECT_FALSE(full->isChecked());
  EXPECT_FALSE(left->isChecked());
  EXPECT_TRUE(column->isVisible());
  EXPECT_TRUE(options->isVisible());
  if (const char* dir = std::getenv("ORV_SCREENSHOT_DIR")) mainWindow.grab().save(QString(dir) + "/layout.png");
}


// "Войти на сайт…": the live site opens in the browser with the login bar; the cookie its
// login page sets reaches the login handler with the host when the user presses "Готово".
TEST_F(BrowserPaneTest, ALoginHandsTheSitesCookiesOverOnDone) {
  orvtest::HttpTestServer site;
  site.Serve("/login", {.headers = {"Content-Type: text/html", "Set-Cookie: sid=s3cret; Path=/; HttpOnly"},
                        .body = "<html><head><title>Login</title></head><body>in</body></html>"});
  std::string host;
  QList<QNetworkCookie> taken;
  int logins = 0;
  browser->SetLoginHandler([&](const std::string& h, const QList<QNetworkCookie>& cookies) {
    ++logins;
    host = h;
    taken = cookies;
  });
  auto* bar = browser->findChild<QWidget*>("LoginBar");
  auto* done = browser->findChild<QPushButton*>("LoginDone");
  ASSERT_TRUE(bar && done);
  EXPECT_FALSE(browser->LogIn("ftp://127.0.0.1/")) << "only web addresses";
  EXPECT_FALSE(bar->isVisible());
  ASSERT_TRUE(browser->LogIn("http://" + site.HostPort() + "/login"));
  EXPECT_TRUE(bar->isVisible());
  EXPECT_FALSE(done->accessibleName().isEmpty());
  ASSERT_TRUE(Loaded(browser->CurrentIndex(), "Login"));
  ASSERT_TRUE(WaitFor([&] {
    for (const QNetworkCookie& c : browser->BrowserCookies())
      if (c.name() == "sid") return true;
    return false;
  }, 10000));
  QTest::mouseClick(done, Qt::LeftButton);
  EXPECT_EQ(logins, 1);
  EXPECT_EQ(host, "127.0.0.1");
  bool sid = false;
  for (const QNetworkCookie& c : taken) sid = sid || (c.name() == "sid" && c.value() == "s3cret");
  EXPECT_TRUE(sid);
  EXPECT_FALSE(bar->isVisible());
  browser->hide();
  EXPECT_EQ(logins, 1) << "a login ends once";
}

}  // namespace
}  // namespace orv
