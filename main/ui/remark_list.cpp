#include "main/ui/remark_list.h"

#include <QContextMenuEvent>
#include <QDropEvent>
#include <QHeaderView>

#include "common/text.h"

namespace orv {
namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }
QString Shown(const std::string& bytes) { return QString::fromStdString(DisplayName(bytes)); }
constexpr int kKeyRole = Qt::UserRole;

}  // namespace

RemarkList::RemarkList(BookmarkModel& model, Ports ports, QWidget* parent)
    : QTreeWidget(parent), model_(model), ports_(std::move(ports)) {
  setObjectName("RemarkList");
  setAccessibleName(U("Закладки"));
  setHeaderHidden(true);
  setColumnCount(1);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::EditKeyPressed);
  setDragEnabled(true);
  setAcceptDrops(true);
  setDropIndicatorShown(true);
  setDragDropMode(QAbstractItemView::InternalMove);

  menu_ = new QMenu(this);
  createCategory_ = menu_->addAction(U("Создать Категорию"), this, [this] { CreateCategory(); });
  createBookmark_ = menu_->addAction(U("Создать Закладку"), this, [this] { CreateBookmarkOfLastFile(); });
  edit_ = menu_->addAction(U("Изменить"), this, [this] { EditSelected(); });
  remove_ = menu_->addAction(U("Удалить"), this, [this] { RemoveSelected(); });

  connect(this, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int) {
    if (redrawing_) return;
    std::string text = Utf8ToCp1251(item->text(0).toStdString());
    renaming_ = true;
    bool ok = model_.Rename(KeyOf(item), text);
    renaming_ = false;
    if (!ok) Redraw();  // an empty name is refused: the old one comes back
  });
  connect(this, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item, int) {
    if (!item->parent()) return;  // a category is only selected
    if (ports_.openBookmark) ports_.openBookmark(KeyOf(item));
    setFocus();  // the bookmarks keep the input focus
  });
  model_.SetChangedHandler([this] {
    if (!renaming_) Redraw();
  });
  Redraw();
}

RemarkList::~RemarkList() { model_.SetChangedHandler(nullptr); }

std::string RemarkList::KeyOf(const QTreeWidgetItem* item) {
  return item ? item->data(0, kKeyRole).toByteArray().toStdString() : std::string();
}

void RemarkList::Redraw() {
  std::string selected = SelectedKey();
  redrawing_ = true;
  clear();
  for (const auto& category : model_.Categories()) {
    auto* top = new QTreeWidgetItem(this, QStringList(Shown(category.node.text)));
    top->setData(0, kKeyRole, QByteArray::fromStdString(category.node.key));
    top->setFlags((top->flags() | Qt::ItemIsEditable | Qt::ItemIsDropEnabled) & ~Qt::ItemIsDragEnabled);
    if (ports_.icon && category.node.image) top->setIcon(0, ports_.icon(category.node.image));
    for (const auto& b : category.bookmarks) {
      auto* child = new QTreeWidgetItem(top, QStringList(Shown(b.text)));
      child->setData(0, kKeyRole, QByteArray::fromStdString(b.key));
      child->setToolTip(0, Shown(b.key));
      child->setFlags(child->flags() | Qt::ItemIsEditable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled);
      if (ports_.icon) child->setIcon(0, ports_.icon(b.image));
    }
  }
  expandAll();
  redrawing_ = false;
  Select(selected);
}

QTreeWidgetItem* RemarkList::ItemOf(const std::string& key) const {
  for (int i = 0; i < topLevelItemCount(); ++i) {
    QTreeWidgetItem* top = topLevelItem(i);
    if (KeyOf(top) == key) return top;
    for (int j = 0; j < top->childCount(); ++j) {
      if (KeyOf(top->child(j)) == key) return top->child(j);
    }
  }
  return nullptr;
}

void RemarkList::Select(const std::string& key) {
  if (QTreeWidgetItem* item = key.empty() ? nullptr : ItemOf(key)) {
    setCurrentItem(item);
    scrollToItem(item);
  }
}

std::string RemarkList::SelectedKey() const {
  auto items = selectedItems();
  return items.isEmpty() ? std::string() : KeyOf(items.first());
}

void RemarkList::CreateCategory() {
  std::string key = model_.AddCategory();
  Select(key);
  if (QTreeWidgetItem* item = ItemOf(key)) editItem(item);
}

bool RemarkList::CreateBookmark(const BookmarkTarget& file) {
  auto added = model_.AddBookmark(file, SelectedKey());
  if (!added.added) return false;
  Select(file.key);
  if (added.categoryCreated) {
    if (QTreeWidgetItem* item = ItemOf(added.categoryKey)) editItem(item);
  }
  return true;
}

bool RemarkList::CreateBookmarkOfLastFile() {
  auto file = ports_.lastOpenedFile ? ports_.lastOpenedFile() : std::nullopt;
  return file && CreateBookmark(*file);
}

void RemarkList::EditSelected() {
  auto items = selectedItems();
  if (!items.isEmpty()) editItem(items.first());
}

void RemarkList::RemoveSelected() {
  std::string key = SelectedKey();
  if (!key.empty()) model_.Remove(key);
}

QMenu* RemarkList::PreparedMenu() {
  bool selected = !SelectedKey().empty();
  createBookmark_->setEnabled(ports_.lastOpenedFile && ports_.lastOpenedFile().has_value());
  edit_->setEnabled(selected);
  remove_->setEnabled(selected);
  return menu_;
}

void RemarkList::contextMenuEvent(QContextMenuEvent* event) {
  if (QTreeWidgetItem* item = itemAt(event->pos())) setCurrentItem(item);
  PreparedMenu()->popup(event->globalPos());
}

void RemarkList::dropEvent(QDropEvent* event) {
  // The model decides the move; the tree is redrawn from it rather than moved by Qt.
  event->setDropAction(Qt::IgnoreAction);
  event->accept();
  DropSelectedOn(itemAt(event->position().toPoint()));
}

bool RemarkList::DropSelectedOn(QTreeWidgetItem* target) {
  std::string dragged = SelectedKey();
  if (!model_.Move(dragged, KeyOf(target))) return false;
  Select(dragged);
  return true;
}

}  // namespace orv
