// The channel list as run control fills it, its context menu, and the popup closer over the
// program's own windows.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QMenu>
#include <QTest>
#include <QTreeWidget>

#include <memory>

#include "common/text.h"
#include "main/run/channel_table.h"
#include "main/run/popup_closer.h"
#include "main/ui/main_window.h"
#include "main/ui/popups.h"

namespace orv {
namespace {

ChannelRecord Record(const std::string& url, int stopButton = 7001) {
  ChannelRecord r;
  r.url = url;
  r.statusText = " Start...";
  r.sizeText = " 1200";
  r.stopButton = stopButton;
  r.resumable = "1";
  return r;
}

struct ChannelMenuTest : ::testing::Test {
  ChannelMenuTest() {
    OrvMainWindow::Hooks hooks;
    hooks.channelRow = [this](int channel) { return table.Row(channel); };
    hooks.closeChannel = [this](int channel) { log.push_back("close:" + std::to_string(channel)); };
    hooks.bookmarkAddress = [this](const std::string& a) { log.push_back("bookmark:" + a); };
    hooks.excludeAddress = [this](const std::string& a) { log.push_back("exclude:" + a); };
    hooks.trackAddress = [this](const std::string& a) { log.push_back("track:" + a); };
    window.SetHooks(std::move(hooks));
  }
  void Refresh(int channel, const ChannelRecord& r) {
    table.Refresh(channel, r, [](const std::string& a) { return a.ends_with(".gif") ? 2 : 1; }, window);
  }
  QTreeWidget* List() { return window.findChild<QTreeWidget*>("ListCons"); }
  static QAction* Item(QMenu* menu, const char* name) { return menu->findChild<QAction*>(name); }

  OrvMainWindow window;
  ChannelTable table;
  std::vector<std::string> log;
};

TEST_F(ChannelMenuTest, TheListShowsTheTableAndItsMenuActsOnTheRowsAddress) {
  Refresh(3, Record("http://site.test/a.html"));
  Refresh(5, Record("http://site.test/b.gif"));
  ASSERT_EQ(List()->topLevelItemCount(), 2);
  Refresh(3, Record(""));  // channel 3 idle again
  ASSERT_EQ(List()->topLevelItemCount(), 1);
  EXPECT_EQ(List()->topLevelItem(0)->text(0), "http://site.test/b.gif");
  EXPECT_EQ(table.Row(5)->iconCategory, 2);

  EXPECT_EQ(window.ChannelMenu(3), nullptr) << "an idle channel has no menu";
  std::unique_ptr<QMenu> menu(window.ChannelMenu(5));
  ASSERT_NE(menu, nullptr);
  QStringList captions;
  for (QAction* a : menu->actions()) captions << a->text();
  EXPECT_EQ(captions, QStringList({QString::fromUtf8("Закрыть Канал"), QString::fromUtf8("Создать Закладку"),
                                   QString::fromUtf8("В Исключения"), QString::fromUtf8("В Колею"),
                                   QString::fromUtf8("Копировать")}));
  // The channel takes another address while the menu is open: the menu keeps the one it showed.
  Refresh(5, Record("http://site.test/c.html"));
  for (const char* name : {"bookmark", "exclude", "track", "copy", "closeChannel"}) Item(menu.get(), name)->trigger();
  EXPECT_EQ(log, (std::vector<std::string>{"bookmark:http://site.test/b.gif", "exclude:http://site.test/b.gif",
                                           "track:http://site.test/b.gif", "close:5"}));
  EXPECT_EQ(QApplication::clipboard()->text(), "http://site.test/b.gif");
}

TEST_F(ChannelMenuTest, SearchEnginePagesCannotBeBookmarked) {
  Refresh(1, Record("http://YANDEX.ru/yandsearch?text=orv"));
  std::unique_ptr<QMenu> menu(window.ChannelMenu(1));
  ASSERT_NE(menu, nullptr);
  EXPECT_FALSE(Item(menu.get(), "bookmark")->isEnabled());
  EXPECT_TRUE(Item(menu.get(), "exclude")->isEnabled());
  Refresh(2, Record("http://yandex.ru.example.test/page.html"));
  std::unique_ptr<QMenu> other(window.ChannelMenu(2));
  EXPECT_TRUE(Item(other.get(), "bookmark")->isEnabled());
}

TEST(PopupCloserTest, OnlyTheFirstMatchingCaptionCountsAndTheProgramsOwnIsSpared) {
  const std::vector<std::string> two = {"Orvanta", "File Download", Ru("Ошибка сценария на странице")};
  EXPECT_EQ(PopupToClose(two, true), 1);
  EXPECT_EQ(PopupToClose(two, false), 2) << "the short list has no file download";
  // The first match names the program: nothing is closed in this call, not even the next one.
  EXPECT_EQ(PopupToClose({"File download - ORVANTA", "Script Error"}, true), -1);
  EXPECT_EQ(PopupToClose({Ru("Удаленное Соединение")}, true), 0);
  EXPECT_EQ(PopupToClose({Ru("Удаленное Соединение")}, false), -1);
  EXPECT_EQ(PopupToClose({"", "Settings"}, true), -1);
}

TEST(PopupCloserTest, ClosesOneOfTheProgramsWindowsPerCall) {
  QDialog first, second, own;
  first.setWindowTitle("File Download");
  second.setWindowTitle(QString::fromUtf8("Ошибка Сценария"));
  own.setWindowTitle("Orvanta: file download");
  own.show();
  first.show();
  second.show();
  const auto shown = [&] { return int(first.isVisible()) + int(second.isVisible()); };
  // Whichever of the three comes first decides this call; own is never closed.
  bool ownOut = false;
  for (int call = 0; call < 6 && shown() > 0; ++call) {
    const int before = shown();
    CloseStalledPopup(true);
    QApplication::processEvents();
    EXPECT_GE(shown(), before - 1) << "more than one window closed in one call";
    EXPECT_TRUE(ownOut || own.isVisible());
    if (shown() == before) {
      // The program's own window came first and stopped the call: move it out of the way.
      ASSERT_FALSE(ownOut);
      own.hide();
      ownOut = true;
    }
  }
  EXPECT_EQ(shown(), 0);
  EXPECT_FALSE(CloseStalledPopup(true));
}

}  // namespace
}  // namespace orv
