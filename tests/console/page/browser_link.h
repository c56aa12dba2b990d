#pragma once
// What a browser opening a saved page makes of a link: character references decoded, then
// every "%" escape. Shared by the page tests that check saved links against stored names.
#include <cctype>
#include <string>

namespace orvtest {

inline std::string AsBrowserReadsIt(std::string link) {
  for (std::size_t k; (k = link.find("&amp;")) != std::string::npos;) link.replace(k, 5, "&");
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
