// Loading a script for a run, found-link merges and the write-back at the end of a run.

#include <gtest/gtest.h>

#include <functional>

#include "common/local_path.h"
#include "main/scripts/script_model.h"
#include "platform/file_attributes.h"
#include "tests/main/fake_main_window.h"
#include "tests/main/scripts/scripts_test_support.h"

namespace orv {
namespace {

using testing::ScratchFolder;
using testing::ScriptBytes;
using testing::WriteBytes;
using Addresses = std::vector<std::string>;

class WriteBackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    model.collectionFolder = dir.Dir();
    model.currentSlot = 2;
    // Nothing counts as downloaded unless a test says so.
    model.completeDownload = [this](const std::string& a, const std::string&) { return downloaded.count(a) > 0; };
  }
  // The saved script's addresses (without the header).
  Addresses Saved(int slot = 2) {
    Addresses list = ReadScriptFile(ScriptFileName(dir.Dir(), slot));
    EXPECT_FALSE(list.empty());
    EXPECT_EQ(list.empty() ? "" : list[0], "a0" + std::to_string(list.empty() ? 0 : list.size() - 1));
    if (!list.empty()) list.erase(list.begin());
    return list;
  }
  void StartRun(const Addresses& script) {
    WriteBytes(ScriptFileName(dir.Dir(), 2), ScriptBytes("a0" + std::to_string(script.size()), script));
    model.ClearRunLists();
    model.LoadForRun(2);
  }
  void HandOut(std::initializer_list<int> indices) {
    for (int i : indices) model.handedOut.push_back(i);
  }

  ScratchFolder dir;
  testing::FakeMainWindow window;
  ScriptModel model{window.Scripts()};
  std::set<std::string> downloaded;
};

const Addresses kFive = {"http://a.ru/1", "http://a.ru/2", "http://a.ru/3", "http://a.ru/4", "http://a.ru/5"};

TEST_F(WriteBackTest, LoadForRunSkipsShortEntriesAndSmallFiles) {
  StartRun({"http://a.ru/1", "short", "", "http://a.ru/2"});
  EXPECT_EQ(model.run.Texts(), (Addresses{"", "http://a.ru/1", "http://a.ru/2"}));
  EXPECT_TRUE(model.displayed.empty());
  // A file of 10 bytes or less is not read at all.
  WriteBytes(ScriptFileName(dir.Dir(), 4), ScriptBytes("a01", {"http:/"}));
  model.ClearRunLists();
  model.LoadForRun(4);
  EXPECT_EQ(model.run.Count(), 0);
}

TEST_F(WriteBackTest, UnreachedAddressesAreKeptAndHandedOutOnesChecked) {
  StartRun(kFive);
  // Addresses 2 and 4 were handed out, then 2 was reported missing and 4 was downloaded.
  HandOut({2, 4});
  model.notFound.push_back("http://a.ru/2");
  downloaded = {"http://a.ru/1", "http://a.ru/3", "http://a.ru/4", "http://a.ru/5"};
  model.scriptMode = kModeNormal;
  model.WriteBack();
  // 1 lies before the first hand-out, 3 between hand-outs without being handed out: kept even
  // though their files exist. 5 lies beyond the last hand-out: checked, downloaded, dropped.
  EXPECT_EQ(Saved(), (Addresses{"http://a.ru/1", "http://a.ru/3"}));
  EXPECT_EQ(model.run.Count(), 0);
  EXPECT_EQ(model.handedOut.size(), 1u);
  EXPECT_FALSE(model.Busy());
}

// The media-first pass hands addresses out of order: "first" and "last" are the first and last
// hand-outs, not the smallest and largest indices.
TEST_F(WriteBackTest, OutOfOrderHandOutsUseFirstAndLastHandedOut) {
  StartRun(kFive);
  HandOut({4, 2});
  downloaded = {kFive.begin(), kFive.end()};
  model.scriptMode = kModeNormal;
  model.WriteBack();
  // 1, 2 and 3 lie before the first hand-out (4), so they stay, 2 included; 4 was handed out
  // and 5 lies beyond the last hand-out (2): both are checked and dropped.
  EXPECT_EQ(Saved(), (Addresses{"http://a.ru/1", "http://a.ru/2", "http://a.ru/3"}));
}

TEST_F(WriteBackTest, ModesDecideWhetherDownloadedAddressesStay) {
  for (int mode : {kModeNormal, kModeExtendOnly, kModeNoExtend, kModeFrozen}) {
    SCOPED_TRACE(mode);
    StartRun(kFive);
    HandOut({1, 2, 3});
    model.notFound = {"", "http://a.ru/3"};
    downloaded = {"http://a.ru/2"};
    model.scriptMode = mode;
    model.WriteBack();
    const bool removesDownloaded = mode == kModeNormal || mode == kModeNoExtend;
    if (removesDownloaded) {
      EXPECT_EQ(Saved(), (Addresses{"http://a.ru/1", "http://a.ru/4", "http://a.ru/5"}));
    } else {
      EXPECT_EQ(Saved(), (Addresses{"http://a.ru/1", "http://a.ru/2", "http://a.ru/4", "http://a.ru/5"}));
    }
  }
}

TEST_F(WriteBackTest, FewerThanTwoHandedOutKeepsEveryScriptAddress) {
  StartRun(kFive);
  HandOut({1});
  model.notFound.push_back("http://a.ru/1");
  downloaded = {kFive.begin(), kFive.end()};
  model.WriteBack();
  EXPECT_EQ(Saved(), kFive);
}

TEST_F(WriteBackTest, OneNewAddressIsNotMergedTwoAreUnlessPresent) {
  StartRun({"http://a.ru/1", "http://a.ru/2"});
  HandOut({1, 2});
  model.AddNewAddress("http://a.ru/new");
  model.WriteBack();
  EXPECT_EQ(Saved(), (Addresses{"http://a.ru/1", "http://a.ru/2"}));

  StartRun({"http://a.ru/1", "http://a.ru/2"});
  HandOut({1, 2});
  model.AddNewAddress("http://a.ru/2");    // already in the script
  model.AddNewAddress("http://a.ru/new");
  model.AddNewAddress("http://a.ru/new");  // a merged address is seen by the following ones
  model.AddNewAddress("http://A.ru/new");  // differs in case: a different address
  model.AddNewAddress("");                 // hash 0: never merged
  model.WriteBack();
  EXPECT_EQ(Saved(), (Addresses{"http://a.ru/1", "http://a.ru/2", "http://a.ru/new", "http://A.ru/new"}));
}

TEST_F(WriteBackTest, MergedAddressesAreCheckedLikeHandedOutOnes) {
  StartRun({"http://a.ru/1", "http://a.ru/2"});
  HandOut({1, 2});
  model.AddNewAddress("http://a.ru/got");
  model.AddNewAddress("http://a.ru/missing");
  model.AddNewAddress("http://a.ru/later");
  downloaded = {"http://a.ru/got"};
  model.notFound.push_back("http://a.ru/missing");
  model.scriptMode = kModeNormal;
  model.WriteBack();
  EXPECT_EQ(Saved(), (Addresses{"http://a.ru/1", "http://a.ru/2", "http://a.ru/later"}));
}

TEST_F(WriteBackTest, CleaningHappensBeforeTheDuplicateTest) {
  StartRun({"http://a.ru/d/index.html(((((http://a.ru/", "http://a.ru/x.htm)ifra("});
  HandOut({1});
  model.AddNewAddress("http://a.ru/d/");  // equals the cleaned first entry
  model.AddNewAddress("http://a.ru/y/");
  model.WriteBack();
  EXPECT_EQ(Saved(), (Addresses{"http://a.ru/d/", "http://a.ru/x.htm", "http://a.ru/y/"}));
}

// The local-file test uses the collection's own mapping and the download mark: a finished file
// has no attributes, an unfinished one carries the system mark.
TEST_F(WriteBackTest, LocalFileStateComesFromTheCollection) {
  model.completeDownload = IsCompleteDownload;
  // A name beginning with '.' reads as hidden here; finished, it is still finished.
  const Addresses script = {"http://a.ru/done.gif", "http://a.ru/partial.gif", "http://a.ru/dir/",
                            "http://a.ru/none.gif", "http://a.ru/q.php?x=1/2", "http://a.ru/.htaccess",
                            "http://a.ru/.part.gif"};
  for (const std::string& a : {script[0], script[1], script[2], script[4], script[5], script[6]}) {
    std::string path = LocalNameOf(a, dir.Dir()).path;
    if (path.back() == '/') path += "index.html";
    WriteBytes(path, "data");
  }
  ASSERT_TRUE(SetSystemMark(LocalNameOf(script[1], dir.Dir()).path));
  ASSERT_TRUE(SetSystemMark(LocalNameOf(script[6], dir.Dir()).path));
  ASSERT_EQ(GetFileAttributes(LocalNameOf(script[5], dir.Dir()).path), kAttrHidden);
  StartRun(script);
  HandOut({1, 2, 3, 4, 5, 6, 7});
  model.scriptMode = kModeNormal;
  model.WriteBack();
  EXPECT_EQ(Saved(), (Addresses{"http://a.ru/partial.gif", "http://a.ru/none.gif", "http://a.ru/.part.gif"}));
}

TEST_F(WriteBackTest, BusyWhileWritingAndTheSortShowsItsProgress) {
  Addresses script;
  for (int i = 1; i <= 250; ++i) script.push_back("http://a.ru/p" + std::to_string(i));
  StartRun(script);
  for (int i = 1; i <= 250; ++i) model.handedOut.push_back(i);
  bool busyDuring = false;
  model.completeDownload = [&](const std::string&, const std::string&) {
    busyDuring = model.Busy();
    return false;
  };
  model.WriteBack();
  EXPECT_TRUE(busyDuring);
  EXPECT_FALSE(model.Busy());
  EXPECT_EQ(window.StatusPanel(1), orv::Ru(" Сортировка ") + "202/250");
  EXPECT_EQ(Saved().size(), 250u);
}

TEST_F(WriteBackTest, WritesTheSlotTheRunLoaded) {
  WriteBytes(ScriptFileName(dir.Dir(), 16), ScriptBytes("a01", {"http://search.ru/q"}));
  model.ClearRunLists();
  model.LoadForRun(kSearchSlot);
  model.WriteBack();
  EXPECT_EQ(Saved(16), (Addresses{"http://search.ru/q"}));
  EXPECT_FALSE(std::filesystem::exists(ScriptFileName(dir.Dir(), 2)));
}

TEST_F(WriteBackTest, FoundLinksMergeOnlyInCollectingModes) {
  StartRun({"http://a.ru/1"});
  model.scriptMode = kModeNormal;
  EXPECT_EQ(model.MergeFoundLinks({"3", "http://a.ru/1", "http://a.ru/2", "http://a.ru/2"}), 1);
  // A count larger than the batch is bounded by the batch.
  EXPECT_EQ(model.MergeFoundLinks({"9", "http://a.ru/3"}), 1);
  model.scriptMode = kModeNoExtend;
  EXPECT_EQ(model.MergeFoundLinks({"1", "http://a.ru/4"}), 0);
  EXPECT_EQ(model.run.Texts(), (Addresses{"", "http://a.ru/1", "http://a.ru/2", "http://a.ru/3"}));
}

TEST_F(WriteBackTest, DeleteAsksAndRemovesBothFiles) {
  WriteBytes(ScriptFileName(dir.Dir(), 2), ScriptBytes("a01", {"http://a.ru/1"}));
  WriteBytes(CompanionFileName(dir.Dir(), 2), "x");
  model.run.Append("http://a.ru/1");
  window.answerYes = false;
  EXPECT_FALSE(model.DeleteScript());
  EXPECT_TRUE(std::filesystem::exists(ScriptFileName(dir.Dir(), 2)));
  window.answerYes = true;
  EXPECT_TRUE(model.DeleteScript());
  EXPECT_EQ(window.questions, (Addresses{Ru("Удалить этот сценарий?"), Ru("Удалить этот сценарий?")}));
  EXPECT_FALSE(std::filesystem::exists(ScriptFileName(dir.Dir(), 2)));
  EXPECT_FALSE(std::filesystem::exists(CompanionFileName(dir.Dir(), 2)));
  EXPECT_EQ(model.run.Count(), 0);
}

TEST_F(WriteBackTest, RewriteSetsTheHeaderAndReloadsTheDisplay) {
  EXPECT_TRUE(model.RewriteScript(5, {"a09", "http://a.ru/1", "http://a.ru/2"}));
  EXPECT_EQ(model.displayed, (Addresses{"a02", "http://a.ru/1", "http://a.ru/2"}));
  // The display is not read while the collection folder is being changed.
  model.folderChangeInProgress = true;
  model.LoadForDisplay(5);
  EXPECT_TRUE(model.displayed.empty());
}

}  // namespace
}  // namespace orv
