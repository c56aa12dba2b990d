#include "main/run/transfer_statistics.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "common/text.h"
#include "main/base/run_status.h"

namespace orv {
namespace {

struct FakeTime {
  double seconds = 1000;  // since midnight
  std::chrono::system_clock::time_point calendar{std::chrono::hours(500000)};
};

TransferStatistics MakeStats(FakeTime& t) {
  return TransferStatistics([&t] { return t.seconds; }, [&t] { return t.calendar; });
}

TEST(ProgressPercent, CutsToFourCharactersAndNeverShowsHundred) {
  EXPECT_EQ(ProgressPercentText(7, 3), "42.8");
  EXPECT_EQ(ProgressPercentText(7, 7), "99.8");
  EXPECT_EQ(ProgressPercentText(7, 12), "99.8");  // index beyond the end is clamped
  EXPECT_EQ(ProgressPercentText(200, 1), "0.5");  // ".5" gets its leading zero
  EXPECT_EQ(ProgressPercentText(4, 2), "50");
  EXPECT_EQ(ProgressPercentText(3, 0), "33.3");   // index below 1 counts as 1
  // An empty run list counts as 100000 entries from the first.
  EXPECT_EQ(ProgressPercentText(0, 5), "0.00");
}

TEST(SpeedTexts, CurrentSpeedFormsAndPanelTexts) {
  EXPECT_EQ(CurrentSpeedText(0.5), "0.5");
  EXPECT_EQ(CurrentSpeedText(1234.56789), "1234.56");
  EXPECT_EQ(CurrentSpeedText(2048), "2048");
  EXPECT_EQ(CurrentSpeedText(12345678.9), "1234567");
  EXPECT_EQ(OverallSpeedPanelText(99.9), Ru(" 99 B/sec [общая]"));
  EXPECT_EQ(CurrentSpeedPanelText(3.25), Ru(" 3.25 B/sec [средн]"));
  EXPECT_EQ(KilobytesPanelText(12), " 12 kb");
  EXPECT_EQ(AddressRowText(7), Ru("Адреса:  7"));
  EXPECT_EQ(OnlineRowText(179.9), Ru("В сети, мин : 2"));
  EXPECT_EQ(LongTimeText(std::chrono::seconds(3 * 3600 + 62)), "3:01:02");
}

// The statistics run while addresses are handed out and while the run ends, whatever a
// panel's text says; the view hears of panel 1 only when it changes.
TEST(RunStatusTest, StatisticsFollowThePhaseAndTheViewHearsOfChanges) {
  struct Bar : StatusBarView {
    std::vector<std::pair<int, std::string>> shown;
    void ShowStatusPanel(int panel, const std::string& text) override { shown.emplace_back(panel, text); }
  } bar;
  RunStatus status(&bar);
  EXPECT_FALSE(status.StatisticsActive());
  status.HandingOut("5");
  EXPECT_TRUE(status.StatisticsActive());
  EXPECT_EQ(status.Text(1), Ru(" Адреса:5"));
  status.HandingOut("5");
  EXPECT_EQ(bar.shown.size(), 1u);
  status.WriteBack(Ru(" Сортировка 1/2"));
  EXPECT_FALSE(status.StatisticsActive());
  status.Ending();
  EXPECT_TRUE(status.StatisticsActive());
  status.Done();
  EXPECT_FALSE(status.StatisticsActive());
  EXPECT_EQ(status.Text(1), Ru(" Готово"));
  // A message that happens to hold the words changes nothing, and panel 1 is the phase's.
  status.Show(5, Ru(" Адреса: Завершение"));
  status.Show(1, Ru(" Адреса:9"));
  EXPECT_FALSE(status.StatisticsActive());
  EXPECT_EQ(status.Text(1), Ru(" Готово"));
  status.Clear();
  EXPECT_EQ(status.Phase(), RunPhase::Idle);
  EXPECT_EQ(bar.shown.back(), std::make_pair(1, std::string()));
}

TEST(MonotonicClockTest, RunAcrossMidnightKeepsIncreasing) {
  double s = 86399.5;
  MonotonicClock clock([&s] { return s; });
  const double before = clock.Now();
  s = 0.25;  // the day rolled over
  const double after = clock.Now();
  EXPECT_DOUBLE_EQ(after - before, 0.75);
  s = 10;
  EXPECT_DOUBLE_EQ(clock.Now(), 86410);
}

TEST(TransferStatisticsTest, StepComputesKilobytesSpeedAndElapsed) {
  FakeTime t;
  auto st = MakeStats(t);
  st.MarkRunStart();
  t.seconds += 4;
  t.calendar += std::chrono::seconds(65);
  auto out = st.Step(" 10240 ", "", true);
  EXPECT_EQ(st.RunBytes(), 10240);
  EXPECT_EQ(st.RunKilobytes(), 10);
  ASSERT_TRUE(out.panel2.has_value());
  EXPECT_EQ(*out.panel2, " 10 kb");
  EXPECT_EQ(*out.valuesRow, Ru("Объем, kB : 10"));
  EXPECT_EQ(*out.panel4, Ru(" 2560 B/sec [общая]"));
  EXPECT_EQ(out.panel5, "0:01:05");
  // Unchanged kilobytes are not reported again.
  out = st.Step("10500", " 10 kb", true);
  EXPECT_FALSE(out.panel2.has_value());
}

TEST(TransferStatisticsTest, RunPastTwoGibibytesKeepsCountingAndReachesTheVolumeLimit) {
  FakeTime t;
  auto st = MakeStats(t);
  st.MarkRunStart();
  t.seconds += 10;
  auto out = st.Step("5368709120", "", true);  // 5 GiB from the console's caption
  EXPECT_EQ(st.RunBytes(), 5368709120LL);
  EXPECT_EQ(st.RunKilobytes(), 5242880);
  EXPECT_EQ(*out.panel2, " 5242880 kb");
  EXPECT_TRUE(st.VolumeLimitReached(true, 4000000));
  st.ResetCounter();
  EXPECT_EQ(st.AllTimeBytes(), 5368709120LL + 5242880);
}

TEST(TransferStatisticsTest, SamplesEveryThirdTickAndClampsNegativeDifferences) {
  FakeTime t;
  auto st = MakeStats(t);
  st.MarkRunStart();
  t.seconds += 1;
  auto out = st.Step("1000", "", false);  // phase 1: sample
  ASSERT_TRUE(out.panel4.has_value());
  EXPECT_DOUBLE_EQ(st.CurrentSpeed(), 1000);
  t.seconds += 1;
  out = st.Step("3000", "", false);  // phase 2: no sample
  EXPECT_FALSE(out.panel4.has_value());
  out = st.Step("3000", "", false);  // phase 0
  EXPECT_FALSE(out.panel4.has_value());
  // The console's counter was reset in between: the sample shows 0, never negative.
  out = st.Step("100", "", false);
  ASSERT_TRUE(out.panel4.has_value());
  EXPECT_EQ(st.CurrentSpeed(), 0);
  EXPECT_EQ(*out.panel4, Ru(" 0 B/sec [средн]"));
  // The all-time total follows the differences, negative ones included: 1000 + (100 - 1000).
  EXPECT_EQ(st.AllTimeBytes(), 100);
}

TEST(TransferStatisticsTest, TwoSamplesOnTheSameReadingUseOneHundredthSecond) {
  FakeTime t;
  auto st = MakeStats(t);
  st.MarkRunStart();
  st.Step("0", "", false);
  st.Step("0", "", false);
  st.Step("0", "", false);
  st.Step("50", "", false);  // sample with dt = 0
  EXPECT_DOUBLE_EQ(st.CurrentSpeed(), 5000);
}

TEST(TransferStatisticsTest, ResetAddsRunKilobytesToTheAllTimeTotal) {
  FakeTime t;
  auto st = MakeStats(t);
  st.SetAllTimeBytes(7);
  st.MarkRunStart();
  st.Step("4096", "", true);
  st.ResetCounter();
  EXPECT_EQ(st.RunKilobytes(), 0);
  EXPECT_EQ(st.AllTimeBytes(), 7 + 4096 + 4);
}

TEST(TransferStatisticsTest, OnlineTimeCountsOnlyWhileOnlineAndCounting) {
  FakeTime t;
  auto st = MakeStats(t);
  EXPECT_FALSE(st.AccountOnline(true, true).has_value());  // first tick notes the time
  t.seconds += 30;
  auto row = st.AccountOnline(true, true);
  ASSERT_TRUE(row.has_value());
  EXPECT_DOUBLE_EQ(st.OnlineSeconds(), 30);
  t.seconds += 500;  // off line: not counted
  EXPECT_FALSE(st.AccountOnline(false, true).has_value());
  t.seconds += 40;
  st.AccountOnline(true, true);
  EXPECT_DOUBLE_EQ(st.OnlineSeconds(), 70);
  EXPECT_EQ(*st.AccountOnline(true, true), Ru("В сети, мин : 1"));
  // With the limit switched off nothing is counted and no row text is produced.
  t.seconds += 100;
  EXPECT_FALSE(st.AccountOnline(true, false).has_value());
  EXPECT_DOUBLE_EQ(st.OnlineSeconds(), 70);
  EXPECT_FALSE(st.OnlineLimitReached(true, 2));
  EXPECT_TRUE(st.OnlineLimitReached(true, 1));
  EXPECT_FALSE(st.OnlineLimitReached(false, 1));
}

TEST(TransferStatisticsTest, LimitsStopOnlyWhenExceeded) {
  EXPECT_FALSE(TransferStatistics::AddressLimitReached(true, 5, 5));
  EXPECT_TRUE(TransferStatistics::AddressLimitReached(true, 5, 6));
  EXPECT_FALSE(TransferStatistics::AddressLimitReached(false, 5, 60));
  FakeTime t;
  auto st = MakeStats(t);
  st.MarkRunStart();
  st.Step("3072", "", true);
  EXPECT_FALSE(st.VolumeLimitReached(true, 3));
  st.Step("4096", "", true);
  EXPECT_TRUE(st.VolumeLimitReached(true, 3));
}

}  // namespace
}  // namespace orv
