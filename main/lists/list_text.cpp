#include "main/lists/list_text.h"

#include <cerrno>
#include <cstdio>

#include "common/string_list.h"

namespace orv {

std::vector<std::string> ReadListRecords(const std::string& path) {
  std::vector<std::string> elements = ReadStringArrayFile(path);
  if (elements.size() <= 1) return {};
  elements.erase(elements.begin());
  return elements;
}

bool RewriteListFileOrRemove(const std::string& path, const std::vector<std::string>& records,
                             FileAccess access) {
  if (records.empty()) return std::remove(path.c_str()) == 0 || errno == ENOENT;
  return WriteStringArrayFile(path, CountedList(records), nullptr, access);
}

}  // namespace orv
