#pragma once
// Recording fake of the main window: every call is appended to `calls` as "Name" or
// "Name:arg", and the state a real window would keep is kept so reads return what was set.
// Extend it when MainWindowView grows.

#include <map>
#include <string>
#include <vector>

#include "main/ui/main_window_view.h"

namespace orv::testing {

class FakeMainWindow : public MainWindowView {
 public:
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
  std::string address;
  std::vector<std::string> history;
  std::string optionsPage;
  std::uint32_t windowHandle = 4242;
  std::uint32_t exchangeHandle = 4243;
  int pendingEventsProcessed = 0;

  void ShowMessage(const std::string& text, MessageIcon icon) override {
    calls.push_back("ShowMessage");
    messages.push_back({text, icon});
  }
  bool AskYesNo(const std::string& text) override {
    calls.push_back("AskYesNo");
    questions.push_back(text);
    return answerYes;
  }
  void SetStatusPanel(int panel, const std::string& text) override {
    calls.push_back("SetStatusPanel:" + std::to_string(panel));
    panels[panel] = text;
  }
  std::string StatusPanel(int panel) const override {
    auto it = panels.find(panel);
    return it == panels.end() ? std::string() : it->second;
  }
  void ProcessPendingEvents() override { ++pendingEventsProcessed; }
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
  std::string CurrentOptionsPage() const override { return optionsPage; }
  std::uint32_t MainWindowHandle() const override { return windowHandle; }
  std::uint32_t ExchangeButtonHandle() const override { return exchangeHandle; }
  void RefreshOptionLists() override { calls.push_back("RefreshOptionLists"); }
};

}  // namespace orv::testing
