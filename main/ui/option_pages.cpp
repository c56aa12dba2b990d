#include "main/ui/option_pages.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "common/config_keys.h"
#include "main/run/connection_modes.h"
#include "main/scripts/program_config.h"
#include "main/scripts/script_params.h"
#include "main/ui/ui_text.h"

namespace orv {
namespace {

// A number field: every change goes through the numeric filter at once, the caret at the end.
QLineEdit* NumberField(long long highest, QWidget* parent) {
  auto* field = new QLineEdit(parent);
  QObject::connect(field, &QLineEdit::textEdited, field, [field, highest](const QString& text) {
    const QString filtered = ToQ(FilterNumericText(FromQ(text), highest));
    if (filtered != text) field->setText(filtered);
    field->setCursorPosition(static_cast<int>(field->text().size()));
  });
  return field;
}

QComboBox* ChoiceField(const std::vector<std::string>& choices, const std::string& current, QWidget* parent) {
  auto* box = new QComboBox(parent);
  for (const std::string& c : choices) box->addItem(ToQ(c));
  // A stored value the choices lack (the dial entry while no phonebook is there) stays the
  // value: opening the field must not change it.
  if (box->findText(ToQ(current)) < 0 && !current.empty()) box->addItem(ToQ(current));
  const int at = box->findText(ToQ(current));
  if (at >= 0) box->setCurrentIndex(at);
  return box;
}

std::string EditorText(QWidget* editor) {
  if (auto* line = qobject_cast<QLineEdit*>(editor)) return FromQ(line->text());
  if (auto* box = qobject_cast<QComboBox*>(editor)) return FromQ(box->currentText());
  return {};
}

// Opens the editor a value cell asks for; committing it calls `apply` with the text and shows
// the model again.
class CellEditors final : public QStyledItemDelegate {
 public:
  using Make = std::function<QWidget*(const QModelIndex&, QWidget*)>;
  using Apply = std::function<void(const QModelIndex&, const std::string&)>;
  CellEditors(Make make, Apply apply, std::function<void()> refresh, QObject* parent)
      : QStyledItemDelegate(parent), make_(std::move(make)), apply_(std::move(apply)), refresh_(std::move(refresh)) {}

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const override {
    QWidget* editor = make_(index, parent);
    if (editor) editor->setAccessibleName(index.model()->headerData(index.column(), Qt::Horizontal).toString());
    return editor;
  }
  void setEditorData(QWidget*, const QModelIndex&) const override {}  // made with its text
  void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const override {
    apply_(index, EditorText(editor));
    refresh_();  // the model may have clamped or coupled other cells
  }

 private:
  Make make_;
  Apply apply_;
  std::function<void()> refresh_;
};

QString Caption(const char* utf8) { return RuQ(utf8); }

}  // namespace

// ---------------------------------------------------------------- option lists

OptionListView::OptionListView(ScriptParameters& params, int list, const QString& title,
                               std::function<std::vector<std::string>()> dialEntries, QWidget* parent)
    : QWidget(parent), params_(params), list_(list), view_(new QTreeWidget(this)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(view_);
  view_->setAccessibleName(title);
  view_->setColumnCount(2);
  view_->setHeaderLabels({title, Caption("Значение")});
  view_->setRootIsDecorated(false);
  view_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  view_->setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::DoubleClicked |
                         QAbstractItemView::EditKeyPressed);
  auto make = [this, dialEntries](const QModelIndex& index, QWidget* parent) -> QWidget* {
    const auto& rows = params_.List(list_);
    if (index.column() != 1 || index.row() < 0 || index.row() >= static_cast<int>(rows.size())) return nullptr;
    const OptionRow& row = rows[static_cast<std::size_t>(index.row())];
    if (!row.hasValue) return nullptr;
    if (row.key == kDialEntryRowKey) return ChoiceField(dialEntries ? dialEntries() : std::vector<std::string>{}, row.value, parent);
    if (row.key == kDialRotateRowKey) return ChoiceField({OnOffText(true), OnOffText(false)}, row.value, parent);
    if (row.key == kIntensityRowKey) {
      std::vector<std::string> levels;
      for (int i = 0; !IntensityCaption(i).empty() && i < 8; ++i) {
        if (i > 0 && IntensityCaption(i) == IntensityCaption(0)) break;  // past the known levels
        levels.push_back(IntensityCaption(i));
      }
      return ChoiceField(levels, row.value, parent);
    }
    QLineEdit* field = NumberField(kOptionFieldHighest, parent);
    field->setText(ToQ(row.value));
    return field;
  };
  auto apply = [this](const QModelIndex& index, const std::string& text) {
    params_.EditOptionValue(list_, index.row() + 1, text);
  };
  view_->setItemDelegate(new CellEditors(make, apply, [this] { Refresh(); }, view_));
  // A click on a value cell opens its editor at once.
  connect(view_, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item, int column) {
    if (column == 1) view_->editItem(item, 1);
  });
  connect(view_, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int column) {
    if (refreshing_ || column != 0) return;
    const int row = view_->indexOfTopLevelItem(item);
    const OptionRow& r = params_.List(list_).at(static_cast<std::size_t>(row));
    if (!r.hasCheck || r.checked == (item->checkState(0) == Qt::Checked)) return;
    params_.ToggleOption(list_, row + 1);
    QMetaObject::invokeMethod(this, [this] { Refresh(); }, Qt::QueuedConnection);
  });
  Refresh();
}

void OptionListView::Refresh() {
  refreshing_ = true;
  const auto& rows = params_.List(list_);
  while (view_->topLevelItemCount() > static_cast<int>(rows.size())) delete view_->takeTopLevelItem(view_->topLevelItemCount() - 1);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    QTreeWidgetItem* item = view_->topLevelItem(static_cast<int>(i));
    if (!item) item = new QTreeWidgetItem(view_);
    const OptionRow& r = rows[i];
    item->setText(0, ToQ(r.caption));
    item->setData(0, Qt::AccessibleTextRole, ToQ(r.caption));
    item->setText(1, r.hasValue ? ToQ(r.value) : QString());
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (r.hasValue) flags |= Qt::ItemIsEditable;
    if (r.hasCheck) {
      flags |= Qt::ItemIsUserCheckable;
      item->setCheckState(0, r.checked ? Qt::Checked : Qt::Unchecked);
    }
    item->setFlags(flags);
  }
  // Every row in sight: the lists are short, a scroll bar would only hide options.
  const int rowHeight = std::max(view_->sizeHintForRow(0), view_->fontMetrics().height() + 4);
  view_->setMinimumHeight(view_->header()->sizeHint().height() + rowHeight * static_cast<int>(rows.size()) +
                          2 * view_->frameWidth() + 2);
  refreshing_ = false;
}

// ---------------------------------------------------------------- categories

namespace {
enum CategoryColumn { kCaption = 0, kExtensions, kZone, kCount, kMinSize, kMaxSize };
}

CategoriesPage::CategoriesPage(ScriptParameters& params, QWidget* parent)
    : QWidget(parent), params_(params), table_(new QTableWidget(kCategoryCount, 6, this)) {
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(table_);
  table_->setAccessibleName(Caption("Категории"));
  table_->setHorizontalHeaderLabels({Caption("Категория"), Caption("Расширения"), Caption("Зона"),
                                     Caption("Количество"), Caption("Мин. размер, kB"), Caption("Макс. размер, kB")});
  table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  table_->horizontalHeader()->setSectionResizeMode(kExtensions, QHeaderView::Stretch);
  table_->verticalHeader()->setVisible(false);
  table_->setEditTriggers(QAbstractItemView::AllEditTriggers);
  auto make = [this](const QModelIndex& index, QWidget* parent) -> QWidget* {
    const CategoryRow& r = params_.CategoryRowAt(index.row() + 1);
    switch (index.column()) {
      case kExtensions: {
        auto* field = new QLineEdit(parent);
        field->setText(ToQ(r.extensions));
        return field;
      }
      case kZone: return ChoiceField(ZoneChoices(), r.zone, parent);
      case kCount:
      case kMinSize:
      case kMaxSize: {
        QLineEdit* field = NumberField(kCategoryFieldHighest, parent);
        field->setText(ToQ(index.column() == kCount ? r.countText : index.column() == kMinSize ? r.minText : r.maxText));
        return field;
      }
      default: return nullptr;
    }
  };
  auto apply = [this](const QModelIndex& index, const std::string& text) {
    const int row = index.row() + 1;
    switch (index.column()) {
      case kExtensions: params_.EditExtensions(row, text); break;
      case kZone: params_.ChooseZone(row, text); break;
      case kCount: params_.EditCount(row, text); break;
      case kMinSize: params_.EditMinSize(row, text); break;
      case kMaxSize: params_.EditMaxSize(row, text); break;
      default: break;
    }
  };
  table_->setItemDelegate(new CellEditors(make, apply, [this] { Refresh(); }, table_));
  connect(table_, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
    if (refreshing_) return;
    const int row = item->row() + 1;
    const CategoryRow& r = params_.CategoryRowAt(row);
    const bool on = item->checkState() == Qt::Checked;
    switch (item->column()) {
      case kCaption:
        if (on != r.enabled) params_.ToggleCategoryEnabled(row);
        break;
      case kCount:
        if (on != r.countChecked) params_.ToggleCountLimit(row);
        break;
      case kMinSize:
        if (on != r.minChecked) params_.ToggleMinLimit(row);
        break;
      case kMaxSize:
        if (on != r.maxChecked) params_.ToggleMaxLimit(row);
        break;
      default: return;
    }
    QMetaObject::invokeMethod(this, [this] { Refresh(); }, Qt::QueuedConnection);
  });
  Refresh();
}

void CategoriesPage::Refresh() {
  refreshing_ = true;
  for (int i = 0; i < kCategoryCount; ++i) {
    const CategoryRow& r = params_.CategoryRowAt(i + 1);
    auto cell = [&](int column, const std::string& text, bool checkable, bool checked, bool editable) {
      QTableWidgetItem* item = table_->item(i, column);
      if (!item) {
        item = new QTableWidgetItem;
        table_->setItem(i, column, item);
      }
      item->setText(ToQ(text));
      Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
      if (editable) flags |= Qt::ItemIsEditable;
      if (checkable) {
        flags |= Qt::ItemIsUserCheckable;
        item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
      }
      item->setFlags(flags);
      item->setData(Qt::AccessibleTextRole, ToQ(r.caption) + " " + table_->horizontalHeaderItem(column)->text());
    };
    cell(kCaption, r.caption, true, r.enabled, false);
    cell(kExtensions, r.extensions, false, false, true);
    cell(kZone, r.zone, false, false, true);
    cell(kCount, r.countText, true, r.countChecked, true);
    cell(kMinSize, r.minText, true, r.minChecked, true);
    cell(kMaxSize, r.maxText, true, r.maxChecked, true);
  }
  refreshing_ = false;
}

// ---------------------------------------------------------------- "Настройки"

SettingsPage::SettingsPage(ProgramModel& program, QWidget* parent)
    : QWidget(parent), program_(program), modes_(new QButtonGroup(this)), autoScript_(new QCheckBox(this)) {
  ScriptParameters& params = program.Parameters();
  auto* layout = new QHBoxLayout(this);
  auto* left = new QVBoxLayout;
  auto* right = new QVBoxLayout;
  layout->addLayout(left, 1);
  layout->addLayout(right, 1);
  const std::pair<int, const char*> shown[] = {
      {kSwitches, "Параметры"}, {kTransfer, "Передача"}, {kLimits, "Ограничения"}, {kEndActions, "По окончании"}};
  for (const auto& [list, title] : shown) {
    auto* view = new OptionListView(params, list, Caption(title), {}, this);
    lists_.push_back(view);
    (list == kSwitches || list == kEndActions ? left : right)->addWidget(view);
  }
  auto* modeBox = new QGroupBox(Caption("Режим сценариев"), this);
  modeBox->setAccessibleName(modeBox->title());
  auto* modeLayout = new QVBoxLayout(modeBox);
  for (int mode = 0; mode < 4; ++mode) {
    auto* button = new QRadioButton(ToQ(ScriptModeCaption(mode)), modeBox);
    button->setObjectName(QStringLiteral("ScrMode%1").arg(mode));
    button->setAccessibleName(button->text());
    modes_->addButton(button, mode);
    modeLayout->addWidget(button);
  }
  right->addWidget(modeBox);
  connect(modes_, &QButtonGroup::idClicked, this, [this](int mode) { program_.ChooseScriptMode(mode); });
  autoScript_->setText(Caption("Автоподбор сценария"));
  autoScript_->setObjectName(QStringLiteral("AutoScript"));
  autoScript_->setAccessibleName(autoScript_->text());
  right->addWidget(autoScript_);
  left->addStretch(1);
  right->addStretch(1);
  connect(autoScript_, &QCheckBox::clicked, this, [this](bool on) {
    if (program_.Parameters().AutoScript() != on) program_.Parameters().ToggleAutoScript();
    Refresh();
  });
  Refresh();
}

OptionListView* SettingsPage::List(int list) const {
  const int order[] = {kSwitches, kTransfer, kLimits, kEndActions};
  for (std::size_t i = 0; i < lists_.size(); ++i)
    if (order[i] == list) return lists_[i];
  return nullptr;
}

void SettingsPage::Refresh() {
  for (OptionListView* v : lists_) v->Refresh();
  const ScriptParameters& params = program_.Parameters();
  if (QAbstractButton* b = modes_->button(params.ScriptMode())) b->setChecked(true);
  autoScript_->setChecked(params.AutoScript());
  autoScript_->setToolTip(ToQ(params.AutoScriptTooltip()));
}

// ---------------------------------------------------------------- "Сеть"

NetworkPage::NetworkPage(ProgramModel& program, ConnectionControl& connection, std::function<bool()> running,
                         QWidget* parent)
    : QWidget(parent), program_(program), connection_(connection), encoding_(new QComboBox(this)),
      modes_(new QButtonGroup(this)), noCertCheck_(new QCheckBox(this)),
      renderPages_(new QCheckBox(this)) {
  auto* layout = new QHBoxLayout(this);
  // No dial-up phonebook here: the entry list is empty and "Соединение" stays as stored.
  list_ = new OptionListView(program.Parameters(), kConnection, Caption("Связь"), {}, this);
  layout->addWidget(list_, 1);
  auto* side = new QVBoxLayout;
  layout->addLayout(side, 1);
  auto* encodingLabel = new QLabel(Caption("Кодировка страниц"), this);
  side->addWidget(encodingLabel);
  encoding_->setObjectName(QStringLiteral("CHSET"));
  encoding_->setAccessibleName(encodingLabel->text());
  encoding_->addItems({Caption("Любая"), Caption("Win-1251"), Caption("koi - 8r")});
  side->addWidget(encoding_);
  connect(encoding_, &QComboBox::activated, this, [this](int index) { program_.ChooseEncoding(index); });
  auto* modeBox = new QGroupBox(Caption("Подключение"), this);
  modeBox->setAccessibleName(modeBox->title());
  auto* modeLayout = new QVBoxLayout(modeBox);
  const std::pair<const char*, ConnectionMode> modes[] = {
      {"Модем", ConnectionMode::Modem}, {"Локалка", ConnectionMode::Lan}, {"localhost", ConnectionMode::Localhost}};
  for (const auto& [caption, mode] : modes) {
    auto* button = new QRadioButton(Caption(caption), modeBox);
    button->setAccessibleName(button->text());
    modes_->addButton(button, static_cast<int>(mode));
    modeLayout->addWidget(button);
  }
  side->addWidget(modeBox);
  // For an intranet site with a certificate of its own; read by the console at its start.
  noCertCheck_->setText(Caption("Не проверять сертификаты"));
  noCertCheck_->setAccessibleName(noCertCheck_->text());
  side->addWidget(noCertCheck_);
  connect(noCertCheck_, &QCheckBox::clicked, this, [this](bool on) { program_.SetSkipCertificateCheck(on); });
  // For sites whose pages build their content and links by script; read by the console at its start.
  renderPages_->setText(Caption("Выполнять скрипты страниц"));
  renderPages_->setAccessibleName(renderPages_->text());
  renderPages_->setObjectName(QStringLiteral("RenderPages"));
  side->addWidget(renderPages_);
  connect(renderPages_, &QCheckBox::clicked, this, [this](bool on) { program_.SetRenderPages(on); });
  side->addStretch(1);
  connect(modes_, &QButtonGroup::idClicked, this, [this, running](int mode) {
    // Refused during a run: the buttons show the mode in force again.
    connection_.SelectMode(static_cast<ConnectionMode>(mode), running && running());
    Refresh();
  });
  Refresh();
}

void NetworkPage::Refresh() {
  list_->Refresh();
  encoding_->setCurrentIndex(program_.Values().chset);
  noCertCheck_->setChecked(program_.Values().noCertCheck);
  renderPages_->setChecked(program_.Values().renderPages);
  if (QAbstractButton* b = modes_->button(static_cast<int>(connection_.Mode()))) b->setChecked(true);
}

}  // namespace orv
