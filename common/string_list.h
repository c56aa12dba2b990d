#pragma once
// Counted strings (16-bit little-endian length, then the bytes) and the
// StringArrayFile built from them: element after element, element 0 holding the
// count as decimal text. Used by orvurl and by every list file.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace orv {

constexpr std::size_t kMaxCountedString = 65535;

// Appends length + bytes. False (and nothing appended) when s is longer than
// 65535 bytes: such a string cannot be stored and is never written with a wrong length.
bool AppendCountedString(std::string& out, std::string_view s);

// Reads one counted string at pos and advances pos past it. False when the data
// ends inside the length or the bytes (out is then empty and pos is data.size()).
bool ReadCountedString(std::string_view data, std::size_t& pos, std::string& out);

// Encodes the elements as given (element 0 included). False, with a message in
// *error, when an element is over 65535 bytes; out is then left unchanged.
bool EncodeStringArray(const std::vector<std::string>& elements, std::string& out,
                       std::string* error = nullptr);

// Decodes a StringArrayFile image: element 0 gives the count, elements 0..count are
// returned. Elements past the end of the data (or cut short by it) are empty. The
// count is capped at what the data could hold (every element takes at least two
// bytes), so a corrupt count never makes the reader allocate without bound. A
// negative or missing count gives element 0 alone; empty data gives an empty vector.
std::vector<std::string> ParseStringArray(std::string_view data);

// How many bytes from the start hold element 0 and the elements its count names, as far as
// `data` shows: more than data.size() when the data ends inside them (read more, then ask
// again), at most data.size() once they are complete.
std::size_t StringArrayExtent(std::string_view data);

// Reads a whole file. Missing or unreadable file -> empty vector.
std::vector<std::string> ReadStringArrayFile(const std::string& path);

// Writes the elements as given (element 0 included) to a temporary file in the same
// folder and renames it over path: a reader never sees a half-written list and a
// failed write leaves the previous file intact. False with a message on failure
// (including an element over 65535 bytes, in which case nothing is written).
// Who may read the written file. Files that hold credentials (proxy and server passwords)
// are OwnerOnly: created readable and writable by the owner alone, and since the new file
// replaces the old one, a file found with wider rights is tightened by the next write.
enum class FileAccess { Shared, OwnerOnly };

bool WriteStringArrayFile(const std::string& path, const std::vector<std::string>& elements,
                          std::string* error = nullptr, FileAccess access = FileAccess::Shared);

// items -> {count text, items...}: element 0 = DecimalText(items.size()).
std::vector<std::string> CountedList(const std::vector<std::string>& items);

// Whole-file replacement through a temporary file in the same folder and rename.
bool WriteFileAtomically(const std::string& path, std::string_view bytes,
                         FileAccess access = FileAccess::Shared);

// Opens a log or exchange file for appending (emptied first with startAnew), readable and
// writable by the owner alone, an existing file with wider rights included: such files carry
// addresses with their credentials. A descriptor for write(2), or -1.
int OpenOwnerOnlyAppend(const std::string& path, bool startAnew = false);

// Whole file as bytes; false when it cannot be opened.
bool ReadWholeFile(const std::string& path, std::string& out);

// A stored file a load found damaged.
struct DamagedFile {
  std::string file;        // empty when the last load found the file whole, empty or missing
  std::string setAsideAs;  // what it was renamed to (SetFileAside); empty when it could not be
};

// Keeps a file that cannot be read whole out of the way of the next save: renames it to
// path + ".unreadable" (".unreadable2", ... when that name is taken). Returns the new name,
// empty when the file could not be renamed.
std::string SetFileAside(const std::string& path);
// What the user is told, once, about such a file (Windows-1251): what + file + " не читается. Он
// сохранен как " + aside + ", " + consequence + "." (or that it could not be renamed).
std::string SetAsideMessage(std::string_view what, const std::string& file, const std::string& aside,
                            std::string_view consequence);

}  // namespace orv
