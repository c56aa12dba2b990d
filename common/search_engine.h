#pragma once
// The web-search job talks to one search engine. Its host names the search-mode
// folder of the collection; its cached copies are recognised by their path.

#include <string_view>

namespace orv {

inline constexpr std::string_view kSearchEngineHost = "yandex.ru";
inline constexpr std::string_view kSearchEngineRoot = "http://yandex.ru/";
// Path (right after an address's host) of the engine's cached copies.
inline constexpr std::string_view kCachedCopyPath = "/yandbtm";

}  // namespace orv
