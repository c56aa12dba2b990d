#pragma once
// The compiled-help project of the marked sites: collection.hhp (options and the list of
// pages) and collection.hhc (the table of contents), both Windows-1251 text with CR LF line
// ends, written into the collection root. The writers take the sites as plain lists of file
// entries, so they do not depend on the tree that supplies them.

#include <string>
#include <string_view>
#include <vector>

namespace orv::collection {

// One file of a site, as the site tree holds it.
struct SiteFileEntry {
  std::string path;       // full local path of the file (below the collection root)
  std::string shownName;  // the name the tree shows (escapes decoded)
  int image = 0;          // file kind image: 3..19 complete, 20..36 incomplete
};

struct SiteFiles {
  std::string folderName;  // the site folder's on-disk name, not decoded
  std::vector<SiteFileEntry> files;
};

// Hypertext and unknown kinds, complete or incomplete: the files listed as pages.
bool IsHelpPageImage(int image);

// The text between "<title>" and the next "</title>" (any letter case) in head, or empty
// when either is missing.
std::string TitleOf(std::string_view head);
// The title found in the first 4096 bytes of the file, read in the page's charset (declared
// or detected) as Windows-1251 text, characters it lacks as numeric references ("&#20013;");
// empty when it cannot be read.
std::string ReadPageTitle(const std::string& path);

// Where the compiler writes the help file: folder (ending with "/") and base name.
struct ChmTarget {
  std::string folder;
  std::string baseName;
  std::string CompiledFile() const { return folder + baseName + ".chm"; }
};

// The path chosen in the save dialog, split at its last "/"; ".chm" (any case) is added
// when missing and then cut off, so "help" and "help.chm" name the same target.
ChmTarget ChmTargetOf(std::string_view chosenPath);

// The first twelve lines of collection.hhp, up to and including "[Files]".
std::string ProjectHead(const ChmTarget& target);
// The ten header lines of collection.hhc.
std::string ContentsHead();

// One site's part of both files: the table-of-contents block and the [Files] lines.
struct SiteBlock {
  std::string contents;
  std::string files;
};
SiteBlock SiteBlockOf(const std::string& collectionRoot, const SiteFiles& site);

inline constexpr const char* kProjectFileName = "collection.hhp";
inline constexpr const char* kContentsFileName = "collection.hhc";

// Deletes and rewrites collection.hhp and collection.hhc in collectionRoot (ending with
// "/") for the given sites, in order. False when a file cannot be written.
bool WriteHelpProject(const std::string& collectionRoot, const ChmTarget& target,
                      const std::vector<SiteFiles>& sites);

// Can a file be created (then closed and deleted) at path? The probe of the target checks.
bool CanCreateFile(const std::string& path);

}  // namespace orv::collection
