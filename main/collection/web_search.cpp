#include "main/collection/web_search.h"

#include "common/exchange.h"
#include "common/local_path.h"
#include "common/search_engine.h"

namespace orv {

WebSearchLook WebSearchLookFor(bool on) {
  if (on) return {"Поиск:", true, "Отключить поиск через Yandex"};
  return {"Адрес:", false, "Включить поиск через Yandex"};
}

void WebSearchMode::Set(bool on) {
  on_ = on;
  exchange_.WriteRecord(SearchMode, on ? "1" : "0");
}

std::string WebSearchFilingFolder(std::string_view address, std::string_view collectionRoot) {
  constexpr std::string_view kResultsPath = "/yandsearch";
  bool results = false;
  if (auto host = HostRule(address)) {
    results = address.substr(7 + host->size()).substr(0, kResultsPath.size()) == kResultsPath;
  }
  std::string folder(collectionRoot);
  if (folder.empty() || folder.back() != '/') folder += '/';
  folder.append(kSearchEngineHost);
  folder.append(results ? "/results/" : "/previews/");
  return folder;
}

}  // namespace orv
