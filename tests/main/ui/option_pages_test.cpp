// The option and lists pages driven as a user drives them: cells clicked and typed into,
// check boxes toggled, popup items chosen, panels filled.
#include <gtest/gtest.h>

#include <QAction>
#include <QButtonGroup>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>

#include "common/config_keys.h"
#include "common/exchange.h"
#include "common/string_list.h"
#include "main/lists/lists_model.h"
#include "main/scripts/script_params.h"
#include "main/ui/key_dispatcher.h"
#include "main/ui/lists_page.h"
#include "main/ui/option_pages.h"
#include "main/ui/ui_text.h"
#include "main/run/connection_modes.h"
#include "main/scripts/program_config.h"
#include "tests/main/fake_main_window.h"
#include "tests/main/lists/lists_folder.h"
#include "tests/main/scripts/scripts_test_support.h"

namespace orv {
namespace {

using testing::MemorySettings;
using testing::RecordingSink;

// Lets queued work run and closed editors go, as the event loop would between two key presses.
void Settle() {
  QApplication::processEvents();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  QApplication::processEvents();
}

// The editor the view opened for a cell, once the cell is clicked.
QLineEdit* OpenLineEditor(QAbstractItemView* view, const QModelIndex& index) {
  view->setCurrentIndex(index);
  view->edit(index);
  Settle();
  return view->findChild<QLineEdit*>();
}

// Types into the open editor key by key and presses Enter, as a user does.
void TypeAndEnter(QAbstractItemView* view, const QModelIndex& index, const QString& text) {
  QLineEdit* editor = OpenLineEditor(view, index);
  ASSERT_NE(editor, nullptr);
  editor->selectAll();
  QTest::keyClick(editor, Qt::Key_Backspace);
  QTest::keyClicks(editor, text);
  QTest::keyClick(editor, Qt::Key_Return);
  Settle();
}

QString Cell(QTableWidget* t, int category, int column) { return t->item(category - 1, column)->text(); }

struct CategoriesFixture : ::testing::Test {
  CategoriesFixture() { params.LoadAll(); }
  MemorySettings store;
  RecordingSink sink;
  ScriptParameters params{store, sink};
};

TEST_F(CategoriesFixture, CellsEditTheCategoryRecordsWithCouplingFilterAndCap) {
  CategoriesPage page(params);
  page.show();
  QTableWidget* table = page.Table();
  // Category 2's minimum 5 against its maximum... first make the maximum 3.
  TypeAndEnter(table, table->model()->index(1, 5), "3");
  EXPECT_EQ(params.Category(2).maxLenght, 3);
  TypeAndEnter(table, table->model()->index(1, 4), "5");
  EXPECT_EQ(params.Category(2).minLenght, 5);
  EXPECT_EQ(params.Category(2).maxLenght, 6);
  EXPECT_EQ(Cell(table, 2, 5), "6");
  // A maximum of 1 pulls the minimum down to it.
  TypeAndEnter(table, table->model()->index(1, 5), "1");
  EXPECT_EQ(Cell(table, 2, 4), "1");
  // A letter disappears as it is typed; the category fields stop at 32767.
  QLineEdit* editor = OpenLineEditor(table, table->model()->index(3, 3));
  ASSERT_NE(editor, nullptr);
  editor->selectAll();
  QTest::keyClicks(editor, "12x");
  EXPECT_EQ(editor->text(), "12");
  QTest::keyClicks(editor, "99999");
  EXPECT_EQ(editor->text(), "32767");
  QTest::keyClick(editor, Qt::Key_Return);
  Settle();
  EXPECT_EQ(params.Category(4).counter, 32767);
  // Checking the minimum's box checks the maximum's too.
  table->item(0, 4)->setCheckState(Qt::Checked);
  Settle();
  EXPECT_TRUE(params.Category(1).minLimit);
  EXPECT_TRUE(params.Category(1).maxLimit);
  EXPECT_EQ(table->item(0, 5)->checkState(), Qt::Checked);

  params.SaveCategories();
  EXPECT_EQ(store.Get("k2MinLenght"), "1");
  EXPECT_EQ(store.Get("k2MaxLenght"), "1");
  EXPECT_EQ(store.Get("k4Counter"), "32767");
  EXPECT_EQ(store.Get("k1MinLimit"), "True");
}

TEST_F(CategoriesFixture, ZoneForAllGivesEveryCategoryTheCurrentRowsZone) {
  CategoriesPage page(params);
  page.show();
  QTableWidget* table = page.Table();
  const QModelIndex zone = table->model()->index(2, 2);
  table->setCurrentIndex(zone);
  table->edit(zone);
  Settle();
  auto* box = table->findChild<QComboBox*>();
  ASSERT_NE(box, nullptr);
  box->setCurrentText(ToQ(ZoneNet()));
  QTest::keyClick(box, Qt::Key_Return);
  Settle();
  EXPECT_EQ(params.Category(3).zone, ZoneNet());
  table->setCurrentIndex(zone);
  table->edit(zone);
  Settle();
  box = table->findChild<QComboBox*>();
  ASSERT_NE(box, nullptr);
  box->setCurrentText(ToQ(ZoneForAll()));
  QTest::keyClick(box, Qt::Key_Return);
  Settle();
  for (int c = 1; c <= kCategoryCount; ++c) {
    EXPECT_EQ(params.Category(c).zone, ZoneNet()) << c;
    EXPECT_EQ(Cell(table, c, 2), ToQ(ZoneNet())) << c;
  }
}

TEST_F(CategoriesFixture, OptionFieldsTakeTheirOwnRangesAndChecksApplyAtOnce) {
  OptionListView limits(params, kLimits, "limits");
  limits.show();
  QTreeWidget* view = limits.View();
  TypeAndEnter(view, view->model()->index(1, 1), "99999");  // "Адреса :"
  EXPECT_EQ(params.Text(kLimits, "pc_ssilk"), "99999");
  EXPECT_EQ(view->topLevelItem(1)->text(1), "99999");
  TypeAndEnter(view, view->model()->index(0, 1), "500");  // "Уровни" clamps to 99
  EXPECT_EQ(view->topLevelItem(0)->text(1), "99");
  view->topLevelItem(0)->setCheckState(0, Qt::Checked);
  Settle();
  EXPECT_TRUE(params.Switch("pc_urovn"));

  // What the page set is what the next start reads.
  params.SaveAll();
  ScriptParameters restarted(store, sink);
  restarted.LoadAll();
  EXPECT_EQ(restarted.Text(kLimits, "pc_ssilk"), "99999");
  EXPECT_EQ(restarted.Text(kLimits, "pc_urovn"), "99");
  EXPECT_TRUE(restarted.Switch("pc_urovn"));
  OptionListView shown(restarted, kLimits, "limits");
  EXPECT_EQ(shown.View()->topLevelItem(0)->checkState(0), Qt::Checked);
}

TEST_F(CategoriesFixture, TurnOffNeverStaysChecked) {
  OptionListView actions(params, kEndActions, "actions");
  QTreeWidget* view = actions.View();
  view->topLevelItem(1)->setCheckState(0, Qt::Checked);  // "Закрыть"
  view->topLevelItem(2)->setCheckState(0, Qt::Checked);  // "Выключить"
  Settle();
  EXPECT_TRUE(params.Switch("pc_close"));
  EXPECT_FALSE(params.Switch("pc_off"));
  EXPECT_EQ(view->topLevelItem(2)->checkState(0), Qt::Unchecked);
}

TEST_F(CategoriesFixture, FileNamesInTextIsACheckBoxAmongTheScriptSwitches) {
  OptionListView switches(params, kSwitches, "switches");
  QTreeWidgetItem* item = switches.View()->topLevelItem(10);
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->text(0), QString::fromUtf8("Имена файлов в тексте"));
  EXPECT_EQ(item->checkState(0), Qt::Unchecked);
  item->setCheckState(0, Qt::Checked);
  Settle();
  EXPECT_TRUE(params.Switch("p_textnames"));
  EXPECT_EQ(sink.records.at(orv::TextFileNames), "1");
}

// A program model over a private folder and an in-memory settings store, for the pages that
// edit the program's own settings.
struct ProgramFixture : ::testing::Test {
  static ProgramPaths PathsIn(const std::string& folder) {
    ProgramPaths paths;
    paths.programFolder = folder;
    paths.singleInstance = false;
    return paths;
  }
  lists_testing::ListsFolder folder;
  MemorySettings store;
  testing::FakeMainWindow window;
  ProgramModel program{store, window.Program(), PathsIn(folder.Dir())};
};

TEST_F(ProgramFixture, SettingsPageModeChoiceShowsItsDescriptionAndAutoScriptItsTooltip) {
  SettingsPage page(program);
  page.show();
  QTest::mouseClick(page.ScriptModes()->button(2), Qt::LeftButton);
  EXPECT_EQ(program.Parameters().ScriptMode(), 2);
  EXPECT_EQ(window.panels[3], ScriptModeDescription(2));
  EXPECT_EQ(store.Get("scrmode"), "2");
  EXPECT_EQ(page.AutoScriptBox()->toolTip(), ToQ(Ru("Включить автоподбор сценария")));
  QTest::mouseClick(page.AutoScriptBox(), Qt::LeftButton);
  EXPECT_TRUE(program.Parameters().AutoScript());
  EXPECT_EQ(page.AutoScriptBox()->toolTip(), ToQ(Ru("Отключить автоподбор сценария")));
}

TEST_F(ProgramFixture, NetworkPageCertificateAndRenderingSwitchesAreStoredForTheConsole) {
  SystemConnectionState state;
  ConnectionControl connection(state);
  NetworkPage page(program, connection, [] { return false; });
  page.show();
  EXPECT_FALSE(page.NoCertificateCheck()->isChecked());
  QTest::mouseClick(page.NoCertificateCheck(), Qt::LeftButton);
  EXPECT_TRUE(program.Values().noCertCheck);
  EXPECT_EQ(store.Get("NoCertCheck"), "True");

  // Rendering pages is off until switched on; screen readers hear the caption.
  EXPECT_FALSE(page.RenderPages()->isChecked());
  EXPECT_EQ(page.RenderPages()->accessibleName(), QString::fromUtf8("Выполнять скрипты страниц"));
  EXPECT_FALSE(store.Has("RenderPages"));
  QTest::mouseClick(page.RenderPages(), Qt::LeftButton);
  EXPECT_TRUE(program.Values().renderPages);
  EXPECT_EQ(store.Get("RenderPages"), "True");
  QTest::mouseClick(page.RenderPages(), Qt::LeftButton);
  EXPECT_EQ(store.Get("RenderPages"), "False");
}

// The dial entry's cell: a stored entry the machine's phonebook lacks (none here) survives a
// click that opens its editor and the editor's close; the other choices still apply.
TEST_F(ProgramFixture, NetworkPageConnectionCellKeepsTheStoredEntry) {
  program.Parameters().ChooseDialEntry(Ru("Мой провайдер"));
  SystemConnectionState state;
  ConnectionControl connection(state);
  NetworkPage page(program, connection, [] { return false; });
  page.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));
  QTreeWidget* view = page.ConnectionList()->View();
  QTreeWidgetItem* cell = nullptr;
  for (int i = 0; i < view->topLevelItemCount(); ++i)
    if (view->topLevelItem(i)->text(0) == ToQ(Ru("Соединение"))) cell = view->topLevelItem(i);
  ASSERT_NE(cell, nullptr);
  EXPECT_EQ(cell->text(1), ToQ(Ru("Мой провайдер")));
  const QRect at = view->visualItemRect(cell);
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(view->header()->sectionPosition(1) + 5, at.center().y()));
  auto* editor = view->viewport()->findChild<QComboBox*>();
  ASSERT_NE(editor, nullptr) << "a click opens the choice";
  EXPECT_EQ(editor->currentText(), ToQ(Ru("Мой провайдер")));
  QTest::keyClick(editor, Qt::Key_Return);
  QCoreApplication::processEvents();
  EXPECT_EQ(program.Parameters().Row(kConnection, kDialEntryRowKey).value, Ru("Мой провайдер"));
  EXPECT_EQ(cell->text(1), ToQ(Ru("Мой провайдер")));
}

struct ListsFixture : ::testing::Test {
  ListsFixture() {
    page.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&page));
  }
  lists_testing::ListsFolder folder;
  ListsModel lists{folder.Dir(), folder.Dir()};
  KeyDispatcher keys;
  ListsPage page{lists, keys};
  int beeps = 0;
};

TEST_F(ListsFixture, CtrlDOnAnEmptyProxyListDoesNothing) {
  keys.SetBeep([this] { ++beeps; });
  EXPECT_EQ(keys.Dispatch(page.Proxies(), 'D'), KeyDispatcher::Outcome::Refused);
  EXPECT_EQ(lists.proxies.Size(), 0u);
  EXPECT_EQ(beeps, 1);
  QMenu* menu = page.MenuFor(page.Proxies());
  EXPECT_TRUE(menu->actions()[0]->isEnabled());
  EXPECT_FALSE(menu->actions()[2]->isEnabled());
}

TEST_F(ListsFixture, ProxyPanelRules) {
  const EntryPanel& panel = page.ProxyPanel();
  page.MenuFor(page.Proxies())->actions()[0]->trigger();  // "Добавить Запись"
  EXPECT_TRUE(panel.frame->isVisibleTo(&page));
  QTest::keyClicks(panel.address, "  ab");
  EXPECT_EQ(panel.address->text(), "ab");  // leading blanks go while typing
  QTest::mouseClick(panel.accept, Qt::LeftButton);
  EXPECT_TRUE(panel.frame->isVisibleTo(&page));  // too short: the panel stays
  EXPECT_EQ(lists.proxies.Size(), 0u);

  panel.address->setText("proxy.ru");
  QTest::keyClick(panel.address, Qt::Key_Return);
  EXPECT_TRUE(panel.user->hasFocus() || QApplication::focusWidget() == nullptr);
  panel.user->setText("user");
  panel.password->setText("abc");
  QTest::mouseClick(panel.accept, Qt::LeftButton);
  EXPECT_FALSE(panel.frame->isVisibleTo(&page));
  ASSERT_EQ(page.Proxies()->count(), 1);
  EXPECT_EQ(page.Proxies()->item(0)->text(), "proxy.ru:80");
  EXPECT_EQ(lists.proxies.Entries()[0].key, "proxy.ru:80@@@@@user:abc");

  // The same address again is refused silently; a 2-character password drops the credentials.
  page.MenuFor(page.Proxies())->actions()[0]->trigger();
  panel.address->setText("PROXY.ru:80");
  panel.user->setText("user");
  panel.password->setText("abc");
  QTest::mouseClick(panel.accept, Qt::LeftButton);
  EXPECT_EQ(page.Proxies()->count(), 1);
  page.MenuFor(page.Proxies())->actions()[0]->trigger();
  panel.address->setText("other.ru:3128");
  panel.user->setText("user");
  panel.password->setText("ab");
  QTest::mouseClick(panel.accept, Qt::LeftButton);
  ASSERT_EQ(page.Proxies()->count(), 2);
  EXPECT_EQ(lists.proxies.Entries()[1].key, "other.ru:3128");

  // Checking one entry makes it the current proxy; Ctrl+D removes the selected one.
  page.Proxies()->item(1)->setCheckState(Qt::Checked);
  Settle();
  EXPECT_EQ(lists.proxies.CurrentProxy(), "other.ru:3128");
  page.Proxies()->setCurrentRow(0);
  EXPECT_EQ(keys.Dispatch(page.Proxies(), 'D'), KeyDispatcher::Outcome::Ran);
  ASSERT_EQ(page.Proxies()->count(), 1);
  EXPECT_EQ(ReadStringArrayFile(lists.proxies.FilePath()).at(1), "other.ru:3128");
}

TEST_F(ListsFixture, AuthenticationPanelDropsAShortPasswordAndEnterAccepts) {
  const EntryPanel& panel = page.AuthPanel();
  page.MenuFor(page.Credentials())->actions()[0]->trigger();
  panel.address->setText("Site.ru");
  panel.user->setText("name");
  panel.password->setText("abc");  // three characters: user and password cleared, kept open
  QTest::mouseClick(panel.accept, Qt::LeftButton);
  EXPECT_TRUE(panel.frame->isVisibleTo(&page));
  EXPECT_EQ(lists.auth.Size(), 0u);
  panel.user->setText("name");
  panel.password->setText("secret");
  QTest::keyClick(panel.password, Qt::Key_Return);
  EXPECT_FALSE(panel.frame->isVisibleTo(&page));
  ASSERT_EQ(page.Credentials()->count(), 1);
  EXPECT_EQ(page.Credentials()->item(0)->text(), "site.ru");
}

TEST_F(ListsFixture, ExclusionsAddEditCheckAndReachTheConsole) {
  QListWidget* view = page.Exclusions();
  QMenu* menu = page.MenuFor(view);
  EXPECT_FALSE(menu->actions()[1]->isEnabled());  // nothing to delete yet
  menu->actions()[0]->trigger();                  // "Добавить"
  ASSERT_EQ(view->count(), 1);
  EXPECT_EQ(view->item(0)->text(), ToQ(Ru("Фрагмент_1")));

  // Label editing: a one-character label reverts, a longer one becomes the key.
  view->setCurrentRow(0);
  page.MenuFor(view)->actions()[2]->trigger();  // "Изменить"
  Settle();
  auto* editor = view->findChild<QLineEdit*>();
  ASSERT_NE(editor, nullptr);
  editor->setText("x");
  QTest::keyClick(editor, Qt::Key_Return);
  Settle();
  EXPECT_EQ(view->item(0)->text(), ToQ(Ru("Фрагмент_1")));
  page.MenuFor(view)->actions()[2]->trigger();
  Settle();
  editor = view->findChild<QLineEdit*>();
  ASSERT_NE(editor, nullptr);
  editor->setText("  /ads/ ");
  QTest::keyClick(editor, Qt::Key_Return);
  Settle();
  EXPECT_EQ(view->item(0)->text(), "/ads/");

  // Checked, it reaches torvcess; a checked entry cannot be edited.
  view->item(0)->setCheckState(Qt::Checked);
  Settle();
  EXPECT_EQ(ReadStringArrayFile(lists.exclusions.TorvcessPath()), (std::vector<std::string>{"1", "/ads/"}));
  page.MenuFor(view)->actions()[2]->trigger();
  Settle();
  EXPECT_EQ(view->findChild<QLineEdit*>(), nullptr);

  // Ctrl+D deletes it and torvcess is empty again.
  EXPECT_EQ(keys.Dispatch(view, 'D'), KeyDispatcher::Outcome::Ran);
  EXPECT_EQ(view->count(), 0);
  EXPECT_EQ(ReadStringArrayFile(lists.exclusions.TorvcessPath()), (std::vector<std::string>{"0"}));
}

TEST_F(ListsFixture, ThePageFollowsChangesMadeElsewhere) {
  // "В Исключения" from the collection tree or the channel list goes through the model alone:
  // the entry is stored at once and the page shows it, so Ctrl+D deletes what the user sees.
  ASSERT_TRUE(lists.Exclude("http://ads.example/"));
  ASSERT_TRUE(lists.Track("http://keep.example/"));
  EXPECT_FALSE(lists.Exclude("HTTP://ADS.example/"));  // already there
  Settle();
  ASSERT_EQ(page.Exclusions()->count(), 1);
  EXPECT_EQ(page.Exclusions()->item(0)->text(), "http://ads.example/");
  ASSERT_EQ(page.Tracks()->count(), 1);
  EXPECT_EQ(ReadStringArrayFile(lists.exclusions.StorePath()), (std::vector<std::string>{"1", "http://ads.example/"}));
  EXPECT_TRUE(page.MenuFor(page.Exclusions())->actions()[1]->isEnabled());
  page.Exclusions()->setCurrentRow(0);
  EXPECT_EQ(keys.Dispatch(page.Exclusions(), 'D'), KeyDispatcher::Outcome::Ran);
  EXPECT_TRUE(lists.exclusions.Entries().empty());

  // Proxy alternation during a run moves the check mark on the page.
  const EntryPanel& panel = page.ProxyPanel();
  for (const char* address : {"a.proxy:1", "b.proxy:2", "c.proxy:3"}) {
    page.MenuFor(page.Proxies())->actions()[0]->trigger();
    panel.address->setText(address);
    QTest::mouseClick(panel.accept, Qt::LeftButton);
  }
  ASSERT_TRUE(lists.proxies.Alternate());
  ASSERT_TRUE(lists.proxies.Alternate());
  Settle();
  ASSERT_EQ(page.Proxies()->count(), 3);
  EXPECT_EQ(page.Proxies()->item(0)->checkState(), Qt::Unchecked);
  EXPECT_EQ(page.Proxies()->item(1)->checkState(), Qt::Checked);

  // Dragging the first proxy below the last reorders the list and rewrites orvproxy; the
  // check mark travels with its entry.
  page.Proxies()->setCurrentRow(0);
  ASSERT_TRUE(page.Proxies()->model()->moveRow(QModelIndex(), 0, QModelIndex(), 3));
  Settle();
  EXPECT_EQ(ReadStringArrayFile(lists.proxies.FilePath()),
            (std::vector<std::string>{"3", "b.proxy:2", "c.proxy:3", "a.proxy:1"}));
  EXPECT_EQ(page.Proxies()->item(0)->text(), "b.proxy:2");
  EXPECT_EQ(page.Proxies()->item(0)->checkState(), Qt::Checked);
  EXPECT_EQ(lists.proxies.CurrentIndex(), 1);
}

TEST_F(ListsFixture, UserAgentPresetFillsTheFieldAndEditsKeepDefault) {
  page.UserAgentPresets()->setCurrentIndex(5);
  emit page.UserAgentPresets()->activated(5);
  EXPECT_EQ(lists.userAgents.Chosen(), 5);
  EXPECT_EQ(page.UserAgentText()->text(), ToQ(lists.userAgents.Slot(5)));
  page.UserAgentText()->clear();
  QTest::keyClicks(page.UserAgentText(), "Mine/1.0");
  EXPECT_EQ(lists.userAgents.Slot(5), "Mine/1.0");
  EXPECT_EQ(lists.userAgents.RunText(), "Mine/1.0");
}

}  // namespace
}  // namespace orv
