#include <gtest/gtest.h>

#include <string>

#include "console/console.h"
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

}  // namespace
}  // namespace orv::console
