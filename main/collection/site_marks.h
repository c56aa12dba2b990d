#pragma once
// Site marks (the bold flag of site nodes) and which files of the tree the help-project and
// conversion tools take.

#include <string>
#include <vector>

#include "main/collection/collection_tree.h"
#include "main/collection/help_project.h"

namespace orv::collection {

// "Выбрать все", "Снять все пометки", "Инвертировать пометки".
void MarkAllSites(CollectionTree& tree);
void ClearAllMarks(CollectionTree& tree);
void InvertSiteMarks(CollectionTree& tree);

// The sites a tool processes: on the root, every marked site that has child nodes (its
// folders were loaded); elsewhere the site holding the current node.
std::vector<NodeId> SitesToProcess(const CollectionTree& tree, NodeId current);

// A site's files (nodes with images 4..44) in the order the tree shows them.
SiteFiles SiteFilesOf(const CollectionTree& tree, NodeId site);
std::vector<SiteFiles> SiteFilesToProcess(const CollectionTree& tree, NodeId current);

// The keys of every file node the conversion copies, in tree order.
std::vector<std::string> ConversionFiles(const CollectionTree& tree);

}  // namespace orv::collection
