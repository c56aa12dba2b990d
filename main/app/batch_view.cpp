#include "main/app/batch_view.h"

#include "common/text.h"

namespace orv {

void BatchView::Line(const std::string& cp1251Text) {
  const std::string utf8 = Cp1251ToUtf8(cp1251Text);
  std::fprintf(out_, "%s\n", utf8.c_str());
  std::fflush(out_);
}

void BatchView::ShowMessage(const std::string& text, MessageIcon icon) {
  (void)icon;
  Line(std::string(kMessageTitle) + ": " + text);
}

bool BatchView::AskYesNo(const std::string& text) {
  // Nobody can answer in batch mode: the careful answer.
  Line(std::string(kMessageTitle) + ": " + text + " -> No");
  return false;
}

void BatchView::ShowStatusPanel(int panel, const std::string& text) {
  auto& current = panels_[panel];
  if (current == text) return;
  current = text;
  Line("panel " + std::to_string(panel) + ":" + (text.empty() || text[0] == ' ' ? "" : " ") + text);
}


void BatchView::SetChannelRow(const ChannelRow& row) {
  std::string& shown = rowAddresses_[row.channel];
  if (shown == row.address) return;
  shown = row.address;
  Line("channel " + std::to_string(row.channel) + ": " + row.address);
}

void BatchView::RemoveChannelRow(const ChannelRow& row) {
  rowAddresses_.erase(row.channel);
  Line("channel " + std::to_string(row.channel) + " ended: " + row.address);
}

}  // namespace orv
