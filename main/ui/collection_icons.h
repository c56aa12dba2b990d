#pragma once
// Icons of the collection tree's node kinds, drawn here so that they need no theme: the root,
// a site (a globe), a folder (closed and open) and one page per file kind with its own colour
// and label. An unfinished download shows its kind's page faded and cut by a dashed orange
// edge with a progress bar, so the partial state is told apart at a glance.

#include <QIcon>

namespace orv {

// Icon of an image index of the tree (1, 2, 3..36, 45, 46); an empty icon for others.
QIcon CollectionIcon(int image);

}  // namespace orv
