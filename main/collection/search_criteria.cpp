#include "main/collection/search_criteria.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <system_error>
#include <vector>

#include "common/numbers.h"
#include "common/text.h"

namespace orv {
namespace {

using std::chrono::sys_days;

const std::array<unsigned char, 256>& LowerTable() {
  static const std::array<unsigned char, 256> table = [] {
    std::array<unsigned char, 256> t{};
    for (int i = 0; i < 256; ++i) t[i] = LowerByte(static_cast<unsigned char>(i));
    return t;
  }();
  return table;
}

void LowerInPlace(char* data, std::size_t size) {
  const auto& table = LowerTable();
  for (std::size_t i = 0; i < size; ++i) {
    data[i] = static_cast<char>(table[static_cast<unsigned char>(data[i])]);
  }
}

// The classic numeric test: blanks, a sign, digits with at most one decimal point
// (at least one digit), an optional exponent, blanks.
bool IsNumeric(std::string_view s) {
  std::size_t i = 0, n = s.size();
  auto blank = [&](std::size_t k) { return s[k] == ' ' || s[k] == '\t'; };
  auto digit = [&](std::size_t k) { return s[k] >= '0' && s[k] <= '9'; };
  while (i < n && blank(i)) ++i;
  if (i < n && (s[i] == '+' || s[i] == '-')) ++i;
  bool digits = false;
  while (i < n && digit(i)) ++i, digits = true;
  if (i < n && s[i] == '.') {
    ++i;
    while (i < n && digit(i)) ++i, digits = true;
  }
  if (!digits) return false;
  if (i < n && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < n && (s[i] == '+' || s[i] == '-')) ++i;
    bool exp = false;
    while (i < n && digit(i)) ++i, exp = true;
    if (!exp) return false;
  }
  while (i < n && blank(i)) ++i;
  return i == n;
}

}  // namespace

sys_days LocalDay(std::chrono::system_clock::time_point when) {
  std::time_t t = std::chrono::system_clock::to_time_t(when);
  std::tm tm{};
  localtime_r(&t, &tm);
  return sys_days(std::chrono::year(tm.tm_year + 1900) / (tm.tm_mon + 1) / tm.tm_mday);
}

sys_days Today() { return LocalDay(std::chrono::system_clock::now()); }

std::optional<FileFacts> ReadFileFacts(const std::string& path) {
  std::error_code ec;
  std::filesystem::directory_entry entry(path, ec);
  if (ec || !entry.is_regular_file(ec)) return std::nullopt;
  auto size = entry.file_size(ec);
  if (ec) return std::nullopt;
  auto time = entry.last_write_time(ec);
  if (ec) return std::nullopt;
  auto sys = std::chrono::file_clock::to_sys(time);
  return FileFacts{static_cast<long long>(size),
                   LocalDay(std::chrono::time_point_cast<std::chrono::system_clock::duration>(sys))};
}

bool SizeMatches(long long length, int fromKb, int toKb) {
  double kb = static_cast<double>(length) / 1024.0;
  return fromKb < kb && kb < toKb;
}

bool DateMatches(sys_days day, sys_days from, sys_days to) {
  if (from > to) std::swap(from, to);
  return from < day && day < to;
}

std::optional<bool> FileContainsText(const std::string& path, std::string_view needle,
                                     std::size_t pieceSize) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  if (needle.empty()) return true;
  std::string lowered = LowerCase(needle);
  // Each piece keeps the last needle-length-less-one bytes of the previous one in front.
  std::size_t overlap = lowered.size() - 1;
  pieceSize = std::max(pieceSize, lowered.size());
  std::vector<char> buffer(overlap + pieceSize);
  std::boyer_moore_horspool_searcher search(lowered.begin(), lowered.end());
  std::size_t kept = 0;
  while (in) {
    in.read(buffer.data() + kept, static_cast<std::streamsize>(pieceSize));
    std::size_t got = static_cast<std::size_t>(in.gcount());
    if (got == 0) break;
    LowerInPlace(buffer.data() + kept, got);
    std::size_t filled = kept + got;
    auto end = buffer.begin() + static_cast<std::ptrdiff_t>(filled);
    if (std::search(buffer.begin(), end, search) != end) return true;
    kept = std::min(overlap, filled);
    std::copy(end - static_cast<std::ptrdiff_t>(kept), end, buffer.begin());
  }
  return false;
}

CleanedSize CleanSizeField(std::string_view text) {
  std::string s(text);
  if (!IsNumeric(s) && !s.empty()) s.pop_back();
  if (!IsNumeric(s)) return {"0", 0};
  double v = std::fabs(std::trunc(static_cast<double>(LeadingFloat(s))));
  int value = v > kMaxSearchSize || std::isnan(v) ? kMaxSearchSize : static_cast<int>(v);
  return {std::to_string(value), value};
}

}  // namespace orv
