#pragma once
// What a browser opening a saved page makes of a link: "&amp;" and numeric character references
// decoded, then every "%" escape. Shared by the page tests that check saved links against stored names.
#include <cctype>
#include <string>

namespace orvtest {

inline std::string AsBrowserReadsIt(std::string link) {
  for (std::size_t k; (k = link.find("&amp;")) != std::string::npos;) link.replace(k, 5, "&");
  // Numeric references of printable characters ("&#45;" is "-").
  for (std::size_t k = link.find("&#"); k != std::string::npos; k = link.find("&#", k + 1)) {
    std::size_t e = link.find(';', k);
    if (e == std::string::npos || e - k > 9) continue;
    const bool hex = link[k + 2] == 'x' || link[k + 2] == 'X';
    const std::string digits = link.substr(k + (hex ? 3 : 2), e - k - (hex ? 3 : 2));
    if (digits.empty() || digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") != std::string::npos)
      continue;
    const long code = std::stol(digits, nullptr, hex ? 16 : 10);
    if (code > 32 && code < 127) link.replace(k, e - k + 1, 1, static_cast<char>(code));
  }
  std::string out;
  for (std::size_t i = 0; i < link.size(); ++i) {
    if (link[i] == '%' && i + 2 < link.size() && std::isxdigit(static_cast<unsigned char>(link[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(link[i + 2]))) {
      out += static_cast<char>(std::stoi(link.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += link[i];
    }
  }
  return out;
}

}  // namespace orvtest
