#pragma once
// The calendar window " выбор даты": a month list, a year list (1500 to 3000) and a day
// grid. A day click selects, a double click (or Enter) confirms and closes.
#include <QComboBox>
#include <QCalendarWidget>
#include <QDate>
#include <QDialog>

#include <optional>

namespace orv {

class CalendarWindow final : public QDialog {
 public:
  explicit CalendarWindow(QDate date, QWidget* parent = nullptr);
  QDate Date() const { return Days->selectedDate(); }
  // Opens modally on date (today when it is invalid); the chosen date, or none when closed.
  static std::optional<QDate> Choose(QDate date, QWidget* parent);

  QComboBox* Months = nullptr;
  QComboBox* Years = nullptr;
  QCalendarWidget* Days = nullptr;

 private:
  void ShowPage();
};

}  // namespace orv
