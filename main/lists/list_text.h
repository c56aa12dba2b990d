#pragma once
// File helpers shared by the list models: every list file is a StringArrayFile whose record 0
// is the entry count, written whole through the atomic writer of common/.

#include <string>

#include "common/string_list.h"
#include <vector>

namespace orv {

// Records 1..n of the list file at path (n from record 0, capped at what the file holds).
// A missing, empty or unreadable file gives no records.
std::vector<std::string> ReadListRecords(const std::string& path);

// Writes count + records. With no records the file is removed instead (a missing file is no
// error). False when the file could not be written or removed.
bool RewriteListFileOrRemove(const std::string& path, const std::vector<std::string>& records,
                             FileAccess access = FileAccess::Shared);

}  // namespace orv
