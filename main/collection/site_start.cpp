#include "main/collection/site_start.h"

#include <sys/stat.h>

#include "common/local_path.h"
#include "main/scripts/script_model.h"

namespace orv::collection {

namespace {
bool IsFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}
}  // namespace

std::string StartPageOf(const std::string& address, const std::string& collectionFolder) {
  std::string path = LocalNameOf(address, collectionFolder).path;
  if (!path.empty() && path.back() == '/') path += "index.html";
  return path;
}

std::string SiteStartPage(const std::string& siteFolder, const std::string& collectionFolder,
                          const std::vector<std::string>& startAddresses) {
  for (const std::string& address : startAddresses) {
    const std::string page = StartPageOf(address, collectionFolder);
    if (page.compare(0, siteFolder.size(), siteFolder) == 0 && IsFile(page)) return page;
  }
  for (const char* index : {"index.html", "index.htm"})
    if (IsFile(siteFolder + index)) return siteFolder + index;
  return siteFolder;
}

std::vector<std::string> ScriptStartAddresses(const std::string& collectionFolder) {
  std::vector<std::string> starts;
  for (int slot = 0; slot < kUserSlots; ++slot) {
    const std::vector<std::string> script = ReadScriptFile(ScriptFileName(collectionFolder, slot));
    if (script.size() > 1 && !script[1].empty()) starts.push_back(script[1]);
  }
  return starts;
}

}  // namespace orv::collection
