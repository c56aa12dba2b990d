#pragma once
// The scope table of a run: which site and folder the run stays within, and how many
// addresses of each category it admitted there. Record 0 describes the start address; further
// records are added when an address is added to a running script. The scope index names the
// record found by the latest scope test; admission counts against that record.
// Text is Windows-1251 bytes.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/address_text.h"  // AlternateBaseOf

namespace orv {

struct ScopeRecord {
  std::string siteBase;       // "http://" + host + "/" (compared with the scheme folded)
  std::string alternateBase;  // the host's distinguishing name + "."
  std::string folderBase;     // the address's folder
  // Admitted addresses per category; index 1..8 are used (0 is spare).
  std::array<std::int32_t, 9> counters{};
};

class ScopeTable {
 public:
  ScopeTable() { Reset(); }

  // One empty record, scope index 0 (before every run).
  void Reset();
  // Counters of record 0 to 0 (start of a run).
  void ResetCounters();

  // Start sequence: the table becomes record 0 alone, built from the start address: the site
  // base "http://" + host + "/" unless record 0 already has one (a redirect of the first
  // address set it), the folder base and the alternate base. Counters of record 0 are kept.
  void RebuildFromStart(std::string_view startAddress, bool lanOrLocalhostOnline);

  // A node of the script's address tree was chosen: record 0 is re-based on its address
  // (site base, folder base up to the last "/", alternate base); counters are kept.
  void RebaseOnNode(std::string_view address, bool lanOrLocalhostOnline);

  // The first address was redirected: record 0 takes the reported host as site base (with
  // "http://" in front unless it starts so, and a trailing "/") and the reported folder as
  // folder base. The alternate base stays that of the start address.
  void RebaseOnRedirect(std::string_view redirectHost, std::string_view redirectFolder);

  // An address typed while the script runs was added to it: a record for it is appended
  // (site base, folder base up to the last "/" or the site base when that is shorter than
  // ten characters, alternate base).
  void AddRecord(std::string_view address, bool lanOrLocalhostOnline);

  const std::vector<ScopeRecord>& Records() const { return records_; }
  std::vector<ScopeRecord>& Records() { return records_; }
  ScopeRecord& Record(std::size_t i) { return records_.at(i); }
  const ScopeRecord& Record(std::size_t i) const { return records_.at(i); }
  std::size_t Size() const { return records_.size(); }

  // The alternate bases of the records, in order (for the track test).
  std::vector<std::string> AlternateBases() const;

  int Index() const { return index_; }
  void SetIndex(int index);
  // The record at the scope index (record 0 when the index is out of range).
  ScopeRecord& Current();

 private:
  std::vector<ScopeRecord> records_;
  int index_ = 0;
};

}  // namespace orv
