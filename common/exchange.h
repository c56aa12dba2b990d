#pragma once
// The three files through which the main program and the console talk, kept in the
// exchange folder (program folder + "temp/"):
//   orvext  control mailbox, 1024-byte records, one counted string per record
//   orvint  channel status table, 1700-byte records, record N = channel N (1..20)
//   orvurl  one string list from byte 0, overwritten in place, never truncated
// Nobody locks these files; each record has one writer at a time. Records are 1-based.

#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/address_markers.h"

namespace orv {

inline constexpr const char* kOrvExt = "orvext";
inline constexpr const char* kOrvInt = "orvint";
inline constexpr const char* kOrvUrl = "orvurl";

// The messages a channel sends through orvurl (element 1 = marker + address) are
// kRedirMarker and kNotFoundMarker of address_markers.h.
// A fetch that is over, failed or not, is counted once from the outcome log (fetch_outcome.h),
// not by a message here: a second signal would cost a handshake.

// orvext records.
enum ExtRecord : int {
  NextUrl = 1,          // mailbox: next address to fetch
  BusyChannels = 2,     // busy channel count, decimal, no leading blank
  OnlineFlag = 3,       // "a" while the main program thinks the machine is on line
  CounterWindow = 4,    // handle of the control showing the byte total; 0 = none
  CharsetMode = 5,      // 0 none, 1 windows-1251, 2 koi8-r; anything else = 0
  StartPending = 6,     // non-empty at the start of a run
  MainWindow = 7,       // handle of the main window's liveness button
  ProxySpec = 8,        // proxy for the next address taken
  UserAgent = 9,        // User-Agent value; empty is sent as "-"
  ReportReady = 10,     // "A" = orvurl holds a list; empty = consumed
  RedirectHost = 11,    // host of the latest redirect target
  RedirectFolder = 12,  // redirect target up to its last "/"
  EmbeddedMark = 13,    // "1": mark links of the first page as embedded
  FrameMark = 14,       // "1": mark links found in frame context
  RefetchExisting = 15, // "1": fetch complete local copies again (conditional)
  MinSize = 16,         // minimum size in bytes of the category fed, "0" = none
  MaxSize = 17,         // maximum size in bytes, "0" = none
  StopAllButton = 19,   // handle of the console's stop-all button
  RetryLimit = 20,      // retries allowed for a failed address
  ConsoleStarted = 21,  // "a" once the console is up
  ProxyAlternates = 22, // "1": an address failing for its proxy's fault goes on through the next
                        // proxy of the proxy list; empty: the handed proxy only
  RedirectTarget = 27,  // full address of the latest redirect target
  SearchMode = 28,      // 1 web-search job, 0 ordinary; other values = 1
  AssumeOnline = 29,    // "1": treat the machine as connected
  TextFileNames = 30,   // "1": take file names anywhere in a page's text, not only in its links
  CookieJar = 31,       // path of the run's cookie jar, read when the console starts and written
                        // whenever a response changed its cookies; empty: cookies live in the
                        // console's memory for the run only. Never the cookies themselves.
  SimilarHosts = 32,    // "1" ("Похожие адреса"): a rendered page's scripts may also reach hosts
                        // similar to the page's own; empty: the page's own host only
};

// One orvint record, fields in stored order. Strings are counted strings; the stop
// button is 4 bytes little-endian. The reserved member is always written empty.
struct ChannelRecord {
  std::string url;
  std::string statusText;
  std::string sizeText;
  int32_t stopButton = 0;
  std::string reserved;
  std::string resumable;
  bool operator==(const ChannelRecord&) const = default;
};

class ExchangeFiles {
 public:
  static constexpr int kExtRecordLength = 1024;
  static constexpr int kIntRecordLength = 1700;
  static constexpr int kChannels = 20;
  static constexpr int kMaxExtValue = kExtRecordLength - 2;  // 1022 bytes
  static constexpr int kMaxExtRecord = 4096;                  // sanity bound on record numbers

  ExchangeFiles() = default;
  ExchangeFiles(const ExchangeFiles&) = delete;
  ExchangeFiles& operator=(const ExchangeFiles&) = delete;
  ExchangeFiles(ExchangeFiles&&) = default;
  ExchangeFiles& operator=(ExchangeFiles&&) = default;

  // Opens the three files in exchangeFolder (with or without a trailing "/") and
  // keeps them open. create: make the folder and any missing file first (existing
  // files are kept as they are), as the main program does before a run.
  bool Open(const std::string& exchangeFolder, bool create);
  bool IsOpen() const;
  void Close();
  const std::string& Folder() const { return folder_; }  // ends with "/"

  // Reads a string record. An unreadable record, or one whose length exceeds the
  // record (being rewritten by the other process), reads as empty.
  std::string ReadExt(int record);
  // The same, but nullopt for an unreadable record, for handshakes where empty means free.
  std::optional<std::string> TryReadExt(int record);
  // Writes length + bytes at the record start, leaving the rest of the record as
  // it was. False when the value is over 1022 bytes (nothing written) or on error.
  bool WriteExt(int record, std::string_view value);
  // Leading number of a record (see numbers.h).
  long long ReadExtNumber(int record);

  // Channel n = 1..20. A torn or short record yields empty fields from the point
  // where it stops making sense.
  ChannelRecord ReadChannel(int n);
  // False when n is out of range or the fields do not fit in 1700 bytes (nothing
  // written). The reserved member is written empty whatever it holds.
  bool WriteChannel(int n, const ChannelRecord& record);
  // The end-of-run reset: records 1..20 become empty records (strings empty, 0).
  bool ClearChannels();

  // orvurl: elements 0..count (count from element 0; the stale tail is never read).
  std::vector<std::string> ReadUrlList();
  // Writes the elements as given from byte 0 without truncating. False when an
  // element is over 65535 bytes (nothing written) or on error.
  bool WriteUrlList(const std::vector<std::string>& elements);

  // Byte image of one channel record as stored (for tests and tools).
  static bool EncodeChannel(const ChannelRecord& record, std::string& out);
  static ChannelRecord DecodeChannel(std::string_view recordBytes);

 private:
  bool ReadAt(std::fstream& f, std::streamoff offset, char* buf, std::size_t n, std::size_t& got);
  bool WriteAt(std::fstream& f, std::streamoff offset, std::string_view bytes);

  std::string folder_;
  std::fstream ext_, int_, url_;
};

// Link list shape: element 0 = number of links (no leading blank), then the links.
std::vector<std::string> LinkListElements(const std::vector<std::string>& links);
// Marker message shape: element 0 = " 2", element 1 = marker + address.
std::vector<std::string> MarkerMessageElements(std::string_view marker, std::string_view address);

}  // namespace orv
