// Automatic choice of a script slot for a start address.

#include <gtest/gtest.h>

#include "main/scripts/script_model.h"
#include "tests/main/fake_main_window.h"
#include "tests/main/scripts/scripts_test_support.h"

namespace orv {
namespace {

using testing::ScratchFolder;
using testing::ScriptBytes;
using testing::WriteBytes;

class AutoSelectTest : public ::testing::Test {
 protected:
  void SetUp() override { model.collectionFolder = dir.Dir(); }
  void Script(int slot, const std::vector<std::string>& addresses) {
    WriteBytes(ScriptFileName(dir.Dir(), slot), ScriptBytes("a0" + std::to_string(addresses.size()), addresses));
  }
  ScratchFolder dir;
  testing::FakeMainWindow window;
  ScriptModel model{window.Scripts()};
};

TEST_F(AutoSelectTest, MostMatchesWinTiesGoToTheLowestSlot) {
  Script(1, {"http://www.other.ru/1"});
  Script(3, {"http://www.name.ru/1", "http://img.name.ru/2", "http://www.other.ru/"});
  Script(5, {"http://WWW.NAME.RU/a", "http://x.name.ru/b"});
  EXPECT_EQ(model.AutoSelect("http://forum.Name.ru/page"), 3);
  EXPECT_FALSE(model.autoSelectedByEmptiness);
  EXPECT_EQ(window.selectedSlot, 3);
  EXPECT_EQ(model.currentSlot, 3);

  Script(9, {"http://a.name.ru/1", "http://b.name.ru/2", "http://c.name.ru/3"});
  EXPECT_EQ(model.AutoSelect("http://name.ru/"), 9);  // "name.ru" has the kernel ".name." too
}

TEST_F(AutoSelectTest, NoMatchChoosesTheEmptiestSlot) {
  for (int slot = 0; slot < kUserSlots; ++slot) Script(slot, {"http://www.a.ru/1", "http://www.a.ru/2"});
  Script(6, {"http://www.a.ru/1"});
  Script(11, {"http://www.a.ru/1"});
  EXPECT_EQ(model.AutoSelect("http://www.b.ru/"), 6);
  EXPECT_TRUE(model.autoSelectedByEmptiness);
  EXPECT_EQ(window.selectedSlot, 6);
}

TEST_F(AutoSelectTest, AllSlotsEmptyGivesSlotZeroAndZeroLengthFilesAreDeleted) {
  WriteBytes(ScriptFileName(dir.Dir(), 4), "");
  EXPECT_EQ(model.AutoSelect("http://www.b.ru/"), 0);
  EXPECT_TRUE(model.autoSelectedByEmptiness);
  EXPECT_FALSE(std::filesystem::exists(ScriptFileName(dir.Dir(), 4)));
  // Slot 16 (web search) is never a candidate.
  WriteBytes(ScriptFileName(dir.Dir(), kSearchSlot), ScriptBytes("a01", {"http://www.b.ru/x"}));
  EXPECT_EQ(model.AutoSelect("http://www.b.ru/"), 0);
}

TEST_F(AutoSelectTest, TextWithoutSchemeIsTheKey) {
  Script(2, {"http://www.name.ru/1"});
  Script(7, {"http://mynamesite.com/1", "http://www.mynamesite.com/2"});
  EXPECT_EQ(model.AutoSelect("namesite"), 7);
}

TEST_F(AutoSelectTest, DotlessHostsCountOnlyInLanOrLocalhostMode) {
  Script(0, {"http://www.a.ru/1"});
  Script(8, {"http://intranet/1", "http://intranet/2"});
  Script(12, {"http://intranet/1"});
  // Off line (or modem mode): the dot-less host is empty, its key "." matches every dotted host.
  model.lanOrLocalhostOnline = false;
  EXPECT_EQ(model.AutoSelect("http://intranet/x"), 0);
  model.lanOrLocalhostOnline = true;
  EXPECT_EQ(model.AutoSelect("http://intranet/x"), 0);  // key "." : intranet has no dot
  EXPECT_EQ(model.AutoSelect("intranet"), 8);
  model.lanOrLocalhostOnline = false;
  EXPECT_EQ(model.AutoSelect("intranet"), 1);  // no host matches: the first empty slot
  EXPECT_TRUE(model.autoSelectedByEmptiness);
}

}  // namespace
}  // namespace orv
