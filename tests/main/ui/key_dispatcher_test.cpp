// Keyboard commands of the main window, pressed as a user presses them.
#include <gtest/gtest.h>

#include <QAction>
#include <QListWidget>
#include <QTest>

#include "main/ui/main_window.h"

namespace orv {
namespace {

struct KeyFixture : ::testing::Test {
  KeyFixture() {
    OrvMainWindow::Hooks hooks;
    hooks.pageShown = [](const std::string&) {};  // a page button pressed by a key
    window.SetHooks(std::move(hooks));
    window.InstallPane(Pane::OptionsPage4, list);
    window.Keys().SetBeep([this] { ++beeps; });
  }
  // A list's Ctrl+D: only when the list is not empty, deletes the selected entry.
  void RegisterDelete() {
    window.Keys().Register(
        list, 'D', [this] { return list->count() > 0; },
        [this] {
          QListWidgetItem* item = list->currentItem();
          if (!item) return false;
          delete item;
          return true;
        });
  }
  OrvMainWindow window;
  QListWidget* list = new QListWidget;
  int beeps = 0;
};

TEST_F(KeyFixture, CtrlDOnAnEmptyListDoesNothingButBeeps) {
  RegisterDelete();
  QTest::keyClick(list, Qt::Key_D, Qt::ControlModifier);
  EXPECT_EQ(list->count(), 0);
  EXPECT_EQ(beeps, 1);
}

TEST_F(KeyFixture, CtrlDDeletesTheSelectedEntryOfTheFocusedListOnly) {
  RegisterDelete();
  list->addItems({"a", "b", "c"});
  list->setCurrentRow(1);
  auto* other = new QListWidget;
  other->addItems({"x"});
  window.InstallPane(Pane::OptionsPage3, other);

  QTest::keyClick(list, Qt::Key_D, Qt::ControlModifier);
  ASSERT_EQ(list->count(), 2);
  EXPECT_EQ(list->item(0)->text(), "a");
  EXPECT_EQ(list->item(1)->text(), "c");
  // Another control, another letter, or D without Ctrl: not this command.
  QTest::keyClick(other, Qt::Key_D, Qt::ControlModifier);
  QTest::keyClick(list, Qt::Key_E, Qt::ControlModifier);
  QTest::keyClick(list, Qt::Key_D);
  EXPECT_EQ(list->count(), 2);
  EXPECT_EQ(other->count(), 1);
  EXPECT_EQ(beeps, 0);
}

TEST_F(KeyFixture, ADisabledMenuItemStopsTheCommandAndAFailingCommandBeeps) {
  bool itemEnabled = false;
  int runs = 0;
  bool succeeds = true;
  window.Keys().Register(list, 'o', [&] { return itemEnabled; }, [&] { ++runs; return succeeds; });
  QTest::keyClick(list, Qt::Key_O, Qt::ControlModifier);
  EXPECT_EQ(runs, 0);
  EXPECT_EQ(beeps, 1);
  itemEnabled = true;
  QTest::keyClick(list, Qt::Key_O, Qt::ControlModifier);
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(beeps, 1);
  succeeds = false;
  QTest::keyClick(list, Qt::Key_O, Qt::ControlModifier);
  EXPECT_EQ(runs, 2);
  EXPECT_EQ(beeps, 2);
}

TEST_F(KeyFixture, TheWindowTakesTheKeyBeforeAShortcutOfTheSameKeys) {
  // A menu action with the same shortcut must not steal the control's command.
  int shortcutRuns = 0;
  auto* action = new QAction(&window);
  action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
  window.addAction(action);
  QObject::connect(action, &QAction::triggered, [&] { ++shortcutRuns; });
  RegisterDelete();
  list->addItems({"a"});
  list->setCurrentRow(0);
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  list->setFocus();
  // Through the window system, as a real key arrives, so menu shortcuts are looked up too.
  QTest::keyClick(window.windowHandle(), Qt::Key_D, Qt::ControlModifier);
  EXPECT_EQ(list->count(), 0);
  EXPECT_EQ(shortcutRuns, 0);
  // On a control without the command the shortcut keeps working.
  auto* other = new QListWidget;
  window.InstallPane(Pane::OptionsPage3, other);
  window.PressToolbarButton("net");
  other->setFocus();
  QTest::keyClick(window.windowHandle(), Qt::Key_D, Qt::ControlModifier);
  EXPECT_EQ(shortcutRuns, 1);
}

}  // namespace
}  // namespace orv
