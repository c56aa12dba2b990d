// Script sets: saving, loading, deleting, renaming, sorting, exporting and importing blocks of
// scripts, and that a copy failing half-way never leaves half a block.

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>

#include "common/text.h"
#include "main/scripts/script_model.h"
#include "main/scripts/script_sets.h"
#include "tests/main/scripts/scripts_test_support.h"

namespace orv {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::ScratchFolder;
using testing::ScriptBytes;
using testing::WriteBytes;

class FakePrompts : public ScriptSetPrompts {
 public:
  std::vector<std::string> asked, told;
  std::deque<bool> answers;  // empty: Yes
  bool AskYesNo(const std::string& text) override {
    asked.push_back(text);
    if (answers.empty()) return true;
    const bool a = answers.front();
    answers.pop_front();
    return a;
  }
  void ShowMessage(const std::string& text) override { told.push_back(text); }
};

class ScriptSetsTest : public ::testing::Test {
 protected:
  ScratchFolder dir;
  FakePrompts prompts;
  ScriptSets sets{[this] { return dir.Dir(); }, prompts};

  std::string Slot(int n) const { return dir.Dir() + "orvef" + std::to_string(n); }
  std::string Script(int n) const { return ScriptBytes("a01", {"http://site" + std::to_string(n) + ".ru/"}); }
  void WriteBlock(std::initializer_list<int> slots) {
    for (int n : slots) WriteBytes(Slot(n), Script(n));
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> out;
    for (const auto& r : sets.Rows()) out.push_back(r.name);
    return out;
  }
  std::vector<std::string> FilesIn(const std::string& folder) const {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(folder)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
  }
  // Saves the current block as name, answering No to clearing it.
  bool Save(const std::string& name) {
    sets.nameField = name;
    prompts.answers = {false};
    return sets.SaveBlock();
  }
};

TEST_F(ScriptSetsTest, SavingAskingAndReplacing) {
  // Nothing worth keeping (one header-only script, 5 bytes): no folder, no question.
  WriteBytes(Slot(0), ScriptBytes("a00", {}));
  sets.nameField = "first";
  EXPECT_FALSE(sets.SaveBlock());
  EXPECT_FALSE(fs::exists(sets.SetsFolder()));
  EXPECT_TRUE(prompts.asked.empty());

  WriteBlock({0, 3, 15});
  sets.nameField = "  ";
  EXPECT_FALSE(sets.SaveBlock());
  EXPECT_EQ(prompts.told.back(), Ru("Не определено название"));

  ASSERT_TRUE(Save("  first "));
  EXPECT_EQ(prompts.asked, std::vector<std::string>{Ru("Очистить текущий блок сценариев?")});
  EXPECT_EQ(FilesIn(sets.SetsFolder() + "/first"), (std::vector<std::string>{"orvef0", "orvef15", "orvef3"}));
  ASSERT_EQ(sets.Rows().size(), 1u);
  const ScriptSetRow& row = sets.Rows()[0];
  EXPECT_EQ(row.key, sets.SetsFolder() + "/first");
  EXPECT_EQ(row.count, "3");
  EXPECT_EQ(row.size, std::to_string(Script(0).size() + Script(3).size() + Script(15).size()));
  EXPECT_EQ(row.date.size(), 19u);

  // The same name again: asked once, then the whole old folder is replaced.
  WriteBytes(sets.SetsFolder() + "/first/orvef9", Script(9));
  fs::remove(Slot(15));
  prompts.asked.clear();
  sets.nameField = "first";
  prompts.answers = {false};
  EXPECT_FALSE(sets.SaveBlock());
  EXPECT_EQ(prompts.asked, std::vector<std::string>{Ru("Заменить имеющийся набор?")});
  prompts.asked.clear();
  prompts.answers = {true, true};
  ASSERT_TRUE(sets.SaveBlock());
  EXPECT_EQ(prompts.asked,
            (std::vector<std::string>{Ru("Заменить имеющийся набор?"), Ru("Очистить текущий блок сценариев?")}));
  EXPECT_EQ(FilesIn(sets.SetsFolder() + "/first"), (std::vector<std::string>{"orvef0", "orvef3"}));
  EXPECT_EQ(FilesIn(sets.SetsFolder()), std::vector<std::string>{"first"});
  // Cleared on Yes.
  EXPECT_FALSE(fs::exists(Slot(0)));
  EXPECT_FALSE(fs::exists(Slot(3)));
}

TEST_F(ScriptSetsTest, LoadReplacesTheBlockAndAFailedCopyLeavesItAsItWas) {
  WriteBlock({0, 1, 2, 3});
  WriteBytes(Slot(7), Script(7));
  // A script's cookie jar stays out of every set (sets are exported and handed on) and goes
  // when a loaded set puts another script in its slot.
  WriteBytes(CookieJarFileName(dir.Dir(), 0), "h.ru\tFALSE\t/\tFALSE\t0\tsid\t1\n");
  ASSERT_TRUE(Save("kept"));
  EXPECT_EQ(FilesIn(sets.SetsFolder() + "/kept"),
            (std::vector<std::string>{"orvef0", "orvef1", "orvef2", "orvef3", "orvef7"}));
  fs::remove(sets.SetsFolder() + "/kept/orvef7");
  WriteBytes(Slot(0), ScriptBytes("a01", {"http://changed.ru/"}));
  WriteBytes(Slot(9), Script(9));

  // The copy of the third file fails (a full disk): the block is untouched, nothing is left over.
  int copies = 0;
  sets.copyFile = [&copies](const std::string& from, const std::string& to) {
    return ++copies < 3 && CopyFileReplacing(from, to);
  };
  sets.Fill();
  sets.Select(0);
  const std::vector<std::string> before = FilesIn(dir.Dir());
  prompts.asked.clear();
  EXPECT_FALSE(sets.LoadSelected());
  EXPECT_EQ(prompts.asked.size(), 1u);  // the current block is not empty
  EXPECT_EQ(prompts.told.back(), Ru("Не удается загрузить набор: ") + sets.SetsFolder() + "/kept");
  EXPECT_EQ(FilesIn(dir.Dir()), before);
  EXPECT_EQ(ReadBytes(Slot(0)), ScriptBytes("a01", {"http://changed.ru/"}));
  EXPECT_EQ(ReadBytes(Slot(7)), Script(7));

  // A set lacking orvef7 loads with slot 7 empty; slots the set lacks are emptied.
  sets.copyFile = CopyFileReplacing;
  prompts.answers = {false};
  EXPECT_FALSE(sets.LoadSelected());
  EXPECT_EQ(ReadBytes(Slot(0)), ScriptBytes("a01", {"http://changed.ru/"}));
  ASSERT_TRUE(sets.LoadSelected());
  EXPECT_EQ(ReadBytes(Slot(0)), Script(0));
  EXPECT_EQ(ReadBytes(Slot(3)), Script(3));
  EXPECT_FALSE(fs::exists(Slot(7)));
  EXPECT_FALSE(fs::exists(Slot(9)));
  EXPECT_EQ(FilesIn(dir.Dir()),
            (std::vector<std::string>{"orvef0", "orvef1", "orvef2", "orvef3", "orvscripts"}));
}

TEST_F(ScriptSetsTest, ReplacingFailsHalfWayKeepsTheOldSet) {
  WriteBlock({0, 1, 2, 3});
  ASSERT_TRUE(Save("old"));
  WriteBlock({4, 5});
  int copies = 0;
  sets.copyFile = [&copies](const std::string& from, const std::string& to) {
    return ++copies < 5 && CopyFileReplacing(from, to);
  };
  sets.nameField = "old";
  EXPECT_FALSE(sets.SaveBlock());
  EXPECT_EQ(FilesIn(sets.SetsFolder()), std::vector<std::string>{"old"});
  EXPECT_EQ(FilesIn(sets.SetsFolder() + "/old"), (std::vector<std::string>{"orvef0", "orvef1", "orvef2", "orvef3"}));
}

TEST_F(ScriptSetsTest, DeleteRenameAndSort) {
  for (int n : {1, 2, 3}) {
    WriteBlock({n, n + 10});
    ASSERT_TRUE(Save("set" + std::to_string(n)));
    fs::remove(Slot(n));
    fs::remove(Slot(n + 10));
  }
  // Ten scripts against two: by count the texts compare, "10" before "2".
  WriteBlock({0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
  ASSERT_TRUE(Save("many"));
  sets.Fill();
  EXPECT_EQ(Names(), (std::vector<std::string>{"many", "set1", "set2", "set3"}));
  sets.SortBy(3);
  EXPECT_EQ(sets.Rows()[0].name, "many");
  EXPECT_EQ(sets.Rows()[0].count, "10");
  sets.SortBy(1);

  // Renaming to an empty name or to a taken one changes nothing.
  EXPECT_FALSE(sets.Rename(1, "   "));
  EXPECT_FALSE(sets.Rename(1, "set2"));
  EXPECT_EQ(Names(), (std::vector<std::string>{"many", "set1", "set2", "set3"}));
  EXPECT_EQ(sets.Rows()[1].key, sets.SetsFolder() + "/set1");
  EXPECT_EQ(FilesIn(sets.SetsFolder() + "/set2"), (std::vector<std::string>{"orvef12", "orvef2"}));
  ASSERT_TRUE(sets.Rename(1, " alpha "));
  EXPECT_EQ(sets.Rows()[1].key, sets.SetsFolder() + "/alpha");
  EXPECT_TRUE(fs::exists(sets.SetsFolder() + "/alpha/orvef1"));
  EXPECT_FALSE(fs::exists(sets.SetsFolder() + "/set1"));

  // Delete asks from the menu; afterwards the row before is selected and named in the field.
  sets.Fill();  // alpha, many, set2, set3
  sets.Select(2);
  prompts.answers = {false};
  EXPECT_FALSE(sets.DeleteSelected(true));
  EXPECT_EQ(prompts.asked.back(), Ru("Удалить набор set2?"));
  ASSERT_TRUE(sets.DeleteSelected(true));
  EXPECT_EQ(Names(), (std::vector<std::string>{"alpha", "many", "set3"}));
  EXPECT_EQ(sets.Selected(), 1);
  EXPECT_EQ(sets.nameField, "many");
  for (int i = 0; i < 3; ++i) {
    sets.Select(0);
    ASSERT_TRUE(sets.DeleteSelected(false));
  }
  EXPECT_TRUE(sets.Rows().empty());
  EXPECT_EQ(sets.nameField, "");
}

TEST_F(ScriptSetsTest, ExportStopsAtAMissingFileAndImportNumbersItsSets) {
  WriteBlock({0, 1, 2, 4, 5});
  ASSERT_TRUE(Save("block"));
  WriteBytes(sets.SetsFolder() + "/block/orvef17", Script(17));
  ScratchFolder out;
  sets.Fill();
  sets.Select(0);
  const std::string first = sets.ExportSelected(out.Dir());
  EXPECT_EQ(first, out.Dir() + "exwsc0");
  EXPECT_EQ(prompts.told.back(), Ru("Выбранный блок сценариев скопирован в папку :") + first);
  EXPECT_EQ(FilesIn(first), (std::vector<std::string>{"orvef0", "orvef1", "orvef2"}));
  EXPECT_EQ(sets.ExportSelected(out.Dir()), out.Dir() + "exwsc1");

  // Import takes every script file up to orvef17 and skips the missing ones.
  ScratchFolder src;
  for (int n : {0, 6, 16, 17}) WriteBytes(src.Dir() + "orvef" + std::to_string(n), Script(n));
  ASSERT_TRUE(sets.Import(src.Dir()));
  ASSERT_TRUE(sets.Import(src.Dir()));
  EXPECT_EQ(Names(), (std::vector<std::string>{"block", "scripts_0", "scripts_1"}));
  EXPECT_EQ(FilesIn(sets.SetsFolder() + "/scripts_1"),
            (std::vector<std::string>{"orvef0", "orvef16", "orvef17", "orvef6"}));
  EXPECT_EQ(sets.Rows()[2].count, "2");
  EXPECT_FALSE(sets.Import(src.Dir() + "orvef0"));  // not a folder
  EXPECT_EQ(sets.Rows().size(), 3u);
}

}  // namespace
}  // namespace orv
