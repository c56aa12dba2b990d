#pragma once
// Web-search mode: the address bar sends its text to the search engine and the result
// pages are downloaded as a job of their own. The console learns of the mode through
// exchange record 28; the site tree files the saved pages under the engine's folder.

#include <string>
#include <string_view>

#include "main/scripts/exchange_sink.h"

namespace orv {

// How the address bar's label and the switch's tooltip read in each mode (UTF-8, for
// the window).
struct WebSearchLook {
  std::string_view label;
  bool blue = false;
  std::string_view tooltip;
};
WebSearchLook WebSearchLookFor(bool on);

class WebSearchMode {
 public:
  explicit WebSearchMode(ExchangeSink& exchange) : exchange_(exchange) {}
  // Switches the mode and tells the console ("1" or "0" in record 28).
  void Set(bool on);
  bool On() const { return on_; }

 private:
  ExchangeSink& exchange_;
  bool on_ = false;
};

// The folder (collection root + engine host + "/results/" or "/previews/") under which
// the site tree files a page saved in web-search mode: result lists (path starting
// "/yandsearch") go to "results/", everything else to "previews/". The console picks
// the file names, so the tree shows the folders.
std::string WebSearchFilingFolder(std::string_view address, std::string_view collectionRoot);

}  // namespace orv
