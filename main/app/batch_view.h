#pragma once
// The main window of `orv --batch`: nothing is shown; it keeps what a window would
// keep and prints a plain-text line (UTF-8) whenever a status panel changes, a
// channel row appears or ends, or a message box would open.
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "main/base/address_box.h"
#include "main/run/channel_table.h"
#include "main/run/run_controls_view.h"
#include "main/base/run_status.h"
#include "main/scripts/messages.h"
#include "main/app/remembered_view_state.h"

namespace orv {

class BatchView final : public RememberedViewState,
                        public MessageBoxes,
                        public StatusBarView,
                        public AddressBoxView,
                        public RunControlsView,
                        public ChannelListView {
 public:
  explicit BatchView(std::FILE* out = stdout) : out_(out) {}

  void ShowMessage(const std::string& text, MessageIcon icon) override;
  bool AskYesNo(const std::string& text) override;
  void ShowStatusPanel(int panel, const std::string& text) override;
  void SetMaximized(bool m) override { maximized_ = m; }
  bool IsMaximized() const override { return maximized_; }
  void SetWindowSize(int w, int h) override { width_ = w, height_ = h; }
  int WindowWidth() const override { return width_; }
  int WindowHeight() const override { return height_; }
  void SetAddressText(const std::string& text) override { address_ = text; }
  std::string AddressText() const override { return address_; }
  void SetAddressHistory(const std::vector<std::string>& e) override { history_ = e; }
  std::vector<std::string> AddressHistory() const override { return history_; }

  void SetChannelRow(const ChannelRow& row) override;
  void RemoveChannelRow(const ChannelRow& row) override;

 private:
  void Line(const std::string& cp1251Text);

  std::FILE* out_;
  std::map<int, std::string> panels_;
  std::map<int, std::string> rowAddresses_;  // the address each row last printed
  bool maximized_ = false;
  int width_ = 0, height_ = 0;
  std::string address_;
  std::vector<std::string> history_;
};

}  // namespace orv
