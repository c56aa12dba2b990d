#pragma once
// The outcome log "orvdone" in the exchange folder: the console appends one line for every
// address whose fetch is over (retries included), the main program reads the log at the end
// of a run for its summary. One line: kind, bytes written, the monotonic milliseconds at
// which the channel took the address, received the first byte and finished, then the
// address; fields separated by tabs. The monotonic clock is the system's, shared by both
// programs, so a line can be set beside the times the main program noted itself.
#include <cstdint>
#include <ios>
#include <string>
#include <string_view>
#include <vector>

namespace orv {

inline constexpr std::string_view kOutcomeLogName = "orvdone";

enum class FetchOutcome {
  Saved,        // a file was written
  Unchanged,    // the server said the copy is current, or sent a redirect
  NotFound,     // 404 / 410
  Refused,      // the connection was refused or the host does not exist
  TimedOut,     // no answer in time
  Certificate,  // the server's certificate was not accepted
  TooLarge,     // outside the category's size bounds
  Failed,       // any other failure (server error, broken transfer)
  Unwritten,    // the body could not be written into the collection (disk full, read-only)
  ProxyLogin,   // the proxy refused its login (407), through every proxy tried
  ProxyDown,    // the proxy itself could not be reached, through every proxy tried
  Stopped,      // the user stopped the run during the fetch: a partial copy, resumed by the next run
  Forbidden,    // 401 / 403: the server wants a session or a login the run does not have
};
inline constexpr int kFetchOutcomeCount = 13;

// Status numbers the console's "Err:" texts carry beyond the connection ones.
inline constexpr int kErrSizeRefused = 10040;   // the size bounds refused the body
inline constexpr int kErrCertificate = 12045;   // the certificate was not accepted
// The proxy's own failures, told apart from the server's: a login the proxy refused (its 407),
// and a proxy that refused the connection or whose name does not resolve.
inline constexpr int kErrProxyLogin = 12407;
inline constexpr int kErrProxyDown = 12461;
// The server refused the page itself (401, 403): nothing is saved, and a login may open it.
inline constexpr int kErrAccessDenied = 12401;
inline constexpr std::string_view kAccessDeniedText = "Доступ запрещён";
// What a channel row says of them after "Прокси " and the proxy's address (UTF-8; through Ru).
inline constexpr std::string_view kProxyLoginRefusedText = "отклонил вход (407)";
inline constexpr std::string_view kProxyDownText = "не отвечает";

// A failure for the proxy's fault: another proxy may fetch the address.
inline bool IsProxyFault(FetchOutcome o) { return o == FetchOutcome::ProxyLogin || o == FetchOutcome::ProxyDown; }

// Outcome of a finished transfer from the console's state code (0 ok, 777 not found,
// 888 short, 895 lost, 999 failed), the last error number and the bytes on disk.
FetchOutcome OutcomeOfTransfer(int state, int errorCode, int64_t bytes);

std::string_view OutcomeKeyword(FetchOutcome o);

struct OutcomeRecord {
  FetchOutcome outcome = FetchOutcome::Failed;
  int64_t bytes = 0;
  int64_t takenMs = 0, firstByteMs = 0, doneMs = 0;  // 0 = not reached
  std::string address;
  std::string redirectTo;  // the target a redirect answer named; empty for any other answer
  // The page was to be rendered ("Выполнять скрипты страниц") and could not be: it was saved
  // as received. Written as "+unrendered" after the kind.
  bool unrendered = false;
};

std::string OutcomeLine(const OutcomeRecord& r);
bool ParseOutcomeLine(std::string_view line, OutcomeRecord& r);

// Appends one line (the console); reads every line (the main program). Unreadable lines
// are passed over.
bool AppendOutcome(const std::string& exchangeFolder, const OutcomeRecord& r);
std::vector<OutcomeRecord> ReadOutcomes(const std::string& exchangeFolder);
void ClearOutcomes(const std::string& exchangeFolder);

// Follows the log while a run goes on: each call returns the lines appended since the last
// one (whole lines only; one being written waits for the next call). A log that became
// shorter than what was read (cleared for a new run) is read again from its start.
class OutcomeFollower {
 public:
  std::vector<OutcomeRecord> ReadNew(const std::string& exchangeFolder);
  void Restart() { offset_ = 0; }

 private:
  std::streamoff offset_ = 0;
};

// Milliseconds of the system's monotonic clock.
int64_t MonotonicMs();

}  // namespace orv
