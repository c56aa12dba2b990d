#include "common/fetch_outcome.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>

#include "common/numbers.h"
#include "common/string_list.h"

namespace orv {

namespace {
constexpr int kStateOk = 0, kStateNotFound = 777;
constexpr int kWsaTimedOut = 10060, kWsaRefused = 10061, kWsaHostNotFound = 11001;
constexpr std::string_view kKeywords[kFetchOutcomeCount] = {
    "saved", "unchanged", "notfound", "refused", "timedout", "certificate", "toolarge", "failed", "unwritten",
    "proxylogin", "proxydown", "stopped", "forbidden"};

std::string PathOf(const std::string& folder) { return folder + std::string(kOutcomeLogName); }
}  // namespace

FetchOutcome OutcomeOfTransfer(int state, int errorCode, int64_t bytes) {
  if (state == kStateNotFound) return FetchOutcome::NotFound;
  switch (errorCode) {
    case kErrCertificate: return FetchOutcome::Certificate;
    case kErrSizeRefused: return FetchOutcome::TooLarge;
    case kWsaRefused:
    case kWsaHostNotFound: return FetchOutcome::Refused;
    case kWsaTimedOut: return FetchOutcome::TimedOut;
    case kErrProxyLogin: return FetchOutcome::ProxyLogin;
    case kErrProxyDown: return FetchOutcome::ProxyDown;
    case kErrAccessDenied: return FetchOutcome::Forbidden;
    default: break;
  }
  if (state == kStateOk) return bytes > 0 ? FetchOutcome::Saved : FetchOutcome::Unchanged;
  return FetchOutcome::Failed;
}

std::string_view OutcomeKeyword(FetchOutcome o) { return kKeywords[static_cast<int>(o)]; }

namespace {
constexpr std::string_view kUnrenderedMark = "+unrendered";
}  // namespace

std::string OutcomeLine(const OutcomeRecord& r) {
  std::string line(OutcomeKeyword(r.outcome));
  if (r.unrendered) line += kUnrenderedMark;
  for (int64_t v : {r.bytes, r.takenMs, r.firstByteMs, r.doneMs}) line += '\t' + std::to_string(v);
  // An address never holds a tab or a line break; should one come, it must not split the line.
  const auto field = [](std::string a) {
    for (char& c : a)
      if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    return a;
  };
  line += '\t' + field(r.address);
  if (!r.redirectTo.empty()) line += '\t' + field(r.redirectTo);
  return line + '\n';
}

bool ParseOutcomeLine(std::string_view line, OutcomeRecord& r) {
  std::vector<std::string_view> f;
  std::size_t from = 0;
  while (f.size() < 5) {
    const std::size_t tab = line.find('\t', from);
    if (tab == std::string_view::npos) return false;
    f.push_back(line.substr(from, tab - from));
    from = tab + 1;
  }
  r.unrendered = f[0].ends_with(kUnrenderedMark);
  if (r.unrendered) f[0].remove_suffix(kUnrenderedMark.size());
  int kind = -1;
  for (int k = 0; k < kFetchOutcomeCount; ++k)
    if (f[0] == kKeywords[k]) kind = k;
  if (kind < 0) return false;
  r.outcome = static_cast<FetchOutcome>(kind);
  int64_t* fields[] = {&r.bytes, &r.takenMs, &r.firstByteMs, &r.doneMs};
  for (int k = 0; k < 4; ++k) {
    if (f[k + 1].empty() || f[k + 1].find_first_not_of("0123456789") != std::string_view::npos) return false;
    *fields[k] = LeadingInt(f[k + 1]);
  }
  std::string_view a = line.substr(from);
  while (!a.empty() && (a.back() == '\n' || a.back() == '\r')) a.remove_suffix(1);
  // The address, then the redirect's target when the answer was a redirect.
  const std::size_t tab = a.find('\t');
  r.redirectTo = tab == std::string_view::npos ? std::string() : std::string(a.substr(tab + 1));
  if (tab != std::string_view::npos) a = a.substr(0, tab);
  if (a.empty()) return false;
  r.address = std::string(a);
  return true;
}

bool AppendOutcome(const std::string& exchangeFolder, const OutcomeRecord& r) {
  // One write of the whole line in append mode: lines of one writer never interleave.
  const int fd = OpenOwnerOnlyAppend(PathOf(exchangeFolder));
  if (fd < 0) return false;
  const std::string line = OutcomeLine(r);
  const bool ok = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
  return ::close(fd) == 0 && ok;
}

std::vector<OutcomeRecord> ReadOutcomes(const std::string& exchangeFolder) {
  std::vector<OutcomeRecord> out;
  std::ifstream in(PathOf(exchangeFolder), std::ios::binary);
  std::string line;
  OutcomeRecord r;
  while (std::getline(in, line))
    if (ParseOutcomeLine(line, r)) out.push_back(r);
  return out;
}

void ClearOutcomes(const std::string& exchangeFolder) { std::remove(PathOf(exchangeFolder).c_str()); }

std::vector<OutcomeRecord> OutcomeFollower::ReadNew(const std::string& exchangeFolder) {
  std::vector<OutcomeRecord> out;
  std::ifstream in(PathOf(exchangeFolder), std::ios::binary | std::ios::ate);
  if (!in) return out;
  const std::streamoff size = in.tellg();
  if (size < offset_) offset_ = 0;
  if (size == offset_) return out;
  std::string tail(static_cast<std::size_t>(size - offset_), '\0');
  in.seekg(offset_);
  if (!in.read(tail.data(), static_cast<std::streamsize>(tail.size()))) return out;
  const std::size_t whole = tail.rfind('\n');
  if (whole == std::string::npos) return out;
  offset_ += static_cast<std::streamoff>(whole + 1);
  OutcomeRecord r;
  for (std::size_t from = 0; from <= whole;) {
    const std::size_t end = tail.find('\n', from);
    if (ParseOutcomeLine(std::string_view(tail).substr(from, end - from), r)) out.push_back(r);
    from = end + 1;
  }
  return out;
}

int64_t MonotonicMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace orv
