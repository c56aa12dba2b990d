#pragma once
// Address classification of a run: validation of the typed start address, the file category
// of an address, admission (exclusions, auto-filter, category and count limits) and the scope
// test. All tests are plain substring searches on the address text; only those documented
// here ignore letter case. Text is Windows-1251 bytes.

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "main/run/scope_table.h"
#include "main/scripts/script_params.h"

namespace orv {

class MessageBoxes;

// Category numbers.
enum Category : int {
  kHypertext = 1,
  kImages = 2,
  kSounds = 3,
  kVideo = 4,
  kTexts = 5,
  kApplets = 6,
  kBinaries = 7,
  kOther = 8,
};

// What classification reads of the script parameters: the eight category records and the two
// switches "Фреймы" (`p_frames`) and "Похожие адреса" (`p_analog`).
struct CategoryRules {
  std::array<CategoryRecord, kCategoryCount> records;  // category c is records[c - 1]
  bool frames = false;
  bool analog = false;

  const CategoryRecord& Of(int category) const { return records.at(static_cast<std::size_t>(category - 1)); }
  CategoryRecord& Of(int category) { return records.at(static_cast<std::size_t>(category - 1)); }
  // The records and switches as the parameters hold them now.
  static CategoryRules From(const ScriptParameters& parameters);
};

// The message shown for a start address that cannot be used: "Введен ошибочный адрес".
std::string WrongAddressMessage();

// Validates and normalises the text of the address box (trimmed and changed in place: a "/"
// is appended when the address has no path, or when its last segment has no "." and it holds
// no "?" or "%25"). A valid address becomes pendingStartAddress (true). An invalid one shows
// the message with the information icon, empties currentStartAddress and gives false; an
// empty text gives false without a message.
bool ValidateStartAddress(std::string& boxText, bool lanOrLocalhostOnline, MessageBoxes& messages,
                          std::string& pendingStartAddress, std::string& currentStartAddress);

// The last six characters, lower-cased, from the first "." among them; ".htm" when there is
// none.
std::string ExtensionOf(std::string_view address);

// The category rule of the media-first pass and the hand-out size limits: only the extension
// lists and `p_frames` are consulted.
int CategoryOf(std::string_view address, const CategoryRules& rules);

// The category of the channel list icons: as CategoryOf without the marker rule, and without
// ".pl" and ".wbp" among the hypertext endings.
int IconCategoryOf(std::string_view address, const CategoryRules& rules);

// Admission of an address of the run list (and of the start address): exclusions, the
// auto-filter, the marker bypass, classification with the disabled-category rules and the
// count limit of the category in the scope record at the scope index (incremented when the
// address is admitted). currentCategory is set in every case (8 when rejected early).
bool Admit(std::string_view address, const CategoryRules& rules,
           const std::vector<std::string>& activeExclusions,
           const std::vector<std::string>& activeTracks, ScopeTable& scope, int& currentCategory);

// The scope test of an address about to be handed out: sets the scope index to the first
// record whose site base starts the address (letter case ignored), else the last record;
// then the zone word of the current category decides ("Сеть", "Сайт", "Папка").
bool InScope(std::string_view address, int currentCategory, const CategoryRules& rules,
             ScopeTable& scope);

}  // namespace orv
