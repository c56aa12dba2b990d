#include "main/lists/fragment_lists.h"

#include <unordered_set>

#include "common/numbers.h"
#include "common/string_list.h"
#include "common/text.h"
#include "main/lists/list_text.h"

namespace orv {

namespace {

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerByte(static_cast<unsigned char>(a[i])) != LowerByte(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

// The keys of a list in the duplicate rule's form (letter case ignored), for filling and for
// the numbered keys of "Добавить", which would otherwise scan the whole list once per key.
std::unordered_set<std::string> LoweredKeys(const std::vector<ListEntry>& entries) {
  std::unordered_set<std::string> keys;
  keys.reserve(entries.size());
  for (const ListEntry& e : entries) keys.insert(LowerCase(e.key));
  return keys;
}

}  // namespace

void FragmentList::Select(int index) {
  selected_ = (index >= 0 && static_cast<std::size_t>(index) < entries_.size()) ? index : -1;
}

int FragmentList::Find(std::string_view key) const {
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (EqualsNoCase(entries_[i].key, key)) return static_cast<int>(i);
  }
  return -1;
}

void FragmentList::Fill(const std::vector<std::string>& records) {
  entries_.clear();
  selected_ = -1;
  editing_ = -1;
  std::unordered_set<std::string> taken;
  taken.reserve(records.size());
  for (const std::string& record : records) {
    std::string key = Trim(record);
    // An empty fragment would be contained in every address (an empty active exclusion
    // would reject the whole run), and a repeated key cannot stand in the list.
    if (key.empty() || !taken.insert(LowerCase(key)).second) continue;
    ListEntry entry;
    entry.checked = key.size() != record.size();
    entry.text = key;
    entry.key = std::move(key);
    entries_.push_back(std::move(entry));
  }
  RebuildActive();
  Changed();
}

std::vector<std::string> FragmentList::StoredRecords() const {
  std::vector<std::string> records;
  records.reserve(entries_.size());
  for (const ListEntry& e : entries_) records.push_back(e.checked ? " " + e.key : e.key);
  return records;
}

int FragmentList::AppendNew(std::string key) {
  ListEntry entry;
  entry.text = key;
  entry.key = std::move(key);
  entries_.push_back(std::move(entry));
  selected_ = static_cast<int>(entries_.size()) - 1;
  Changed();
  return selected_;
}

bool FragmentList::Add(std::string_view text) {
  // Stored keys are read back trimmed, so a key with surrounding blanks would not survive a
  // restart (and a trailing blank would even read back as the "checked" mark).
  std::string key = Trim(text);
  if (key.empty() || key.size() > kMaxCountedString || Find(key) >= 0) return false;
  AppendNew(std::move(key));
  return true;
}

bool FragmentList::BeginEdit(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= entries_.size()) return false;
  if (entries_[index].checked) return false;
  editing_ = index;
  selected_ = index;
  return true;
}

bool FragmentList::FinishEdit(std::string_view newLabel) {
  const int index = editing_;
  editing_ = -1;
  if (index < 0 || static_cast<std::size_t>(index) >= entries_.size()) return false;
  ListEntry& entry = entries_[index];
  std::string label = Trim(newLabel);
  const int other = Find(label);
  // A key too long for a list record would make the whole list file unwritable.
  if (label.size() > 1 && label.size() <= kMaxCountedString && (other < 0 || other == index)) {
    entry.key = label;
    entry.text = std::move(label);
    Changed();
    return true;
  }
  entry.text = entry.key;
  Changed();
  return false;
}

void FragmentList::SetChecked(int index, bool checked) {
  if (index < 0 || static_cast<std::size_t>(index) >= entries_.size()) return;
  entries_[index].checked = checked;
  RebuildActive();
  Changed();
}

void FragmentList::DeleteSelected() {
  if (selected_ < 0 || static_cast<std::size_t>(selected_) >= entries_.size()) return;
  entries_.erase(entries_.begin() + selected_);
  editing_ = -1;
  if (static_cast<std::size_t>(selected_) >= entries_.size()) selected_ = static_cast<int>(entries_.size()) - 1;
  RebuildActive();
  Changed();
}

void FragmentList::CheckAll() {
  for (ListEntry& e : entries_) e.checked = true;
  RebuildActive();
  Changed();
}

void FragmentList::UncheckAll() {
  for (ListEntry& e : entries_) e.checked = false;
  RebuildActive();
  Changed();
}

void FragmentList::Invert() {
  for (ListEntry& e : entries_) e.checked = !e.checked;
  RebuildActive();
  Changed();
}

void FragmentList::RebuildActive() {
  active_.clear();
  for (const ListEntry& e : entries_) {
    if (e.checked) active_.push_back(e.key);
  }
}

int ExclusionList::AddEmpty() {
  const std::string prefix = Ru("Фрагмент_");
  const std::unordered_set<std::string> taken = LoweredKeys(entries_);
  for (int n = 1; n <= 20000; ++n) {
    std::string key = prefix + DecimalText(n);
    if (!taken.contains(LowerCase(key))) return AppendNew(std::move(key));
  }
  return -1;
}

void ExclusionList::RebuildActive() {
  FragmentList::RebuildActive();
  // The atomic writer replaces the file in one step, so the console, which re-reads it every
  // second, never meets a half-written list. A failed write leaves the previous file. Like
  // every file of the exchange folder it is the owner's alone: entries may name credentials.
  WriteStringArrayFile(TorvcessPath(), CountedList(active_), nullptr, FileAccess::OwnerOnly);
}

void ExclusionList::Load() { Fill(ReadListRecords(StorePath(), &damage_)); }

bool ExclusionList::Save() const {
  return WriteStringArrayFile(StorePath(), CountedList(StoredRecords()), nullptr, FileAccess::OwnerOnly);
}

bool ExclusionList::Excludes(std::string_view address) const {
  return MatchesExclusion(address, active_);
}

int TrackList::AddEmpty() {
  const std::unordered_set<std::string> taken = LoweredKeys(entries_);
  for (long long n = 0;; ++n) {
    std::string key = "http://sample_" + DecimalText(n) + "/";
    if (!taken.contains(LowerCase(key))) {
      const int index = AppendNew(std::move(key));
      BeginEdit(index);
      return index;
    }
  }
}

void TrackList::Load() { Fill(ReadListRecords(StorePath(), &damage_)); }

bool TrackList::Save() const {
  return WriteStringArrayFile(StorePath(), CountedList(StoredRecords()), nullptr, FileAccess::OwnerOnly);
}

bool MatchesExclusion(std::string_view address, const std::vector<std::string>& activeExclusions) {
  for (const std::string& fragment : activeExclusions) {
    if (ContainsNoCase(address, fragment)) return true;
  }
  return false;
}

bool PassesTracks(std::string_view address, const std::vector<std::string>& activeTracks,
                  const std::vector<std::string>& alternateBases) {
  bool siteTrackApplied = false;
  for (const std::string& track : activeTracks) {
    const bool secure = track.find("https://") != std::string::npos;
    if (secure || track.find("http://") != std::string::npos) {
      for (const std::string& base : alternateBases) {
        if (track.find(base) == std::string::npos) continue;
        // The first "/" after the scheme ends the site part of the track.
        const std::size_t slash = track.find('/', secure && track.starts_with("https://") ? 8 : 7);
        if (slash == std::string::npos) continue;
        siteTrackApplied = true;
        const std::string_view path = std::string_view(track).substr(slash + 1);
        if (!path.empty() && ContainsNoCase(address, path)) return true;
      }
    } else if (!ContainsNoCase(address, track)) {
      return false;
    }
  }
  return !siteTrackApplied;
}

}  // namespace orv
