#include "main/ui/script_sets_panel.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include "common/text.h"
#include "main/scripts/messages.h"
#include "main/ui/script_images.h"

namespace orv {

namespace {

QString Q(const std::string& cp1251) { return QString::fromStdString(Cp1251ToUtf8(cp1251)); }
QString FileNameText(const std::string& bytes) { return QString::fromStdString(DisplayName(bytes)); }
std::string Bytes(const QString& text) { return Utf8ToCp1251(text.toStdString()); }

// The local folder of the first dropped item, or "".
std::string DroppedFolder(const QMimeData* mime) {
  if (!mime || !mime->hasUrls() || mime->urls().isEmpty()) return "";
  const QUrl url = mime->urls().first();
  return url.isLocalFile() ? url.toLocalFile().toStdString() : "";
}

}  // namespace

bool MessageBoxPrompts::AskYesNo(const std::string& text) {
  return QMessageBox::question(parent_, QString::fromLatin1(kMessageTitle), Q(text),
                               QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void MessageBoxPrompts::ShowMessage(const std::string& text) {
  QMessageBox::information(parent_, QString::fromLatin1(kMessageTitle), Q(text));
}

ScriptSetsPanel::ScriptSetsPanel(ScriptSets& sets, ScriptSetsPorts ports, QWidget* parent)
    : QWidget(parent), sets_(sets), ports_(std::move(ports)) {
  setAccessibleName(QString::fromUtf8("Наборы сценариев"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(2, 2, 2, 2);

  auto* row = new QHBoxLayout;
  name_ = new QLineEdit(this);
  name_->setObjectName(QStringLiteral("ScriptSetName"));
  name_->setAccessibleName(QString::fromUtf8("Название набора"));
  name_->setPlaceholderText(QString::fromUtf8("Название набора"));
  connect(name_, &QLineEdit::textChanged, this, [this](const QString& text) { sets_.nameField = Bytes(text); });
  layout->addWidget(name_);
  save_ = new QPushButton(QString::fromUtf8("Сохранить блок"), this);
  save_->setAccessibleName(save_->text());
  connect(save_, &QPushButton::clicked, this, [this] { SaveBlock(); });
  row->addWidget(save_);
  load_ = new QPushButton(QString::fromUtf8("Загрузить набор"), this);
  load_->setAccessibleName(load_->text());
  connect(load_, &QPushButton::clicked, this, [this] { LoadSet(); });
  row->addWidget(load_);
  row->addStretch(1);
  layout->addLayout(row);

  list_ = new QTreeWidget(this);
  list_->setObjectName(QStringLiteral("ScriptSetList"));
  list_->setAccessibleName(QString::fromUtf8("Сохраненные наборы"));
  list_->setRootIsDecorated(false);
  list_->setColumnCount(4);
  list_->setHeaderLabels({QString::fromUtf8("Набор"), QString::fromUtf8("Дата"), QString::fromUtf8("Сценариев"),
                          QString::fromUtf8("Объем, байт")});
  list_->header()->setSectionsClickable(true);
  const int widths[] = {140, 130, 75, 90};
  for (int column = 0; column < 4; ++column) list_->setColumnWidth(column, widths[column]);
  list_->setContextMenuPolicy(Qt::CustomContextMenu);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setAcceptDrops(true);
  list_->viewport()->setAcceptDrops(true);
  list_->viewport()->installEventFilter(this);
  layout->addWidget(list_, 1);

  connect(list_->header(), &QHeaderView::sectionClicked, this, [this](int section) { SortBy(section + 1); });
  connect(list_, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item, int) {
    sets_.Click(list_->indexOfTopLevelItem(item));
    const QSignalBlocker block(name_);
    name_->setText(FileNameText(sets_.nameField));
  });
  connect(list_, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item, int) {
    sets_.Select(list_->indexOfTopLevelItem(item));
    LoadSet();
  });
  connect(list_, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int column) {
    if (!filling_ && column == 0) EditFinished(item);
  });

  menu_ = new QMenu(this);
  loadAction_ = menu_->addAction(QString::fromUtf8("Загрузить набор"), this, [this] { LoadSet(); });
  deleteAction_ = menu_->addAction(QString::fromUtf8("Удалить набор"), this, [this] { DeleteSet(); });
  sortMenu_ = menu_->addMenu(QString::fromUtf8("Упорядочить"));
  sortMenu_->addAction(QString::fromUtf8("По дате"), this, [this] { SortBy(2); });
  sortMenu_->addAction(QString::fromUtf8("По имени"), this, [this] { SortBy(1); });
  sortMenu_->addAction(QString::fromUtf8("По количеству сценариев"), this, [this] { SortBy(3); });
  sortMenu_->addAction(QString::fromUtf8("По объему"), this, [this] { SortBy(4); });
  exportAction_ = menu_->addAction(QString::fromUtf8("Экспорт Блока"), this, [this] { ExportSet(); });
  importAction_ = menu_->addAction(QString::fromUtf8("Импорт Блока"), this, [this] { ImportSet(); });
  renameAction_ = menu_->addAction(QString::fromUtf8("Переименовать"), this, [this] { StartRename(); });
  connect(list_, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
    if (QTreeWidgetItem* item = list_->itemAt(pos)) {
      list_->setCurrentItem(item);
      sets_.Select(list_->indexOfTopLevelItem(item));
    }
    PrepareMenu();
    menu_->popup(list_->viewport()->mapToGlobal(pos));
  });
}

void ScriptSetsPanel::Refresh() {
  sets_.Fill();
  ShowRows();
}

void ScriptSetsPanel::ShowRows() {
  filling_ = true;
  list_->clear();
  const QIcon icon = ScriptSetImage();
  QList<QTreeWidgetItem*> items;
  for (const ScriptSetRow& row : sets_.Rows()) {
    auto* item = new QTreeWidgetItem;
    item->setText(0, FileNameText(row.name));
    item->setText(1, QString::fromStdString(row.date));
    item->setText(2, QString::fromStdString(row.count));
    item->setText(3, QString::fromStdString(row.size));
    item->setIcon(0, icon);
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    items.append(item);
  }
  list_->addTopLevelItems(items);
  SyncSelection();
  filling_ = false;
}

void ScriptSetsPanel::SyncSelection() {
  const int row = sets_.Selected();
  list_->setCurrentItem(row >= 0 ? list_->topLevelItem(row) : nullptr);
  const QSignalBlocker block(name_);
  name_->setText(FileNameText(sets_.nameField));
}

void ScriptSetsPanel::PrepareMenu() {
  const bool rows = list_->topLevelItemCount() > 0;
  for (QAction* a : {loadAction_, deleteAction_, sortMenu_->menuAction(), exportAction_, renameAction_})
    a->setEnabled(rows);
  importAction_->setEnabled(true);
}

void ScriptSetsPanel::SaveBlock() {
  sets_.nameField = Bytes(name_->text());
  if (sets_.SaveBlock() && ports_.clearAddressTree) ports_.clearAddressTree();
  ShowRows();
}

void ScriptSetsPanel::LoadSet() {
  if (sets_.LoadSelected() && ports_.clearAddressTree) ports_.clearAddressTree();
  ShowRows();
}

void ScriptSetsPanel::DeleteSet() {
  if (sets_.DeleteSelected(true)) ShowRows();
}

void ScriptSetsPanel::StartRename() {
  if (QTreeWidgetItem* item = list_->topLevelItem(sets_.Selected())) list_->editItem(item, 0);
}

void ScriptSetsPanel::EditFinished(QTreeWidgetItem* item) {
  const int row = list_->indexOfTopLevelItem(item);
  if (row < 0 || row >= static_cast<int>(sets_.Rows().size())) return;
  sets_.Rename(row, Bytes(item->text(0)));
  // On failure the row keeps its old name and key; on success the trimmed new one.
  filling_ = true;
  item->setText(0, FileNameText(sets_.Rows()[static_cast<std::size_t>(row)].name));
  filling_ = false;
}

void ScriptSetsPanel::SortBy(int column) {
  sets_.SortBy(column);
  ShowRows();
}

std::string ScriptSetsPanel::ChooseFolder(const std::string& caption) {
  if (ports_.chooseFolder) return ports_.chooseFolder(caption);
  return QFileDialog::getExistingDirectory(this, Q(caption)).toStdString();
}

void ScriptSetsPanel::ExportSet() {
  if (sets_.Selected() < 0) return;
  const std::string folder = ChooseFolder(Ru("Выберите папку для сохранения помеченного блока."));
  if (!folder.empty()) sets_.ExportSelected(folder);
}

void ScriptSetsPanel::ImportSet() {
  const std::string folder = ChooseFolder(Ru("Выберите папку с импортируемым блоком сценариев."));
  if (!folder.empty()) ImportFolder(folder);
}

void ScriptSetsPanel::ImportFolder(const std::string& folder) {
  if (sets_.Import(folder)) ShowRows();
}

void ScriptSetsPanel::dragEnterEvent(QDragEnterEvent* event) {
  if (!DroppedFolder(event->mimeData()).empty()) event->acceptProposedAction();
}

void ScriptSetsPanel::dropEvent(QDropEvent* event) {
  const std::string folder = DroppedFolder(event->mimeData());
  if (folder.empty()) return;
  event->acceptProposedAction();
  ImportFolder(folder);
}

bool ScriptSetsPanel::eventFilter(QObject* watched, QEvent* event) {
  if (watched == list_->viewport()) {
    switch (event->type()) {
      case QEvent::DragEnter:
        dragEnterEvent(static_cast<QDragEnterEvent*>(event));
        return true;
      case QEvent::DragMove:
        static_cast<QDragMoveEvent*>(event)->acceptProposedAction();
        return true;
      case QEvent::Drop:
        dropEvent(static_cast<QDropEvent*>(event));
        return true;
      default:
        break;
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace orv
