#pragma once
// Script parameters: the eight file categories with their six columns, the five option lists,
// the script mode, the intensity and the automatic script choice. The option pages edit this
// model through the operations named after the user's actions; run control reads the category
// records and the option values, never the list views.

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "main/scripts/exchange_sink.h"
#include "main/scripts/settings_store.h"

namespace orv {

class RunStatus;

inline constexpr int kCategoryCount = 8;

// Category record, filled from the six columns after every edit (index 1..8).
struct CategoryRecord {
  bool enabled = true;
  std::string extend;
  std::string zone;
  bool countLimit = false;
  std::int32_t counter = 15;
  bool minLimit = false;
  std::int32_t minLenght = 0;
  bool maxLimit = false;
  std::int32_t maxLenght = 1000;
};

// One row across the six category columns, as the list views show it.
struct CategoryRow {
  std::string key;         // column 0 row key ("Htmls", "images", ...)
  std::string caption;     // column 0 text
  bool enabled = true;     // column 0 check box
  std::string extensions;  // column 1 (r_ + key)
  std::string zone;        // column 2 (z_ + key)
  bool countChecked = false;
  std::string countText;  // column 3 (v_ + key)
  bool minChecked = false;
  std::string minText;  // column 4 (m_ + key)
  bool maxChecked = false;
  std::string maxText;  // column 5 (x_ + key)
};

// A row of an option list: check box, value column, or both.
struct OptionRow {
  std::string key;
  std::string caption;
  bool hasCheck = false;
  bool checked = false;
  bool hasValue = false;
  std::string value;
};

enum OptionListId { kSwitches = 0, kConnection = 1, kTransfer = 2, kLimits = 3, kEndActions = 4 };

// Zone words of column 2 and the "for all rows" choice of its drop-down list.
std::string ZoneSite();    // "Сайт"
std::string ZoneFolder();  // "Папка"
std::string ZoneNet();     // "Сеть"
std::string ZoneForAll();  // "Для всех"
// The drop-down list of column 2 in its order.
std::vector<std::string> ZoneChoices();

// Captions of the intensity values 0..3 ("Высокая", "Средняя", "Низкая", "Максимальная").
// 3 takes addresses with no pause beyond the console channels' own tick.
inline constexpr int kMaxIntensity = 3;
std::string IntensityCaption(int intensity);
// Captions of the script modes 0..3 and the descriptions shown in status panel 3.
std::string ScriptModeCaption(int mode);
std::string ScriptModeDescription(int mode);
// "Вкл." / "Выкл.".
std::string OnOffText(bool on);

// The numeric field filter: a text that is not a number loses its last character; what still
// cannot be read becomes "0"; the value is a whole number without sign, at most `highest`.
// Category fields keep the 32767 cap; an option-list field accepts its whole range (the
// largest is "Объем, kB :" up to 9999999) and its list clamps it to the row's own bounds.
inline constexpr long long kCategoryFieldHighest = 32767;
inline constexpr long long kOptionFieldHighest = 9999999;
std::string FilterNumericText(const std::string& text, long long highest = kCategoryFieldHighest);

class ScriptParameters {
 public:
  // platformId: 2 for the NT family (this platform), 1 or lower for the 9x family.
  ScriptParameters(SettingsStore& settings, ExchangeSink& exchange, int platformId = 2);

  // Built-in defaults, without touching the store.
  void ResetToDefaults();

  // Start-up: categories, list 0, list 1, list 2 with intensity, list 3, list 4 with autoscript.
  void LoadAll();
  // Shutdown: categories, list 0, list 1, list 2, list 3, list 4 with autoscript.
  void SaveAll();

  void LoadCategories();
  void SaveCategories();
  void LoadList(int list);
  void SaveList(int list);
  // Copies a list into the run variables, clamps out-of-range values (written back into the
  // rows) and writes the exchange records of that list.
  void ApplyList(int list);
  void InitP1sett() { ApplyList(kConnection); }
  void SaveRetSett() { SaveList(kTransfer); }
  void ApplyCategory(int category);
  // Reads scrmode (out-of-range values read as 0).
  void LoadScriptMode();

  // --- user actions on the category table (row = category 1..8) ---
  void ToggleCategoryEnabled(int row);
  void EditExtensions(int row, const std::string& text);
  // A zone word, or "Для всех": the current row's zone is copied into every row.
  void ChooseZone(int row, const std::string& choice);
  void ToggleCountLimit(int row);
  void EditCount(int row, const std::string& text);
  // Column 4 and 5 check boxes are coupled.
  void ToggleMinLimit(int row);
  void ToggleMaxLimit(int row);
  void EditMinSize(int row, const std::string& text);
  void EditMaxSize(int row, const std::string& text);

  // --- user actions on the option lists (row is 1-based) ---
  void ToggleOption(int list, int row);
  // Value cells: numeric rows go through the numeric filter; the list is applied.
  void EditOptionValue(int list, int row, const std::string& text);
  void ChooseDialEntry(const std::string& name);
  void ChooseRepeater(bool on);
  void ChooseIntensity(int intensity);
  // Stores scrmode and shows the description in status panel 3 when a status is given.
  void ChooseScriptMode(int mode, RunStatus* status);
  void ToggleAutoScript();
  // The tool tip of the auto-select box for its current state.
  std::string AutoScriptTooltip() const;

  // Whether a usable dial-up entry exists (list 0 clears "Автодозвон" otherwise).
  void SetDialUpUsable(bool usable) { dialUpUsable_ = usable; }

  // --- reads for run control ---
  const CategoryRecord& Category(int category) const { return records_.at(category - 1); }
  const CategoryRow& CategoryRowAt(int row) const { return rows_.at(row - 1); }
  const std::vector<OptionRow>& List(int list) const { return lists_.at(list); }
  const OptionRow& Row(int list, const std::string& key) const;
  bool Switch(const std::string& key) const;  // list 0 and 4, list 3 check boxes
  // Whole-number value of a value row after the last apply.
  int Value(int list, const std::string& key) const;
  std::string Text(int list, const std::string& key) const;
  int ScriptMode() const { return scriptMode_; }
  int Intensity() const { return intensity_; }
  bool AutoScript() const { return autoScript_; }
  // Size bounds for the records MinSize / MaxSize: kilobytes x 1024 when the category's size
  // limit is on, otherwise "0" and "0".
  std::pair<std::string, std::string> SizeBoundsBytes(int category) const;

 private:
  OptionRow& MutableRow(int list, const std::string& key);
  void ApplyIntensityText();

  SettingsStore& settings_;
  ExchangeSink& exchange_;
  int platformId_;
  bool dialUpUsable_ = false;
  std::array<CategoryRow, kCategoryCount> rows_;
  std::array<CategoryRecord, kCategoryCount> records_;
  std::array<std::vector<OptionRow>, 5> lists_;
  int scriptMode_ = 0;
  int intensity_ = 0;
  bool autoScript_ = false;
};

}  // namespace orv
