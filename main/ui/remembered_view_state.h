#pragma once
// What a front end keeps for the model without showing it (yet): splitter positions, the
// "Активный Курсор" menu option, the search size fields, the options page key and the
// window-link handles. Start-up stores these values and shutdown reads them back, so a
// front end without the matching controls still saves what it was given; selecting in a
// control it lacks (slot and mode buttons, presets, encodings) does nothing. A control
// that comes later overrides the pair it takes over.
#include <cstdint>
#include <string>

#include "main/ui/main_window_view.h"

namespace orv {

class RememberedViewState : public MainWindowView {
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

  void ShowOptionsPage(const std::string& key) override { page_ = key; }
  std::string CurrentOptionsPage() const override { return page_; }

  // The handles OrvApp published for the main window and COMEXCHENGE.
  void SetHandles(std::uint32_t mainHandle, std::uint32_t exchangeHandle) {
    mainHandle_ = mainHandle;
    exchangeHandle_ = exchangeHandle;
  }
  std::uint32_t MainWindowHandle() const override { return mainHandle_; }
  std::uint32_t ExchangeButtonHandle() const override { return exchangeHandle_; }

 private:
  int lower_ = 0, tree_ = 0, browser_ = 0;
  bool activeCursor_ = false;
  std::string searchX_, searchY_, page_;
  std::uint32_t mainHandle_ = 0, exchangeHandle_ = 0;
};

}  // namespace orv
