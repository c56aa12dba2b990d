#ifdef ORV_HAVE_WIDGETS
// The composition of the program with its window: the application core, the window, the
// pages and panes, and the ports that connect them. Nothing here decides; each port hands a
// user's action to the one model operation that carries it out.
#include <QApplication>
#include <QDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLibraryInfo>
#include <QLocale>
#include <QPushButton>
#include <QTimer>
#include <QTranslator>
#include <QUrl>
#include <QVBoxLayout>
#ifdef ORV_HAVE_MULTIMEDIA
#include <QSoundEffect>
#endif

#include "common/fetch_outcome.h"
#include "common/text.h"
#include "main/app/orv_app.h"
#include "main/collection/site_start.h"
#include "main/run/run_report.h"
#include "main/ui/browser_pane.h"
#include "main/ui/collection_page.h"
#include "main/ui/collection_tree_pane.h"
#include "main/ui/folder_chooser.h"
#include "main/ui/lists_page.h"
#include "main/ui/main_window.h"
#include "main/ui/option_pages.h"
#include "main/ui/popups.h"
#include "main/ui/script_panel.h"
#include "main/ui/script_panes.h"
#include "main/ui/search_page.h"
#include "platform/process.h"

namespace orv {

namespace {
QString Q(const std::string& cp1251) { return QString::fromStdString(Cp1251ToUtf8(cp1251)); }
}  // namespace

bool LoadQtRussianTexts(QTranslator& translator) {
  return translator.load(QLocale(QLocale::Russian, QLocale::Russia), "qtbase", "_",
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
         QCoreApplication::installTranslator(&translator);
}

int RunWindow(int argc, char** argv) {
  PrepareEmbeddedBrowser();
  QApplication app(argc, argv);
  QTranslator qtTexts;
  LoadQtRussianTexts(qtTexts);
  CollectionPage collectionPage;  // before the window: its tree outlives the panes
  SearchPage searchPage(collectionPage);
  OrvMainWindow window;
  searchPage.bookmarks.SetSetAsideHandler(
      [&](const std::string& message) { window.ShowMessage(message, MessageIcon::Error); });
  PublishedWindows windows;
  int exitCode = -1;
  OrvApp::Hooks hooks;
  hooks.endProgram = [&](int code) {
    exitCode = code;
    QApplication::exit(code);
  };
  hooks.closeWindow = [&] { return window.CloseForGood(); };
  hooks.closePopups = [](bool fullList) { CloseStalledPopup(fullList); };
  hooks.collectionBrowserShown = [&] { return window.PaneVisible(Pane::Browser); };
  hooks.confirmScriptDeletion = [&](int slot) {
    // ScrDel: twenty seconds to cancel, then the script goes.
    QDialog dialog(&window);
    dialog.setWindowTitle(Q(Ru("Автоудаление сценария")));
    auto* layout = new QVBoxLayout(&dialog);
    auto* text = new QLabel(&dialog);
    auto* cancel = new QPushButton(Q(Ru("Отмена")), &dialog);
    layout->addWidget(text);
    layout->addWidget(cancel);
    int left = 20;
    auto show = [&] {
      text->setText(Q(Ru("Сценарий № ") + std::to_string(slot) + Ru(" будет удален через") + "\n\n" +
                      std::to_string(left) + Ru(" секунд.")));
    };
    show();
    QTimer tick;
    tick.setInterval(1000);
    QObject::connect(&tick, &QTimer::timeout, &dialog, [&] {
      if (--left <= 0) dialog.accept();
      show();
    });
    QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
    tick.start();
    return dialog.exec() == QDialog::Accepted;
  };
#ifdef ORV_HAVE_MULTIMEDIA
  QSoundEffect sound;
  hooks.playSound = [&](const std::string& path) {
    sound.setSource(QUrl::fromLocalFile(QString::fromStdString(path)));
    sound.play();
  };
#else
  hooks.playSound = [](const std::string&) {};  // built without Qt Multimedia: silent
#endif
  OrvApp orvApp(AppViewsOf(window), windows, hooks);
  window.Attach(&orvApp);
  OrvMainWindow::Hooks shell;
  shell.pageShown = [&](const std::string& key) { orvApp.Program().OptionsPageShown(key); };
  shell.previewChanged = [&](bool on) { orvApp.Program().SetPreview(on); };
  shell.activeCursorChanged = [&](bool on) { orvApp.Program().SetActiveCursor(on); };
  shell.collectionFolder = [&] { return orvApp.Program().CollectionFolder(); };
  ScriptPanes scriptPanes(window, orvApp);
  shell.collectionFolderChosen = [&](const std::string& folder) {
    const std::string before = orvApp.Program().CollectionFolder();
    orvApp.Program().ChangeCollectionFolder(folder);
    if (orvApp.Program().CollectionFolder() != before) scriptPanes.CollectionFolderChanged();
    collectionPage.Rebuild(orvApp.Program().CollectionFolder());
  };
  shell.selectScriptSlot = [&](int slot) { scriptPanes.SelectSlot(slot); };
  // The collection browser shows a page of the collection or the help, taking the main area.
  const auto browse = [&](const std::string& localPath) {
    if (!collectionPage.browser) return false;
    if (!window.PaneVisible(Pane::Browser)) window.PressToolbarButton("brows", true);
    collectionPage.browser->ShowLocalPath(localPath);
    return true;
  };
  shell.showHelp = [&, browse] {
    const std::string page = ProgramFolder() + "help/index.html";
    if (!QFileInfo::exists(Q(page)) || !browse(page))
      window.ShowMessage(Ru("Не удается открыть справку: ") + page, MessageIcon::Warning);
  };
  shell.runReport = [&]() -> std::optional<RunReport> {
    return BuildRunReport(orvApp.Run().Summary(), ReadOutcomes(orvApp.Program().Paths().programFolder + "temp/"),
                          orvApp.Run().State().currentStartAddress);
  };
  shell.openStartPage = [&, browse](const std::string& address) {
    browse(collection::StartPageOf(address, orvApp.Program().CollectionFolder()));
  };
  shell.bookmarkAddress = [&](const std::string& address) { searchPage.BookmarkAddress(address); };
  shell.logIn = [&](const std::string& address) { collectionPage.LogIn(window, orvApp, address); };
  shell.chooseCollectionFolder = [&](const std::string& current) {
    const std::string start = collection::AvailableRootOr(current, orvApp.Program().Paths().programFolder);
    return FolderChooser::Choose(collection::FolderChoiceMode::CollectionRoot, start, &window);
  };
  shell.channelRow = [&](int channel) { return orvApp.Run().Channels().Row(channel); };
  shell.closeChannel = [&](int channel) { orvApp.Run().CloseChannel(channel); };
  // The channel list's "В Исключения" / "В Колею" show the list they went to.
  shell.excludeAddress = [&](const std::string& address) {
    orvApp.Lists().Exclude(address);
    window.PressToolbarButton("lists");
  };
  shell.trackAddress = [&](const std::string& address) {
    orvApp.Lists().Track(address);
    window.PressToolbarButton("lists");
  };
  // The user's stop also ends a site scan of the collection tree.
  shell.userStop = [&] {
    if (collectionPage.treePane) collectionPage.treePane->RequestStop();
  };
  window.SetHooks(std::move(shell));
  const int started = orvApp.StartUp();
  if (started >= 0) return started;
  // The option pages show the settings and lists as start-up loaded them.
  window.InstallPane(Pane::OptionsPage1, new SettingsPage(orvApp.Program()));
  window.InstallPane(Pane::OptionsPage2, new CategoriesPage(orvApp.Program().Parameters()));
  window.InstallPane(Pane::OptionsPage3, new NetworkPage(orvApp.Program(), orvApp.Connection(),
                                                         [&] { return orvApp.Run().State().running; }));
  auto* listsPage = new ListsPage(orvApp.Lists(), window.Keys());
  window.InstallPane(Pane::OptionsPage4, listsPage);
  scriptPanes.Sets().Refresh();
  window.SetPreviewMenu(orvApp.Program().Values().preview);
  collectionPage.createBookmark = [&] { searchPage.BookmarkCurrentFile(); };
  collectionPage.interruptSearch = [&] { searchPage.search.RequestStop(); };
  collectionPage.pageBookmark = [&](const std::string& path) { searchPage.Bookmark(path); };
  collectionPage.built = [&](const std::string& root) { searchPage.TreeBuilt(root); };
  collectionPage.scriptChanged = [&] { scriptPanes.List().BuildAddressTree(); };
  collectionPage.webSearchOn = [&] { return searchPage.webSearch && searchPage.webSearch->On(); };
  searchPage.Install(window, orvApp);
  collectionPage.Install(window, orvApp);
  // "Показывать файлы": a click in the script's address tree shows that file in the browser.
  scriptPanes.SetCollectionViewer([&](const std::string& localPath) {
    if (collectionPage.browser) collectionPage.browser->ShowLocalPath(localPath);
  });
  std::string address;
  for (int i = 1; i < argc; ++i) address += (address.empty() ? "" : " ") + std::string(argv[i]);
  orvApp.Run().SetCommandLineAddress(Utf8ToCp1251(address));
  QObject::connect(&orvApp.Timer(RunTimer::Tim2), &QTimer::timeout, &window, [&] {
    if (!orvApp.Run().Ending()) orvApp.Run().Tim2Tick();
  });
  window.show();
  orvApp.StartTimers();
  const int code = app.exec();
  searchPage.Save();
  // The lists page stops listening to the application's lists on its way out, and the
  // application (made after the window, whose views it takes) goes before the window does.
  delete listsPage;
  return exitCode >= 0 ? exitCode : code;
}

}  // namespace orv
#endif
