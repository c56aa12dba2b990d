#include "main/scripts/script_model.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <unordered_set>
#include <utility>

#include "common/address_markers.h"
#include "common/address_scheme.h"
#include "common/address_text.h"
#include "common/local_path.h"
#include "common/numbers.h"
#include "common/string_list.h"
#include "common/text.h"
#include "main/base/run_status.h"
#include "main/scripts/messages.h"
#include "main/scripts/option_controls.h"
#include "platform/file_attributes.h"

namespace orv {

namespace {

// The sort shows its progress every so many addresses.
constexpr int kCheckedPerStatus = 101;

void RemoveQuietly(const std::string& path) {
  std::error_code ec;
  std::filesystem::remove(path, ec);
}

}  // namespace

std::int32_t AddressHash(const std::string& address) {
  if (address.empty()) return 0;
  std::uint32_t h = 2166136261u;
  auto mix = [&h](unsigned char b) {
    h ^= b;
    h *= 16777619u;
  };
  for (char c : address) {
    const char16_t unit = Cp1251ToUnicode(static_cast<unsigned char>(c));
    mix(static_cast<unsigned char>(unit & 0xFF));
    mix(static_cast<unsigned char>(unit >> 8));
  }
  if (h == 0) h = 1;  // 0 is reserved for "no address"
  return static_cast<std::int32_t>(h);
}

std::string ScriptFileName(const std::string& collectionFolder, int slot) {
  return collectionFolder + "orvef" + DecimalText(slot);
}

std::string CompanionFileName(const std::string& collectionFolder, int slot) {
  return collectionFolder + "torvef" + DecimalText(slot);
}

std::string CookieJarFileName(const std::string& collectionFolder, int slot) {
  return ScriptFileName(collectionFolder, slot) + ".cookies";
}

long long ScriptHeaderCount(const std::string& header) {
  long long n = 0;
  for (std::size_t i = 2; i < header.size() && header[i] >= '0' && header[i] <= '9'; ++i) {
    n = n * 10 + (header[i] - '0');
    if (n > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  }
  return n;
}

std::vector<std::string> ReadScriptFile(const std::string& path, bool* intact) {
  if (intact) *intact = true;
  std::string data;
  if (!ReadWholeFile(path, data) || data.empty()) return {};
  std::size_t pos = 0;
  std::string header;
  bool whole = ReadCountedString(data, pos, header);
  long long n = ScriptHeaderCount(header);
  if (n > static_cast<long long>(data.size() / 2) + 1) whole = false;
  // A corrupt header must not make the reader allocate without bound: every stored entry takes
  // at least two bytes, so more entries than that are certainly missing (they would read as
  // empty strings anyway).
  n = std::min<long long>(n, static_cast<long long>(data.size() / 2) + 1);
  std::vector<std::string> list;
  list.reserve(static_cast<std::size_t>(n) + 1);
  list.push_back(header);
  for (long long k = 1; k <= n; ++k) {
    std::string s;
    if (!ReadCountedString(data, pos, s)) whole = false;  // past the end: empty
    list.push_back(std::move(s));
  }
  if (intact) *intact = whole;
  return list;
}

bool WriteScriptFile(const std::string& path, const std::vector<std::string>& list) {
  std::string body;
  std::size_t count = 0;
  for (std::size_t k = 1; k < list.size(); ++k) {
    if (list[k].size() > kMaxCountedString) continue;  // cannot be stored: leave it out
    AppendCountedString(body, list[k]);
    ++count;
  }
  std::string out;
  AppendCountedString(out, "a0" + DecimalText(static_cast<long long>(count)));
  out += body;
  return WriteFileAtomically(path, out);
}

std::string CleanRunAddress(std::string a) {
  if (a.size() <= 10) return a;
  if (a.find('(', 7) != std::string::npos) {
    CutReferrer(a, 7);
    if (!StripTrailingMarker(a, kFrameMarker)) StripTrailingMarker(a, kEmbeddedMarker);
  }
  const std::size_t len = a.size();
  if (len > 10 && a.find("/index.htm", len - 11) != std::string::npos) a.resize(len - 10);
  return a;
}

std::string SiteKernel(const std::string& host) {
  const std::size_t a = host.find('.');
  if (a == std::string::npos) return ".";
  const std::size_t b = host.find('.', a + 1);
  if (b != std::string::npos) return host.substr(a, b - a + 1);
  return "." + host.substr(0, a + 1);
}

// ---------------------------------------------------------------- HashedAddressList

void HashedAddressList::Clear() {
  texts_.assign(1, std::string());
  hashes_.assign(1, 0);
  index_.clear();
}

namespace {

// Every address files under its "http://" form (the scheme's case and "s" aside), with the
// escapes a server reads as the bytes themselves decoded: "%D1%81.html" and "с.html" are one
// file, fetched once.
std::string SchemeKey(const std::string& address) {
  if (!HasWebScheme(address)) return address;
  std::string key = std::string(kHttpScheme) + std::string(WithoutScheme(address));
  return key.find('%') == std::string::npos ? key : DecodeUnreservedEscapes(key);
}

bool SameEntry(const std::string& a, const std::string& b) {
  return a == b || (HasWebScheme(a) && HasWebScheme(b) && SchemeKey(a) == SchemeKey(b));
}

}  // namespace

std::int32_t HashedAddressList::KeyHash(const std::string& address) {
  return AddressHash(SchemeKey(address));
}

void HashedAddressList::Append(const std::string& address) {
  const std::int32_t h = KeyHash(address);
  texts_.push_back(address);
  hashes_.push_back(h);
  index_.emplace(h, Count());
}

bool HashedAddressList::Contains(const std::string& address) const {
  const std::int32_t h = KeyHash(address);
  auto [first, last] = index_.equal_range(h);
  for (auto it = first; it != last; ++it)
    if (SameEntry(texts_[it->second], address)) return true;
  return false;
}

bool HashedAddressList::AppendIfNew(const std::string& address, std::int32_t hash) {
  if (hash == 0) return false;
  auto [first, last] = index_.equal_range(hash);
  for (auto it = first; it != last; ++it)
    if (SameEntry(texts_[it->second], address)) return false;
  texts_.push_back(address);
  hashes_.push_back(hash);
  index_.emplace(hash, Count());
  return true;
}

void HashedAddressList::ReplaceAll(std::vector<std::string> texts) {
  Clear();
  for (std::size_t k = 1; k < texts.size(); ++k) Append(texts[k]);
}

bool IsCompleteDownload(const std::string& address, const std::string& collectionFolder) {
  std::string path = LocalNameOf(address, collectionFolder).path;
  if (!path.empty() && path.back() == '/') path += "index.html";
  // The hidden bit only says the name begins with '.': a finished ".htaccess" is finished.
  const int attrs = GetFileAttributes(path);
  return attrs >= 0 && (attrs & ~kAttrHidden) == 0;
}

// ---------------------------------------------------------------- ScriptModel

ScriptModel::ScriptModel(ScriptModelViews views) : views_(std::move(views)) {}

void ScriptModel::Status(const std::string& text) {
  if (views_.status) views_.status->WriteBack(text);
}

void ScriptModel::ClearRunLists() {
  run.Clear();
  fresh.Clear();
  handedOut.assign(1, 0);
}

void ScriptModel::LoadForDisplay(int slot) {
  displayed.clear();
  if (folderChangeInProgress || collectionFolder.size() <= 5) return;
  displayed = ReadOrSetAside(slot);
}

std::vector<std::string> ScriptModel::ReadOrSetAside(int slot) {
  const std::string file = FileOf(slot);
  bool intact = true;
  std::vector<std::string> list = ReadScriptFile(file, &intact);
  if (intact) return list;
  const std::string aside = SetFileAside(file);
  if (views_.messages)
    views_.messages->ShowMessage(SetAsideMessage(Ru("Файл сценария "), file, aside, Ru("сценарий начат заново")),
                         MessageIcon::Error);
  return {};
}

void ScriptModel::LoadForRun(int slot) {
  displayed.clear();
  runSlot = slot;
  if (!folderChangeInProgress && FileLength(FileOf(slot)) > 10) {
    const std::vector<std::string> list = ReadOrSetAside(slot);
    for (std::size_t k = 1; k < list.size(); ++k)
      if (list[k].size() >= 10) run.Append(list[k]);
  }
  displayed.clear();
}

int ScriptModel::AutoSelect(const std::string& address) {
  std::string key = address;
  if (address.find("http://") != std::string::npos || address.find("https://") != std::string::npos) {
    std::string a = address;
    key = SiteKernel(LowerCase(HostOf(a, lanOrLocalhostOnline)));
  }
  long long bestMatches = 0, fewest = std::numeric_limits<long long>::max();
  int bestSlot = -1, emptiest = 0;
  for (int slot = 0; slot < kUserSlots; ++slot) {
    const std::string file = FileOf(slot);
    long long count = 0, matches = 0;
    const long long len = FileLength(file);
    if (len <= 0) {
      if (len == 0) RemoveQuietly(file);
    } else {
      std::vector<std::string> list = ReadScriptFile(file);
      count = list.empty() ? 0 : static_cast<long long>(list.size()) - 1;
      for (std::string& entry : list) {
        if (ContainsNoCase(HostOf(entry, lanOrLocalhostOnline), key)) ++matches;
      }
    }
    if (matches > bestMatches) {
      bestMatches = matches;
      bestSlot = slot;
    }
    if (count < fewest) {
      fewest = count;
      emptiest = slot;
    }
  }
  autoSelectedByEmptiness = bestSlot < 0;
  const int slot = autoSelectedByEmptiness ? emptiest : bestSlot;
  currentSlot = slot;
  if (views_.slotButtons) views_.slotButtons->SelectScriptSlotButton(slot);
  return slot;
}

int ScriptModel::MergeFoundLinks(const std::vector<std::string>& batch) {
  if (batch.empty() || (scriptMode != kModeNormal && scriptMode != kModeExtendOnly)) return 0;
  const long long n = std::min<long long>(LeadingInt(batch[0]), static_cast<long long>(batch.size()) - 1);
  int appended = 0;
  for (long long k = 1; k <= n; ++k)
    if (run.AppendIfNew(batch[k])) ++appended;
  return appended;
}

bool ScriptModel::WriteBack() {
  if (busy_) return true;
  struct BusyGuard {
    bool& flag;
    explicit BusyGuard(bool& f) : flag(f) { flag = true; }
    ~BusyGuard() { flag = false; }
  } guard(busy_);

  Status(Ru(" Анализ"));
  Status(Ru(" Сортировка "));

  // 1-2: clean the run addresses and hash them again (FillCK2), into a list of the write-back's own.
  std::vector<std::string> cleaned = run.Texts();
  for (std::size_t k = 1; k < cleaned.size(); ++k) cleaned[k] = CleanRunAddress(std::move(cleaned[k]));
  HashedAddressList work;
  work.ReplaceAll(std::move(cleaned));

  // 3: merge the new addresses, only when there are at least two of them.
  const int m = work.Count();
  if (fresh.Count() >= 2) {
    for (int k = 1; k <= fresh.Count(); ++k) work.AppendIfNew(fresh.At(k), fresh.HashAt(k));
  }

  // 4: keep what was never reached; check what was handed out, lies beyond, or was merged.
  const std::size_t handed = handedOut.size() - 1;
  const std::int32_t firstHanded = handed >= 1 ? handedOut[1] : 0;
  const std::int32_t lastHanded = handed >= 1 ? handedOut.back() : 0;
  const std::unordered_set<std::int32_t> handedSet(handedOut.begin() + 1, handedOut.end());
  const std::unordered_set<std::string> notFoundSet(notFound.begin() + (notFound.empty() ? 0 : 1),
                                                    notFound.end());
  const bool dropDownloaded = scriptMode == kModeNormal || scriptMode == kModeNoExtend;

  std::vector<std::string> out{std::string()};
  out.reserve(static_cast<std::size_t>(work.Count()) + 1);
  int checked = 0;
  const int total = work.Count();
  for (int d = 1; d <= total; ++d) {
    const std::string& a = work.At(d);
    if (d <= m) {
      if (handed < 2 || d < firstHanded || (d <= lastHanded && !handedSet.count(d))) {
        out.push_back(a);
        continue;
      }
    }
    bool keep = !a.empty() && !notFoundSet.count(a);
    if (keep && dropDownloaded && completeDownload && completeDownload(a, collectionFolder)) keep = false;
    if (keep) out.push_back(a);
    if (++checked % kCheckedPerStatus == 0) Status(Ru(" Сортировка ") + DecimalText(d) + "/" + DecimalText(total));
  }

  // 5: replace the file (through a temporary file: the old script survives a failed write).
  // Without a collection folder there is no script file to replace.
  const bool written = collectionFolder.empty() || WriteScriptFile(FileOf(runSlot), out);

  // 6
  ClearRunLists();
  LoadForDisplay(runSlot);
  return written;
}

bool ScriptModel::DeleteScript() {
  if (views_.messages && !views_.messages->AskYesNo(Ru("Удалить этот сценарий?"))) return false;
  RemoveQuietly(FileOf(currentSlot));
  RemoveQuietly(CompanionFileName(collectionFolder, currentSlot));
  RemoveQuietly(CookieJarFileName(collectionFolder, currentSlot));
  run.Clear();
  fresh.Clear();
  return true;
}

ScriptModel::CookiesForgotten ScriptModel::ForgetCookies(bool runActive) {
  if (runActive && runSlot == currentSlot) return CookiesForgotten::ScriptRuns;
  if (!HasCookieJar()) return CookiesForgotten::NoJar;
  const std::string jar = CookieJarFileName(collectionFolder, currentSlot);
  return std::remove(jar.c_str()) == 0 ? CookiesForgotten::Forgotten : CookiesForgotten::NotRemoved;
}

bool ScriptModel::HasCookieJar() const {
  if (collectionFolder.empty() || currentSlot < 0 || currentSlot >= kUserSlots) return false;
  std::error_code ec;
  return std::filesystem::exists(CookieJarFileName(collectionFolder, currentSlot), ec);
}

ScriptModel::Taken ScriptModel::AddToCurrentScript(const std::string& address, bool runActive) {
  if (!StartsWithNoCase(address, "http://") && !StartsWithNoCase(address, "https://")) return Taken::NotAnAddress;
  if (currentSlot < 0 || currentSlot >= kUserSlots || collectionFolder.empty() || folderChangeInProgress) {
    return Taken::NoScript;
  }
  if (runActive && runSlot == currentSlot) {
    return run.AppendIfNew(address) ? Taken::AddedToRun : Taken::AlreadyThere;
  }
  std::vector<std::string> list = ReadOrSetAside(currentSlot);
  HashedAddressList held;
  for (std::size_t k = 1; k < list.size(); ++k) held.Append(list[k]);
  if (held.Contains(address)) return Taken::AlreadyThere;
  if (list.empty()) list.emplace_back();
  list.push_back(address);
  return RewriteScript(currentSlot, std::move(list)) ? Taken::Added : Taken::NotWritten;
}

bool ScriptModel::RewriteScript(int slot, std::vector<std::string> list) {
  if (list.empty()) list.emplace_back();
  list[0] = "a0" + DecimalText(static_cast<long long>(list.size()) - 1);
  const bool ok = WriteScriptFile(FileOf(slot), list);
  LoadForDisplay(slot);
  return ok;
}

}  // namespace orv
