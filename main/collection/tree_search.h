#pragma once
// The site tree's side of a search: its interrupt flag, and the subtree a search covers.

#include "main/collection/collection_search.h"
#include "main/collection/collection_tree.h"
#include "main/collection/tree_commands.h"

namespace orv {

class TreeInterrupt final : public SearchInterrupt {
 public:
  explicit TreeInterrupt(collection::CollectionTree& tree) : tree_(tree) {}
  bool Interrupted() const override { return tree_.Interrupted(); }
  void Clear() override { tree_.SetInterrupt(false); }

 private:
  collection::CollectionTree& tree_;
};

// The subtree chosen in the tree: the current node when it is the root, a site or a folder;
// the site of a current file; the whole collection when nothing is chosen.
SearchScope SearchScopeOf(const collection::CollectionTree& tree, const collection::CurrentNode& current);

}  // namespace orv
