#include "main/lists/list_text.h"

#include <cerrno>
#include <cstdio>

#include "common/numbers.h"
#include "common/string_list.h"
#include "common/text.h"

namespace orv {

namespace {

bool IsCount(std::string_view text) {
  const std::string t = Trim(text);
  return !t.empty() && t.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

std::vector<std::string> ReadListRecords(const std::string& path, DamagedFile* damage) {
  if (damage) *damage = {};
  std::string bytes;
  if (!ReadWholeFile(path, bytes) || bytes.empty()) return {};
  std::vector<std::string> records;
  std::size_t pos = 0;
  std::string count;
  bool whole = ReadCountedString(bytes, pos, count) && IsCount(count);
  // Grown record by record: a corrupt count never allocates more than the file holds.
  const long long n = whole ? LeadingInt(count) : 0;
  for (long long k = 1; whole && k <= n; ++k) {
    std::string record;
    whole = ReadCountedString(bytes, pos, record);
    if (whole) records.push_back(std::move(record));
  }
  if (!whole && damage) *damage = {path, SetFileAside(path)};
  return records;
}

bool RewriteListFileOrRemove(const std::string& path, const std::vector<std::string>& records,
                             FileAccess access) {
  if (records.empty()) return std::remove(path.c_str()) == 0 || errno == ENOENT;
  return WriteStringArrayFile(path, CountedList(records), nullptr, access);
}

}  // namespace orv
