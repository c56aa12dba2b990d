#pragma once
// The two global fragment lists of the lists page: the exclusion list ("Исключения") and the
// auto-filter ("Колея", the track list). Both are checkable lists of address fragments with
// in-place label editing; a checked entry is active. The active sets are snapshots rebuilt by
// the operations that the lists page treats as "apply": toggling a check box, delete, select
// all, uncheck all, invert, and the list gaining or losing the focus. Adding an entry and
// finishing a label edit take effect at the next of these.
//
// The exclusion list reaches the console through `torvcess` (rewritten on every rebuild); both
// lists are kept across runs in `orvcess` / `orvnecess`, one record per entry, a leading blank
// marking a checked entry. All text is Windows-1251 bytes.

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "main/lists/list_text.h"

namespace orv {

struct ListEntry {
  std::string key;   // the fragment, unique within its list
  std::string text;  // the shown label; equal to key after every successful edit
  bool checked = false;
};

inline constexpr const char* kTorvcessFile = "torvcess";
inline constexpr const char* kOrvcessFile = "orvcess";
inline constexpr const char* kOrvnecessFile = "orvnecess";

// Behaviour common to both lists. Indices are 0-based list positions; -1 means "none".
class FragmentList : public ChangeNotifier {
 public:
  virtual ~FragmentList() = default;

  const std::vector<ListEntry>& Entries() const { return entries_; }
  std::size_t Size() const { return entries_.size(); }
  int Selected() const { return selected_; }
  // Selects the entry (a right click on it, a click); out-of-range selects nothing.
  void Select(int index);
  // Position of the entry with this key (duplicate rule: letter case ignored), or -1.
  int Find(std::string_view key) const;

  // Fills the list from stored records (records 1..n of `orvcess`/`orvnecess`), replacing
  // what it held, then rebuilds the active set.
  void Fill(const std::vector<std::string>& records);
  // The records to store: a blank before the key of a checked entry, the bare key otherwise.
  std::vector<std::string> StoredRecords() const;

  // Appends an unchecked entry with key and text equal to text and selects it. Nothing is
  // added (false) when the text is empty or an entry with that key exists.
  bool Add(std::string_view text);
  // The list popup's "Добавить": appends the first free generated key (see the two lists).
  // Returns the new entry's position, or -1 when nothing was added.
  virtual int AddEmpty() = 0;

  // Label editing. BeginEdit refuses (false) a checked entry or a bad index. FinishEdit takes
  // the edited label: trimmed, longer than one character and no other entry's key, it becomes
  // key and text (true); otherwise the label reverts (false). CancelEdit reverts.
  bool BeginEdit(int index);
  bool FinishEdit(std::string_view newLabel);
  void CancelEdit() { editing_ = -1; }
  int Editing() const { return editing_; }

  // Operations that rebuild the active set.
  void SetChecked(int index, bool checked);  // the user toggles a check box
  void DeleteSelected();                     // "Удалить": nothing without a selection
  void CheckAll();                           // "Выбрать Все"
  void UncheckAll();                         // "Снять Пометки"
  void Invert();                             // "Инвертировать"
  void FocusChanged() { RebuildActive(); }   // the list gains or loses the focus

  // Keys of the checked entries in list order, as of the last rebuild.
  const std::vector<std::string>& Active() const { return active_; }
  virtual void RebuildActive();

  // Menu state for a right click: every item except "Добавить" needs at least one entry.
  bool MenuItemsEnabled() const { return !entries_.empty(); }

  // The stored file as the last Load found it, when it could not be read whole.
  const DamagedFile& LoadDamage() const { return damage_; }

 protected:
  int AppendNew(std::string key);

  std::vector<ListEntry> entries_;
  std::vector<std::string> active_;
  int selected_ = -1;
  int editing_ = -1;
  DamagedFile damage_;
};

// "Исключения". The active set is also written to `torvcess` in the exchange folder.
class ExclusionList : public FragmentList {
 public:
  // exchangeFolder ends with "/"; `torvcess` and `orvcess` live there.
  explicit ExclusionList(std::string exchangeFolder) : folder_(std::move(exchangeFolder)) {}

  // "Фрагмент_" + n for n = 1..20000, the first key not yet taken.
  int AddEmpty() override;
  // Rebuilds the active set and rewrites `torvcess` (write errors are ignored).
  void RebuildActive() override;

  // Start-up: fills from `orvcess` (missing or empty file: empty list) and rebuilds. A damaged
  // file is set aside (LoadDamage) and what could be read of it is kept.
  void Load();
  // Program state saving: writes `orvcess`. False on a write error.
  bool Save() const;

  // True when an active exclusion occurs in the address, letter case ignored.
  bool Excludes(std::string_view address) const;

  std::string TorvcessPath() const { return folder_ + kTorvcessFile; }
  std::string StorePath() const { return folder_ + kOrvcessFile; }

 private:
  std::string folder_;
};

// "Колея". The active set stays in the main program.
class TrackList : public FragmentList {
 public:
  explicit TrackList(std::string exchangeFolder) : folder_(std::move(exchangeFolder)) {}

  // "http://sample_" + n + "/" for n = 0, 1, ..., the first free key; label editing of the new
  // entry starts at once.
  int AddEmpty() override;

  void Load();       // from `orvnecess`
  bool Save() const;  // to `orvnecess`

  std::string StorePath() const { return folder_ + kOrvnecessFile; }

 private:
  std::string folder_;
};

// The exclusion test of admission: with active exclusions, an address containing any of them
// (letter case ignored) is excluded.
bool MatchesExclusion(std::string_view address, const std::vector<std::string>& activeExclusions);

// The track test of admission. alternateBases are the alternate bases of the run's scope
// records in order. A track containing "http://" (or "https://") is a site track: it applies when it contains
// one of the alternate bases and has a "/" after the scheme; its path (after that "/")
// admits at once an address containing it. Any other track is a plain fragment that the
// address must contain. Letter case is ignored in the address tests. With no active tracks
// every address passes.
bool PassesTracks(std::string_view address, const std::vector<std::string>& activeTracks,
                  const std::vector<std::string>& alternateBases);

}  // namespace orv
