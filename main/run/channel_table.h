#pragma once
// The channel list as run control keeps it: one row per busy console channel, refreshed from
// the channel status table. Views only show the rows they are told about (ChannelListView);
// everything that needs a row's address or stop handle asks this table.
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "common/exchange.h"

namespace orv {

struct ChannelRow {
  int channel = 0;        // 1..20, the row's large-icon index
  std::string address;    // text and key
  int iconCategory = 8;   // small icon: category 1..8
  std::string status;     // sub-item 1
  std::string size;       // sub-item 2
  bool resumable = false; // sub-item 2 drawn green
  std::string tag;        // the channel's stop-button handle, decimal
  bool operator==(const ChannelRow&) const = default;
};

// What the channel list shows. Defaults do nothing, for front ends without the list.
class ChannelListView {
 public:
  virtual ~ChannelListView() = default;
  // A row appeared or changed.
  virtual void SetChannelRow(const ChannelRow& row) { (void)row; }
  // The row's channel is idle again.
  virtual void RemoveChannelRow(const ChannelRow& row) { (void)row; }
};

class ChannelTable {
 public:
  // Channel n's status record (an empty address: the channel is idle). The view is told
  // only of rows that changed; a new address takes its icon from iconOf.
  void Refresh(int channel, const ChannelRecord& record, const std::function<int(const std::string&)>& iconOf,
               ChannelListView& view);
  // Every row goes (the run ended).
  void Clear(ChannelListView& view);

  const ChannelRow* Row(int channel) const;
  int Count() const { return static_cast<int>(rows_.size()); }
  std::vector<ChannelRow> Rows() const;

 private:
  std::map<int, ChannelRow> rows_;
};

}  // namespace orv
