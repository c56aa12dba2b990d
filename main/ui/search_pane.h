#pragma once
// The search pane of the collection column: criterion SearchType ("Адрес", "Текст",
// "Размер", "Дата") shown in SelSearch, the text SearchText, the size fields SrchLen0/1
// with spin buttons, the date labels SrchDate0/1 (a click opens the calendar), "В найденном"
// (Check1), GoSearch, GoBackBtn, the stop button SSbutton and the results list SearchList.
// A search runs from the event loop, a few entries per turn, so the window stays live, and
// the results list grows as files are found.
#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QElapsedTimer>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QWidget>

#include <array>
#include <functional>
#include <string>

#include "main/collection/collection_search.h"

namespace orv {

class SearchPane final : public QWidget {
 public:
  struct Ports {
    // Select the result's node in the site tree and open it as a click would.
    std::function<void(const std::string& key)> openResult;
    // The subtree a search covers (the node chosen in the site tree); nothing is searched unset.
    std::function<SearchScope()> scope;
    // The status line of the window.
    std::function<void(const std::string& utf8)> showStatus;
    std::function<QIcon(int image)> icon;
    // The size fields changed (the window keeps them for the configuration).
    std::function<void(const std::string& from, const std::string& to)> sizeFieldsChanged;
    // The date label clicked: the chosen date, or none (CalendarWindow::Choose unless replaced).
    std::function<std::optional<QDate>(QDate current)> chooseDate;
  };

  SearchPane(CollectionSearch& search, Ports ports, QWidget* parent = nullptr);

  void SetSizeFields(const std::string& from, const std::string& to);
  // Shows the model's results again (after the collection root changed).
  void ShowResults();
  void StartSearch();
  void GoBack();
  QDate DateBound(int i) const { return dates_[i]; }
  void SetDateBound(int i, QDate date);

  QComboBox* SearchType = nullptr;
  QLabel* SelSearch = nullptr;
  QLabel* SearchWhere = nullptr;  // the subtree the last search covered
  QLineEdit* SearchText = nullptr;
  QWidget* sizePanel = nullptr;
  std::array<QLineEdit*, 2> SrchLen{};
  QWidget* datePanel = nullptr;
  std::array<QPushButton*, 2> SrchDate{};
  QCheckBox* Check1 = nullptr;
  QPushButton* GoSearch = nullptr;
  QPushButton* GoBackBtn = nullptr;
  QPushButton* SSbutton = nullptr;
  QListWidget* SearchList = nullptr;

 private:
  QWidget* SizeRow(int i);
  void ChooseCriterion(int index);
  void CleanSizeText(int i);
  void Spin(int i, int delta);
  void PickDate(int i);
  void Tick();
  void AppendResults(std::size_t from);
  void ShowScope(const SearchScope& scope);
  void SearchEnded();
  void UpdateButtons();

  CollectionSearch& search_;
  Ports ports_;
  QTimer ticker_;
  QElapsedTimer statusClock_;
  std::array<QDate, 2> dates_;
  std::size_t shown_ = 0;  // results already in the list
};

}  // namespace orv
