#pragma once
// The four ways to search the collection and the tests they apply to one file.
// Pure except for FileFacts and FileContainsText, which read the file.

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace orv {

enum class SearchKind { Address = 0, Text = 1, Size = 2, Date = 3 };

// Size bounds are whole kilobytes in this range.
inline constexpr int kMaxSearchSize = 32767;

struct SearchCriteria {
  SearchKind kind = SearchKind::Address;
  std::string text;  // Address and Text: Windows-1251 bytes, compared without letter case
  int sizeFrom = 0;  // Size: from < length / 1024 < to, both strict
  int sizeTo = 0;
  std::chrono::sys_days dateFrom{};  // Date: from < day < to, both strict; swapped when reversed
  std::chrono::sys_days dateTo{};
};

// Length and local calendar day of the last modification; none when the file
// cannot be read.
struct FileFacts {
  long long length = 0;
  std::chrono::sys_days day{};
};
std::optional<FileFacts> ReadFileFacts(const std::string& path);

// The local calendar day of a moment (the "date part" of a file time).
std::chrono::sys_days LocalDay(std::chrono::system_clock::time_point when);
std::chrono::sys_days Today();

bool SizeMatches(long long length, int fromKb, int toKb);
bool DateMatches(std::chrono::sys_days day, std::chrono::sys_days from, std::chrono::sys_days to);

// Whether the file's contents hold needle, letter case ignored (Windows-1251 rules).
// The file is read in pieces of pieceSize bytes, each overlapping the previous by the
// needle's length less one, so a match across two pieces is found while memory stays
// bounded whatever the file's size. None when the file cannot be opened.
inline constexpr std::size_t kTextSearchPiece = 256 * 1024;
std::optional<bool> FileContainsText(const std::string& path, std::string_view needle,
                                     std::size_t pieceSize = kTextSearchPiece);

// A size field after an edit: a text that is not a number loses its last character;
// if it is still none it becomes "0"; the value is the whole absolute number, at most
// 32767. The field then shows the text (caret at its end).
struct CleanedSize {
  std::string text;
  int value = 0;
};
CleanedSize CleanSizeField(std::string_view text);

}  // namespace orv
