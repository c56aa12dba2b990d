#include "main/ui/calendar_window.h"

#include <QHBoxLayout>
#include <QLocale>
#include <QSignalBlocker>

#include <algorithm>
#include <QVBoxLayout>

namespace orv {
namespace {

constexpr int kFirstYear = 1500;
constexpr int kLastYear = 3000;

const char* const kMonths[] = {"Январь", "Февраль", "Март",     "Апрель",  "Май",    "Июнь",
                               "Июль",   "Август",  "Сентябрь", "Октябрь", "Ноябрь", "Декабрь"};

}  // namespace

CalendarWindow::CalendarWindow(QDate date, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString::fromUtf8(" выбор даты"));
  setObjectName("CalendarWindow");
  if (!date.isValid()) date = QDate::currentDate();
  date = std::clamp(date, QDate(kFirstYear, 1, 1), QDate(kLastYear, 12, 31));

  Months = new QComboBox(this);
  Months->setObjectName("Months");
  Months->setAccessibleName(QString::fromUtf8("Месяц"));
  for (const char* m : kMonths) Months->addItem(QString::fromUtf8(m));
  Years = new QComboBox(this);
  Years->setObjectName("Years");
  Years->setAccessibleName(QString::fromUtf8("Год"));
  for (int y = kFirstYear; y <= kLastYear; ++y) Years->addItem(QString::number(y));
  Days = new QCalendarWidget(this);
  Days->setObjectName("Days");
  Days->setAccessibleName(QString::fromUtf8("День"));
  Days->setLocale(QLocale(QLocale::Russian, QLocale::Russia));
  Days->setFirstDayOfWeek(Qt::Monday);
  Days->setNavigationBarVisible(false);
  Days->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
  Days->setDateRange(QDate(kFirstYear, 1, 1), QDate(kLastYear, 12, 31));
  Days->setSelectedDate(date);

  auto* top = new QHBoxLayout;
  top->addWidget(Months, 1);
  top->addWidget(Years);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(Days);

  Months->setCurrentIndex(date.month() - 1);
  Years->setCurrentIndex(date.year() - kFirstYear);
  connect(Months, &QComboBox::currentIndexChanged, this, [this] { ShowPage(); });
  connect(Years, &QComboBox::currentIndexChanged, this, [this] { ShowPage(); });
  connect(Days, &QCalendarWidget::activated, this, [this] { accept(); });
  // A day of the next or previous month clicked in the grid turns the page: the lists follow.
  connect(Days, &QCalendarWidget::currentPageChanged, this, [this](int year, int month) {
    QSignalBlocker a(Months), b(Years);
    Months->setCurrentIndex(month - 1);
    Years->setCurrentIndex(year - kFirstYear);
  });
}

void CalendarWindow::ShowPage() {
  int year = kFirstYear + Years->currentIndex();
  int month = Months->currentIndex() + 1;
  QDate d = Days->selectedDate();
  int day = std::min(d.day(), QDate(year, month, 1).daysInMonth());
  Days->setSelectedDate(QDate(year, month, day));
  Days->setCurrentPage(year, month);
}

std::optional<QDate> CalendarWindow::Choose(QDate date, QWidget* parent) {
  CalendarWindow window(date, parent);
  if (window.exec() != QDialog::Accepted) return std::nullopt;
  return window.Date();
}

}  // namespace orv
