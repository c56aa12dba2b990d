#pragma once
// The four ways to search the collection and the tests they apply to one file.
// Pure except for ReadFileFacts and FileContainsText, which read the file.

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "common/text.h"

namespace orv {

enum class SearchKind { Address = 0, Text = 1, Size = 2, Date = 3 };

// Size bounds are whole kilobytes in this range.
inline constexpr int kMaxSearchSize = 32767;

struct SearchCriteria {
  SearchKind kind = SearchKind::Address;
  std::string text;  // Address and Text: Windows-1251 text, compared without letter case
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

// Whether a page's text holds a needle, fed piece by piece. The page is read in its own
// charset (a byte-order mark or a declaration in its first 8 KB, else detected) as
// Windows-1251 text and compared without letter case; each piece's text keeps the last
// needle-length-less-one characters of the previous one in front, so a match across two
// pieces is found while memory stays bounded whatever the page's size.
class PageTextMatcher {
 public:
  static constexpr std::size_t kHeadBytes = 8192;  // where a page declares its charset
  explicit PageTextMatcher(std::string_view needle);  // Windows-1251 text, any letter case
  // True once the needle was found.
  bool Feed(std::string_view piece);
  // The end of the page.
  bool Finish();
  bool Found() const { return found_; }

 private:
  void StartDecoding();
  void Search(std::size_t kept);

  std::string needle_;
  std::string head_;  // the first bytes, until the charset is known
  std::optional<PageTextDecoder> decoder_;
  std::string text_;
  bool found_ = false;
};

// The whole file through a PageTextMatcher, read in pieces of pieceSize bytes. None when
// the file cannot be opened.
inline constexpr std::size_t kTextSearchPiece = 256 * 1024;
std::optional<bool> FileContainsText(const std::string& path, std::string_view needle,
                                     std::size_t pieceSize = kTextSearchPiece);

// Whether a local path contains a text (Windows-1251, lower case): the path is read as the
// program's text (a UTF-8 name converted) and, when it holds escapes, as the tree shows it.
bool PathContainsText(std::string_view path, std::string_view loweredText);

// A size field after an edit: a text that is not a number loses its last character;
// if it is still none it becomes "0"; the value is the whole absolute number, at most
// 32767. The field then shows the text (caret at its end).
struct CleanedSize {
  std::string text;
  int value = 0;
};
CleanedSize CleanSizeField(std::string_view text);

}  // namespace orv
