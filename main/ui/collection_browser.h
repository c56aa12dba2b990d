#pragma once
// The browser side as the site tree sees it: show a node's local file, refresh.

#include <string>

namespace orv {

class CollectionBrowser {
 public:
  virtual ~CollectionBrowser() = default;
  // The current browser navigates to the local path (file-name bytes). Errors are ignored.
  virtual void ShowLocalPath(const std::string& localPath) = 0;
  virtual void RefreshCurrent() = 0;
};

}  // namespace orv
