#pragma once
// The bookmark file "orvrems.orr" in the collection root: records 0..n of six counted
// strings each (16-bit little-endian length, then Windows-1251 bytes), no header.
// Record 0 holds only n (field 4); records 1..n are the nodes in tree order:
// parent key, key, text, tag, image, selected image (the last two as decimal text).
// Pure encode/parse plus the two file operations; the model lives in bookmarks.h.

#include <string>
#include <string_view>
#include <vector>

#include "common/string_list.h"

namespace orv {

inline constexpr std::string_view kBookmarkFileName = "orvrems.orr";
// An older text form of the bookmarks; removed whenever the bookmarks are loaded.
inline constexpr std::string_view kOldBookmarkFileName = "orvrems.txt";
// Shorter files hold no bookmark and are ignored.
inline constexpr std::size_t kMinBookmarkFileSize = 11;

struct BookmarkRecord {
  std::string parentKey;  // empty for a category
  std::string key;
  std::string text;
  std::string tag;
  int image = 0;
  int selectedImage = 0;
  bool operator==(const BookmarkRecord&) const = default;
};

// Records 1..n of a file image. Files under 11 bytes give none. A stated count beyond
// what the data holds, or a record cut short by the end, ends the list at the last whole
// record: nothing is read past the data and nothing is allocated by the stated count.
// *whole (when given) tells whether record 0 and every record its count names were there.
std::vector<BookmarkRecord> ParseBookmarkRecords(std::string_view data, bool* whole = nullptr);

// File image of the records (record 0 with their count first). A record with a field too
// long to be counted (over 65535 bytes) is left out rather than stored with a wrong length.
std::string EncodeBookmarkRecords(const std::vector<BookmarkRecord>& records);

// Loads the bookmarks of a collection root (ending with "/"): deletes the old text form,
// then parses orvrems.orr; missing, short or unreadable gives none. A file that cannot be read
// whole gives its whole records and, with `damage` given, is renamed by SetFileAside so that
// the next save does not write over it; *damage then names both files.
std::vector<BookmarkRecord> LoadBookmarkFile(const std::string& collectionRoot, DamagedFile* damage = nullptr);

// Writes orvrems.orr beside the old one and renames it over, so a failed write keeps
// the previous bookmarks. With no records the file is removed: bookmarks the user
// removed must not come back at the next start. False when the file could not be
// written or removed.
bool SaveBookmarkFile(const std::string& collectionRoot, const std::vector<BookmarkRecord>& records);

}  // namespace orv
