#pragma once
// Recording fake of the main window: it implements every port the models talk to, appends
// each call to `calls` as "Name" or "Name:arg", and keeps the state a real window would keep
// so reads return what was set. Its `status` is the run status the models write through;
// Program(), Run() and Scripts() hand the ports to the model under test.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "main/base/address_box.h"
#include "main/run/channel_table.h"
#include "main/run/run_controller.h"
#include "main/run/run_controls_view.h"
#include "main/base/run_status.h"
#include "main/scripts/messages.h"
#include "main/scripts/option_controls.h"
#include "main/scripts/program_config.h"
#include "main/scripts/script_model.h"
#include "main/scripts/window_layout.h"

namespace orv::testing {

// The ports of one front end (the fake or the Qt window) for a program model under test.
template <class Front>
ProgramViews ProgramViewsOf(Front& front, RunStatus& status, std::uint32_t mainHandle = 4242,
                            std::uint32_t exchangeHandle = 4243) {
  return ProgramViews{front, status, front, front, front, front,
                      mainHandle, exchangeHandle};
}

class FakeMainWindow : public MessageBoxes,
                       public StatusBarView,
                       public WindowLayout,
                       public OptionControls,
                       public ScriptSlotButtons,
                       public AddressBoxView,
                       public RunControlsView,
                       public ChannelListView {
 public:
  RunStatus status{this};
  std::vector<std::string> calls;
  struct Message {
    std::string text;
    MessageIcon icon;
  };
  std::vector<Message> messages;
  std::vector<std::string> questions;
  bool answerYes = true;

  std::map<int, std::string> panels;
  bool maximized = false;
  int width = 0, height = 0, lower = 0, tree = 0, browser = 0;
  bool activeCursor = false;
  std::string searchX, searchY;
  int firstSlotButton = -1, lastSlotButton = -1;
  int selectedSlot = -1;
  int selectedMode = -1;
  int userAgentPreset = -1;
  int encoding = -1;
  std::string optionsPage;
  std::string address;
  std::vector<std::string> history;

  ProgramViews Program() { return ProgramViewsOf(*this, status); }
  RunViews Run() { return RunViews{*this, status, *this, *this, *this}; }
  ScriptModelViews Scripts() {
    return ScriptModelViews{&status, this, this};
  }
  // What panel `panel` shows.
  std::string StatusPanel(int panel) const {
    auto it = panels.find(panel);
    return it == panels.end() ? std::string() : it->second;
  }

  void ShowMessage(const std::string& text, MessageIcon icon) override {
    calls.push_back("ShowMessage");
    messages.push_back({text, icon});
  }
  bool AskYesNo(const std::string& text) override {
    calls.push_back("AskYesNo");
    questions.push_back(text);
    return answerYes;
  }
  void ShowStatusPanel(int panel, const std::string& text) override {
    calls.push_back("SetStatusPanel:" + std::to_string(panel));
    panels[panel] = text;
  }
  void CloseHelpWindows() override { calls.push_back("CloseHelpWindows"); }
  void SetMaximized(bool m) override {
    calls.push_back("SetMaximized");
    maximized = m;
  }
  bool IsMaximized() const override { return maximized; }
  void SetWindowSize(int w, int h) override {
    calls.push_back("SetWindowSize");
    width = w;
    height = h;
  }
  int WindowWidth() const override { return width; }
  int WindowHeight() const override { return height; }
  void SetLowerSplitter(int t) override {
    calls.push_back("SetLowerSplitter");
    lower = t;
  }
  int LowerSplitter() const override { return lower; }
  void SetTreeSplitter(int t) override {
    calls.push_back("SetTreeSplitter");
    tree = t;
  }
  int TreeSplitter() const override { return tree; }
  void SetBrowserSplitter(int t) override {
    calls.push_back("SetBrowserSplitter");
    browser = t;
  }
  int BrowserSplitter() const override { return browser; }
  void ArrangePanes() override { calls.push_back("ArrangePanes"); }
  void SetActiveCursorMenu(bool c) override {
    calls.push_back("SetActiveCursorMenu");
    activeCursor = c;
  }
  bool ActiveCursorMenu() const override { return activeCursor; }
  void SetSearchSizeFields(const std::string& x, const std::string& y) override {
    calls.push_back("SetSearchSizeFields");
    searchX = x;
    searchY = y;
  }
  std::string SearchSizeFieldX() const override { return searchX; }
  std::string SearchSizeFieldY() const override { return searchY; }
  void CreateScriptSlotButtons(int first, int last) override {
    calls.push_back("CreateScriptSlotButtons");
    firstSlotButton = first;
    lastSlotButton = last;
  }
  void SelectScriptSlotButton(int slot) override {
    calls.push_back("SelectScriptSlotButton:" + std::to_string(slot));
    selectedSlot = slot;
  }
  void SelectScriptModeButton(int mode) override {
    calls.push_back("SelectScriptModeButton:" + std::to_string(mode));
    selectedMode = mode;
  }
  void SelectUserAgentPreset(int index) override {
    calls.push_back("SelectUserAgentPreset:" + std::to_string(index));
    userAgentPreset = index;
  }
  void SelectEncoding(int index) override {
    calls.push_back("SelectEncoding:" + std::to_string(index));
    encoding = index;
  }
  void SetAddressText(const std::string& text) override {
    calls.push_back("SetAddressText");
    address = text;
  }
  std::string AddressText() const override { return address; }
  void SetAddressHistory(const std::vector<std::string>& entries) override {
    calls.push_back("SetAddressHistory");
    history = entries;
  }
  std::vector<std::string> AddressHistory() const override { return history; }
  void ShowOptionsPage(const std::string& key) override {
    calls.push_back("ShowOptionsPage:" + key);
    optionsPage = key;
  }
  void RefreshOptionLists() override { calls.push_back("RefreshOptionLists"); }
};

}  // namespace orv::testing
