// The report a run leaves in the window, from its summary and the console's outcome log.
#include <gtest/gtest.h>

#include "common/text.h"
#include "main/run/run_report.h"

namespace orv {
namespace {

OutcomeRecord Outcome(FetchOutcome o, const std::string& address, int64_t bytes = 0) {
  OutcomeRecord r;
  r.outcome = o;
  r.address = address;
  r.bytes = bytes;
  return r;
}

TEST(RunReportTest, FailuresAreTheLastOutcomeOfEachAddressGroupedByKind) {
  RunSummary s;
  s.saved = 2;
  s.savedBytes = 1500;
  s.skippedComplete = 3;
  s.seconds = 2.5;
  s.outcome = RunOutcome::Completed;
  const std::vector<OutcomeRecord> log = {
      Outcome(FetchOutcome::Saved, "http://h/", 1000),
      Outcome(FetchOutcome::TimedOut, "http://h/slow.html"),
      Outcome(FetchOutcome::NotFound, "http://h/gone.html"),
      Outcome(FetchOutcome::Failed, "http://h/retried.png"),
      Outcome(FetchOutcome::Saved, "http://h/retried.png", 500),  // a retry that worked
      Outcome(FetchOutcome::Unwritten, "http://h/big.zip"),
      Outcome(FetchOutcome::Unchanged, "http://h/same.css"),
  };
  const RunReport r = BuildRunReport(s, log, "http://h/");
  ASSERT_EQ(r.failures.size(), 3u);
  EXPECT_EQ(r.failures[0].kind, FetchOutcome::NotFound);
  EXPECT_EQ(r.failures[0].address, "http://h/gone.html");
  EXPECT_EQ(r.failures[1].kind, FetchOutcome::TimedOut);
  EXPECT_EQ(r.failures[2].kind, FetchOutcome::Unwritten);
  EXPECT_EQ(r.startAddress, "http://h/");

  const std::vector<std::string> lines = RunReportLines(r);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(Cp1251ToUtf8(lines[0]),
            "Закачка завершена: сохранено файлов 2 (1500 байт), ошибок 3, пропущено как уже полные 3, время 2.5 с");
  EXPECT_EQ(Cp1251ToUtf8(lines[1]), "не найдено: http://h/gone.html");
  EXPECT_EQ(Cp1251ToUtf8(lines[2]), "истекло время: http://h/slow.html");
  EXPECT_EQ(Cp1251ToUtf8(lines[3]), "не удалось записать: http://h/big.zip");

  // Logout links a logged-in run left alone are named only when there were some.
  s.skippedLogout = 2;
  EXPECT_EQ(Cp1251ToUtf8(RunReportLines(BuildRunReport(s, log, "http://h/"))[0]),
            "Закачка завершена: сохранено файлов 2 (1500 байт), ошибок 3, пропущено как уже полные 3, ссылок выхода 2, "
            "время 2.5 с");
}

TEST(RunReportTest, AStoppedRunSaysSoAndALongFailureListIsCut) {
  RunSummary s;
  s.outcome = RunOutcome::Stopped;
  std::vector<OutcomeRecord> log;
  for (int i = 0; i < 5; ++i) log.push_back(Outcome(FetchOutcome::Refused, "http://h/" + std::to_string(i)));
  const std::vector<std::string> lines = RunReportLines(BuildRunReport(s, log, "http://h/"), 2);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(Cp1251ToUtf8(lines[0]).rfind("Закачка остановлена: сохранено файлов 0 (0 байт), ошибок 5,", 0), 0u);
  EXPECT_EQ(Cp1251ToUtf8(lines[1]), "отказ соединения: http://h/0");
  EXPECT_EQ(Cp1251ToUtf8(lines[3]), "... и ещё 3");
}

}  // namespace
}  // namespace orv
