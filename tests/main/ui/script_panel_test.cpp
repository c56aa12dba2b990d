// The script panel and the script sets driven through their widgets as a user drives them.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeWidget>
#include <QUrl>

#include <deque>
#include <functional>
#include <filesystem>

#include "common/text.h"
#include "main/lists/lists_model.h"
#include "main/scripts/script_model.h"
#include "main/ui/script_panel.h"
#include "main/ui/script_sets_panel.h"
#include "platform/file_attributes.h"
#include "tests/main/scripts/scripts_test_support.h"

namespace orv {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::ScratchFolder;
using testing::ScriptBytes;
using testing::WriteBytes;

QTreeWidgetItem* FindNode(QTreeWidget* tree, const QString& text) {
  const auto found = tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
  return found.isEmpty() ? nullptr : found.first();
}

QAction* MenuEntry(QMenu* menu, const char* caption) {
  for (QAction* a : menu->actions())
    if (a->text() == QString::fromUtf8(caption)) return a;
  return nullptr;
}

struct PanelFixture : ::testing::Test {
  PanelFixture() {
    scripts.collectionFolder = collection.Dir();
    ScriptPanelPorts ports;
    ports.runActive = [this] { return running; };
    ports.storeSlot = [this](int slot) { stored.push_back(slot); };
    ports.setAddress = [this](const std::string& a) { address = a; };
    ports.showInCollection = [this](const std::string& a) { shownFiles.push_back(a); };
    ports.showListsPage = [this] { ++listsPageShown; };
    ports.busyFinished = [this](std::function<void()> hide) { finishedHides.push_back(std::move(hide)); };
    ports.tell = [this](const std::string& t) { told.push_back(t); };
    ports.toggleScriptSets = [this] { ++setsToggled; };
    ports.setBusy = [](bool) {};
    ports.ask = [this](const std::string& q) {
      asked.push_back(q);
      return true;
    };
    panel = std::make_unique<ScriptPanel>(
        scripts, lists, [](std::string_view a) { return a.ends_with(".zip") ? 7 : 1; }, std::move(ports));
    panel->resize(500, 600);
    panel->show();
  }
  void WaitForTree() {
    for (int i = 0; i < 1000 && panel->Building(); ++i) QTest::qWait(5);
    ASSERT_FALSE(panel->Building());
  }
  void Click(QTreeWidgetItem* item) {
    ASSERT_NE(item, nullptr);
    QTreeWidget* tree = panel->Tree();
    tree->scrollToItem(item);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(item).center());
  }
  void RightClick(QTreeWidgetItem* item) {
    ASSERT_NE(item, nullptr);
    QTreeWidget* tree = panel->Tree();
    tree->scrollToItem(item);
    emit tree->customContextMenuRequested(tree->visualItemRect(item).center());
    panel->ContextMenu()->hide();
  }

  ScratchFolder collection, programFolder;
  ScriptModel scripts;
  ListsModel lists{programFolder.Dir(), programFolder.Dir()};
  std::unique_ptr<ScriptPanel> panel;
  bool running = false;
  std::vector<int> stored;
  std::string address;
  std::vector<std::string> shownFiles, asked, told;
  int listsPageShown = 0;
  int setsToggled = 0;
  std::vector<std::function<void()>> finishedHides;  // what the window's countdown would call
};

TEST_F(PanelFixture, ChoosingASlotShowsWhatItsScriptStillHasToFetchAndPrunesIt) {
  const std::string col = collection.Dir();
  WriteBytes(col + "done.org/page.html", "x");
  WriteBytes(col + "h.com/pics/archive.zip", "x");
  ASSERT_TRUE(SetSystemMark(col + "h.com/pics/archive.zip"));
  WriteBytes(col + "orvef2", ScriptBytes("a05", {"http://done.org/page.html", "http://h.com/docs/readme.html",
                                                  "http://h.com/pics/archive.zip", "http://other.net/section/page-x.html",
                                                  "http://other.net/section/page-y.html"}));
  ASSERT_EQ(panel->SlotButton(2)->text(), QString::fromUtf8("Сценарий № 2"));

  // AutoSelect moves the mark only.
  panel->SelectSlotButton(5);
  EXPECT_TRUE(panel->SlotButton(5)->isChecked());
  EXPECT_TRUE(stored.empty());

  QTest::mouseClick(panel->SlotButton(2), Qt::LeftButton);
  EXPECT_EQ(stored, std::vector<int>{2});
  EXPECT_EQ(scripts.currentSlot, 2);
  EXPECT_TRUE(panel->Tree()->isHidden());
  WaitForTree();
  EXPECT_TRUE(panel->Tree()->isVisible());
  EXPECT_EQ(panel->BusyLabel()->text(), QString::fromUtf8(" работа завершена.\n адресов: 5"));
  QTreeWidget* tree = panel->Tree();
  ASSERT_EQ(tree->topLevelItemCount(), 2);  // done.org is complete: not shown
  EXPECT_EQ(tree->topLevelItem(0)->text(0), "h.com");
  ASSERT_NE(FindNode(tree, "archive.zip"), nullptr);
  EXPECT_EQ(FindNode(tree, "readme.html"), nullptr);

  // A left click takes the key into the address field; with "Показывать файлы" checked the
  // collection shows the file too.
  tree->expandAll();
  Click(FindNode(tree, "archive.zip"));
  EXPECT_EQ(address, "http://h.com/pics/archive.zip");
  EXPECT_TRUE(shownFiles.empty());
  panel->ShowFilesAction()->setChecked(true);
  Click(FindNode(tree, "docs"));
  EXPECT_EQ(shownFiles, std::vector<std::string>{"http://h.com/docs/"});

  // "В колею" adds the key to the track list and shows the lists page.
  RightClick(FindNode(tree, "section"));
  MenuEntry(panel->ContextMenu(), "В колею")->trigger();
  EXPECT_GE(lists.tracks.Find("http://other.net/section/"), 0);
  EXPECT_EQ(listsPageShown, 1);
  MenuEntry(panel->ContextMenu(), "Копировать")->trigger();
  EXPECT_EQ(QApplication::clipboard()->text(), "http://other.net/section/");

  // A node without children goes without a question; a host with branches asks first.
  RightClick(FindNode(tree, "section"));
  EXPECT_TRUE(MenuEntry(panel->ContextMenu(), "Удалить")->isEnabled());
  MenuEntry(panel->ContextMenu(), "Удалить")->trigger();
  EXPECT_TRUE(asked.empty());
  WaitForTree();
  EXPECT_EQ(ReadScriptFile(col + "orvef2"),
            (std::vector<std::string>{"a03", "http://done.org/page.html", "http://h.com/docs/readme.html",
                                      "http://h.com/pics/archive.zip"}));
  RightClick(FindNode(tree, "h.com"));
  MenuEntry(panel->ContextMenu(), "Удалить")->trigger();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0], Ru("Удаление этого адреса приведет к удалению имеющихся ветвей.") + "\n" + Ru("Удалить?"));
  WaitForTree();
  EXPECT_EQ(ReadScriptFile(col + "orvef2"), (std::vector<std::string>{"a01", "http://done.org/page.html"}));
  EXPECT_EQ(tree->topLevelItemCount(), 0);

  // During a run choosing a slot does not rebuild the tree, and the script stays.
  running = true;
  QTest::mouseClick(panel->SlotButton(3), Qt::LeftButton);
  EXPECT_FALSE(panel->Building());
  EXPECT_EQ(stored, (std::vector<int>{2, 3}));
  WriteBytes(col + "orvef3", ScriptBytes("a01", {"http://h.com/"}));
  QTest::mouseClick(panel->DeleteScriptButton(), Qt::LeftButton);
  EXPECT_TRUE(fs::exists(col + "orvef3"));
  running = false;
  QTest::mouseClick(panel->DeleteScriptButton(), Qt::LeftButton);
  EXPECT_FALSE(fs::exists(col + "orvef3"));
}

// "Забыть cookies" removes the current script's jar and nothing else; while that script runs
// it waits (the run writes the jar back at its end), and so does deleting the script.
TEST_F(PanelFixture, ForgetCookiesRemovesTheCurrentScriptsJarOnly) {
  const std::string col = collection.Dir();
  WriteBytes(col + "orvef3", ScriptBytes("a01", {"http://h.com/"}));
  WriteBytes(CookieJarFileName(col, 3), "h.com\tFALSE\t/\tFALSE\t0\tsid\t1\n");
  WriteBytes(CookieJarFileName(col, 4), "h.com\tFALSE\t/\tFALSE\t0\tsid\t2\n");
  EXPECT_EQ(CookieJarFileName(col, 3), col + "orvef3.cookies");
  panel->ChooseSlot(3);
  WaitForTree();
  QAction* forget = MenuEntry(panel->ContextMenu(), "Забыть cookies");
  ASSERT_NE(forget, nullptr);

  running = true;
  scripts.runSlot = 3;
  panel->PrepareMenu();
  EXPECT_FALSE(forget->isEnabled());
  panel->ForgetCookies();  // a shortcut or a stale menu: still refused
  EXPECT_TRUE(fs::exists(CookieJarFileName(col, 3)));
  scripts.runSlot = 4;  // another script runs: this one's jar may go
  panel->PrepareMenu();
  ASSERT_TRUE(forget->isEnabled());
  forget->trigger();
  EXPECT_FALSE(fs::exists(CookieJarFileName(col, 3)));
  EXPECT_TRUE(fs::exists(CookieJarFileName(col, 4)));
  EXPECT_TRUE(fs::exists(col + "orvef3"));
  ASSERT_EQ(told.size(), 2u);
  EXPECT_EQ(told[1], "Cookies сценария № 3 забыты");
  panel->PrepareMenu();
  EXPECT_FALSE(forget->isEnabled());

  // Deleting a script takes its jar along.
  running = false;
  panel->ChooseSlot(4);
  WaitForTree();
  QTest::mouseClick(panel->DeleteScriptButton(), Qt::LeftButton);
  EXPECT_FALSE(fs::exists(CookieJarFileName(col, 4)));
}

TEST_F(PanelFixture, MenuEntriesWaitForTheBuild) {
  std::vector<std::string> many;
  for (int k = 0; k < 3000; ++k) many.push_back("http://site" + std::to_string(k % 40) + ".ru/a/page" + std::to_string(k) + ".html");
  WriteBytes(collection.Dir() + "orvef0", ScriptBytes("a03000", many));
  panel->ChooseSlot(0);
  ASSERT_TRUE(panel->Building());
  panel->PrepareMenu();
  for (const char* entry : {"Развернуть", "Свернуть", "Копировать", "Выбрать", "В колею", "В исключения", "Удалить"})
    EXPECT_FALSE(MenuEntry(panel->ContextMenu(), entry)->isEnabled()) << entry;
  EXPECT_TRUE(MenuEntry(panel->ContextMenu(), "Показывать файлы")->isEnabled());
  // The window keeps running events while the tree fills; the busy text counts.
  QTest::qWait(1);
  EXPECT_TRUE(panel->BusyLabel()->text().startsWith(QString::fromUtf8("  работа...")));
  WaitForTree();
  EXPECT_EQ(panel->Tree()->topLevelItemCount(), 40);
  RightClick(panel->Tree()->topLevelItem(0));
  EXPECT_TRUE(MenuEntry(panel->ContextMenu(), "Выбрать")->isEnabled());
  MenuEntry(panel->ContextMenu(), "Выбрать")->trigger();
  EXPECT_EQ(address, "http://site0.ru/");
}

// The script sets are reached from the list's button and from the tree's menu, while a build
// runs too (they do not depend on the tree).
TEST_F(PanelFixture, TheScriptSetsOpenFromTheButtonAndTheMenu) {
  auto* button = panel->findChild<QPushButton*>("ScriptSetsButton");
  ASSERT_NE(button, nullptr);
  EXPECT_TRUE(button->isVisible());
  QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_EQ(setsToggled, 1);
  panel->PrepareMenu();
  QAction* entry = MenuEntry(panel->ContextMenu(), "Наборы Сценариев");
  ASSERT_NE(entry, nullptr);
  EXPECT_TRUE(entry->isEnabled());
  entry->trigger();
  EXPECT_EQ(setsToggled, 2);
}

// The closing words of a build stay until the window's busy-label countdown takes them away;
// a countdown armed by an earlier build never hides the busy text of a later one.
TEST_F(PanelFixture, ClosingWordsOfABuildGoOnlyWithTheirOwnCountdown) {
  WriteBytes(collection.Dir() + "orvef1", ScriptBytes("a01", {"http://h.com/docs/readme.html"}));
  std::vector<std::string> many;
  for (int k = 0; k < 3000; ++k) many.push_back("http://site.ru/a/page" + std::to_string(k) + ".html");
  WriteBytes(collection.Dir() + "orvef0", ScriptBytes("a03000", many));
  panel->ChooseSlot(1);
  WaitForTree();
  ASSERT_EQ(finishedHides.size(), 1u);
  EXPECT_TRUE(panel->BusyLabel()->isVisible());
  EXPECT_TRUE(panel->BusyLabel()->text().startsWith(QString::fromUtf8(" работа завершена.")));

  panel->ChooseSlot(0);
  ASSERT_TRUE(panel->Building());
  finishedHides[0]();
  EXPECT_TRUE(panel->BusyLabel()->isVisible()) << "the new build's busy text stays";
  WaitForTree();
  ASSERT_EQ(finishedHides.size(), 2u);
  finishedHides[0]();
  EXPECT_TRUE(panel->BusyLabel()->isVisible());
  finishedHides[1]();
  EXPECT_FALSE(panel->BusyLabel()->isVisible());
}

class QueuedPrompts : public ScriptSetPrompts {
 public:
  std::vector<std::string> asked, told;
  std::deque<bool> answers;
  bool AskYesNo(const std::string& text) override {
    asked.push_back(text);
    if (answers.empty()) return true;
    const bool a = answers.front();
    answers.pop_front();
    return a;
  }
  void ShowMessage(const std::string& text) override { told.push_back(text); }
};

TEST(ScriptSetsPanel, SaveLoadRenameAndDropThroughTheWidgets) {
  ScratchFolder collection, dropped;
  QueuedPrompts prompts;
  ScriptSets sets([&] { return collection.Dir(); }, prompts);
  int treeCleared = 0;
  ScriptSetsPanel panel(sets, {[&] { ++treeCleared; }, [](const std::string&) { return std::string(); }});
  panel.resize(500, 400);
  panel.show();
  panel.Refresh();

  panel.PrepareMenu();
  EXPECT_FALSE(MenuEntry(panel.ContextMenu(), "Загрузить набор")->isEnabled());
  EXPECT_FALSE(MenuEntry(panel.ContextMenu(), "Переименовать")->isEnabled());
  EXPECT_TRUE(MenuEntry(panel.ContextMenu(), "Импорт Блока")->isEnabled());

  const std::string script = ScriptBytes("a01", {"http://site.ru/"});
  WriteBytes(collection.Dir() + "orvef4", script);
  panel.NameField()->insert(QString::fromUtf8("Сайты"));  // typed through an input method
  prompts.answers = {true};  // clear the current block
  QTest::mouseClick(panel.SaveButton(), Qt::LeftButton);
  EXPECT_EQ(prompts.asked, std::vector<std::string>{Ru("Очистить текущий блок сценариев?")});
  EXPECT_EQ(treeCleared, 1);
  EXPECT_FALSE(fs::exists(collection.Dir() + "orvef4"));
  QTreeWidget* list = panel.List();
  ASSERT_EQ(list->topLevelItemCount(), 1);
  EXPECT_EQ(list->topLevelItem(0)->text(0), QString::fromUtf8("Сайты"));
  EXPECT_EQ(list->topLevelItem(0)->text(2), "1");
  EXPECT_EQ(list->topLevelItem(0)->text(3), QString::number(script.size()));

  // Renaming by editing the label; an empty name keeps the old one.
  sets.Select(0);
  panel.StartRename();
  QLineEdit* editor = list->findChild<QLineEdit*>();
  ASSERT_NE(editor, nullptr);
  QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(editor, "blocks");
  QTest::keyClick(editor, Qt::Key_Return);
  QTest::qWait(0);  // the delegate commits on the next turn of the event loop
  EXPECT_EQ(list->topLevelItem(0)->text(0), "blocks");
  EXPECT_TRUE(fs::exists(sets.SetsFolder() + "/blocks/orvef4"));
  list->topLevelItem(0)->setText(0, "  ");
  EXPECT_EQ(list->topLevelItem(0)->text(0), "blocks");

  // A double click loads the set back into the (empty) block without asking.
  prompts.asked.clear();
  const QPoint row = list->visualItemRect(list->topLevelItem(0)).center();
  QTest::mousePress(list->viewport(), Qt::LeftButton, {}, row);
  QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, row);
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row);
  EXPECT_TRUE(prompts.asked.empty());
  EXPECT_EQ(ReadBytes(collection.Dir() + "orvef4"), script);
  EXPECT_EQ(treeCleared, 2);
  EXPECT_EQ(panel.NameField()->text(), "blocks");

  // A folder dropped onto the list is imported as "scripts_0".
  WriteBytes(dropped.Dir() + "orvef1", script);
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(dropped.Dir()))});
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(list->viewport(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(list->viewport(), &drop);
  ASSERT_EQ(list->topLevelItemCount(), 2);
  EXPECT_EQ(list->topLevelItem(1)->text(0), "scripts_0");
  EXPECT_TRUE(fs::exists(sets.SetsFolder() + "/scripts_0/orvef1"));
}

}  // namespace
}  // namespace orv
