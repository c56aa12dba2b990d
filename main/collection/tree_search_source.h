#pragma once
// The site tree as the search walks it: the living nodes in tree order as they stood when
// the search started. A node removed meanwhile is passed over.

#include <vector>

#include "main/collection/collection_search.h"
#include "main/collection/collection_tree.h"

namespace orv {

class TreeSearchSource final : public SearchableTree {
 public:
  explicit TreeSearchSource(collection::CollectionTree& tree) : tree_(tree) {}
  void BeginPass() override;
  std::size_t NodeCount() const override { return order_.size(); }
  SearchNode NodeAt(std::size_t index) const override;
  bool Interrupted() const override { return tree_.Interrupted(); }
  void ClearInterrupt() override { tree_.SetInterrupt(false); }

 private:
  collection::CollectionTree& tree_;
  std::vector<collection::NodeId> order_;
};

}  // namespace orv
