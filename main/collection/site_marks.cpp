#include "main/collection/site_marks.h"

#include "main/collection/conversion.h"

namespace orv::collection {

namespace {

// The site folder's on-disk name: the first path part below the root.
std::string FolderNameOf(const CollectionTree& tree, const TreeNode& site) {
  std::string name = site.key.substr(std::min(tree.Root().size(), site.key.size()));
  if (!name.empty() && name.back() == '/') name.pop_back();
  return name;
}

}  // namespace

void MarkAllSites(CollectionTree& tree) {
  for (NodeId site : tree.Sites()) tree.SetBold(site, true);
}

void ClearAllMarks(CollectionTree& tree) {
  std::vector<NodeId> bold;
  tree.ForEachNode([&](NodeId id, const TreeNode& node) {
    if (node.bold) bold.push_back(id);
  });
  for (NodeId id : bold) tree.SetBold(id, false);
}

void InvertSiteMarks(CollectionTree& tree) {
  for (NodeId site : tree.Sites()) tree.SetBold(site, !tree.Node(site).bold);
}

std::vector<NodeId> SitesToProcess(const CollectionTree& tree, NodeId current) {
  std::vector<NodeId> sites;
  if (!tree.Alive(current)) return sites;
  if (current == tree.RootNode()) {
    for (NodeId site : tree.Sites())
      if (tree.Node(site).bold && !tree.Node(site).children.empty()) sites.push_back(site);
  } else if (NodeId site = tree.SiteOf(current); site != kNoNode) {
    sites.push_back(site);
  }
  return sites;
}

SiteFiles SiteFilesOf(const CollectionTree& tree, NodeId site) {
  SiteFiles files{FolderNameOf(tree, tree.Node(site)), {}};
  std::vector<NodeId> stack{site};
  while (!stack.empty()) {
    const TreeNode& node = tree.Node(stack.back());
    stack.pop_back();
    if (node.image > 3 && node.image < 45) files.files.push_back({node.key, node.text, node.image});
    for (auto it = node.children.rbegin(); it != node.children.rend(); ++it) stack.push_back(*it);
  }
  return files;
}

std::vector<SiteFiles> SiteFilesToProcess(const CollectionTree& tree, NodeId current) {
  std::vector<SiteFiles> sites;
  for (NodeId site : SitesToProcess(tree, current)) sites.push_back(SiteFilesOf(tree, site));
  return sites;
}

std::vector<std::string> ConversionFiles(const CollectionTree& tree) {
  std::vector<std::string> files;
  tree.ForEachNode([&](NodeId, const TreeNode& node) {
    if (IsConvertedImage(node.image)) files.push_back(node.key);
  });
  return files;
}

}  // namespace orv::collection
