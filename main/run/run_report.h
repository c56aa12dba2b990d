#pragma once
// The report a run leaves in the window when it ends or is stopped: files saved and their
// bytes, the addresses that failed grouped by kind with the reason, the addresses skipped as
// already complete, and the start address whose page the report offers to open. Built from
// the run's summary and the console's outcome log; pure, so the window only shows it.
#include <string>
#include <vector>

#include "common/fetch_outcome.h"
#include "main/run/run_controller.h"

namespace orv {

struct RunReport {
  struct Failure {
    FetchOutcome kind = FetchOutcome::Failed;
    std::string address;
  };
  int32_t saved = 0;
  int64_t savedBytes = 0;
  int32_t skippedComplete = 0;
  int32_t skippedLogout = 0;  // logout links a logged-in run did not follow
  double seconds = 0;
  RunOutcome outcome = RunOutcome::None;
  // One per address whose last fetch in the run failed, in the order of the kinds (not found
  // first), then of the log.
  std::vector<Failure> failures;
  std::string startAddress;
};

// The last outcome of each address decides: an address that failed and was then saved on a
// retry is no failure.
RunReport BuildRunReport(const RunSummary& summary, const std::vector<OutcomeRecord>& outcomes,
                         const std::string& startAddress);

// Why a fetch of this kind failed, as the report says it ("не найдено", "отказ соединения" ...).
std::string FailureReason(FetchOutcome kind);

// The report as lines of text (Windows-1251): a heading line with the figures, then one line
// per failed address ("не найдено: http://..."), at most maxFailures of them and a line
// saying how many more.
std::vector<std::string> RunReportLines(const RunReport& report, std::size_t maxFailures = 200);

}  // namespace orv
