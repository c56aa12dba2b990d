#include "main/collection/search_criteria.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <system_error>
#include <vector>

#include "common/numbers.h"
#include "common/text.h"
#include "main/collection/node_kinds.h"

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

PageTextMatcher::PageTextMatcher(std::string_view needle) : needle_(LowerCase(needle)) {
  found_ = needle_.empty();
}

void PageTextMatcher::StartDecoding() {
  std::size_t bom = 0;
  decoder_.emplace(DeclaredPageCharset(std::string_view(head_).substr(0, kHeadBytes), &bom));
  std::string head;
  head.swap(head_);
  std::size_t kept = text_.size();
  decoder_->Append(std::string_view(head).substr(bom), text_);
  Search(kept);
}

void PageTextMatcher::Search(std::size_t kept) {
  LowerInPlace(text_.data() + kept, text_.size() - kept);
  std::boyer_moore_horspool_searcher search(needle_.begin(), needle_.end());
  if (std::search(text_.begin(), text_.end(), search) != text_.end()) found_ = true;
  // Only the last needle-length-less-one characters can begin a match across pieces.
  std::size_t overlap = needle_.size() - 1;
  if (text_.size() > overlap) text_.erase(0, text_.size() - overlap);
}

bool PageTextMatcher::Feed(std::string_view piece) {
  if (found_) return true;
  if (!decoder_) {
    head_.append(piece);
    if (head_.size() >= kHeadBytes) StartDecoding();
    return found_;
  }
  std::size_t kept = text_.size();
  decoder_->Append(piece, text_);
  Search(kept);
  return found_;
}

bool PageTextMatcher::Finish() {
  if (found_) return true;
  if (!decoder_) StartDecoding();
  std::size_t kept = text_.size();
  decoder_->Finish(text_);
  if (text_.size() > kept) Search(kept);
  return found_;
}

std::optional<bool> FileContainsText(const std::string& path, std::string_view needle,
                                     std::size_t pieceSize) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  PageTextMatcher matcher(needle);
  std::vector<char> buffer(std::max<std::size_t>(pieceSize, 1));
  while (in && !matcher.Found()) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    auto got = static_cast<std::size_t>(in.gcount());
    if (got == 0) break;
    matcher.Feed(std::string_view(buffer.data(), got));
  }
  return matcher.Finish();
}

namespace {

// Every escape of a byte above 0x7F decoded, so a percent-escaped UTF-8 name reads as the
// user would write it (the tree shows "%80" as it is, which cuts "р", D1 80, in two).
std::string HighEscapesDecoded(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      const std::string hex(text.substr(i + 1, 2));
      if (std::isxdigit(static_cast<unsigned char>(hex[0])) && std::isxdigit(static_cast<unsigned char>(hex[1]))) {
        const auto v = static_cast<unsigned char>(std::stoi(hex, nullptr, 16));
        if (v >= 0x80) {
          out.push_back(static_cast<char>(v));
          i += 2;
          continue;
        }
      }
    }
    out.push_back(text[i]);
  }
  return out;
}

}  // namespace

bool PathContainsText(std::string_view path, std::string_view loweredText) {
  if (LowerCase(FileNameText(path)).find(loweredText) != std::string::npos) return true;
  // Escaped names: the text the tree shows counts too, and so does the whole name unescaped.
  if (path.find(",8,,x") == std::string_view::npos && path.find('%') == std::string_view::npos) return false;
  const std::string shown = collection::ShownName(path);
  if (LowerCase(FileNameText(shown)).find(loweredText) != std::string::npos) return true;
  return shown.find('%') != std::string::npos &&
         LowerCase(FileNameText(HighEscapesDecoded(shown))).find(loweredText) != std::string::npos;
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
