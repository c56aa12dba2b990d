#pragma once
// The collection's browser pane: two embedded browsers (`Browser` 0 and 1, the current one
// follows the focus), the browser toolbar and the page popup. After a page loads the address
// bar shows the web address of the local file and the caption names the page; a hovered link
// inside the collection shows its web address in the status line.
//
// A link to a file that was never fetched (the copy's pages point at local files for every
// link they rewrote) shows a local page naming the web address, with the offers to open it on
// line, to put it into the address box or to add it to the current script; a partly
// downloaded file shows such a page too, with an offer to view what arrived.

#include <QList>
#include <QNetworkCookie>
#include <QWidget>

#include <array>
#include <memory>
#include <string>

#include "main/collection/collection_tree.h"
#include "main/collection/tree_commands.h"
#include "main/ui/collection_browser.h"
#include "main/ui/collection_ports.h"

class QAction;
class QLabel;
class QMenu;
class QToolBar;
class QWebEngineView;

namespace orv {

class CollectionWebPage;

class BrowserPane : public QWidget, public CollectionBrowser {
 public:
  // programFolder ends with "/" and holds the start pages "bmrorv-0.htm" and "bmrorv-1.htm".
  BrowserPane(collection::CollectionTree& tree, collection::CurrentNode& current,
              std::string programFolder, CollectionPorts ports, QWidget* parent = nullptr);
  ~BrowserPane() override;

  // CollectionBrowser
  void ShowLocalPath(const std::string& localPath) override;
  void RefreshCurrent() override;

  int CurrentIndex() const { return current_index_; }
  void SetCurrentIndex(int index);
  QWebEngineView* View(int index) const { return views_[index]; }
  QToolBar* ToolBar() const { return toolbar_; }
  // The "Collapse" button expands or collapses the whole tree.
  void SetCollapseHandler(std::function<void(bool expand)> handler) { collapse_ = std::move(handler); }
  // "Закладка" of the page popup.
  void SetPageBookmarkHandler(std::function<void(const std::string& localPath)> h) {
    pageBookmark_ = std::move(h);
  }
  QMenu* BuildPagePopup();

  // The web address the offline page of browser `index` stands for; empty when it shows none.
  std::string OfflineAddress(int index) const;

  // "Войти на сайт…": the address (an http or https address, Windows-1251) opens on the live
  // site in the current browser, with the login bar above it. "Готово", hiding the pane or a
  // new login ends it: the cookies the browser holds then go to the login handler with the
  // address's host. False for an address that is not http(s).
  bool LogIn(const std::string& address);
  void FinishLogin();
  bool LoginActive() const { return !loginHost_.empty(); }
  using LoginHandler = std::function<void(const std::string& host, const QList<QNetworkCookie>& cookies)>;
  void SetLoginHandler(LoginHandler handler) { loginDone_ = std::move(handler); }
  // The cookies the browser holds now (those of every site), as its cookie store reported them.
  const QList<QNetworkCookie>& BrowserCookies() const { return cookies_; }

 protected:
  // Hidden by the window (the "brows" button): the layout buttons give the space back.
  void hideEvent(QHideEvent* event) override;

 private:
  friend class CollectionWebPage;
  void BuildToolBar();
  void PageLoaded(int index, bool ok);
  // Called by the page before it follows a link: true to let the browser load it.
  bool AcceptNavigation(int index, const QUrl& url);
  void ShowOfflinePage(int index, const std::string& localPath, bool partial);
  void RunOfflineAction(int index, const QString& action);
  bool SiteHttps(const std::string& localPath) const;
  std::string CurrentLocalFile() const;
  void EditCurrent();
  void PrintCurrent();
  void SaveCurrent();
  void PageProperties();

  collection::CollectionTree& tree_;
  collection::CurrentNode& node_;
  std::string programFolder_;
  CollectionPorts ports_;
  std::array<QWebEngineView*, 2> views_{};
  std::array<CollectionWebPage*, 2> pages_{};
  struct Offline {
    std::string localPath;  // the missing or partial file
    std::string address;    // the web address it stands for
    bool partial = false;
    bool bypass = false;    // the next load of the partial file shows what arrived
  };
  std::array<Offline, 2> offline_{};
  int current_index_ = 0;
  QToolBar* toolbar_ = nullptr;
  QAction* fullScreen_ = nullptr;
  QAction* onLeft_ = nullptr;
  std::function<void(bool)> collapse_;
  std::function<void(const std::string&)> pageBookmark_;
  QObject* focusWatch_ = nullptr;
  QWidget* loginBar_ = nullptr;
  QLabel* loginText_ = nullptr;
  std::string loginHost_;
  LoginHandler loginDone_;
  QList<QNetworkCookie> cookies_;
};

// The offline page's HTML (UTF-8): names the web address and the local path, and offers the
// actions as links "http://orvanta.action/<name>" that the browser pane carries out (adding to
// the script only where that is wired).
QString OfflinePageHtml(const std::string& webAddress, const std::string& localPath, bool partial,
                        bool offerScript);

}  // namespace orv
