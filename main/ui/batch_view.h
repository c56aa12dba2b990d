#pragma once
// The main window of `orv --batch`: nothing is shown; it keeps what a window would
// keep and prints a plain-text line (UTF-8) whenever a status panel changes, a
// channel row appears or ends, or a message box would open.
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "main/ui/main_window_view.h"

namespace orv {

class BatchView final : public MainWindowView {
 public:
  explicit BatchView(std::FILE* out = stdout) : out_(out) {}

  std::uint32_t mainHandle = 0;
  std::uint32_t exchangeHandle = 0;

  void ShowMessage(const std::string& text, MessageIcon icon) override;
  bool AskYesNo(const std::string& text) override;
  void SetStatusPanel(int panel, const std::string& text) override;
  std::string StatusPanel(int panel) const override;
  void ProcessPendingEvents() override;
  void CloseHelpWindows() override {}
  void SetMaximized(bool m) override { maximized_ = m; }
  bool IsMaximized() const override { return maximized_; }
  void SetWindowSize(int w, int h) override { width_ = w, height_ = h; }
  int WindowWidth() const override { return width_; }
  int WindowHeight() const override { return height_; }
  void SetLowerSplitter(int t) override { lower_ = t; }
  int LowerSplitter() const override { return lower_; }
  void SetTreeSplitter(int t) override { tree_ = t; }
  int TreeSplitter() const override { return tree_; }
  void SetBrowserSplitter(int t) override { browser_ = t; }
  int BrowserSplitter() const override { return browser_; }
  void ArrangePanes() override {}
  void SetActiveCursorMenu(bool c) override { activeCursor_ = c; }
  bool ActiveCursorMenu() const override { return activeCursor_; }
  void SetSearchSizeFields(const std::string& x, const std::string& y) override { x_ = x, y_ = y; }
  std::string SearchSizeFieldX() const override { return x_; }
  std::string SearchSizeFieldY() const override { return y_; }
  void CreateScriptSlotButtons(int, int) override {}
  void SelectScriptSlotButton(int) override {}
  void SelectScriptModeButton(int) override {}
  void SelectUserAgentPreset(int) override {}
  void SelectEncoding(int) override {}
  void SetAddressText(const std::string& text) override { address_ = text; }
  std::string AddressText() const override { return address_; }
  void SetAddressHistory(const std::vector<std::string>& e) override { history_ = e; }
  std::vector<std::string> AddressHistory() const override { return history_; }
  void ShowOptionsPage(const std::string& key) override { page_ = key; }
  std::string CurrentOptionsPage() const override { return page_; }
  std::uint32_t MainWindowHandle() const override { return mainHandle; }
  std::uint32_t ExchangeButtonHandle() const override { return exchangeHandle; }
  void RefreshOptionLists() override {}

  bool FindChannelRow(int channel, ChannelRow& row) const override;
  void SetChannelRow(const ChannelRow& row) override;
  void RemoveChannelRow(int channel) override;
  void ClearChannelList() override;
  int ChannelRowCount() const override { return static_cast<int>(rows_.size()); }

 private:
  void Line(const std::string& cp1251Text);

  std::FILE* out_;
  std::map<int, std::string> panels_;
  std::map<int, ChannelRow> rows_;
  bool maximized_ = false, activeCursor_ = false;
  int width_ = 0, height_ = 0, lower_ = 0, tree_ = 0, browser_ = 0;
  std::string x_, y_, address_, page_;
  std::vector<std::string> history_;
};

}  // namespace orv
