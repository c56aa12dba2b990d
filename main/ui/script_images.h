#pragma once
// The pictures of the script panel, drawn rather than shipped: the address tree's image list
// (1..8 the eight file categories, 9..16 the same categories partly downloaded, 24 a folder)
// and the icon of a saved script set.

#include <QIcon>

namespace orv {

// The picture of an address tree image number; a null icon for numbers the tree never uses.
QIcon AddressTreeImage(int index);

// The icon of every row of the script set list.
QIcon ScriptSetImage();

}  // namespace orv
