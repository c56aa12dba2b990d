#pragma once
// What the proxy list and the authentication list share: entries keyed by a stored string
// (compared without letter case), one selected row, and a list file in the program folder that
// holds passwords and so is written readable by its owner alone. All text is Windows-1251 bytes.

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "common/string_list.h"
#include "common/text.h"
#include "main/lists/list_text.h"

namespace orv {

// Entry needs `key` (the stored record) and `text` (what the list shows).
template <typename Entry>
class CredentialList : public ChangeNotifier {
 public:
  const std::vector<Entry>& Entries() const { return entries_; }
  std::size_t Size() const { return entries_.size(); }
  int Selected() const { return selected_; }  // 0-based, -1 none
  void Select(int index) {
    selected_ = (index >= 0 && static_cast<std::size_t>(index) < entries_.size()) ? index : -1;
  }
  std::string FilePath() const { return path_; }
  // The list file as the last load found it, when it could not be read whole.
  const DamagedFile& LoadDamage() const { return damage_; }

 protected:
  explicit CredentialList(std::string path) : path_(std::move(path)) {}

  // Fills the list from the file, one entry per record that `make` accepts (it returns false
  // for a record that cannot stand in the list); a key already taken in is skipped. Linear in
  // the number of records: thousands of proxies load at once.
  template <typename Make>
  void LoadFromFile(Make make) {
    entries_.clear();
    selected_ = -1;
    std::unordered_set<std::string> seen;
    for (std::string& record : ReadListRecords(path_, &damage_)) {
      Entry entry;
      if (!make(record, entry)) continue;
      if (!seen.insert(LowerCase(record)).second) continue;
      entry.key = std::move(record);
      entries_.push_back(std::move(entry));
    }
    Changed();
  }

  // Position of the entry whose key equals `key` without letter case, or -1.
  int FindKey(std::string_view key) const {
    const std::string wanted = LowerCase(key);
    for (std::size_t i = 0; i < entries_.size(); ++i) {
      if (entries_[i].key.size() == wanted.size() && LowerCase(entries_[i].key) == wanted) return static_cast<int>(i);
    }
    return -1;
  }

  // Rewrites the list file from the entries (removed when the list is empty); errors are
  // ignored: the list stays as edited.
  void Rewrite() const {
    std::vector<std::string> keys;
    keys.reserve(entries_.size());
    for (const Entry& e : entries_) keys.push_back(e.key);
    RewriteListFileOrRemove(path_, keys, FileAccess::OwnerOnly);
    Changed();
  }

  // Removes the selected entry; the selection stays on the same row or the new last one.
  bool EraseSelected() {
    if (selected_ < 0) return false;
    entries_.erase(entries_.begin() + selected_);
    if (static_cast<std::size_t>(selected_) >= entries_.size()) selected_ = static_cast<int>(entries_.size()) - 1;
    return true;
  }

  std::vector<Entry> entries_;
  int selected_ = -1;

 private:
  std::string path_;
  DamagedFile damage_;
};

}  // namespace orv
