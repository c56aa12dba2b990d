// Script file format, address cleaning, the address hash and the site kernel.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <set>

#include "main/scripts/script_model.h"
#include "tests/main/fake_main_window.h"
#include "tests/main/scripts/scripts_test_support.h"

namespace orv {
namespace {

using testing::Counted;
using testing::ReadBytes;
using testing::ScratchFolder;
using testing::ScriptBytes;
using testing::WriteBytes;

TEST(ScriptFile, HeaderDecidesHowManyEntriesAreRead) {
  ScratchFolder dir;
  const std::string f = dir.Dir() + "orvef0";

  WriteBytes(f, ScriptBytes("a00", {}));
  EXPECT_EQ(ReadScriptFile(f), (std::vector<std::string>{"a00"}));

  // Header promises three, the file holds two: the third reads as empty.
  WriteBytes(f, ScriptBytes("a03", {"http://a.ru/1", "http://a.ru/2"}));
  EXPECT_EQ(ReadScriptFile(f), (std::vector<std::string>{"a03", "http://a.ru/1", "http://a.ru/2", ""}));

  // A stale tail after the N+1 strings (an in-place rewrite that did not truncate) is ignored.
  WriteBytes(f, ScriptBytes("a01", {"http://a.ru/1", "http://stale.ru/"}));
  EXPECT_EQ(ReadScriptFile(f), (std::vector<std::string>{"a01", "http://a.ru/1"}));

  // Non-digits end the number; a non-numeric tail gives 0.
  WriteBytes(f, ScriptBytes("a02x9", {"http://a.ru/1", "http://a.ru/2", "http://a.ru/3"}));
  EXPECT_EQ(ReadScriptFile(f).size(), 3u);
  WriteBytes(f, ScriptBytes("a0zz", {"http://a.ru/1"}));
  EXPECT_EQ(ReadScriptFile(f), (std::vector<std::string>{"a0zz"}));

  // An entry cut off by the end of the file reads as empty.
  WriteBytes(f, ScriptBytes("a02", {"http://a.ru/1"}) + Counted("http://a.ru/2").substr(0, 6));
  EXPECT_EQ(ReadScriptFile(f), (std::vector<std::string>{"a02", "http://a.ru/1", ""}));

  EXPECT_TRUE(ReadScriptFile(dir.Dir() + "orvef9").empty());
}

TEST(ScriptFile, UnreadableScriptIsKeptAsideAndTheUserToldOnce) {
  ScratchFolder dir;
  testing::FakeMainWindow window;
  ScriptModel model(window.Scripts());
  model.collectionFolder = dir.Dir();
  const std::string f = dir.Dir() + "orvef0";
  // The header counts three entries, the file holds two: a damaged file.
  const std::string damaged = ScriptBytes("a03", {"http://a.ru/1.html", "http://a.ru/2.html"});
  WriteBytes(f, damaged);
  WriteBytes(f + ".unreadable", "an earlier one");
  model.LoadForRun(0);
  EXPECT_EQ(model.run.Count(), 0);
  EXPECT_EQ(ReadBytes(f + ".unreadable2"), damaged);
  EXPECT_EQ(ReadBytes(f + ".unreadable"), "an earlier one");
  ASSERT_EQ(window.messages.size(), 1u);
  EXPECT_NE(window.messages[0].text.find(f + ".unreadable2"), std::string::npos);
  // The next save writes a fresh file; the damaged one stays aside, and nothing more is said.
  ASSERT_TRUE(WriteScriptFile(f, {"", "http://a.ru/3.html"}));
  model.LoadForRun(0);
  EXPECT_EQ(model.run.Count(), 1);
  EXPECT_EQ(window.messages.size(), 1u);
  EXPECT_EQ(ReadBytes(f + ".unreadable2"), damaged);
}

TEST(ScriptFile, CorruptHeaderCountDoesNotAllocateWithoutBound) {
  ScratchFolder dir;
  const std::string f = dir.Dir() + "orvef0";
  WriteBytes(f, ScriptBytes("a04000000000", {"http://a.ru/1"}));
  const auto list = ReadScriptFile(f);
  ASSERT_GE(list.size(), 2u);
  EXPECT_LT(list.size(), 100u);
  EXPECT_EQ(list[1], "http://a.ru/1");
}

TEST(ScriptFile, WriteProducesHeaderAndCountedStrings) {
  ScratchFolder dir;
  const std::string f = ScriptFileName(dir.Dir(), 3);
  EXPECT_EQ(f, dir.Dir() + "orvef3");
  ASSERT_TRUE(WriteScriptFile(f, {"ignored", "http://a.ru/", "http://b.ru/x"}));
  EXPECT_EQ(ReadBytes(f), std::string("\x03\x00" "a02", 5) + std::string("\x0c\x00", 2) + "http://a.ru/" +
                              std::string("\x0d\x00", 2) + "http://b.ru/x");
  // An empty script is the header alone: 5 bytes.
  ASSERT_TRUE(WriteScriptFile(f, {""}));
  EXPECT_EQ(ReadBytes(f), std::string("\x03\x00" "a00", 5));
}

TEST(ScriptFile, AddressTooLongForACountedStringIsLeftOut) {
  ScratchFolder dir;
  const std::string f = dir.Dir() + "orvef0";
  const std::string huge = "http://a.ru/" + std::string(65535, 'x');
  const std::string limit = "http://b.ru/" + std::string(65535 - 12, 'y');  // exactly 65535 bytes
  ASSERT_TRUE(WriteScriptFile(f, {"", "http://a.ru/1", huge, limit, "http://a.ru/2"}));
  EXPECT_EQ(ReadScriptFile(f), (std::vector<std::string>{"a03", "http://a.ru/1", limit, "http://a.ru/2"}));
}

// A write that fails part-way (here: the file-size limit, as a full disk would) leaves the old
// script byte for byte.
TEST(ScriptFile, FailedWriteLeavesTheOldFileIntact) {
  ScratchFolder dir;
  const std::string f = dir.Dir() + "orvef0";
  WriteBytes(f, ScriptBytes("a01", {"http://old.ru/"}));
  const std::string before = ReadBytes(f);

  std::vector<std::string> big{""};
  for (int i = 0; i < 2000; ++i) big.push_back("http://new.ru/page" + std::to_string(i));

  struct rlimit old {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool ok = WriteScriptFile(f, big);
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, oldHandler);

  EXPECT_FALSE(ok);
  EXPECT_EQ(ReadBytes(f), before);
  // No temporary file is left beside it.
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir.Dir())) (void)e, ++files;
  EXPECT_EQ(files, 1);
}

TEST(CleanRunAddress, MarkersAndIndexEndings) {
  EXPECT_EQ(CleanRunAddress("http://a.ru/dir/index.html(((((http://a.ru/"), "http://a.ru/dir/");
  EXPECT_EQ(CleanRunAddress("http://a.ru/dir/index.htm"), "http://a.ru/dir");
  EXPECT_EQ(CleanRunAddress("http://a.ru/dir/index.html"), "http://a.ru/dir/");
  EXPECT_EQ(CleanRunAddress("http://a.ru/f.htm)ifra("), "http://a.ru/f.htm");
  EXPECT_EQ(CleanRunAddress("http://a.ru/f.gif..)(.."), "http://a.ru/f.gif");
  EXPECT_EQ(CleanRunAddress("http://a.ru/f.gif(((((ref)ifra("), "http://a.ru/f.gif");
  // "index.html" not at the end stays; a parenthesis without the marker stays.
  EXPECT_EQ(CleanRunAddress("http://a.ru/index.html/x.gif"), "http://a.ru/index.html/x.gif");
  EXPECT_EQ(CleanRunAddress("http://a.ru/f(1).gif"), "http://a.ru/f(1).gif");
  // 10 characters or fewer are left alone.
  EXPECT_EQ(CleanRunAddress("http://a(("), "http://a((");
}

TEST(AddressHash, ZeroOnlyForEmptyAndSensitiveToEveryCharacter) {
  EXPECT_EQ(AddressHash(""), 0);
  std::set<std::int32_t> seen;
  for (int i = 0; i < 256; ++i) {
    const std::string s(1, static_cast<char>(i));
    const std::int32_t h = AddressHash(s);
    EXPECT_NE(h, 0);
    seen.insert(h);
  }
  EXPECT_EQ(seen.size(), 256u);  // every single byte hashes differently
  EXPECT_EQ(AddressHash("http://a.ru/"), AddressHash(std::string("http://a.ru/")));
  EXPECT_NE(AddressHash("http://a.ru/"), AddressHash("http://A.ru/"));
  EXPECT_NE(AddressHash("ab"), AddressHash("ba"));
}

TEST(SiteKernel, DotsDecideTheKernel) {
  EXPECT_EQ(SiteKernel("www.name.ru"), ".name.");
  EXPECT_EQ(SiteKernel("name.ru"), ".name.");
  EXPECT_EQ(SiteKernel("a.b.c.d"), ".b.");
  EXPECT_EQ(SiteKernel("localhost"), ".");
}

TEST(HashedAddressList, DuplicatesNeedEqualHashAndIdenticalText) {
  HashedAddressList list;
  EXPECT_TRUE(list.AppendIfNew("http://a.ru/1"));
  EXPECT_FALSE(list.AppendIfNew("http://a.ru/1"));
  EXPECT_TRUE(list.AppendIfNew("http://A.ru/1"));  // exact, case-sensitive comparison
  // Same hash, different text: still appended (the hash only pre-filters).
  EXPECT_TRUE(list.AppendIfNew("http://b.ru/", AddressHash("http://a.ru/1")));
  EXPECT_FALSE(list.AppendIfNew("http://zero.ru/", 0));
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list.At(3), "http://b.ru/");
  EXPECT_TRUE(list.Contains("http://A.ru/1"));
  EXPECT_FALSE(list.Contains("http://c.ru/"));
}

TEST(HashedAddressList, AnAddressUnderTheOtherSchemeIsTheSameEntry) {
  HashedAddressList list;
  EXPECT_TRUE(list.AppendIfNew("http://a.ru/x.gif"));
  EXPECT_FALSE(list.AppendIfNew("https://a.ru/x.gif"));
  EXPECT_FALSE(list.AppendIfNew("HTTPS://a.ru/x.gif"));
  EXPECT_TRUE(list.AppendIfNew("https://a.ru/y.gif"));
  EXPECT_FALSE(list.AppendIfNew("http://a.ru/y.gif"));
  EXPECT_TRUE(list.AppendIfNew("https://a.ru/X.gif"));  // the rest stays case-sensitive
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list.At(2), "https://a.ru/y.gif");  // the first one keeps its scheme
  EXPECT_TRUE(list.Contains("https://a.ru/x.gif"));
  EXPECT_FALSE(list.Contains("ftp://a.ru/x.gif"));
}

// An address met in the collection joins the current script: the file when the script is not
// running, the run list when it is, never twice, and never the web-search job.
TEST(AddToCurrentScript, FileOrRunListOnceUnderEitherScheme) {
  ScratchFolder dir;
  testing::FakeMainWindow window;
  ScriptModel model(window.Scripts());
  model.collectionFolder = dir.Dir();
  model.currentSlot = 2;
  using Taken = ScriptModel::Taken;

  // No file yet: one is written with the address.
  EXPECT_EQ(model.AddToCurrentScript("http://a.ru/x.html", false), Taken::Added);
  EXPECT_EQ(ReadScriptFile(model.FileOf(2)), (std::vector<std::string>{"a01", "http://a.ru/x.html"}));
  EXPECT_EQ(model.displayed, ReadScriptFile(model.FileOf(2)));
  // Appended after what the file holds; the https form of a held address is the same entry.
  EXPECT_EQ(model.AddToCurrentScript("https://b.ru/", false), Taken::Added);
  EXPECT_EQ(model.AddToCurrentScript("https://a.ru/x.html", false), Taken::AlreadyThere);
  EXPECT_EQ(model.AddToCurrentScript("http://b.ru/", false), Taken::AlreadyThere);
  EXPECT_EQ(ReadScriptFile(model.FileOf(2)),
            (std::vector<std::string>{"a02", "http://a.ru/x.html", "https://b.ru/"}));
  EXPECT_EQ(model.AddToCurrentScript("c:/not/an/address", false), Taken::NotAnAddress);

  // The current script runs: the run list takes it (the write-back keeps it), the file stays.
  model.LoadForRun(2);
  ASSERT_EQ(model.run.Count(), 2);
  EXPECT_EQ(model.AddToCurrentScript("http://c.ru/new.html", true), Taken::AddedToRun);
  EXPECT_EQ(model.AddToCurrentScript("http://a.ru/x.html", true), Taken::AlreadyThere);
  EXPECT_EQ(model.run.Count(), 3);
  EXPECT_EQ(model.run.At(3), "http://c.ru/new.html");
  EXPECT_EQ(ReadScriptFile(model.FileOf(2)).size(), 3u);
  // Another script runs: the current one's file takes it.
  model.currentSlot = 5;
  EXPECT_EQ(model.AddToCurrentScript("http://d.ru/", true), Taken::Added);
  EXPECT_EQ(ReadScriptFile(model.FileOf(5)), (std::vector<std::string>{"a01", "http://d.ru/"}));
  EXPECT_EQ(model.run.Count(), 3);

  // The web-search job and a program without a collection folder take nothing.
  model.currentSlot = kSearchSlot;
  EXPECT_EQ(model.AddToCurrentScript("http://e.ru/", false), Taken::NoScript);
  model.currentSlot = 1;
  model.collectionFolder.clear();
  EXPECT_EQ(model.AddToCurrentScript("http://e.ru/", false), Taken::NoScript);
  EXPECT_TRUE(window.messages.empty());
}

// A damaged script file is set aside (the user told) before the address is written into a
// fresh one, so nothing of it is lost by the add.
TEST(AddToCurrentScript, DamagedFileIsSetAsideFirst) {
  ScratchFolder dir;
  testing::FakeMainWindow window;
  ScriptModel model(window.Scripts());
  model.collectionFolder = dir.Dir();
  const std::string f = model.FileOf(0);
  const std::string damaged = ScriptBytes("a03", {"http://a.ru/1.html"});
  WriteBytes(f, damaged);
  EXPECT_EQ(model.AddToCurrentScript("http://a.ru/2.html", false), ScriptModel::Taken::Added);
  EXPECT_EQ(ReadBytes(f + ".unreadable"), damaged);
  EXPECT_EQ(ReadScriptFile(f), (std::vector<std::string>{"a01", "http://a.ru/2.html"}));
  EXPECT_EQ(window.messages.size(), 1u);
}

}  // namespace
}  // namespace orv
