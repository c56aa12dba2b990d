#pragma once
// Shared machinery of the escape decoders (percent escapes and NameEscape).

#include <string>
#include <string_view>

namespace orv::detail {

// Hex digit value, or -1.
int HexDigit(char c);

// Replaces every prefix + two characters for which valueOf returns a byte (0..255)
// by that byte; valueOf returns -1 to leave the sequence as it is. After each
// replacement the text is searched again from the start, so a decoded byte that
// completes a new sequence is decoded too. Linear in the text length.
template <typename ValueOf>
std::string DecodeEscapes(std::string_view text, std::string_view prefix, ValueOf valueOf) {
  const std::size_t p = prefix.size();
  std::string s(text);
  std::string out;
  out.reserve(s.size());
  std::size_t i = 0;
  while (i < s.size()) {
    if (s[i] == prefix[0] && i + p + 2 <= s.size() && s.compare(i, p, prefix) == 0) {
      int v = valueOf(s[i + p], s[i + p + 1]);
      if (v >= 0) {
        // The decoded byte goes back into the input; so do the last p + 1 output
        // bytes, the only earlier text a new sequence through that byte can start in.
        std::size_t at = i + p + 1;
        s[at] = static_cast<char>(v);
        std::size_t k = out.size() < p + 1 ? out.size() : p + 1;
        for (std::size_t j = 0; j < k; ++j) s[at - k + j] = out[out.size() - k + j];
        out.resize(out.size() - k);
        i = at - k;
        continue;
      }
    }
    out.push_back(s[i]);
    ++i;
  }
  return out;
}

}  // namespace orv::detail
