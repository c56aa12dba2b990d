#include "platform/settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/text.h"
#include "tests/platform/peer_process.h"

namespace orv {
namespace {

using test::PeerProcess;
using test::ReadWholeFile;
using test::WriteWholeFile;

class SettingsStore : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    if (old != nullptr) saved_ = old;
    hadOld_ = old != nullptr;
    setenv("XDG_CONFIG_HOME", folder_.path().c_str(), 1);
    file_ = folder_.path() + "belmor/orvanta.conf";
  }
  void TearDown() override {
    unsetenv("ORV_SET");
    if (hadOld_)
      setenv("XDG_CONFIG_HOME", saved_.c_str(), 1);
    else
      unsetenv("XDG_CONFIG_HOME");
  }
  void Seed(const std::string& text) {
    std::filesystem::create_directories(folder_.path() + "belmor");
    WriteWholeFile(file_, text);
  }

  test::TempFolder folder_;
  std::string file_;
  std::string saved_;
  bool hadOld_ = false;
};

TEST_F(SettingsStore, MissingStoreGivesDefaultsAndFirstWriteCreatesIt) {
  EXPECT_EQ(SettingsFilePath(), file_);
  EXPECT_EQ(ReadSetting("RQQM", "120"), "120");
  WriteSetting("RQQM", "60");
  EXPECT_EQ(ReadSetting("RQQM", "120"), "60");
  EXPECT_EQ(ReadWholeFile(file_), "[orvanta]\nRQQM=60\n");
  // An empty value is a value, not a missing key.
  WriteSetting("WHWND", "");
  EXPECT_EQ(ReadSetting("WHWND", "0"), "");
}

TEST_F(SettingsStore, ValuesAreWindows1251OutsideAndUtf8InTheFile) {
  std::string russian = Ru("Сценарий № 5");
  WriteSetting("Caption", russian);
  EXPECT_EQ(ReadSetting("Caption", ""), russian);
  EXPECT_NE(ReadWholeFile(file_).find("Caption=Сценарий № 5\n"), std::string::npos);

  // Every byte survives, with the characters an INI line could misread.
  std::string all = "  lead\\ \"q\" ;x #y =z [s]\t\r\n";
  for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
  all += "trail  ";
  WriteSetting("All", all);
  EXPECT_EQ(ReadSetting("All", ""), all);
  std::string withNul("a\0b", 3);
  WriteSetting("Nul", withNul);
  EXPECT_EQ(ReadSetting("Nul", ""), withNul);
  EXPECT_EQ(ReadSetting("Caption", ""), russian);  // neighbours untouched
}

TEST_F(SettingsStore, KeysMatchWithoutRegardToCaseAndKeepTheirSpelling) {
  WriteSetting("UserAgent0", "A");
  EXPECT_EQ(ReadSetting("useragent0", ""), "A");
  WriteSetting("USERAGENT0", "B");
  EXPECT_EQ(ReadSetting("UserAgent0", ""), "B");
  EXPECT_EQ(ReadWholeFile(file_), "[orvanta]\nUserAgent0=B\n");
  WriteSetting("HCA(3)", "True");
  EXPECT_EQ(ReadSetting("hca(3)", "False"), "True");
}

TEST_F(SettingsStore, OtherSectionsCommentsAndHandEditsArePreserved) {
  Seed("; kept comment\n[other]\nPFOLD=elsewhere\n\n[Orvanta]\n  RQQM = 45  \nintens=2\n\n"
       "[third]\nb=2\n");
  EXPECT_EQ(ReadSetting("RQQM", ""), "45");
  EXPECT_EQ(ReadSetting("PFOLD", "none"), "none");  // another section's key
  WriteSetting("PFOLD", "/home/u/orvcollections/");
  WriteSetting("intens", "0");
  EXPECT_EQ(ReadWholeFile(file_),
            "; kept comment\n[other]\nPFOLD=elsewhere\n\n[Orvanta]\n  RQQM = 45  \nintens=0\n"
            "PFOLD=/home/u/orvcollections/\n\n[third]\nb=2\n");
  DeleteSetting("RQQM");
  EXPECT_EQ(ReadSetting("RQQM", "120"), "120");
  EXPECT_EQ(ReadSetting("intens", ""), "0");
}

TEST_F(SettingsStore, DuplicateLinesCollapseOnWriteAndTheFirstCountsOnRead) {
  Seed("[orvanta]\nk=1\nK=2\n");
  EXPECT_EQ(ReadSetting("k", ""), "1");
  WriteSetting("k", "3");
  EXPECT_EQ(ReadWholeFile(file_), "[orvanta]\nk=3\n");
}

TEST_F(SettingsStore, KeysALineCannotCarryAreIgnored) {
  WriteSetting("a=b", "1");
  WriteSetting("", "1");
  WriteSetting("[x]", "1");
  WriteSetting("line\nbreak", "1");
  EXPECT_FALSE(std::filesystem::exists(file_));
  EXPECT_EQ(ReadSetting("a=b", "d"), "d");
}

TEST_F(SettingsStore, BatchWriteStoresEveryValue) {
  WriteSettings({{"WI", "5000"}, {"mehey", "300"}, {"wespl", "True"}});
  EXPECT_EQ(ReadSetting("WI", ""), "5000");
  EXPECT_EQ(ReadSetting("mehey", ""), "300");
  EXPECT_EQ(ReadSetting("wespl", ""), "True");
  // A key named twice in one batch ends as the later value, as two writes in a row would.
  WriteSettings({{"NPRX", "1"}, {"GVLE", "7"}, {"nprx", "2"}, {"Fresh", "a"}, {"FRESH", "b"}});
  EXPECT_EQ(ReadSetting("NPRX", ""), "2");
  EXPECT_EQ(ReadSetting("Fresh", ""), "b");
  EXPECT_EQ(ReadSetting("GVLE", ""), "7");
  WriteSettings({{"NPRX", "3"}, {"NPRX", "4"}});
  EXPECT_EQ(ReadSetting("NPRX", ""), "4");
  EXPECT_EQ(ReadWholeFile(file_),
            "[orvanta]\nWI=5000\nmehey=300\nwespl=True\nNPRX=4\nGVLE=7\nFresh=b\n");
}

// Editors that save UTF-8 with a byte-order mark put it before the section line.
TEST_F(SettingsStore, ByteOrderMarkBeforeTheSectionIsSkipped) {
  Seed("\xEF\xBB\xBF[orvanta]\nRQQM=45\n");
  EXPECT_EQ(ReadSetting("RQQM", "120"), "45");
  WriteSetting("intens", "2");
  EXPECT_EQ(ReadSetting("RQQM", "120"), "45");
  EXPECT_EQ(ReadSetting("intens", "0"), "2");
  EXPECT_EQ(ReadWholeFile(file_), "[orvanta]\nRQQM=45\nintens=2\n");  // one section
}

// A store that cannot be read whole is renamed out of the way, once, instead of reading as the
// defaults and being written over; a whole one, comments, other sections and a byte-order mark
// included, stays where it is.
TEST_F(SettingsStore, AStoreThatCannotBeReadWholeIsSetAsideOnce) {
  Seed("\xEF\xBB\xBF; note\n[other]\nx = 1\n\n[orvanta]\nPFOLD=/kept/\n");
  EXPECT_TRUE(SetAsideUnreadableSettings().file.empty());
  EXPECT_EQ(ReadSetting("PFOLD", ""), "/kept/");

  const std::string random = std::string("[orvanta]\nPFOLD=/kept/\n\x93\xff\x01\x00 n", 29);
  const std::string noEntry = "[orvanta]\nPFOLD=/kept/\na line without its sign\n";
  for (const std::string& damaged : {random, noEntry}) {
    Seed(damaged);
    const DamagedFile found = SetAsideUnreadableSettings();
    EXPECT_EQ(found.file, file_);
    ASSERT_FALSE(found.setAsideAs.empty());
    EXPECT_EQ(ReadWholeFile(found.setAsideAs), damaged);
    EXPECT_FALSE(std::filesystem::exists(file_));
    EXPECT_TRUE(SetAsideUnreadableSettings().file.empty()) << "told once";
  }
  EXPECT_TRUE(std::filesystem::exists(file_ + ".unreadable"));
  EXPECT_TRUE(std::filesystem::exists(file_ + ".unreadable2")) << "an earlier one is not replaced";
}

// Permissions bind ordinary users only: as the superuser the writer is a peer that is not.
TEST_F(SettingsStore, FailedWritesLeaveTheStoreAsItWas) {
  bool root = geteuid() == 0;
  auto write = [&](const char* key, const char* value) {
    if (!root) return WriteSetting(key, value);
    PeerProcess peer({"as", "65534", "write", key, value});
    EXPECT_EQ(peer.Wait(), 0);
  };
  auto read = [&](const char* key) {
    if (!root) return ReadSetting(key, "<none>");
    PeerProcess peer({"as", "65534", "read", key});
    return peer.ReadLine().value_or("<timeout>");
  };
  WriteSetting("GVLE", "1000");
  std::string dir = folder_.path() + "belmor";
  if (root) {
    for (const std::string& p : {folder_.path(), dir, file_, file_ + ".lock"})
      ASSERT_EQ(chown(p.c_str(), 65534, 65534), 0) << p;
  }
  EXPECT_EQ(read("GVLE"), "1000");
  std::string before = ReadWholeFile(file_);
  chmod(dir.c_str(), 0500);  // no temporary file can be created
  write("GVLE", "2000");
  chmod(dir.c_str(), 0700);
  EXPECT_EQ(ReadWholeFile(file_), before);
  chmod(file_.c_str(), 0);  // unreadable: defaults, and a write must not replace it blindly
  EXPECT_EQ(read("GVLE"), "<none>");
  write("Other", "x");
  chmod(file_.c_str(), 0600);
  EXPECT_EQ(ReadWholeFile(file_), before);
}

TEST_F(SettingsStore, AStoreThatIsNoFileReadsAsDefaultsAndIsNotReplaced) {
  std::filesystem::create_directories(file_ + "/inside");  // the store's name taken by a folder
  EXPECT_EQ(ReadSetting("PFOLD", "dflt"), "dflt");
  WriteSetting("PFOLD", "/x/");
  EXPECT_TRUE(std::filesystem::is_directory(file_ + "/inside"));
  for (const auto& e : std::filesystem::directory_iterator(folder_.path() + "belmor")) {
    std::string name = e.path().filename().string();
    EXPECT_TRUE(name == "orvanta.conf" || name == "orvanta.conf.lock") << name;
  }
  // The application folder itself taken by a file: writes are dropped, nothing else changes.
  test::TempFolder other;
  setenv("XDG_CONFIG_HOME", other.path().c_str(), 1);
  WriteWholeFile(other.path() + "belmor", "plain file");
  WriteSetting("PFOLD", "/x/");
  EXPECT_EQ(ReadSetting("PFOLD", "dflt"), "dflt");
  EXPECT_EQ(ReadWholeFile(other.path() + "belmor"), "plain file");
}

TEST_F(SettingsStore, NoTemporaryFilesAreLeftBehind) {
  for (int i = 0; i < 20; ++i) WriteSetting("n", std::to_string(i));
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(folder_.path() + "belmor")) {
    std::string name = e.path().filename().string();
    EXPECT_TRUE(name == "orvanta.conf" || name == "orvanta.conf.lock") << name;
    ++files;
  }
  EXPECT_EQ(files, 2);
}

TEST_F(SettingsStore, OtherProcessSeesEachWriteOnItsNextRead) {
  WriteSetting("UBOL", "1234");
  PeerProcess reader({"read", "UBOL"});
  EXPECT_EQ(reader.ReadLine().value_or("<timeout>"), "1234");
  // Same length, written back to back: a stale cache would miss the second one.
  for (const char* value : {"7", "8", "9"}) {
    PeerProcess writer({"write", "MHWND", value});
    ASSERT_EQ(writer.Wait(), 0);
    EXPECT_EQ(ReadSetting("MHWND", "0"), value);
  }
  PeerProcess russian({"read", "Caption"});
  EXPECT_EQ(russian.ReadLine().value_or("<timeout>"), "<none>");
}

TEST_F(SettingsStore, ConcurrentWritersOfDifferentKeysLoseNothing) {
  constexpr int kCount = 40;
  PeerProcess a({"writemany", "A", std::to_string(kCount)});
  PeerProcess b({"writemany", "B", std::to_string(kCount)});
  for (int i = 0; i < kCount; ++i) WriteSetting("C" + std::to_string(i), std::to_string(i * 7));
  EXPECT_EQ(a.ReadLine(std::chrono::seconds(10)).value_or("<timeout>"), "DONE");
  EXPECT_EQ(b.ReadLine(std::chrono::seconds(10)).value_or("<timeout>"), "DONE");
  for (const char* prefix : {"A", "B", "C"}) {
    for (int i = 0; i < kCount; ++i) {
      EXPECT_EQ(ReadSetting(prefix + std::to_string(i), "lost"), std::to_string(i * 7))
          << prefix << i;
    }
  }
}

}  // namespace
}  // namespace orv

namespace orv {
namespace {

TEST_F(SettingsStore, OneRunValuesAreReadHereAndInChildrenAndNeverStored) {
  WriteSetting("intens", "1");
  WriteSetting("PFOLD", "/stored/");
  ASSERT_TRUE(AddSettingOverride("INTENS=3"));  // the key as the store spells it or not
  ASSERT_TRUE(AddSettingOverride(Ru("PFOLD=/tmp/другая/")));
  EXPECT_FALSE(AddSettingOverride("no equals sign"));
  EXPECT_FALSE(AddSettingOverride("=3"));
  EXPECT_EQ(ReadSetting("intens", "0"), "3");
  EXPECT_EQ(ReadSetting("pfold", ""), Ru("/tmp/другая/"));
  // A program started from here (the console) sees the same values.
  PeerProcess child({"read", "intens"});
  EXPECT_EQ(child.ReadLine().value_or("<timeout>"), "3");
  // Writes of those keys change the one-run value; other keys reach the store as ever.
  WriteSettings({{"intens", "2"}, {"GVLE", "77"}});
  EXPECT_EQ(ReadSetting("intens", "0"), "2");
  unsetenv("ORV_SET");
  EXPECT_EQ(ReadSetting("intens", "0"), "1");
  EXPECT_EQ(ReadSetting("PFOLD", ""), "/stored/");
  EXPECT_EQ(ReadSetting("GVLE", ""), "77");
}

}  // namespace
}  // namespace orv
