#include "main/scripts/script_sets.h"

#include <algorithm>
#include <ctime>
#include <filesystem>

#include "common/numbers.h"
#include "common/text.h"
#include "main/scripts/script_model.h"
#include "platform/file_attributes.h"

namespace orv {

namespace fs = std::filesystem;

namespace {

constexpr int kLastBlockSlot = kUserSlots - 1;  // orvef15
constexpr int kLastImportedSlot = 17;           // imported and exported sets may hold orvef17
constexpr long long kEmptyBlockBytes = 9;       // a block this small is not saved
constexpr long long kLoadAskAbove = 8;          // a current block larger than this is asked about
constexpr int kMaxNumbered = 255;               // "exwsc" + n and "scripts_" + n

std::string SlotFile(const std::string& folder, int slot) { return folder + "orvef" + DecimalText(slot); }

bool Exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

void RemoveAll(const std::string& path) {
  std::error_code ec;
  fs::remove_all(path, ec);
}

// The cookie jars of the block's scripts go when other scripts take their slots: a jar holds the
// session of the script it was written for. Sets never carry jars: a set can be exported and
// handed on, and cookies are the owner's alone.
void ForgetBlockCookies(const std::string& collection, int last) {
  for (int slot = 0; slot <= last; ++slot) {
    std::error_code ec;
    fs::remove(CookieJarFileName(collection, slot), ec);
  }
}

bool RenamePath(const std::string& from, const std::string& to) {
  std::error_code ec;
  fs::rename(from, to, ec);
  return !ec;
}

// A folder path with one "/" at the end.
std::string WithSlash(std::string path) {
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

std::string NoSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// A fresh folder parent + prefix + n (the first n not yet taken); "" when none could be made.
std::string FreshFolder(const std::string& parent, const std::string& prefix) {
  for (int n = 0; n < 1000; ++n) {
    const std::string path = parent + prefix + DecimalText(n);
    std::error_code ec;
    if (fs::create_directory(path, ec) && !ec) return path + "/";
    if (ec && !Exists(path)) return "";
  }
  return "";
}

// A set name the sets folder can hold as one visible subfolder: no separator, not hidden
// (a leading "." is skipped by the list).
bool UsableSetName(const std::string& name) {
  return !name.empty() && name.front() != '.' && name.find('/') == std::string::npos;
}

std::string FolderDateText(const std::string& path) {
  const auto times = GetFileTimes(path);
  if (!times) return "";
  const std::time_t t = std::chrono::system_clock::to_time_t(times->modified);
  std::tm local{};
  localtime_r(&t, &local);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &local);
  return buf;
}

}  // namespace

const std::string& ScriptSetRow::Column(int column) const {
  switch (column) {
    case 2: return date;
    case 3: return count;
    case 4: return size;
    default: return name;
  }
}

bool CopyFileReplacing(const std::string& from, const std::string& to) {
  std::error_code ec;
  fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
  return !ec;
}

ScriptSets::ScriptSets(std::function<std::string()> collectionFolder, ScriptSetPrompts& prompts)
    : collectionFolder_(std::move(collectionFolder)), prompts_(prompts) {}

std::string ScriptSets::Collection() const { return WithSlash(collectionFolder_()); }

std::string ScriptSets::SetsFolder() const { return Collection() + "orvscripts"; }

long long ScriptSets::CurrentBlockBytes() const {
  long long total = 0;
  for (int slot = 0; slot <= kLastBlockSlot; ++slot)
    total += std::max(0LL, FileLength(SlotFile(Collection(), slot)));
  return total;
}

void ScriptSets::Fill() {
  rows_.clear();
  selected_ = -1;
  std::error_code ec;
  for (fs::directory_iterator it(SetsFolder(), ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code dirEc;
    if (!it->is_directory(dirEc)) continue;
    const std::string name = it->path().filename().string();
    if (name.empty() || name.front() == '.') continue;
    ScriptSetRow row;
    row.key = it->path().string();
    row.name = name;
    row.date = FolderDateText(row.key);
    long long count = 0, size = 0;
    for (int slot = 0; slot <= kLastBlockSlot; ++slot) {
      const long long len = FileLength(SlotFile(row.key + "/", slot));
      if (len > 0) {
        ++count;
        size += len;
      }
    }
    row.count = DecimalText(count);
    row.size = DecimalText(size);
    rows_.push_back(std::move(row));
  }
  ApplySort();
}

void ScriptSets::ApplySort() {
  const int column = sortColumn_ == 0 ? 1 : sortColumn_;
  const bool descending = column == 2;
  std::stable_sort(rows_.begin(), rows_.end(), [&](const ScriptSetRow& a, const ScriptSetRow& b) {
    const std::string x = LowerCase(a.Column(column)), y = LowerCase(b.Column(column));
    return descending ? y < x : x < y;
  });
}

void ScriptSets::SortBy(int column) {
  if (column < 1 || column > 4) return;
  const std::string key = selected_ >= 0 ? rows_[static_cast<std::size_t>(selected_)].key : "";
  sortColumn_ = column;
  ApplySort();
  selected_ = key.empty() ? -1 : FindKey(key);
}

void ScriptSets::Select(int row) {
  selected_ = row >= 0 && row < static_cast<int>(rows_.size()) ? row : -1;
}

void ScriptSets::Click(int row) {
  Select(row);
  if (selected_ >= 0) nameField = rows_[static_cast<std::size_t>(selected_)].name;
}

int ScriptSets::FindKey(const std::string& key) const {
  const std::string wanted = LowerCase(key);
  for (std::size_t i = 0; i < rows_.size(); ++i)
    if (LowerCase(rows_[i].key) == wanted) return static_cast<int>(i);
  return -1;
}

std::string ScriptSets::StageCopy(const std::string& from, int last, const std::string& parent) {
  const std::string stage = FreshFolder(parent, ".orvstage");
  if (stage.empty()) return "";
  for (int slot = 0; slot <= last; ++slot) {
    const std::string source = SlotFile(WithSlash(from), slot);
    if (!Exists(source)) continue;  // that slot stays empty
    if (!copyFile(source, SlotFile(stage, slot))) {
      RemoveAll(stage);
      return "";
    }
  }
  return stage;
}

bool ScriptSets::SaveBlock() {
  Fill();
  if (CurrentBlockBytes() <= kEmptyBlockBytes) return false;
  const std::string sets = SetsFolder();
  std::error_code ec;
  if (!fs::is_directory(sets, ec) && !fs::create_directories(sets, ec)) {
    prompts_.ShowMessage(Ru("Не удается создать папку: ") + sets + "\n" + Ru(". Проверьте права доступа."));
    return false;
  }
  const std::string name = Trim(nameField);
  if (!UsableSetName(name)) {
    prompts_.ShowMessage(Ru("Не определено название"));
    return false;
  }
  const std::string path = sets + "/" + name;
  const bool replacing = Exists(path);
  if (replacing) {
    if (!prompts_.AskYesNo(Ru("Заменить имеющийся набор?"))) return false;
    Select(FindKey(path));
  }

  // The new set is complete before the old one goes.
  const std::string stage = StageCopy(Collection(), kLastBlockSlot, sets + "/");
  if (stage.empty()) {
    prompts_.ShowMessage(Ru("Не удается сохранить набор: ") + path);
    return false;
  }
  std::string old;
  if (replacing) {
    old = FreshFolder(sets + "/", ".orvold");
    if (old.empty() || !RenamePath(path, old + "set")) {
      RemoveAll(stage);
      if (!old.empty()) RemoveAll(old);
      prompts_.ShowMessage(Ru("Не удается сохранить набор: ") + path);
      return false;
    }
  }
  if (!RenamePath(NoSlash(stage), path)) {
    if (!old.empty()) RenamePath(old + "set", path);
    RemoveAll(stage);
    if (!old.empty()) RemoveAll(old);
    prompts_.ShowMessage(Ru("Не удается сохранить набор: ") + path);
    return false;
  }
  if (!old.empty()) RemoveAll(old);

  Fill();
  Select(FindKey(path));
  if (prompts_.AskYesNo(Ru("Очистить текущий блок сценариев?"))) {
    for (int slot = 0; slot <= kLastBlockSlot; ++slot) {
      std::error_code rmEc;
      fs::remove(SlotFile(Collection(), slot), rmEc);
    }
    ForgetBlockCookies(Collection(), kLastBlockSlot);
  }
  return true;
}

bool ScriptSets::LoadSelected() {
  if (selected_ < 0) return false;
  const std::string set = rows_[static_cast<std::size_t>(selected_)].key;
  if (CurrentBlockBytes() > kLoadAskAbove &&
      !prompts_.AskYesNo(Ru("Текущий блок сценариев не пустой. При загрузке выбранного блока все записи "
                            "текущего блока будут замещены. Продолжить?")))
    return false;

  const std::string collection = Collection();
  const std::string failed = Ru("Не удается загрузить набор: ") + set;
  const std::string stage = StageCopy(set, kLastBlockSlot, collection);
  if (stage.empty()) {
    prompts_.ShowMessage(failed);
    return false;
  }
  // Swap: the current block moves aside, the staged one moves in; renames in one folder do not
  // run out of space, and the old block comes back if one of them fails.
  const std::string aside = FreshFolder(collection, ".orvblock");
  bool ok = !aside.empty();
  std::vector<int> movedAside, movedIn;
  for (int slot = 0; ok && slot <= kLastBlockSlot; ++slot) {
    if (!Exists(SlotFile(collection, slot))) continue;
    ok = RenamePath(SlotFile(collection, slot), SlotFile(aside, slot));
    if (ok) movedAside.push_back(slot);
  }
  for (int slot = 0; ok && slot <= kLastBlockSlot; ++slot) {
    if (!Exists(SlotFile(stage, slot))) continue;
    ok = RenamePath(SlotFile(stage, slot), SlotFile(collection, slot));
    if (ok) movedIn.push_back(slot);
  }
  if (!ok) {
    for (int slot : movedIn) {
      std::error_code ec;
      fs::remove(SlotFile(collection, slot), ec);
    }
    for (int slot : movedAside) RenamePath(SlotFile(aside, slot), SlotFile(collection, slot));
  }
  RemoveAll(stage);
  if (!aside.empty()) RemoveAll(aside);
  if (!ok) {
    prompts_.ShowMessage(failed);
    return false;
  }
  ForgetBlockCookies(collection, kLastBlockSlot);
  Fill();
  return true;
}

bool ScriptSets::DeleteSelected(bool ask) {
  if (selected_ < 0) return false;
  const int index = selected_;
  const ScriptSetRow row = rows_[static_cast<std::size_t>(index)];
  if (ask && !prompts_.AskYesNo(Ru("Удалить набор ") + row.name + "?")) return false;
  RemoveAll(row.key);
  Fill();
  if (index - 1 >= 0 && index - 1 < static_cast<int>(rows_.size())) {
    Click(index - 1);
  } else if (rows_.empty()) {
    nameField.clear();
  }
  return true;
}

bool ScriptSets::Rename(int row, const std::string& newName) {
  if (row < 0 || row >= static_cast<int>(rows_.size())) return false;
  ScriptSetRow& r = rows_[static_cast<std::size_t>(row)];
  const std::string name = Trim(newName);
  if (!UsableSetName(name)) return false;
  if (name == r.name) return true;
  const std::string path = r.key.substr(0, r.key.size() - std::min(r.key.size(), r.name.size())) + name;
  // A rename onto an existing (empty) folder would replace it here: refuse it as taken.
  if (Exists(path) || !RenamePath(r.key, path)) return false;
  r.key = path;
  r.name = name;
  return true;
}

std::string ScriptSets::ExportSelected(const std::string& destination) {
  if (selected_ < 0 || destination.empty()) return "";
  const std::string set = rows_[static_cast<std::size_t>(selected_)].key;
  if (set.size() <= 2) return "";
  const std::string dest = WithSlash(destination);
  std::string folder;
  for (int n = 0; n <= kMaxNumbered && folder.empty(); ++n) {
    std::error_code ec;
    if (fs::create_directory(dest + "exwsc" + DecimalText(n), ec) && !ec) folder = dest + "exwsc" + DecimalText(n);
  }
  if (folder.empty()) return "";
  for (int slot = 0; slot <= kLastImportedSlot; ++slot) {
    const std::string source = SlotFile(WithSlash(set), slot);
    if (!Exists(source) || !copyFile(source, SlotFile(folder + "/", slot))) break;
  }
  prompts_.ShowMessage(Ru("Выбранный блок сценариев скопирован в папку :") + folder);
  return folder;
}

bool ScriptSets::Import(const std::string& source) {
  const std::string sets = SetsFolder();
  std::error_code ec;
  if (!fs::is_directory(sets, ec)) fs::create_directories(sets, ec);
  if (source.empty() || !fs::is_directory(source, ec)) return false;
  Fill();
  std::string path;
  for (int n = 0; n <= kMaxNumbered && path.empty(); ++n) {
    const std::string candidate = sets + "/scripts_" + DecimalText(n);
    if (FindKey(candidate) < 0 && !Exists(candidate)) path = candidate;
  }
  if (path.empty()) return false;
  const std::string stage = StageCopy(source, kLastImportedSlot, sets + "/");
  if (stage.empty() || !RenamePath(NoSlash(stage), path)) {
    if (!stage.empty()) RemoveAll(stage);
    prompts_.ShowMessage(Ru("Не удается импортировать блок сценариев: ") + source);
    return false;
  }
  Fill();
  Select(FindKey(path));
  return true;
}

}  // namespace orv
