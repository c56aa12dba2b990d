// The search pane driven as a user drives it: typing into the size fields, choosing a
// criterion, searching, narrowing, going back, and clicking a result.
#include <gtest/gtest.h>

#include <QApplication>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

#include "main/collection/collection_search.h"
#include "main/ui/calendar_window.h"
#include "main/ui/search_pane.h"
#include "main/ui/web_search_switch.h"
#include "tests/support/temp_folder.h"

namespace orv {
namespace {

class NoInterrupt : public SearchInterrupt {
 public:
  bool Interrupted() const override { return false; }
  void Clear() override {}
};

struct PaneFixture : ::testing::Test {
  PaneFixture() {
    for (std::string name : {"news.html", "news.jpg", "about.html"}) {
      orvtest::WriteWholeFile(folder.Dir() + "s.ru/" + name, "x");
    }
    SearchPane::Ports ports;
    ports.openResult = [this](const std::string& key) { opened.push_back(key); };
    ports.scope = [this] { return SearchScope{folder.Dir(), folder.Dir()}; };
    ports.showStatus = [this](const std::string& text) { status = text; };
    ports.sizeFieldsChanged = [this](const std::string& a, const std::string& b) { sizes = a + "-" + b; };
    pane = std::make_unique<SearchPane>(search, ports);
    pane->show();
    QApplication::setActiveWindow(pane.get());
    pane->SearchText->setFocus();
  }
  void Search(const QString& text) {
    pane->SearchText->setText(text);
    QTest::mouseClick(pane->GoSearch, Qt::LeftButton);
    EXPECT_TRUE(pane->SSbutton->isEnabled() || !search.Running());
    QTRY_VERIFY_WITH_TIMEOUT(!search.Running(), 5000);
    EXPECT_FALSE(pane->SSbutton->isEnabled());
  }
  QStringList Shown() const {
    QStringList texts;
    for (int i = 0; i < pane->SearchList->count(); ++i) texts << pane->SearchList->item(i)->text();
    texts.sort();  // a folder is read in the order the disk gives
    return texts;
  }
  orvtest::TempFolder folder;
  NoInterrupt interrupt;
  CollectionSearch search{interrupt};
  std::unique_ptr<SearchPane> pane;
  std::vector<std::string> opened;
  std::string status, sizes;
};

TEST_F(PaneFixture, SizeFieldsDropLettersAndStopAt32767) {
  pane->SearchType->setCurrentIndex(2);
  EXPECT_TRUE(pane->sizePanel->isVisible());
  EXPECT_FALSE(pane->datePanel->isVisible());
  EXPECT_EQ(pane->SelSearch->text(), QString::fromUtf8("Размер"));
  QLineEdit* from = pane->SrchLen[0];
  from->selectAll();
  QTest::keyClicks(from, "12a");
  EXPECT_EQ(from->text(), "12");
  EXPECT_EQ(from->cursorPosition(), 2);
  QTest::keyClicks(pane->SrchLen[1], "99999");
  EXPECT_EQ(pane->SrchLen[1]->text(), "32767");
  EXPECT_EQ(sizes, "12-32767");
  QTest::mouseClick(pane->findChild<QToolButton*>("SrchLen1Up"), Qt::LeftButton);
  EXPECT_EQ(pane->SrchLen[1]->text(), "32767");
  QTest::mouseClick(pane->findChild<QToolButton*>("SrchLen0Down"), Qt::LeftButton);
  EXPECT_EQ(from->text(), "11");
}

TEST_F(PaneFixture, NarrowingBackAndAResultClick) {
  EXPECT_FALSE(pane->GoBackBtn->isEnabled());
  Search("NEWS");
  EXPECT_EQ(Shown(), (QStringList{"news.html", "news.jpg"}));
  EXPECT_EQ(status, "3/2");
  ASSERT_TRUE(pane->Check1->isEnabled());
  pane->Check1->setChecked(true);
  Search(".jpg");
  EXPECT_EQ(Shown(), QStringList{"news.jpg"});
  ASSERT_TRUE(pane->GoBackBtn->isEnabled());
  QTest::mouseClick(pane->GoBackBtn, Qt::LeftButton);
  EXPECT_EQ(Shown(), (QStringList{"news.html", "news.jpg"}));
  EXPECT_FALSE(pane->GoBackBtn->isEnabled());

  EXPECT_EQ(pane->SearchWhere->text(), QString::fromUtf8("Где: вся коллекция"));
  QListWidgetItem* item = pane->SearchList->findItems("news.jpg", Qt::MatchExactly).value(0);
  ASSERT_NE(item, nullptr);
  QTest::mouseClick(pane->SearchList->viewport(), Qt::LeftButton, {},
                    pane->SearchList->visualItemRect(item).center());
  EXPECT_EQ(opened, std::vector<std::string>{folder.Dir() + "s.ru/news.jpg"});
  EXPECT_TRUE(pane->SearchList->hasFocus());

  // Nothing found: narrowing is unchecked and disabled.
  pane->Check1->setChecked(false);
  Search("absent");
  EXPECT_EQ(pane->SearchList->count(), 0);
  EXPECT_FALSE(pane->Check1->isEnabled());
  EXPECT_FALSE(pane->Check1->isChecked());
}

TEST_F(PaneFixture, DateLabelsTakeTheCalendarsChoice) {
  pane->SearchType->setCurrentIndex(3);
  EXPECT_TRUE(pane->datePanel->isVisible());
  EXPECT_EQ(pane->SrchDate[0]->text(), QDate::currentDate().toString("dd.MM.yyyy"));

  // The calendar opens on the label's date; a year and a month chosen, Enter confirms.
  QTimer::singleShot(0, [] {
    auto* window = dynamic_cast<CalendarWindow*>(QApplication::activeModalWidget());
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), QString::fromUtf8(" выбор даты"));
    EXPECT_EQ(window->Years->itemText(0), "1500");
    EXPECT_EQ(window->Years->itemText(window->Years->count() - 1), "3000");
    EXPECT_EQ(window->Months->itemText(11), QString::fromUtf8("Декабрь"));
    window->Years->setCurrentText("2024");
    window->Months->setCurrentIndex(1);
    EXPECT_EQ(window->Days->selectedDate().month(), 2);
    window->Days->setSelectedDate(QDate(2024, 2, 29));  // a day clicked
    QTest::keyClick(window->Days->findChild<QTableView*>(), Qt::Key_Return);
  });
  QTest::mouseClick(pane->SrchDate[0], Qt::LeftButton);
  EXPECT_EQ(pane->DateBound(0), QDate(2024, 2, 29));
  EXPECT_EQ(pane->SrchDate[0]->text(), "29.02.2024");
}

class RecordedExchange : public ExchangeSink {
 public:
  void WriteRecord(int record, const std::string& value) override {
    writes.push_back(std::to_string(record) + "=" + value);
  }
  std::vector<std::string> writes;
};

TEST(WebSearchSwitchTest, CheckingTurnsTheLabelAndTellsTheConsole) {
  RecordedExchange exchange;
  WebSearchMode mode(exchange);
  int focused = 0;
  WebSearchSwitch sw(mode, [&] { ++focused; });
  sw.show();
  EXPECT_EQ(sw.AddressLabel->text(), QString::fromUtf8("Адрес:"));
  EXPECT_EQ(sw.chkSearch->toolTip(), QString::fromUtf8("Включить поиск через Yandex"));
  QTest::mouseClick(sw.chkSearch, Qt::LeftButton);
  EXPECT_TRUE(mode.On());
  EXPECT_EQ(sw.AddressLabel->text(), QString::fromUtf8("Поиск:"));
  EXPECT_EQ(sw.AddressLabel->palette().color(QPalette::WindowText), QColor(Qt::blue));
  EXPECT_EQ(sw.chkSearch->toolTip(), QString::fromUtf8("Отключить поиск через Yandex"));
  QTest::mouseClick(sw.chkSearch, Qt::LeftButton);
  EXPECT_EQ(sw.AddressLabel->text(), QString::fromUtf8("Адрес:"));
  EXPECT_NE(sw.AddressLabel->palette().color(QPalette::WindowText), QColor(Qt::blue));
  EXPECT_EQ(exchange.writes, (std::vector<std::string>{"28=1", "28=0"}));
  EXPECT_EQ(focused, 2);
}

}  // namespace
}  // namespace orv
