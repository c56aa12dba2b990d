#pragma once
// The option-page controls that start-up selects from the stored settings, and the script
// slot buttons. Selecting here never triggers the reaction a user's click would have.

#include <string>

namespace orv {

class OptionControls {
 public:
  virtual ~OptionControls() = default;
  // Script mode option buttons 0..3.
  virtual void SelectScriptModeButton(int mode) = 0;
  // User-Agent presets list: select a preset (its text goes into the User-Agent box).
  virtual void SelectUserAgentPreset(int index) = 0;
  // Page encoding selector 0..2.
  virtual void SelectEncoding(int index) = 0;
  // Option-page lists (categories, option lists 0..4) are rebuilt from the model.
  virtual void RefreshOptionLists() = 0;
  // The options page with this toolbar key ("options", "kateg", "net", "lists") is shown.
  virtual void ShowOptionsPage(const std::string& key) = 0;
};

// Script slot buttons "Сценарий № " + n. Button 0 always exists; 1..15 are created at start.
class ScriptSlotButtons {
 public:
  virtual ~ScriptSlotButtons() = default;
  virtual void CreateScriptSlotButtons(int first, int last) = 0;
  // Marks slot's button selected without the slot-change reaction.
  virtual void SelectScriptSlotButton(int slot) = 0;
};

}  // namespace orv
