#pragma once
// Script slots and script files, and the run lists a run collects before writing them back.
//
// A script file is "orvef" + slot number in the collection folder: counted strings from byte
// 0, element 0 the header "a0" + N, elements 1..N the addresses. Lists here are 1-based with a
// placeholder at index 0, as the run-control code indexes them.

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace orv {

class MessageBoxes;
class RunStatus;
class ScriptSlotButtons;

// What the script model shows while it works; unset members show nothing.
struct ScriptModelViews {
  RunStatus* status = nullptr;         // the write-back's phase in status panel 1
  MessageBoxes* messages = nullptr;    // an unreadable script, the delete question
  ScriptSlotButtons* slotButtons = nullptr;
};

inline constexpr int kUserSlots = 16;   // slots 0..15
inline constexpr int kSearchSlot = 16;  // the web-search job

// Script modes as stored under scrmode.
enum ScriptModeId { kModeNormal = 0, kModeExtendOnly = 1, kModeNoExtend = 2, kModeFrozen = 3 };

// The 32-bit address hash: FNV-1a over the address as UTF-16LE code units (two bytes per
// character). 0 only for the empty address. Equal hashes are only a pre-filter: duplicates
// are entries with equal hashes and identical texts.
std::int32_t AddressHash(const std::string& address);

std::string ScriptFileName(const std::string& collectionFolder, int slot);
std::string CompanionFileName(const std::string& collectionFolder, int slot);  // "torvef" + n
// The cookie jar of a slot's script, "orvef" + n + ".cookies" beside the script: the cookies
// its runs were given, kept for its next run (common/cookie_file.h format, the owner's alone).
std::string CookieJarFileName(const std::string& collectionFolder, int slot);

// Header count N of a header text: the leading digits from its third character on.
long long ScriptHeaderCount(const std::string& header);

// Elements 0..N of a script file (element 0 the header). A missing or unreadable file gives
// an empty list; entries missing at the end of the file read as empty strings. *intact, when
// given, tells whether the file held a header and all N entries whole.
std::vector<std::string> ReadScriptFile(const std::string& path, bool* intact = nullptr);

// Writes "a0" + count and the addresses (elements 1.. of list) through a temporary file that is
// renamed over path, so a failed write leaves the old file intact. An address longer than a
// counted string can hold is left out (the header counts what is written). False on failure.
bool WriteScriptFile(const std::string& path, const std::vector<std::string>& list);

// Cleans a run address before write-back: cuts the referrer marker "(((((" (from position 8 on)
// and a trailing ")ifra(" or "..)(..", then drops a trailing "/index.htm" or the "index.html"
// after the last slash.
std::string CleanRunAddress(std::string address);

// Site kernel of a host as AutoSelect compares it: ".b." for a.b.c and for b.c, "." without dots.
std::string SiteKernel(const std::string& lowerHost);

// A run address list with a hash index, so merges never compare texts pairwise. An address
// and the same address under the other scheme ("http://" / "https://"), or with a letter or a
// UTF-8 byte percent-encoded ("%D1%81.html" / "с.html"), are one entry: they name one local
// file, which must be fetched once.
class HashedAddressList {
 public:
  HashedAddressList() { Clear(); }
  void Clear();
  // Number of addresses (the upper bound of the 1-based list).
  int Count() const { return static_cast<int>(texts_.size()) - 1; }
  const std::string& At(int index) const { return texts_.at(index); }
  std::int32_t HashAt(int index) const { return hashes_.at(index); }
  const std::vector<std::string>& Texts() const { return texts_; }
  // Appends unconditionally.
  void Append(const std::string& address);
  // Appends unless the hash is 0 or the identical text (either scheme) is already present;
  // true when appended.
  bool AppendIfNew(const std::string& address, std::int32_t hash);
  bool AppendIfNew(const std::string& address) { return AppendIfNew(address, KeyHash(address)); }
  // The hash the list files an address under (its "http://" form).
  static std::int32_t KeyHash(const std::string& address);
  bool Contains(const std::string& address) const;
  // Replaces every text by a new one (for the write-back cleaning) and rebuilds the hashes.
  void ReplaceAll(std::vector<std::string> texts);

 private:
  std::vector<std::string> texts_;
  std::vector<std::int32_t> hashes_;
  std::unordered_multimap<std::int32_t, int> index_;
};

// Whether an address's file in the collection is a finished download: it exists with no
// attributes at all (the hidden bit of a name beginning with '.' aside). Replaceable in tests.
using CompleteDownloadProbe = std::function<bool(const std::string& address, const std::string& collectionFolder)>;
bool IsCompleteDownload(const std::string& address, const std::string& collectionFolder);

class ScriptModel {
 public:
  explicit ScriptModel(ScriptModelViews views = {});

  // --- configuration, set by start-up ---
  std::string collectionFolder;           // ends with "/"
  bool folderChangeInProgress = false;    // while the collection folder is being changed
  int currentSlot = 0;
  int runSlot = 0;  // the slot LoadForRun read; WriteBack writes it
  int scriptMode = kModeNormal;
  // Dot-less hosts count for AutoSelect (LAN or localhost mode while connected).
  bool lanOrLocalhostOnline = false;
  CompleteDownloadProbe completeDownload = IsCompleteDownload;

  // --- lists (1-based) ---
  std::vector<std::string> displayed;     // element 0 = header text
  HashedAddressList run;                  // run address list and its hashes
  HashedAddressList fresh;                // new-address list and its hashes
  std::vector<std::int32_t> handedOut{0}; // indices into run, in hand-out order
  std::vector<std::string> notFound{""};  // "orv_notfn:" addresses
  bool autoSelectedByEmptiness = false;

  std::string FileOf(int slot) const { return ScriptFileName(collectionFolder, slot); }

  void LoadForDisplay(int slot);
  // A script file that cannot be read whole is renamed to "<name>.unreadable" (numbered when
  // taken) before anything is saved over it, and the user is told once; then the slot reads as
  // empty. Returns the entries of a whole file.
  std::vector<std::string> ReadOrSetAside(int slot);
  // Appends the slot's addresses of 10 or more characters to the run list.
  void LoadForRun(int slot);
  // Chooses a slot for an address; selects its button without the slot-change reaction.
  int AutoSelect(const std::string& address);
  // Merges a found-links batch (elements 1..count; element 0 is the count) into the run list
  // during a run; returns the number of addresses appended.
  int MergeFoundLinks(const std::vector<std::string>& batch);
  // Records an address met during the run that the script may take in.
  void AddNewAddress(const std::string& address) { fresh.Append(address); }

  // An address the user takes into the current script from outside the run (the collection's
  // page for a link that leads out of the copy). While the current slot's script runs, the
  // address joins the run list, so this run fetches it and the write-back keeps it; otherwise
  // it is appended to the slot's file. An address the script already holds (under either
  // scheme) is not added twice. The web-search job takes no addresses this way.
  enum class Taken { Added, AddedToRun, AlreadyThere, NotAnAddress, NoScript, NotWritten };
  Taken AddToCurrentScript(const std::string& address, bool runActive);

  // Writes the run back into the current slot's file; busy for its whole duration. False when
  // the file could not be written (the old script is then left as it was).
  bool WriteBack();
  bool Busy() const { return busy_; }

  // The delete command: asks "Удалить этот сценарий?"; on Yes deletes orvef/torvef and the
  // cookie jar of the current slot and empties the run lists. True when deleted.
  bool DeleteScript();
  // "Забыть cookies": removes the current slot's cookie jar, so its next run starts without a
  // session or login. Refused while that script runs (its run writes the jar back at its end).
  enum class CookiesForgotten { Forgotten, NoJar, ScriptRuns, NotRemoved };
  CookiesForgotten ForgetCookies(bool runActive);
  bool HasCookieJar() const;

  // Writes a list (element 0 replaced by the header) and reloads the display.
  bool RewriteScript(int slot, std::vector<std::string> list);

  void ClearRunLists();

 private:
  void Status(const std::string& text);
  ScriptModelViews views_;
  bool busy_ = false;
};

}  // namespace orv
