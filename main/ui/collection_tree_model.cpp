#include "main/ui/collection_tree_model.h"

#include <QFont>

#include "common/text.h"
#include "main/ui/collection_icons.h"

namespace orv {

using collection::kNoNode;
using collection::NodeId;

namespace {
// Node ids travel in the index's internal id shifted by one, so 0 stays "no node".
quintptr Pack(NodeId id) { return static_cast<quintptr>(id) + 1; }
}  // namespace

CollectionTreeModel::CollectionTreeModel(collection::CollectionTree& tree, QObject* parent)
    : QAbstractItemModel(parent), tree_(tree) {
  tree_.SetObserver(this);
}

CollectionTreeModel::~CollectionTreeModel() { tree_.SetObserver(nullptr); }

QModelIndex CollectionTreeModel::IndexOf(NodeId id) const {
  if (!tree_.Alive(id)) return {};
  return createIndex(static_cast<int>(tree_.Node(id).row), 0, Pack(id));
}

NodeId CollectionTreeModel::NodeOf(const QModelIndex& index) const {
  if (!index.isValid() || index.model() != this) return kNoNode;
  return static_cast<NodeId>(index.internalId() - 1);
}

QModelIndex CollectionTreeModel::index(int row, int column, const QModelIndex& parent) const {
  if (column != 0 || row < 0) return {};
  if (!parent.isValid()) {
    NodeId root = tree_.RootNode();
    return row == 0 && root != kNoNode ? createIndex(0, 0, Pack(root)) : QModelIndex();
  }
  const auto& children = tree_.Node(NodeOf(parent)).children;
  if (static_cast<std::size_t>(row) >= children.size()) return {};
  return createIndex(row, 0, Pack(children[row]));
}

QModelIndex CollectionTreeModel::parent(const QModelIndex& child) const {
  NodeId id = NodeOf(child);
  if (id == kNoNode || !tree_.Alive(id)) return {};
  NodeId p = tree_.Node(id).parent;
  return p == kNoNode ? QModelIndex() : IndexOf(p);
}

int CollectionTreeModel::rowCount(const QModelIndex& parent) const {
  if (!parent.isValid()) return tree_.RootNode() == kNoNode ? 0 : 1;
  if (parent.column() != 0) return 0;
  return static_cast<int>(tree_.Node(NodeOf(parent)).children.size());
}

int CollectionTreeModel::columnCount(const QModelIndex&) const { return 1; }

QVariant CollectionTreeModel::data(const QModelIndex& index, int role) const {
  NodeId id = NodeOf(index);
  if (id == kNoNode || !tree_.Alive(id)) return {};
  const collection::TreeNode& n = tree_.Node(id);
  switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
    case Qt::ToolTipRole:
      return QString::fromStdString(DisplayName(n.text));
    case Qt::DecorationRole:
      return CollectionIcon(n.image);
    case Qt::FontRole:
      if (n.bold) {
        QFont f;
        f.setBold(true);
        return f;
      }
      return {};
    case KeyRole:
      return QString::fromStdString(DisplayName(n.key));
    case ImageRole:
      return n.image;
    case NodeIdRole:
      return static_cast<qulonglong>(id);
    default:
      return {};
  }
}

void CollectionTreeModel::WillInsert(NodeId parent, std::uint32_t row) {
  beginInsertRows(parent == kNoNode ? QModelIndex() : IndexOf(parent), static_cast<int>(row),
                  static_cast<int>(row));
}

void CollectionTreeModel::WillRemove(NodeId node) {
  const collection::TreeNode& n = tree_.Node(node);
  QModelIndex parent = n.parent == kNoNode ? QModelIndex() : IndexOf(n.parent);
  beginRemoveRows(parent, static_cast<int>(n.row), static_cast<int>(n.row));
}

void CollectionTreeModel::Changed(NodeId node) {
  QModelIndex i = IndexOf(node);
  emit dataChanged(i, i);
}

}  // namespace orv
