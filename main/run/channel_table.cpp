#include "main/run/channel_table.h"

#include "common/numbers.h"

namespace orv {

void ChannelTable::Refresh(int channel, const ChannelRecord& record,
                           const std::function<int(const std::string&)>& iconOf, ChannelListView& view) {
  auto it = rows_.find(channel);
  if (record.url.empty()) {
    if (it == rows_.end()) return;
    const ChannelRow gone = it->second;
    rows_.erase(it);
    view.RemoveChannelRow(gone);
    return;
  }
  ChannelRow next = it == rows_.end() ? ChannelRow{} : it->second;
  next.channel = channel;
  next.status = record.statusText;
  next.size = record.sizeText;
  next.tag = DecimalText(record.stopButton);
  next.resumable = record.resumable == "1";
  if (it == rows_.end() || it->second.address != record.url) {
    next.address = record.url;
    next.iconCategory = iconOf ? iconOf(record.url) : 8;
  }
  if (it != rows_.end() && it->second == next) return;
  rows_[channel] = next;
  view.SetChannelRow(next);
}

void ChannelTable::Clear(ChannelListView& view) {
  const std::map<int, ChannelRow> rows = std::move(rows_);
  rows_.clear();
  for (const auto& [channel, row] : rows) view.RemoveChannelRow(row);
}

const ChannelRow* ChannelTable::Row(int channel) const {
  auto it = rows_.find(channel);
  return it == rows_.end() ? nullptr : &it->second;
}

std::vector<ChannelRow> ChannelTable::Rows() const {
  std::vector<ChannelRow> out;
  for (const auto& [channel, row] : rows_) out.push_back(row);
  return out;
}

}  // namespace orv
