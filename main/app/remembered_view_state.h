#pragma once
// What a front end keeps for the model without showing it (yet): splitter positions, the
// "Активный Курсор" menu option, and the search size fields. Start-up
// stores these values and shutdown reads them back, so a front end without the matching
// controls still saves what it was given; selecting in a control it lacks (slot and mode
// buttons, presets, encodings, option pages) does nothing. A control that comes later overrides the pair
// it takes over.
#include <string>

#include "main/scripts/option_controls.h"
#include "main/scripts/window_layout.h"

namespace orv {

class RememberedViewState : public WindowLayout, public OptionControls, public ScriptSlotButtons {
 public:
  void SetLowerSplitter(int twips) override { lower_ = twips; }
  int LowerSplitter() const override { return lower_; }
  void SetTreeSplitter(int twips) override { tree_ = twips; }
  int TreeSplitter() const override { return tree_; }
  void SetBrowserSplitter(int twips) override { browser_ = twips; }
  int BrowserSplitter() const override { return browser_; }
  void ArrangePanes() override {}

  void SetActiveCursorMenu(bool checked) override { activeCursor_ = checked; }
  bool ActiveCursorMenu() const override { return activeCursor_; }

  void SetSearchSizeFields(const std::string& x, const std::string& y) override {
    searchX_ = x;
    searchY_ = y;
  }
  std::string SearchSizeFieldX() const override { return searchX_; }
  std::string SearchSizeFieldY() const override { return searchY_; }

  void CloseHelpWindows() override {}
  void CreateScriptSlotButtons(int, int) override {}
  void SelectScriptSlotButton(int) override {}
  void SelectScriptModeButton(int) override {}
  void SelectUserAgentPreset(int) override {}
  void SelectEncoding(int) override {}
  void RefreshOptionLists() override {}

  void ShowOptionsPage(const std::string&) override {}

 private:
  int lower_ = 0, tree_ = 0, browser_ = 0;
  bool activeCursor_ = false;
  std::string searchX_, searchY_;
};

}  // namespace orv
