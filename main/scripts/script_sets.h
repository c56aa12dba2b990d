#pragma once
// Script sets: named copies of the block of sixteen user scripts, one folder each in the sets
// folder (collection + "orvscripts"), holding copies of orvef0..orvef15 (imported sets may hold
// orvef16 and orvef17 too). The sets page binds its list, name field and commands to this
// model; questions and messages go through ScriptSetPrompts.
//
// Saving, loading and importing are all-or-nothing: the files are first copied into a fresh
// hidden folder beside the destination and only then swapped in, so a copy that fails half-way
// (a full disk, an unreadable file) leaves the old set, the current block or the sets folder as
// they were. Names and paths are file-system bytes (Windows-1251 text).

#include <functional>
#include <string>
#include <vector>

namespace orv {

class ScriptSetPrompts {
 public:
  virtual ~ScriptSetPrompts() = default;
  // A Yes/No question; true on Yes.
  virtual bool AskYesNo(const std::string& text) = 0;
  virtual void ShowMessage(const std::string& text) = 0;
};

struct ScriptSetRow {
  std::string key;    // the set folder's full path
  std::string name;   // column 1
  std::string date;   // column 2: "YYYY-MM-DD hh:mm:ss", so the text order is the time order
  std::string count;  // column 3: slots 0..15 whose file exists and is not empty
  std::string size;   // column 4: their total size in bytes
  // Column text, 1..4.
  const std::string& Column(int column) const;
};

// Copies one file; false on failure (the destination may then hold a partial copy).
using FileCopier = std::function<bool(const std::string& from, const std::string& to)>;
bool CopyFileReplacing(const std::string& from, const std::string& to);

class ScriptSets {
 public:
  // collectionFolder is read at every command (it ends with "/"; the collection folder may
  // change while the program runs).
  ScriptSets(std::function<std::string()> collectionFolder, ScriptSetPrompts& prompts);

  std::string SetsFolder() const;  // collection + "orvscripts", no trailing "/"

  // Rebuilds the rows from the sets folder (FillScriptsW), in the current sort order. The
  // selection is dropped.
  void Fill();
  const std::vector<ScriptSetRow>& Rows() const { return rows_; }
  int Selected() const { return selected_; }
  // Selects a row (a right click); out of range selects nothing.
  void Select(int row);
  // A click on a row: selects it and copies its name into the name field.
  void Click(int row);
  // Index of the row with this key (compared case-insensitively), or -1.
  int FindKey(const std::string& key) const;

  // The set name field above the list.
  std::string nameField;

  // Saves the current block under the trimmed name field. True when a set was written (the
  // address tree is then cleared).
  bool SaveBlock();
  // Replaces the current block by the selected set. True when loaded (the tree is cleared).
  bool LoadSelected();
  // Deletes the selected set; ask: confirm first (the menu command).
  bool DeleteSelected(bool ask);
  // Renames a row's set folder to a new name (the end of a label edit). False, with the row
  // unchanged, for an empty name, a name already taken, or a failed rename.
  bool Rename(int row, const std::string& newName);
  // Sorts by column 1..4: ascending by the column text, the date descending.
  void SortBy(int column);
  int SortColumn() const { return sortColumn_; }
  // Copies the selected set into destination + "exwsc" + n. The export folder, or "" when
  // nothing was exported.
  std::string ExportSelected(const std::string& destination);
  // Copies a folder's script files into the sets folder as "scripts_" + n. True on success.
  bool Import(const std::string& source);

  // Replaceable in tests (a copy that fails half-way).
  FileCopier copyFile = CopyFileReplacing;

 private:
  std::string Collection() const;
  long long CurrentBlockBytes() const;
  void ApplySort();
  // Copies the existing files orvef0..orvef(last) of from into a fresh hidden folder in parent;
  // that folder's path ("/" at the end), or "" after a failed copy (nothing is left behind).
  std::string StageCopy(const std::string& from, int last, const std::string& parent);

  std::function<std::string()> collectionFolder_;
  ScriptSetPrompts& prompts_;
  std::vector<ScriptSetRow> rows_;
  int selected_ = -1;
  int sortColumn_ = 0;  // 0: by name, as the folder listing gives them
};

}  // namespace orv
