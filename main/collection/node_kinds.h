#pragma once
// Kinds of the collection tree's nodes. The image index of a node tells its kind, so the
// index is what the tree, the search results, the bookmarks and the help project store.

#include <string>
#include <string_view>

namespace orv::collection {

inline constexpr int kImageFolder = 1;          // folder below a site, closed
inline constexpr int kImageFolderSelected = 2;  // the same, selected
inline constexpr int kImageFirstFile = 3;
inline constexpr int kImageLastFile = 19;
inline constexpr int kImageOtherFile = 10;      // no known ending
inline constexpr int kPartialOffset = 17;       // an unfinished download: kind + 17 (20..36)
inline constexpr int kImageRoot = 45;           // the collection root
inline constexpr int kImageSite = 46;           // a site: a first-level folder

// File kind image (3..19) from the last six characters of the name in lower case; the
// first matching row of the kind table wins; no "." among them gives kImageOtherFile.
int FileKindImage(std::string_view fileName);

// Image of a file, with the partial offset when it is an unfinished download.
inline int FileImage(std::string_view fileName, bool partial) {
  return FileKindImage(fileName) + (partial ? kPartialOffset : 0);
}

inline bool IsFileImage(int image) { return image >= kImageFirstFile && image <= 36; }
inline bool IsPartialImage(int image) { return image >= 20 && image <= 36; }
// Root, sites and folders: the nodes that hold other nodes.
inline bool IsContainerImage(int image) { return image < kImageFirstFile || image > 44; }
// The kind of a partial file's image without the offset.
inline int KindOfImage(int image) { return IsPartialImage(image) ? image - kPartialOffset : image; }

// The name a node shows for an on-disk name: NameEscape sequences decoded when it holds
// ",8,,x", then percent escapes when it holds "%" (Windows-1251 bytes, as on disk).
std::string ShownName(std::string_view diskName);

}  // namespace orv::collection
