// The outcome log the console writes and the main program reads for a run's summary.
#include "common/fetch_outcome.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/common/temp_folder.h"

namespace orv {
namespace {

TEST(FetchOutcomeTest, TransferEndsMapToTheKindsOfTheSummary) {
  EXPECT_EQ(OutcomeOfTransfer(0, 0, 120), FetchOutcome::Saved);
  EXPECT_EQ(OutcomeOfTransfer(0, 0, 0), FetchOutcome::Unchanged);  // 304 or a redirect
  EXPECT_EQ(OutcomeOfTransfer(777, 0, 0), FetchOutcome::NotFound);
  EXPECT_EQ(OutcomeOfTransfer(999, 10061, 0), FetchOutcome::Refused);
  EXPECT_EQ(OutcomeOfTransfer(999, 11001, 0), FetchOutcome::Refused);
  EXPECT_EQ(OutcomeOfTransfer(895, 10060, 0), FetchOutcome::TimedOut);
  EXPECT_EQ(OutcomeOfTransfer(895, kErrSizeRefused, 0), FetchOutcome::TooLarge);
  EXPECT_EQ(OutcomeOfTransfer(999, kErrCertificate, 0), FetchOutcome::Certificate);
  EXPECT_EQ(OutcomeOfTransfer(999, kErrAccessDenied, 0), FetchOutcome::Forbidden);  // 401, 403
  EXPECT_EQ(OutcomeOfTransfer(888, 0, 50), FetchOutcome::Failed);  // short body
  EXPECT_EQ(OutcomeOfTransfer(895, 10054, 50), FetchOutcome::Failed);
}

TEST(FetchOutcomeTest, LogKeepsEveryLineAndPassesOverBrokenOnes) {
  testing::TempFolder tmp;
  const std::string folder = tmp.path();
  OutcomeRecord a;
  a.outcome = FetchOutcome::Saved;
  a.bytes = 5'000'000'000LL;  // past 32 bits
  a.takenMs = 10, a.firstByteMs = 15, a.doneMs = 40;
  a.address = "http://site.test/a b.html";
  OutcomeRecord b;
  b.outcome = FetchOutcome::Certificate;
  b.address = "https://site.test/x\ty";  // a tab cannot split the line
  b.redirectTo = "https://site.test/moved/";  // a redirect answer names its target
  a.unrendered = true;  // saved as received: its rendering failed
  ASSERT_TRUE(AppendOutcome(folder, a));
  {
    std::ofstream junk(folder + std::string(kOutcomeLogName), std::ios::app | std::ios::binary);
    junk << "saved\t1\t2\n" << "nonsense\t1\t2\t3\t4\thttp://x.test/\n" << "saved\t-1\t0\t0\t0\thttp://y.test/\n"
          << "nonsense+unrendered\t1\t2\t3\t4\thttp://z.test/\n";
  }
  ASSERT_TRUE(AppendOutcome(folder, b));
  const std::vector<OutcomeRecord> read = ReadOutcomes(folder);
  ASSERT_EQ(read.size(), 2u);
  EXPECT_EQ(read[0].outcome, FetchOutcome::Saved);
  EXPECT_EQ(read[0].bytes, 5'000'000'000LL);
  EXPECT_EQ(read[0].firstByteMs, 15);
  EXPECT_EQ(read[0].doneMs, 40);
  EXPECT_EQ(read[0].address, a.address);
  EXPECT_EQ(read[0].redirectTo, "");
  EXPECT_TRUE(read[0].unrendered);
  EXPECT_FALSE(read[1].unrendered);
  EXPECT_EQ(read[1].outcome, FetchOutcome::Certificate);
  EXPECT_EQ(read[1].address, "https://site.test/x y");
  EXPECT_EQ(read[1].redirectTo, b.redirectTo);
  ClearOutcomes(folder);
  EXPECT_TRUE(ReadOutcomes(folder).empty());
}

TEST(FetchOutcomeTest, AFollowerReadsEachWholeLineOnceAndStartsAgainAfterAClear) {
  testing::TempFolder tmp;
  const std::string folder = tmp.path();
  OutcomeFollower follow;
  EXPECT_TRUE(follow.ReadNew(folder).empty());  // no log yet
  OutcomeRecord r;
  r.address = "http://site.test/1.html";
  ASSERT_TRUE(AppendOutcome(folder, r));
  r.address = "http://site.test/2.html";
  ASSERT_TRUE(AppendOutcome(folder, r));
  std::vector<OutcomeRecord> got = follow.ReadNew(folder);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[1].address, "http://site.test/2.html");
  EXPECT_TRUE(follow.ReadNew(folder).empty());
  // A line still being written is left for the next call.
  std::ofstream(folder + std::string(kOutcomeLogName), std::ios::app | std::ios::binary) << "saved\t1\t0\t0\t0\thttp://site.test/3";
  EXPECT_TRUE(follow.ReadNew(folder).empty());
  std::ofstream(folder + std::string(kOutcomeLogName), std::ios::app | std::ios::binary) << ".html\n";
  got = follow.ReadNew(folder);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].address, "http://site.test/3.html");
  // The next run's log, shorter than what was read: read from its start.
  ClearOutcomes(folder);
  r.address = "http://site.test/4.html";
  ASSERT_TRUE(AppendOutcome(folder, r));
  got = follow.ReadNew(folder);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].address, "http://site.test/4.html");
}

}  // namespace
}  // namespace orv
