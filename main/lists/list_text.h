#pragma once
// File helpers shared by the list models: every list file is a StringArrayFile whose record 0
// is the entry count, written whole through the atomic writer of common/.

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "common/string_list.h"

namespace orv {

// A list tells one listener (the lists model, which tells every view) that its entries, their
// marks or its selection changed through one of its operations.
class ChangeNotifier {
 public:
  void OnChange(std::function<void()> changed) { changed_ = std::move(changed); }

 protected:
  void Changed() const {
    if (changed_) changed_();
  }

 private:
  std::function<void()> changed_;
};

// Records 1..n of the list file at path (n from record 0). A missing or empty file gives no
// records. A file that cannot be read whole (record 0 not a count, a record cut short or
// missing) gives the records before the damage and, with `damage` given, is renamed by
// SetFileAside so that the next save does not write over it; *damage then names both files.
std::vector<std::string> ReadListRecords(const std::string& path, DamagedFile* damage = nullptr);

// Writes count + records. With no records the file is removed instead (a missing file is no
// error). False when the file could not be written or removed.
bool RewriteListFileOrRemove(const std::string& path, const std::vector<std::string>& records,
                             FileAccess access = FileAccess::Shared);

}  // namespace orv
