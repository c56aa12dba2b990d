#include "main/ui/batch_view.h"

#include <QCoreApplication>

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

void BatchView::SetStatusPanel(int panel, const std::string& text) {
  auto& current = panels_[panel];
  if (current == text) return;
  current = text;
  Line("panel " + std::to_string(panel) + ":" + (text.empty() || text[0] == ' ' ? "" : " ") + text);
}

std::string BatchView::StatusPanel(int panel) const {
  auto it = panels_.find(panel);
  return it == panels_.end() ? std::string() : it->second;
}

void BatchView::ProcessPendingEvents() { QCoreApplication::processEvents(); }

bool BatchView::FindChannelRow(int channel, ChannelRow& row) const {
  auto it = rows_.find(channel);
  if (it == rows_.end()) return false;
  row = it->second;
  return true;
}

void BatchView::SetChannelRow(const ChannelRow& row) {
  auto it = rows_.find(row.channel);
  const bool fresh = it == rows_.end() || it->second.address != row.address;
  rows_[row.channel] = row;
  if (fresh) Line("channel " + std::to_string(row.channel) + ": " + row.address);
}

void BatchView::RemoveChannelRow(int channel) {
  auto it = rows_.find(channel);
  if (it == rows_.end()) return;
  Line("channel " + std::to_string(channel) + " ended: " + it->second.address);
  rows_.erase(it);
}

void BatchView::ClearChannelList() {
  while (!rows_.empty()) RemoveChannelRow(rows_.begin()->first);
}

}  // namespace orv
