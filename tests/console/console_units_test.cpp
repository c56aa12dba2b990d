#include <gtest/gtest.h>

#include <string>

#include "console/console.h"
#include "console/take_policy.h"
#include "tests/support/temp_folder.h"

namespace orv::console {
namespace {

TEST(SpeedLog, EntriesAppendAndTheLogStartsAnewPastOneMegabyte) {
  orvtest::TempFolder tmp;
  std::string path = tmp.Dir() + "testspeed.txt";
  AppendSpeedLog(path, "A", "10:00:00");
  AppendSpeedLog(path, "B", "10:00:01");
  EXPECT_EQ(orvtest::ReadWholeFile(path), "\r\nA: 10:00:00\r\n\r\n\r\nB: 10:00:01\r\n\r\n");
  orvtest::WriteWholeFile(path, std::string(1024 * 1024 + 1, 'x'));
  AppendSpeedLog(path, "C", "11:00:00");
  EXPECT_EQ(orvtest::ReadWholeFile(path), "\r\nC: 11:00:00\r\n\r\n");
}

TEST(Liveness, GraceOfFourteenSecondsRestartsAfterMidnight) {
  double start = 100;
  EXPECT_FALSE(GraceOver(114, start));
  EXPECT_TRUE(GraceOver(114.5, start));
  start = 86395;  // five seconds before midnight
  EXPECT_FALSE(GraceOver(86399, start));
  EXPECT_FALSE(GraceOver(3, start));  // past midnight: the grace starts again at 3
  EXPECT_DOUBLE_EQ(start, 3);
  EXPECT_FALSE(GraceOver(16, start));
  EXPECT_TRUE(GraceOver(17.5, start));
}

// The take interval counts from the last take that found an address, survives midnight, and an
// address put back for a retry comes before the mailbox, lowest slot first, its proxy once.
TEST(TakePolicy, SpacesTakesAndHandsBackRetriesFirst) {
  TakePolicy p;
  p.Configure(0.1, 100);
  EXPECT_DOUBLE_EQ(p.SecondsUntilDue(50), 0);
  p.Took(50);
  EXPECT_NEAR(p.SecondsUntilDue(50.04), 0.06, 1e-9);
  EXPECT_DOUBLE_EQ(p.SecondsUntilDue(50.1), 0);
  p.Took(86399.95);
  EXPECT_DOUBLE_EQ(p.SecondsUntilDue(0.01), 0) << "the clock went back at midnight";
  p.Configure(0, 5);
  p.Took(10);
  EXPECT_DOUBLE_EQ(p.SecondsUntilDue(10), 0) << "no interval at the highest intensity";

  EXPECT_FALSE(p.TakePutBack());
  p.PutBack(7, "http://a/7", "proxy7:80");
  p.PutBack(3, "http://a/3", "proxy3:80");
  p.PutBack(21, "http://a/none", "ignored:80");
  EXPECT_EQ(p.TakePutBack(), "http://a/3");
  EXPECT_EQ(p.TakeRememberedProxy(), "proxy3:80");
  EXPECT_EQ(p.TakeRememberedProxy(), "");
  EXPECT_EQ(p.TakePutBack(), "http://a/7");
  EXPECT_FALSE(p.TakePutBack());
}

}  // namespace
}  // namespace orv::console
