// The main window as a user drives it: page buttons, toggles, the folder button, geometry
// kept across a restart, accessible names.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QDialogButtonBox>
#include <QAction>
#include <QComboBox>
#include <QGuiApplication>
#include <QScreen>
#include <QHBoxLayout>
#include <QSplitter>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QTranslator>
#include <QToolBar>

#include <memory>

#include "common/fetch_outcome.h"
#include "common/text.h"
#include "main/run/run_report.h"
#include "main/scripts/program_config.h"
#include "main/ui/clickable_label.h"
#include "main/ui/main_window.h"
#include "main/ui/ui_text.h"
#include "tests/main/fake_main_window.h"
#include "tests/main/scripts/scripts_test_support.h"

namespace orv {
namespace {

using testing::MemorySettings;
using testing::ScratchFolder;
using testing::WriteBytes;

// One start of the program: a window and the start-up model over a configuration store that
// outlives it, so a second start reads what the first one wrote.
struct Start {
  Start(MemorySettings& store, const ProgramPaths& paths, ProgramHooks hooks = {}) {
    model = std::make_unique<ProgramModel>(store, testing::ProgramViewsOf(window, status), paths, std::move(hooks));
    OrvMainWindow::Hooks shell;
    shell.pageShown = [this](const std::string& key) { model->OptionsPageShown(key); };
    shell.collectionFolder = [this] { return model->CollectionFolder(); };
    shell.collectionFolderChosen = [this](const std::string& f) { model->ChangeCollectionFolder(f); };
    shell.chooseCollectionFolder = [this](const std::string&) -> std::optional<std::string> {
      ++choosersShown;
      return chosenFolder;
    };
    shell.logIn = [this](const std::string& address) { loginsAsked.push_back(address); };
    shell.selectScriptSlot = [this](int slot) { slotShown = slot; };
    shell.runReport = [] { return std::optional<RunReport>(); };
    window.SetHooks(std::move(shell));
    EXPECT_EQ(model->StartUpFirstPhase(), StartResult::Continue);
    model->StartUpSecondPhase();
  }
  QWidget* Button(const std::string& key) {
    return window.findChild<QToolBar*>("Toolbar1")->widgetForAction(window.ToolbarAction(key));
  }
  void Click(const std::string& key) {
    QWidget* button = Button(key);
    ASSERT_NE(button, nullptr) << key;
    QTest::mouseClick(button, Qt::LeftButton);
  }
  // What a screen reader does with the button: its one action (toggle or press).
  void AccessibleAction(const std::string& key) {
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(Button(key));
    ASSERT_NE(a, nullptr);
    ASSERT_NE(a->actionInterface(), nullptr);
    const QStringList names = a->actionInterface()->actionNames();
    ASSERT_FALSE(names.isEmpty()) << key;
    a->actionInterface()->doAction(names.front());
    QCoreApplication::processEvents();
  }
  OrvMainWindow window;
  RunStatus status{&window};
  std::unique_ptr<ProgramModel> model;
  std::optional<std::string> chosenFolder;
  int choosersShown = 0;
  std::vector<std::string> loginsAsked;
  int slotShown = -1;
};

struct WindowTest : ::testing::Test {
  WindowTest() {
    WriteBytes(root.Dir() + "prog/kuvet", std::string(10000, 'k'));
    paths.programFolder = root.Dir() + "prog/";
    paths.defaultCollectionFolder = root.Dir() + "coll/";
    paths.singleInstance = false;
  }
  ScratchFolder root;
  ProgramPaths paths;
  MemorySettings store;
};

TEST_F(WindowTest, ThePageButtonUsedLastIsTheOneShownAfterARestart) {
  {
    Start first(store, paths);
    EXPECT_EQ(first.window.ShownPage(), "options");
    EXPECT_TRUE(first.window.PaneVisible(Pane::OptionsPage1));
    first.Click("net");
    EXPECT_TRUE(first.window.PaneVisible(Pane::OptionsPage3));
    EXPECT_FALSE(first.window.PaneVisible(Pane::OptionsPage1));
    EXPECT_EQ(store.Get("tbbtn"), "net");  // written at once, not at shutdown
    first.Click("kateg");
    EXPECT_EQ(store.Get("tbbtn"), "kateg");
    // One of four: the button of the page shown, no other.
    EXPECT_TRUE(first.window.ToolbarButtonPressed("kateg"));
    for (const char* other : {"options", "net", "lists"}) EXPECT_FALSE(first.window.ToolbarButtonPressed(other));
  }
  Start second(store, paths);
  EXPECT_EQ(second.window.ShownPage(), "kateg");
  EXPECT_TRUE(second.window.PaneVisible(Pane::OptionsPage2));
  EXPECT_TRUE(second.window.ToolbarButtonPressed("kateg"));
  EXPECT_FALSE(second.window.ToolbarButtonPressed("options"));

  store.Set("tbbtn", "nonsense");
  Start third(store, paths);
  EXPECT_EQ(third.window.ShownPage(), "options");
}

TEST_F(WindowTest, ScriptAndBrowserTogglesFollowTheirRules) {
  Start s(store, paths);
  OrvMainWindow& w = s.window;
  auto channelFrameShown = [&] { return !w.findChild<QWidget*>("channelFrame")->isHidden(); };
  auto infoFrameShown = [&] { return !w.findChild<QWidget*>("infoFrame")->isHidden(); };
  EXPECT_FALSE(w.PaneVisible(Pane::ScriptList));
  EXPECT_FALSE(w.PaneVisible(Pane::Browser));
  EXPECT_TRUE(channelFrameShown());

  s.Click("scripts");
  EXPECT_TRUE(w.ToolbarButtonPressed("scripts"));
  EXPECT_TRUE(w.PaneVisible(Pane::ScriptList));
  w.ShowScriptSets(true);
  EXPECT_TRUE(w.PaneVisible(Pane::ScriptSets));

  // Browser on: the script list and the sets give way, the channel list and information go.
  s.Click("brows");
  EXPECT_TRUE(w.PaneVisible(Pane::Browser));
  EXPECT_FALSE(w.PaneVisible(Pane::ScriptList));
  EXPECT_FALSE(w.PaneVisible(Pane::ScriptSets));
  EXPECT_FALSE(channelFrameShown());
  EXPECT_FALSE(infoFrameShown());
  EXPECT_TRUE(w.ToolbarButtonPressed("scripts"));
  // Sets cannot open beside the browser.
  w.ShowScriptSets(true);
  EXPECT_FALSE(w.PaneVisible(Pane::ScriptSets));

  // Browser off with "scripts" still pressed: the script list comes back.
  s.Click("brows");
  EXPECT_FALSE(w.PaneVisible(Pane::Browser));
  EXPECT_TRUE(w.PaneVisible(Pane::ScriptList));
  EXPECT_TRUE(channelFrameShown());
  EXPECT_TRUE(infoFrameShown());

  // "scripts" released: the list and the sets go.
  w.ShowScriptSets(true);
  s.Click("scripts");
  EXPECT_FALSE(w.ToolbarButtonPressed("scripts"));
  EXPECT_FALSE(w.PaneVisible(Pane::ScriptList));
  EXPECT_FALSE(w.PaneVisible(Pane::ScriptSets));

  // Pressed while the browser is shown: the button stays pressed, the list stays hidden.
  s.Click("brows");
  s.Click("scripts");
  EXPECT_TRUE(w.ToolbarButtonPressed("scripts"));
  EXPECT_FALSE(w.PaneVisible(Pane::ScriptList));

  // A busy tool: browser off releases "scripts" and keeps the list hidden ...
  w.SetToolBusy(true);
  s.Click("brows");
  EXPECT_FALSE(w.PaneVisible(Pane::Browser));
  EXPECT_FALSE(w.ToolbarButtonPressed("scripts"));
  EXPECT_FALSE(w.PaneVisible(Pane::ScriptList));
  // ... and "scripts" does not stay pressed.
  s.Click("scripts");
  EXPECT_FALSE(w.ToolbarButtonPressed("scripts"));
  EXPECT_FALSE(w.PaneVisible(Pane::ScriptList));
  w.SetToolBusy(false);
  s.Click("scripts");
  EXPECT_TRUE(w.PaneVisible(Pane::ScriptList));
}

TEST_F(WindowTest, TheBrowserOpensBesideOptionPagesThatStayReadable) {
  for (const char* widthTwips : {"18000", "27000"}) {  // 1200 and 1800 px
    store.Set("WI", widthTwips);
    store.Set("maxok", "0");
    Start s(store, paths);
    // An option page that is read at 520 px.
    auto* page = new QWidget;
    auto* row = new QHBoxLayout(page);
    row->setContentsMargins(0, 0, 0, 0);
    row->addSpacing(520);
    s.window.InstallPane(Pane::OptionsPage1, page);
    s.window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&s.window));
    QTest::qWait(20);
    // "Браузер" gives browsing the main area; a page button brings its page back beside it.
    s.Click("brows");
    EXPECT_TRUE(s.window.findChild<QWidget*>("optionPages")->isHidden());
    s.Click("options");
    EXPECT_TRUE(s.window.PaneVisible(Pane::Browser));
    const QList<int> sizes = s.window.findChild<QSplitter*>("BRSPH")->sizes();
    ASSERT_EQ(sizes.size(), 2);
    const int total = sizes[0] + sizes[1];
    SCOPED_TRACE(widthTwips);
    EXPECT_GE(sizes[0], total / 2);  // the browser has at least half
    EXPECT_GE(sizes[1], std::min(520, total / 2));  // and the page what it needs while that holds
  }
}

TEST_F(WindowTest, TheFolderButtonWaitsForBusyWorkAndRebuildsTheTree) {
  std::vector<std::string> events;
  ProgramHooks hooks;
  hooks.buildCollectionTree = [&](const std::string& f) { events.push_back("build:" + f); };
  hooks.clearAddressTree = [&] { events.push_back("clear"); };
  Start s(store, paths, hooks);
  const std::string first = s.model->CollectionFolder();
  ASSERT_EQ(events, std::vector<std::string>{"build:" + first});
  events.clear();

  // Busy: no chooser at all.
  s.chosenFolder = root.Dir() + "other";
  s.window.SetBusyLabel(BusyLabel::CollectionTree, true);
  s.Click("openfolder");
  s.window.SetBusyLabel(BusyLabel::CollectionTree, false);
  s.window.SetBusyLabel(BusyLabel::BlendPanel, true);
  s.Click("openfolder");
  s.window.SetBusyLabel(BusyLabel::BlendPanel, false);
  s.window.SetToolBusy(true);
  s.Click("openfolder");
  s.window.SetToolBusy(false);
  EXPECT_EQ(s.choosersShown, 0);
  EXPECT_TRUE(events.empty());

  // The same folder again: the tree is rebuilt, the address tree kept.
  s.chosenFolder = first;
  s.Click("openfolder");
  EXPECT_EQ(events, std::vector<std::string>{"build:" + first});
  // Another folder: stored, the address tree cleared, then the tree built from it.
  events.clear();
  std::filesystem::create_directories(root.Dir() + "other");
  s.chosenFolder = root.Dir() + "other";
  s.Click("openfolder");
  EXPECT_EQ(events, (std::vector<std::string>{"clear", "build:" + root.Dir() + "other/"}));
  EXPECT_EQ(store.Get("PFOLD"), root.Dir() + "other/");
  EXPECT_EQ(s.model->CollectionFolder(), root.Dir() + "other/");
  // Cancelled: nothing changes.
  events.clear();
  s.chosenFolder.reset();
  s.Click("openfolder");
  EXPECT_TRUE(events.empty());
  EXPECT_EQ(s.choosersShown, 3);
  EXPECT_FALSE(s.window.ToolbarButtonPressed("openfolder"));
}

TEST_F(WindowTest, WindowAndSplitterSizesSurviveARestart) {
  store.Set("WI", "15000");   // 1000 px
  store.Set("mehey", "10500");  // 700 px
  store.Set("wespl", "4500");
  store.Set("TRSPV", "4200");
  store.Set("BRSPH", "4800");
  store.Set("maxok", "0");
  {
    Start s(store, paths);
    s.window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&s.window));
    QTest::qWait(20);
    EXPECT_EQ(s.window.width(), 1000);
    EXPECT_EQ(s.window.height(), 700);
    s.Click("scripts");  // the script list occupies the browser splitter's first part
    s.model->SaveAllSettings(true);
  }
  EXPECT_EQ(store.Get("WI"), "15000");
  EXPECT_EQ(store.Get("mehey"), "10500");
  EXPECT_EQ(store.Get("wespl"), "4500");
  EXPECT_EQ(store.Get("TRSPV"), "4200");
  EXPECT_EQ(store.Get("BRSPH"), "4800");
  EXPECT_EQ(store.Get("maxok"), "0");

  // Maximised: the flag is kept, and the sizes are those of the window when not maximised.
  {
    Start s(store, paths);
    s.window.showMaximized();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&s.window));
    QTest::qWait(20);
    s.model->SaveAllSettings(true);
  }
  EXPECT_EQ(store.Get("maxok"), "1");
  EXPECT_EQ(store.Get("WI"), "15000");
  EXPECT_EQ(store.Get("mehey"), "10500");
  {
    Start s(store, paths);
    EXPECT_TRUE(s.window.windowState() & Qt::WindowMaximized);
  }
}

TEST_F(WindowTest, AFirstStartOpensAWindowThatFillsMostOfTheScreen) {
  Start s(store, paths);
  const QSize screen = QGuiApplication::primaryScreen()->availableGeometry().size();
  // Not the 500 x 420 pixels the stored defaults would give, and within the screen.
  EXPECT_GE(s.window.width(), std::min(900, screen.width() * 8 / 10));
  EXPECT_GE(s.window.height(), std::min(600, screen.height() * 8 / 10));
  EXPECT_LE(s.window.width(), screen.width());
  EXPECT_LE(s.window.height(), screen.height());
}

TEST_F(WindowTest, EveryControlHasAName) {
  Start s(store, paths);
  s.window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&s.window));
  int controls = 0;
  for (QWidget* w : s.window.findChildren<QWidget*>()) {
    const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) ||
                         qobject_cast<QLineEdit*>(w) || qobject_cast<QTabBar*>(w) ||
                         (qobject_cast<QAbstractItemView*>(w) && !w->inherits("QHeaderView"));
    if (!control || w->objectName().startsWith("qt_")) continue;
    ++controls;
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
    ASSERT_NE(a, nullptr);
    EXPECT_FALSE(a->text(QAccessible::Name).isEmpty()) << w->metaObject()->className() << " " << w->objectName().toStdString();
  }
  EXPECT_GE(controls, 11);  // nine toolbar buttons, the address box, the channel list at least
  for (const char* key : {"options", "kateg", "net", "lists", "scripts", "brows", "openfolder", "help"})
    EXPECT_EQ(s.window.findChild<QToolBar*>("Toolbar1")->widgetForAction(s.window.ToolbarAction(key))->accessibleName(),
              s.window.ToolbarAction(key)->text());
}

TEST_F(WindowTest, ScreenReaderActionsDoWhatClicksDoAndStateLabelsSayTheirState) {
  Start s(store, paths);
  s.window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&s.window));
  for (const char* key : {"kateg", "net", "lists"}) {
    s.AccessibleAction(key);
    EXPECT_EQ(s.window.ShownPage(), key);
    EXPECT_EQ(store.Get("tbbtn"), key);
    EXPECT_TRUE(s.window.ToolbarButtonPressed(key));
  }
  // Toggling the page button already shown keeps its page (one of four stays pressed).
  s.AccessibleAction("lists");
  EXPECT_EQ(s.window.ShownPage(), "lists");
  EXPECT_TRUE(s.window.ToolbarButtonPressed("lists"));
  s.AccessibleAction("scripts");
  EXPECT_TRUE(s.window.PaneVisible(Pane::ScriptList));
  s.AccessibleAction("scripts");
  EXPECT_FALSE(s.window.PaneVisible(Pane::ScriptList));

  // The status panels keep their names and expose what they show.
  s.status.Done();
  QAccessibleInterface* panel = QAccessible::queryAccessibleInterface(s.window.findChild<QLabel*>("StatusPanel1"));
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(panel->text(QAccessible::Name), ToQ(Ru("Панель состояния 1")));
  EXPECT_EQ(panel->text(QAccessible::Description), ToQ(Ru("Готово")));
  QAccessibleInterface* info = QAccessible::queryAccessibleInterface(s.window.findChild<QLabel*>("infoText"));
  EXPECT_TRUE(info->text(QAccessible::Description).startsWith(ToQ(Ru("Введите адрес"))));

  // The clickable status items offer their click as the press action, and keep their names.
  for (const char* name : {"StatusPanel1", "StatusPanel2", "StatusPanel3", "StatusPanel4", "StatusPanel5", "connection"}) {
    QAccessibleInterface* item = QAccessible::queryAccessibleInterface(s.window.findChild<QLabel*>(name));
    ASSERT_TRUE(item && item->actionInterface()) << name;
    EXPECT_TRUE(item->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction())) << name;
    EXPECT_FALSE(item->text(QAccessible::Name).isEmpty()) << name;
  }
}

// "Войти на сайт…" in the address box's menu, beside the line editor's own commands, asks for a
// login on the address the box shows, and only for a web address.
TEST_F(WindowTest, TheAddressBoxMenuOffersALoginOnTheAddressShown) {
  Start s(store, paths);
  s.window.SetAddressText("ftp://files.test/");
  std::unique_ptr<QMenu> menu(s.window.BuildAddressMenu());
  QAction* logIn = menu->findChild<QAction*>("LogIn");
  ASSERT_NE(logIn, nullptr);
  EXPECT_EQ(logIn->text(), QStringLiteral("Войти на сайт…"));
  EXPECT_FALSE(logIn->isEnabled());
  s.window.SetAddressText("https://site.test/login");
  menu.reset(s.window.BuildAddressMenu());
  logIn = menu->findChild<QAction*>("LogIn");
  ASSERT_NE(logIn, nullptr);
  EXPECT_TRUE(logIn->isEnabled());
  EXPECT_GT(menu->actions().size(), 4) << "the line editor's own commands stay";
  logIn->trigger();
  EXPECT_EQ(s.loginsAsked, std::vector<std::string>{"https://site.test/login"});
}

// Standard dialogs (questions, the save dialog) speak Russian: Qt's own translation is found
// where the system keeps it.
TEST(QtTextsTest, StandardButtonsSpeakRussian) {
  QTranslator translator;
  ASSERT_TRUE(LoadQtRussianTexts(translator)) << "qtbase_ru.qm not found (Debian qt6-translations-l10n)";
  QDialogButtonBox box(QDialogButtonBox::Yes | QDialogButtonBox::No | QDialogButtonBox::Cancel);
  EXPECT_EQ(box.button(QDialogButtonBox::Yes)->text().remove('&'), QStringLiteral("Да"));
  EXPECT_EQ(box.button(QDialogButtonBox::No)->text().remove('&'), QStringLiteral("Нет"));
  EXPECT_EQ(box.button(QDialogButtonBox::Cancel)->text().remove('&'), QStringLiteral("Отмена"));
  QCoreApplication::removeTranslator(&translator);
}

// A screen reader's press on a clickable label does what a mouse click does; a disabled label
// (a clicked status panel waiting for its countdown) takes neither.
TEST(ClickableLabelTest, ThePressActionIsTheClick) {
  int clicks = 0;
  ClickableLabel label([&] { ++clicks; });
  label.setAccessibleName(QStringLiteral("panel"));
  label.setText(QStringLiteral("Готово"));
  label.show();
  QAccessibleInterface* a = QAccessible::queryAccessibleInterface(&label);
  ASSERT_TRUE(a && a->actionInterface());
  a->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  EXPECT_EQ(clicks, 1);
  QTest::mouseClick(&label, Qt::LeftButton);
  EXPECT_EQ(clicks, 2);
  label.setEnabled(false);
  a->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  QTest::mouseClick(&label, Qt::LeftButton);
  EXPECT_EQ(clicks, 2);
  EXPECT_EQ(a->text(QAccessible::Name), QStringLiteral("panel"));
}

TEST_F(WindowTest, AFinishedRunLeavesItsReportWithTheFailedAddresses) {
  Start s(store, paths);
  // The console's outcome log of the run: a saved page, a missing one, a refused one.
  const std::string exchange = root.Dir() + "prog/temp/";
  std::filesystem::create_directories(exchange);
  OutcomeRecord page{FetchOutcome::Saved, 2048, 1, 2, 3, "http://127.0.0.1:8080/", ""};
  OutcomeRecord missing{FetchOutcome::NotFound, 0, 1, 2, 3, "http://127.0.0.1:8080/missing.html", ""};
  OutcomeRecord refused{FetchOutcome::Refused, 0, 1, 0, 3, "http://127.0.0.1:9/x.png", ""};
  for (const OutcomeRecord& r : {page, missing, refused}) ASSERT_TRUE(AppendOutcome(exchange, r));
  std::string opened;
  OrvMainWindow::Hooks hooks;
  hooks.runReport = [&]() -> std::optional<RunReport> {
    RunSummary summary;
    summary.saved = 1;
    summary.savedBytes = 2048;
    summary.outcome = RunOutcome::Completed;
    return BuildRunReport(summary, ReadOutcomes(exchange), "http://127.0.0.1:8080/");
  };
  hooks.openStartPage = [&](const std::string& address) { opened = address; };
  s.window.SetHooks(std::move(hooks));
  s.window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&s.window));

  QWidget* report = s.window.RunReportView();
  auto* channels = s.window.findChild<QWidget*>("ListCons");
  s.status.HandingOut("1");
  EXPECT_FALSE(report->isVisible());
  s.status.Done();
  ASSERT_TRUE(report->isVisible());
  EXPECT_FALSE(channels->isVisible());
  EXPECT_TRUE(s.window.findChild<QLabel*>("runReportHeading")->text().contains(ToQ(Ru("сохранено файлов 1 (2048 байт), ошибок 2"))));
  auto* failures = s.window.findChild<QListWidget*>("runReportFailures");
  ASSERT_EQ(failures->count(), 2);
  EXPECT_EQ(failures->item(0)->text(), ToQ(Ru("не найдено: http://127.0.0.1:8080/missing.html")));
  EXPECT_EQ(failures->item(1)->text(), ToQ(Ru("отказ соединения: http://127.0.0.1:9/x.png")));
  QTest::mouseClick(s.window.findChild<QPushButton*>("runReportOpen"), Qt::LeftButton);
  EXPECT_EQ(opened, "http://127.0.0.1:8080/");

  // The next run gives the place back to its channels.
  s.status.HandingOut("1");
  EXPECT_FALSE(report->isVisible());
  EXPECT_TRUE(channels->isVisible());
}

}  // namespace
}  // namespace orv
