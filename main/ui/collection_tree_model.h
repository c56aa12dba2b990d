#pragma once
// The item model over the collection tree: one row per node, the shown name as text (file-name
// bytes shown as UTF-8 when valid, else Windows-1251), the drawn icon of its kind, bold for a
// marked site. It follows the tree's changes through the tree's observer.

#include <QAbstractItemModel>

#include "main/collection/collection_tree.h"

namespace orv {

class CollectionTreeModel : public QAbstractItemModel, public collection::TreeObserver {
 public:
  enum Role { KeyRole = Qt::UserRole + 1, ImageRole, NodeIdRole };

  explicit CollectionTreeModel(collection::CollectionTree& tree, QObject* parent = nullptr);
  ~CollectionTreeModel() override;

  QModelIndex IndexOf(collection::NodeId id) const;
  collection::NodeId NodeOf(const QModelIndex& index) const;
  collection::CollectionTree& Tree() { return tree_; }

  QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

  // TreeObserver
  void WillReset() override { beginResetModel(); }
  void DidReset() override { endResetModel(); }
  void WillInsert(collection::NodeId parent, std::uint32_t row) override;
  void DidInsert(collection::NodeId) override { endInsertRows(); }
  void WillRemove(collection::NodeId node) override;
  void DidRemove() override { endRemoveRows(); }
  void Changed(collection::NodeId node) override;

 private:
  collection::CollectionTree& tree_;
};

}  // namespace orv
