#include "main/collection/tree_search_source.h"

namespace orv {

void TreeSearchSource::BeginPass() {
  order_.clear();
  order_.reserve(tree_.NodeCount());
  tree_.ForEachNode([&](collection::NodeId id, const collection::TreeNode&) { order_.push_back(id); });
}

SearchNode TreeSearchSource::NodeAt(std::size_t index) const {
  collection::NodeId id = order_[index];
  if (!tree_.Alive(id)) return {};
  const collection::TreeNode& n = tree_.Node(id);
  return {n.key, n.text, n.image};
}

}  // namespace orv
