// Decisions a channel takes from the response and from the file on disk: progress texts, header
// facts, the watch state, the file marking after a transfer, the page sniff and the retry table.
// Pure logic; the channel applies the results.
#pragma once

#include <cstdint>
#include <ctime>
#include <map>
#include <string>

namespace orv::console {

// Transfer states.
enum : int { kStateOk = 0, kStateNotFound = 777, kStateShort = 888, kStateLost = 895, kStateFailed = 999 };
// Codes of the network component's TransferDone.
// kDoneTooLarge ends like kDoneStopped (never retried) and says the size bounds refused the
// body; kDoneWriteFailed: the body could not be written to the local file.
enum : int {
  kDoneOk = 0,
  kDoneNotFound = 777,
  kDoneTooLarge = 975,
  kDoneStopped = 976,
  kDoneLost = 895,
  kDoneWriteFailed = 998,
  kDoneFailed = 999
};

// " 512 b" up to 1024 bytes, " 1.5 kb" above.
std::string SizeText(int64_t bytes);
// " 42%" of received against total.
std::string PercentText(int64_t received, int64_t total);
// Status text for a "++" progress message, given the announced length (-1 when unknown).
std::string ProgressText(int64_t received, int64_t contentLength);

struct HeaderFacts {
  bool acceptsRanges = false;
  bool rangeAccepted = false;
  bool fullBody = false;  // " 200 ok": a full body follows and replaces any local copy
};
// headersLower: the response header text in lower case; localSize: the resumed copy's size.
HeaderFacts AnalyseHeaders(const std::string& headersLower, int64_t localSize);

// Watch step: the state from the announced length and the file size (unless not found).
int StateFromSize(int state, int64_t contentLength, int64_t size);

// More than timeout - 1 whole seconds since the last activity.
bool TimedOut(double secondsSinceActivity, int timeoutSeconds);

enum class Marking { Keep, Normal, System };
struct MarkingDecision {
  Marking marking = Marking::Keep;
  bool shortFile = false;  // the state becomes 888
};
// How to mark the file after a transfer; currentlySystemOnly: its attributes are exactly "system".
MarkingDecision MarkingAfterTransfer(int64_t contentLength, int64_t size, bool rangeAccepted,
                                     bool acceptsRanges, bool currentlySystemOnly);

// Value of the first header line with this name (lower case, blanks trimmed), or empty.
std::string HeaderValue(const std::string& headersLower, const std::string& nameLower);

// Whether the saved body is processed as a page: by the address's ending, the Content-Type
// value, a redirect, or a page's first 50 characters.
bool LooksLikeText(const std::string& urlLower, const std::string& headersLower, bool forceText,
                   const std::string& body);

// Failed addresses and how often they were requeued, for the console's lifetime.
class RetryTable {
 public:
  // Returns true when the address is to be requeued; sets state to 999 when it is out of retries.
  bool ShouldRequeue(const std::string& address, int limit, bool noRetry, int& state);
  void Clear() { counters_.clear(); }
  size_t Size() const { return counters_.size(); }
  // The address's counter (0 when it never failed).
  int32_t Count(const std::string& address) const {
    auto it = counters_.find(address);
    return it == counters_.end() ? 0 : it->second;
  }

 private:
  std::map<std::string, int32_t> counters_;
};

// Status code of the response's status line ("http/1.1 429 ..."), or 0.
int StatusCodeOf(const std::string& headersLower);

// Seconds a busy server (429, 503) asks to be left alone: its Retry-After (seconds, or an HTTP
// date against nowUtc), else a back-off that doubles with each failure of the address
// (failures: its retry counter); never more than timeoutSeconds.
int RetryWaitSeconds(const std::string& headersLower, int failures, int timeoutSeconds, time_t nowUtc);

// Pages larger than this are saved as they came and never scanned: the scan holds the whole
// text in memory on the console's only thread.
inline constexpr int64_t kMaxScannedPage = 64LL << 20;

// Standard reason phrase for a status code ("OK", "Not Found", ...).
const char* ReasonPhrase(int code);

}  // namespace orv::console
