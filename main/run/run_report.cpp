#include "main/run/run_report.h"

#include <algorithm>
#include <cstdio>
#include <unordered_map>

#include "common/numbers.h"
#include "common/text.h"

namespace orv {

namespace {

bool IsFailure(FetchOutcome o) { return o != FetchOutcome::Saved && o != FetchOutcome::Unchanged; }

// The order the report lists the kinds in: what the user can most often act on first.
int KindRank(FetchOutcome o) {
  switch (o) {
    case FetchOutcome::Forbidden: return -1;  // a login opens them all at once
    case FetchOutcome::NotFound: return 0;
    case FetchOutcome::Refused: return 1;
    case FetchOutcome::TimedOut: return 2;
    case FetchOutcome::Certificate: return 3;
    case FetchOutcome::TooLarge: return 4;
    case FetchOutcome::ProxyLogin: return 5;
    case FetchOutcome::ProxyDown: return 6;
    case FetchOutcome::Unwritten: return 7;
    case FetchOutcome::Stopped: return 9;
    default: return 8;
  }
}

}  // namespace

std::string FailureReason(FetchOutcome kind) {
  switch (kind) {
    case FetchOutcome::NotFound: return Ru("не найдено");
    case FetchOutcome::Refused: return Ru("отказ соединения");
    case FetchOutcome::TimedOut: return Ru("истекло время");
    case FetchOutcome::Certificate: return Ru("сертификат");
    case FetchOutcome::TooLarge: return Ru("слишком велик");
    case FetchOutcome::Unwritten: return Ru("не удалось записать");
    case FetchOutcome::ProxyLogin: return Ru("прокси отклонил вход");
    case FetchOutcome::ProxyDown: return Ru("прокси не отвечает");
    case FetchOutcome::Stopped: return Ru("прервано остановкой");
    case FetchOutcome::Forbidden: return Ru("доступ запрещён");
    default: return Ru("прочие");
  }
}

RunReport BuildRunReport(const RunSummary& summary, const std::vector<OutcomeRecord>& outcomes,
                         const std::string& startAddress) {
  RunReport r;
  r.saved = summary.saved;
  r.savedBytes = summary.savedBytes;
  r.skippedComplete = summary.skippedComplete;
  r.skippedLogout = summary.skippedLogout;
  r.seconds = summary.seconds;
  r.outcome = summary.outcome;
  r.startAddress = startAddress;
  std::unordered_map<std::string, std::size_t> lastOf;
  for (std::size_t i = 0; i < outcomes.size(); ++i) lastOf[outcomes[i].address] = i;
  for (std::size_t i = 0; i < outcomes.size(); ++i) {
    const OutcomeRecord& o = outcomes[i];
    if (lastOf[o.address] == i && IsFailure(o.outcome)) r.failures.push_back({o.outcome, o.address});
  }
  std::stable_sort(r.failures.begin(), r.failures.end(),
                   [](const RunReport::Failure& a, const RunReport::Failure& b) { return KindRank(a.kind) < KindRank(b.kind); });
  return r;
}

std::vector<std::string> RunReportLines(const RunReport& report, std::size_t maxFailures) {
  char time[32];
  std::snprintf(time, sizeof time, "%.1f", report.seconds);
  std::vector<std::string> lines;
  const char* heading = report.outcome == RunOutcome::Completed ? "Закачка завершена" : "Закачка остановлена";
  lines.push_back(Ru(heading) + Ru(": сохранено файлов ") + DecimalText(report.saved) + " (" +
                  DecimalText(report.savedBytes) + Ru(" байт), ошибок ") + DecimalText(static_cast<int64_t>(report.failures.size())) +
                  Ru(", пропущено как уже полные ") + DecimalText(report.skippedComplete) +
                  (report.skippedLogout > 0 ? Ru(", ссылок выхода ") + DecimalText(report.skippedLogout) : std::string()) +
                  Ru(", время ") + time + Ru(" с"));
  const std::size_t shown = std::min(maxFailures, report.failures.size());
  for (std::size_t i = 0; i < shown; ++i)
    lines.push_back(FailureReason(report.failures[i].kind) + ": " + report.failures[i].address);
  if (shown < report.failures.size())
    lines.push_back(Ru("... и ещё ") + DecimalText(static_cast<int64_t>(report.failures.size() - shown)));
  return lines;
}

}  // namespace orv
