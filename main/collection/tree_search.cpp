#include "main/collection/tree_search.h"

namespace orv {

SearchScope SearchScopeOf(const collection::CollectionTree& tree, const collection::CurrentNode& current) {
  SearchScope scope{tree.Root(), tree.Root()};
  if (!current.set || !tree.Alive(current.id)) return scope;
  collection::NodeId id = current.id;
  if (collection::IsFileImage(tree.Node(id).image)) id = tree.SiteOf(id);
  if (tree.Alive(id)) scope.top = tree.Node(id).key;
  return scope;
}

}  // namespace orv
