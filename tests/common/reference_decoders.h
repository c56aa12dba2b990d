#pragma once
// Straightforward, slow forms of the escape decoders, written step by step as the
// rules read: find the first sequence, replace it, search again from the start.
// The library decoders do the same in one pass; tests and fuzz targets compare the two.

#include <string>
#include <string_view>

namespace orv::reference {

inline int Hex(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Console rule: prefix + two characters; two hex digits give their byte, anything
// else 255; codes above 32 are replaced and the search restarts at the first
// character, 32 or below stays and the search goes on after the prefix's first character.
inline std::string ConsoleDecode(std::string s, std::string_view prefix) {
  std::size_t pos = 0;
  for (;;) {
    std::size_t k = s.find(prefix, pos);
    if (k == std::string::npos) return s;
    std::size_t digits = k + prefix.size();
    if (digits + 2 > s.size()) {
      pos = k + 1;
      continue;
    }
    int h = Hex(s[digits]), l = Hex(s[digits + 1]);
    int v = (h < 0 || l < 0) ? 255 : h * 16 + l;
    if (v > 32) {
      s.replace(k, prefix.size() + 2, 1, static_cast<char>(v));
      pos = 0;
    } else {
      pos = k + 1;
    }
  }
}

inline std::string LinkPercentDecode(std::string_view s) { return ConsoleDecode(std::string(s), "%"); }
inline std::string NameEscapeDecode(std::string_view s) { return ConsoleDecode(std::string(s), ",8,,x2"); }

// Main program's unescape: every ",8,,x2" + two hex digits with a code other than 0
// becomes that byte, restarting from the first character; anything else is skipped.
inline std::string NameUnescape(std::string s) {
  std::size_t pos = 0;
  for (;;) {
    std::size_t k = s.find(",8,,x2", pos);
    if (k == std::string::npos) return s;
    if (k + 8 > s.size()) {
      pos = k + 1;
      continue;
    }
    int h = Hex(s[k + 6]), l = Hex(s[k + 7]);
    if (h < 0 || l < 0 || h * 16 + l == 0) {
      pos = k + 1;
      continue;
    }
    s.replace(k, 8, 1, static_cast<char>(h * 16 + l));
    pos = 0;
  }
}

// Main program's percent decoder: one left-to-right pass; a code above 128, or from
// 1 to 32, is replaced; the scan goes on after the replaced character.
inline std::string PercentDecodeHighAndControl(std::string s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '%' || i + 2 >= s.size()) continue;
    int h = Hex(s[i + 1]), l = Hex(s[i + 2]);
    if (h < 0 || l < 0) continue;
    int v = h * 16 + l;
    if (v > 128 || (v > 0 && v <= 32)) s.replace(i, 3, 1, static_cast<char>(v));
  }
  return s;
}

}  // namespace orv::reference
