#include "main/ui/search_pane.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include <chrono>

#include "common/text.h"
#include "main/collection/search_criteria.h"
#include "main/ui/calendar_window.h"

namespace orv {
namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }
QString Shown(const std::string& bytes) { return QString::fromStdString(DisplayName(bytes)); }

const char* const kCriteria[] = {"Адрес", "Текст", "Размер", "Дата"};

std::chrono::sys_days Days(QDate d) {
  return std::chrono::sys_days(std::chrono::year(d.year()) / d.month() / d.day());
}

QString DateText(QDate d) { return d.toString("dd.MM.yyyy"); }

}  // namespace

SearchPane::SearchPane(CollectionSearch& search, Ports ports, QWidget* parent)
    : QWidget(parent), search_(search), ports_(std::move(ports)) {
  setObjectName("SearchPane");
  if (!ports_.chooseDate) {
    ports_.chooseDate = [this](QDate d) { return CalendarWindow::Choose(d, this); };
  }

  SearchType = new QComboBox(this);
  SearchType->setObjectName("SearchType");
  SearchType->setAccessibleName(U("Искать по"));
  for (const char* c : kCriteria) SearchType->addItem(U(c));
  SelSearch = new QLabel(U(kCriteria[0]), this);
  SelSearch->setObjectName("SelSearch");
  SelSearch->setAccessibleName(U("Критерий"));
  SearchWhere = new QLabel(this);
  SearchWhere->setObjectName("SearchWhere");
  SearchWhere->setAccessibleName(U("Где искать"));
  SearchText = new QLineEdit(this);
  SearchText->setObjectName("SearchText");
  SearchText->setAccessibleName(U("Искать"));

  sizePanel = new QWidget(this);
  sizePanel->setObjectName("SizePanel");
  auto* sizeLayout = new QHBoxLayout(sizePanel);
  sizeLayout->setContentsMargins(0, 0, 0, 0);
  sizeLayout->addWidget(new QLabel(U("от"), sizePanel));
  sizeLayout->addWidget(SizeRow(0));
  sizeLayout->addWidget(new QLabel(U("до"), sizePanel));
  sizeLayout->addWidget(SizeRow(1));
  sizeLayout->addWidget(new QLabel(U("КБ"), sizePanel));

  datePanel = new QWidget(this);
  datePanel->setObjectName("DatePanel");
  auto* dateLayout = new QHBoxLayout(datePanel);
  dateLayout->setContentsMargins(0, 0, 0, 0);
  for (int i = 0; i < 2; ++i) {
    dates_[i] = QDate::currentDate();
    SrchDate[i] = new QPushButton(DateText(dates_[i]), datePanel);
    SrchDate[i]->setObjectName(QString("SrchDate%1").arg(i));
    SrchDate[i]->setAccessibleName(i == 0 ? U("Дата от") : U("Дата до"));
    SrchDate[i]->setFlat(true);
    connect(SrchDate[i], &QPushButton::clicked, this, [this, i] { PickDate(i); });
    dateLayout->addWidget(new QLabel(i == 0 ? U("от") : U("до"), datePanel));
    dateLayout->addWidget(SrchDate[i]);
  }
  dateLayout->addStretch();

  Check1 = new QCheckBox(U("В найденном"), this);
  Check1->setObjectName("Check1");
  Check1->setAccessibleName(U("В найденном"));
  GoSearch = new QPushButton(U("Найти"), this);
  GoSearch->setObjectName("GoSearch");
  GoSearch->setAccessibleName(U("Найти"));
  GoBackBtn = new QPushButton(U("Назад"), this);
  GoBackBtn->setObjectName("GoBackBtn");
  GoBackBtn->setAccessibleName(U("Назад"));
  SSbutton = new QPushButton(U("Стоп"), this);
  SSbutton->setObjectName("SSbutton");
  SSbutton->setAccessibleName(U("Стоп"));
  SearchList = new QListWidget(this);
  SearchList->setObjectName("SearchList");
  SearchList->setAccessibleName(U("Найденное"));
  SearchList->setUniformItemSizes(true);

  auto* criterion = new QHBoxLayout;
  criterion->addWidget(SearchType);
  criterion->addWidget(SelSearch, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(GoSearch);
  buttons->addWidget(GoBackBtn);
  buttons->addWidget(SSbutton);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(2, 2, 2, 2);
  layout->addLayout(criterion);
  layout->addWidget(SearchWhere);
  layout->addWidget(SearchText);
  layout->addWidget(sizePanel);
  layout->addWidget(datePanel);
  layout->addWidget(Check1);
  layout->addLayout(buttons);
  layout->addWidget(SearchList, 1);

  connect(SearchType, &QComboBox::currentIndexChanged, this, [this](int i) { ChooseCriterion(i); });
  connect(SearchText, &QLineEdit::returnPressed, this, [this] { StartSearch(); });
  connect(GoSearch, &QPushButton::clicked, this, [this] { StartSearch(); });
  connect(GoBackBtn, &QPushButton::clicked, this, [this] { GoBack(); });
  connect(SSbutton, &QPushButton::clicked, this, [this] { search_.RequestStop(); });
  connect(SearchList, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
    if (ports_.openResult) ports_.openResult(item->data(Qt::UserRole).toByteArray().toStdString());
    SearchList->setFocus();  // the results keep the input focus
  });
  ticker_.setInterval(0);
  connect(&ticker_, &QTimer::timeout, this, [this] { Tick(); });

  ChooseCriterion(0);
  UpdateButtons();
}

QWidget* SearchPane::SizeRow(int i) {
  auto* row = new QWidget(sizePanel);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  SrchLen[i] = new QLineEdit("0", row);
  SrchLen[i]->setObjectName(QString("SrchLen%1").arg(i));
  SrchLen[i]->setAccessibleName(i == 0 ? U("Размер от") : U("Размер до"));
  SrchLen[i]->setMaximumWidth(70);
  connect(SrchLen[i], &QLineEdit::textChanged, this, [this, i] { CleanSizeText(i); });
  layout->addWidget(SrchLen[i]);
  auto* spins = new QVBoxLayout;
  spins->setSpacing(0);
  for (int up = 1; up >= 0; --up) {
    auto* b = new QToolButton(row);
    b->setArrowType(up ? Qt::UpArrow : Qt::DownArrow);
    b->setObjectName(QString("SrchLen%1%2").arg(i).arg(up ? "Up" : "Down"));
    b->setAccessibleName((i == 0 ? U("Размер от ") : U("Размер до ")) + (up ? U("больше") : U("меньше")));
    b->setAutoRepeat(true);
    b->setFixedSize(16, 11);
    connect(b, &QToolButton::clicked, this, [this, i, up] { Spin(i, up ? 1 : -1); });
    spins->addWidget(b);
  }
  layout->addLayout(spins);
  return row;
}

void SearchPane::ChooseCriterion(int index) {
  SelSearch->setText(SearchType->itemText(index));
  sizePanel->setVisible(index == static_cast<int>(SearchKind::Size));
  datePanel->setVisible(index == static_cast<int>(SearchKind::Date));
}

void SearchPane::CleanSizeText(int i) {
  QLineEdit* field = SrchLen[i];
  CleanedSize cleaned = CleanSizeField(field->text().toStdString());
  QString text = QString::fromStdString(cleaned.text);
  if (field->text() != text) {
    QSignalBlocker block(field);
    field->setText(text);
  }
  field->setCursorPosition(static_cast<int>(text.size()));
  if (ports_.sizeFieldsChanged) {
    ports_.sizeFieldsChanged(SrchLen[0]->text().toStdString(), SrchLen[1]->text().toStdString());
  }
}

void SearchPane::Spin(int i, int delta) {
  int value = CleanSizeField(SrchLen[i]->text().toStdString()).value + delta;
  SrchLen[i]->setText(QString::number(std::clamp(value, 0, kMaxSearchSize)));
}

void SearchPane::SetSizeFields(const std::string& from, const std::string& to) {
  SrchLen[0]->setText(QString::fromStdString(from));
  SrchLen[1]->setText(QString::fromStdString(to));
}

void SearchPane::SetDateBound(int i, QDate date) {
  dates_[i] = date.isValid() ? date : QDate::currentDate();
  SrchDate[i]->setText(DateText(dates_[i]));
}

void SearchPane::PickDate(int i) {
  if (auto chosen = ports_.chooseDate(dates_[i])) SetDateBound(i, *chosen);
}

void SearchPane::StartSearch() {
  if (search_.Running()) return;
  SearchCriteria c;
  c.kind = static_cast<SearchKind>(SearchType->currentIndex());
  c.text = Utf8ToCp1251(SearchText->text().toStdString());
  c.sizeFrom = CleanSizeField(SrchLen[0]->text().toStdString()).value;
  c.sizeTo = CleanSizeField(SrchLen[1]->text().toStdString()).value;
  for (int i = 0; i < 2; ++i) SetDateBound(i, dates_[i]);  // an invalid date becomes today
  c.dateFrom = Days(dates_[0]);
  c.dateTo = Days(dates_[1]);
  bool within = Check1->isChecked() && Check1->isEnabled();
  SearchScope scope = ports_.scope ? ports_.scope() : SearchScope{};
  if (!search_.Start(c, within, scope)) return;
  if (!within) ShowScope(scope);
  if (!within) {
    SearchList->clear();
    shown_ = 0;
  }
  UpdateButtons();
  statusClock_.invalidate();
  ticker_.start();
}

void SearchPane::ShowScope(const SearchScope& scope) {
  bool whole = scope.top == scope.root;
  std::string below = scope.top.compare(0, scope.root.size(), scope.root) == 0 ? scope.top.substr(scope.root.size())
                                                                              : scope.top;
  SearchWhere->setText(U("Где: ") + (whole ? U("вся коллекция") : Shown(below)));
  SearchWhere->setToolTip(Shown(scope.top));
}

void SearchPane::Tick() {
  bool more = search_.Step();
  bool ended = !search_.Running() || !more;
  // The count changes every few candidates; the status line is redrawn a few times a second.
  if (search_.Kind() == SearchKind::Address && ports_.showStatus &&
      (ended || !statusClock_.isValid() || statusClock_.elapsed() >= 50)) {
    ports_.showStatus(search_.ProgressText());
    statusClock_.start();
  }
  if (ended) {
    ticker_.stop();
    SearchEnded();
    return;
  }
  if (SearchList->count() == static_cast<int>(shown_)) AppendResults(shown_);
}

void SearchPane::AppendResults(std::size_t from) {
  const auto& results = search_.Results();
  for (std::size_t i = from; i < results.size(); ++i) {
    auto* item = new QListWidgetItem(Shown(results[i].text), SearchList);
    item->setData(Qt::UserRole, QByteArray::fromStdString(results[i].key));
    item->setToolTip(Shown(results[i].key));
    if (ports_.icon) item->setIcon(ports_.icon(results[i].image));
  }
  shown_ = results.size();
}

void SearchPane::ShowResults() {
  SearchList->clear();
  shown_ = 0;
  AppendResults(0);
  UpdateButtons();
}

void SearchPane::SearchEnded() { ShowResults(); }

void SearchPane::GoBack() {
  if (!search_.Back()) return;
  ShowResults();
  Check1->setEnabled(true);
}

void SearchPane::UpdateButtons() {
  bool running = search_.Running();
  GoSearch->setEnabled(!running);
  SSbutton->setEnabled(running);
  GoBackBtn->setEnabled(search_.CanGoBack());
  if (!running) {
    bool any = !search_.Results().empty();
    if (!any) Check1->setChecked(false);
    Check1->setEnabled(any);
  }
}

}  // namespace orv
