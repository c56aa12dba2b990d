#include "main/ui/collection_page.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTreeView>

#include <unistd.h>

#include "common/config_keys.h"
#include "common/text.h"
#include "main/ui/browser_pane.h"
#include "main/ui/collection_tools_ui.h"
#include "main/ui/collection_tree_pane.h"
#include "main/ui/login_cookies.h"
#include "main/ui/main_window.h"
#include "main/app/orv_app.h"
#include "main/base/unwired.h"
#include "main/scripts/script_model.h"

namespace orv {

namespace {
constexpr int kStatusLinePanel = 5;
std::string Bytes(const QString& text) { return Utf8ToCp1251(text.toStdString()); }
}  // namespace

void PrepareEmbeddedBrowser() {
  if (::geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

void WireWindowLayout(CollectionPorts& ports, OrvMainWindow& window) {
  ports.hidePanes = [&window](bool hide) { window.SetCollectionColumnHidden(hide); };
  ports.widenBrowser = [&window](bool wide) { window.SetBrowserWide(wide); };
}

CollectionPage::CollectionPage() = default;
CollectionPage::~CollectionPage() = default;

void CollectionPage::Install(OrvMainWindow& window, OrvApp& app) {
  CollectionPorts ports;
  ports.setAddressBar = [&window](const QString& a) { window.SetAddressText(Bytes(a)); };
  ports.setCaption = [&window](const QString& c) { window.setWindowTitle(c); };
  ports.setStatus = [&app](const QString& s) { app.Status().Show(kStatusLinePanel, Bytes(s)); };
  ports.addToTrackList = [&app](const std::string& a) { app.Lists().Track(a); };
  ports.addToExclusions = [&app](const std::string& a) { app.Lists().Exclude(a); };
  ports.addToScript = [this, &app](const std::string& address) {
    collection::ScriptTake take = app.CurrentScript().AddToCurrentScript(address);
    if (take.outcome == collection::ScriptTakeOutcome::Added && scriptChanged) scriptChanged();
    return take;
  };
  ports.chooseCollectionFolder = [&window] { window.PressToolbarButton("openfolder"); };
  ports.logIn = [this, &window, &app](const std::string& address) { LogIn(window, app, address); };
  ports.createBookmark = [this] {
    CallPort(createBookmark, "CollectionPage::createBookmark");
  };
  ports.interruptSearch = [this] {
    CallPort(interruptSearch, "CollectionPage::interruptSearch");
  };
  WireWindowLayout(ports, window);

  treePane = new CollectionTreePane(tree, current, ports);
  treePane->SetActiveCursor([&app] { return app.Program().Values().mdtxa; });
  std::string programFolder = QCoreApplication::applicationDirPath().toStdString() + "/";
  browser = new BrowserPane(tree, current, programFolder, ports);
  treePane->SetBrowser(browser);
  CollectionTreePane* pane = treePane;
  browser->SetCollapseHandler([pane](bool expand) { pane->CollapseOrExpandAll(expand); });
  CollectionToolsUi::Hooks toolHooks;
  toolHooks.collectionRoot = [&app] { return app.Program().CollectionFolder(); };
  toolHooks.programFolder = programFolder;
  toolHooks.useCollectionRoot = [this, &app](const std::string& root) {
    app.Program().ChangeCollectionFolder(root);
    Rebuild(app.Program().CollectionFolder());
  };
  toolHooks.rebuildFirstLevel = [this, &app] { Rebuild(app.Program().CollectionFolder()); };
  toolHooks.setBusy = [&window](bool on) {
    window.SetBusyLabel(BusyLabel::CollectionTree, on);
    window.SetToolBusy(on);
  };
  toolHooks.setStatus = [&app](const QString& s) { app.Status().Show(kStatusLinePanel, Bytes(s)); };
  toolHooks.markModeChanged = [pane](bool on) {
    pane->SetMarkMode(on);
    // Mark mode shows its own pointer over the tree.
    if (on) {
      pane->TreeView()->viewport()->setCursor(Qt::PointingHandCursor);
    } else {
      pane->TreeView()->viewport()->unsetCursor();
    }
  };
  toolHooks.defpath = [&app] { return app.Program().Values().defpath; };
  toolHooks.saveDefpath = [&app](const std::string& folder) {
    app.Program().Values().defpath = folder;
    app.Program().Settings().Write(kHelpFileFolderKey, folder);
  };
  tools = std::make_unique<CollectionToolsUi>(tree, current, &window, std::move(toolHooks));
  CollectionToolsUi* toolsUi = tools.get();
  treePane->SetHtmlHelpMenu([toolsUi](QMenu* menu) { toolsUi->FillMenu(menu); });
  treePane->SetCompilerPresent([toolsUi] { return toolsUi->CompilerPresent(); });
  treePane->SetToolJobRunning([toolsUi] { return toolsUi->Busy(); });
  browser->SetPageBookmarkHandler([this](const std::string& localPath) {
    CallPort(pageBookmark, "CollectionPage::pageBookmark", localPath);
  });
  // A login ends: the site's cookies go into the jar of the script current then.
  browser->SetLoginHandler([&app](const std::string& host, const QList<QNetworkCookie>& cookies) {
    app.Status().Show(kStatusLinePanel, TakeLoginIntoScript(app.Program().CollectionFolder(),
                                                            app.Program().Scripts().currentSlot, host, cookies,
                                                            QDateTime::currentSecsSinceEpoch()));
  });
  window.InstallPane(Pane::CollectionTree, treePane);
  window.InstallPane(Pane::Browser, browser);
  for (auto& k : treePane->KeyCommands()) window.Keys().Register(treePane->TreeView(), k.letter, k.enabled, k.run);

  // Run control tells of every address whose fetch is over: the tree shows what arrived.
  app.Run().SetFetchedAddressSink([this](const std::string& address) {
    tree.ShowFetched(address, CallPort(webSearchOn, "CollectionPage::webSearchOn"));
  });
  // Every rebuild of the tree reloads what hangs on it, the popup's full rebuild too.
  treePane->SetRebuilt([this, &app] {
    CallPort(built, "CollectionPage::built", app.Program().CollectionFolder());
  });
  Rebuild(app.Program().CollectionFolder());
}

void CollectionPage::LogIn(OrvMainWindow& window, OrvApp& app, const std::string& address) {
  if (browser == nullptr) return;
  if (!window.PaneVisible(Pane::Browser)) window.PressToolbarButton("brows", true);
  if (!browser->LogIn(address))
    app.Status().Show(kStatusLinePanel, Ru("Войти можно на сайт с адресом http:// или https://"));
}

void CollectionPage::Rebuild(const std::string& root) {
  if (treePane == nullptr) return;
  treePane->Build(root);
  CallPort(built, "CollectionPage::built", root);
}

}  // namespace orv
