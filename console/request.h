// Request assembly for one fetch: the pieces a channel derives from the taken address, the
// exchange records and the lists, and the header block sent with the request.
// Pure functions over Windows-1251 byte strings; no I/O.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace orv::console {

// Take interval in seconds from the `intens` setting: 0 waits 0.1 s, 2 waits 4 s, 3
// ("Максимальная") not at all.
double TakeInterval(double intens);
// Period of an idle channel's take tick: 100 ms; 5 ms at "Максимальная", where the tick is
// the only pause between takes and a page of small files is fetched in less than one.
int TakeTickMs(double intens);
// Transfer timeout in seconds from registry RQQM, kept within 1 s and one day: a value past the
// 32-bit range must not turn into a negative timeout.
int TransferTimeout(long long rqqm);

struct ProxyParts {
  std::string host;         // empty: direct connection
  uint16_t port = 0;        // 0: direct connection
  std::string credentials;  // "user:password" text before the run of five "@", may be empty
};
ProxyParts ParseProxySpec(const std::string& spec);

// RFC 4648 Base64 with "=" padding over the bytes as they are.
std::string Base64(const std::string& bytes);

// RFC 1123 date in UTC, e.g. "Sun, 06 Nov 1994 08:49:37 GMT".
std::string HttpDate(std::time_t t);

// Removes CR and LF so that a value cannot start a header line of its own.
std::string StripLineBreaks(std::string s);

struct Credential {
  std::string site, user, password;
};
// Entries of the server-credentials list (elements 1..count), in order. Reading stops at the
// first entry without "\\" and a later "**", or with an empty part.
std::vector<Credential> ParseCredentials(const std::vector<std::string>& entries);
// "Authorization: Basic ..." CR LF for the first credential whose site occurs in the lowercased
// address; empty when none matches.
std::string AuthorizationLine(const std::string& address, const std::vector<Credential>& creds);

std::string CharsetLine(int mode);            // orvext record 5
std::string RangeLine(int64_t localSize);     // "Range: bytes=N-" CR LF
std::string ConditionLine(std::time_t modified);
std::string UserAgentLine(const std::string& agent);
std::string ProxyAuthLine(const ProxyParts& proxy);

struct HeaderLines {
  std::string auth, proxyAuth, range, charset, condition, userAgent;
};
// The header block in its fixed order; absent lines contribute nothing.
std::string HeaderBlock(const HeaderLines& l);

// The taken address split into its markers.
struct MarkedAddress {
  std::string url;             // markers removed, trimmed
  std::string referrerFolder;  // text after "((((("
  bool frame = false;          // carried ")ifra("
};
MarkedAddress SplitMarkers(const std::string& taken);

// Drop rules for addresses taken from the retry slots: any exclusion entry occurring in the
// address (case-insensitive), or a type ending contained in a non-empty type entry.
bool DroppedByExclusions(const std::string& address, const std::vector<std::string>& exclusions);
bool DroppedByType(const std::string& address, const std::vector<std::string>& typeEntries);

// Site part of an address: after its scheme ("http://" or "https://") and its user-info part
// ("user:password@"), up to the first "/".
std::string SitePart(const std::string& url);

// The address as it goes on the request line: blanks, control bytes, bytes above 0x7E and the
// characters a URL cannot hold literally are percent-encoded; everything else (an existing
// "%XX" included) is kept.
std::string RequestTarget(const std::string& address);

bool Contains(const std::string& hay, const std::string& needle);

// The control records of orvext as the take reads and writes them: the exchange files in the
// console, a scripted main program in tests.
class ControlRecords {
 public:
  virtual ~ControlRecords() = default;
  virtual std::string Read(int record) = 0;
  virtual void Write(int record, const std::string& value) = 0;
};

// An address with the proxy, agent and size bounds the main program wrote for it.
struct AddressSettings {
  std::string address, proxySpec, userAgent, minSize, maxSize;
};
// Records 8, 9, 16 and 17 as they stand.
void ReadAddressSettings(ControlRecords& records, AddressSettings& out);
// Takes the address in record 1 and empties the record; its settings are read first, since once
// record 1 is empty the main program may write the next address's. An empty mailbox gives an
// empty address and changes nothing.
AddressSettings TakeFromMailbox(ControlRecords& records);

}  // namespace orv::console
