#include "platform/file_attributes.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "tests/platform/peer_process.h"

namespace orv {
namespace {

using namespace std::chrono_literals;
using test::PeerProcess;
using test::WriteWholeFile;

class FileAttributes : public ::testing::Test {
 protected:
  std::string Make(const std::string& name, const std::string& body = "abc") {
    std::string path = folder_.path() + name;
    WriteWholeFile(path, body);
    return path;
  }
  test::TempFolder folder_;
};

TEST_F(FileAttributes, MissingFilesReportMinusOneAndRefuseChanges) {
  std::string path = folder_.path() + "absent";
  EXPECT_EQ(GetFileAttributes(path), -1);
  EXPECT_EQ(FileLength(path), -1);
  EXPECT_FALSE(GetFileTimes(path).has_value());
  EXPECT_FALSE(SetSystemMark(path));
  EXPECT_FALSE(SetNormalAttributes(path));
  EXPECT_FALSE(SetModifiedTime(path, std::chrono::system_clock::now()));
  EXPECT_EQ(GetFileAttributes(""), -1);
}

TEST_F(FileAttributes, BitsComeFromModeNameAndKind) {
  std::string plain = Make("page.html");
  EXPECT_EQ(GetFileAttributes(plain), 0);
  EXPECT_EQ(GetFileAttributes(Make(".hidden")), kAttrHidden);
  std::string dir = folder_.path() + "site";
  std::filesystem::create_directory(dir);
  EXPECT_EQ(GetFileAttributes(dir), kAttrDirectory);
  EXPECT_EQ(GetFileAttributes(dir + "/"), kAttrDirectory);
  std::filesystem::create_directory(folder_.path() + ".cache");
  EXPECT_EQ(GetFileAttributes(folder_.path() + ".cache/"), kAttrDirectory | kAttrHidden);
  EXPECT_EQ(GetFileAttributes(folder_.path() + "site/.."), kAttrDirectory);
  chmod(plain.c_str(), 0444);
  EXPECT_EQ(GetFileAttributes(plain), kAttrReadOnly);
}

TEST_F(FileAttributes, SystemMarkSurvivesAppendingAndNormalClearsEverything) {
  std::string path = Make("part.zip", "first bytes");
  ASSERT_TRUE(SetSystemMark(path));
  EXPECT_EQ(GetFileAttributes(path), kAttrSystem);
  WriteWholeFile(path, " and more bytes", /*append=*/true);
  EXPECT_EQ(GetFileAttributes(path), kAttrSystem);
  EXPECT_EQ(FileLength(path), 26);
  ASSERT_TRUE(SetFileAttributes(path, kAttrSystem | kAttrReadOnly));
  EXPECT_EQ(GetFileAttributes(path), kAttrSystem | kAttrReadOnly);
  ASSERT_TRUE(SetNormalAttributes(path));
  EXPECT_EQ(GetFileAttributes(path), 0);
  ASSERT_TRUE(SetFileAttributes(path, kAttrReadOnly | kAttrArchive | kAttrHidden));
  EXPECT_EQ(GetFileAttributes(path), kAttrReadOnly);  // only the settable bits apply
  ASSERT_TRUE(SetFileAttributes(path, 0));
  EXPECT_EQ(GetFileAttributes(path), 0);
}

// Permissions bind ordinary users only: as the superuser the check runs in a peer that is not.
TEST_F(FileAttributes, ReadOnlyFilesCanBeMarkedAndClearedByTheirOwner) {
  std::string dir = folder_.path() + "owned";
  std::filesystem::create_directory(dir);
  std::string path = dir + "/readonly.part";
  WriteWholeFile(path, "x");
  bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(chown(folder_.path().c_str(), 65534, 65534), 0);
    ASSERT_EQ(chown(dir.c_str(), 65534, 65534), 0);
    ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
  }
  chmod(path.c_str(), 0444);
  auto run = [&](const char* mode) {
    if (!root) return std::string(mode) == "mark" ? SetSystemMark(path) : SetNormalAttributes(path);
    PeerProcess peer({"as", "65534", mode, path});
    return peer.Wait() == 0;
  };
  EXPECT_TRUE(run("mark"));
  EXPECT_EQ(GetFileAttributes(path), kAttrSystem | kAttrReadOnly);
  EXPECT_TRUE(run("normal"));
  EXPECT_EQ(GetFileAttributes(path), 0);
}

// Where user attributes are refused the mark is the sticky bit; both forms read and clear alike.
TEST_F(FileAttributes, StickyBitFormOfTheMarkIsReadAndCleared) {
  std::string path = Make("old.bin");
  ASSERT_EQ(chmod(path.c_str(), 01644), 0);
  EXPECT_EQ(GetFileAttributes(path), kAttrSystem);
  ASSERT_TRUE(SetNormalAttributes(path));
  EXPECT_EQ(GetFileAttributes(path), 0);
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);
  // A sticky folder (like /tmp) is not an unfinished download.
  std::string dir = folder_.path() + "shared";
  std::filesystem::create_directory(dir);
  chmod(dir.c_str(), 01777);
  EXPECT_EQ(GetFileAttributes(dir), kAttrDirectory);
}

TEST_F(FileAttributes, MarkIsSharedBetweenProcesses) {
  std::string theirs = Make("theirs.part");
  PeerProcess mark({"mark", theirs});
  ASSERT_EQ(mark.Wait(), 0);
  EXPECT_EQ(GetFileAttributes(theirs), kAttrSystem);

  std::string ours = Make("ours.part");
  ASSERT_TRUE(SetSystemMark(ours));
  WriteWholeFile(ours, std::string(4096, 'x'), /*append=*/true);
  PeerProcess read({"attrs", ours});
  EXPECT_EQ(read.ReadLine().value_or("<timeout>"), "4");
  ASSERT_TRUE(SetNormalAttributes(ours));
  PeerProcess again({"attrs", ours});
  EXPECT_EQ(again.ReadLine().value_or("<timeout>"), "0");
}

TEST_F(FileAttributes, TimesAndLength) {
  auto before = std::chrono::system_clock::now() - 2s;
  std::string path = Make("dated.html", std::string(1234, 'a'));
  EXPECT_EQ(FileLength(path), 1234);
  auto fresh = GetFileTimes(path);
  ASSERT_TRUE(fresh.has_value());
  EXPECT_GE(fresh->created, before);
  EXPECT_LE(fresh->created, std::chrono::system_clock::now() + 2s);

  // 2001-02-03 04:05:06.5 UTC
  auto when = std::chrono::system_clock::time_point(std::chrono::seconds(981173106)) + 500ms;
  ASSERT_TRUE(SetModifiedTime(path, when));
  auto set = GetFileTimes(path);
  ASSERT_TRUE(set.has_value());
  EXPECT_EQ(set->modified, when);
  EXPECT_EQ(set->accessed, fresh->accessed);  // left alone
  EXPECT_NE(set->created, when);
  // Times before 1970 round the right way.
  auto early = std::chrono::system_clock::time_point(-std::chrono::seconds(10)) + 250ms;
  ASSERT_TRUE(SetModifiedTime(path, early));
  EXPECT_EQ(GetFileTimes(path)->modified, early);
}

}  // namespace
}  // namespace orv

namespace orv {
namespace {

TEST(SiteScheme, RememberedPerFolderAndLeavesTheFolderAttributesAlone) {
  test::TempFolder folder;
  const std::string site = folder.path() + "s.ru";
  std::filesystem::create_directory(site);
  EXPECT_EQ(ReadSiteScheme(site), "");
  EXPECT_TRUE(RememberSiteScheme(site, "https"));
  EXPECT_EQ(ReadSiteScheme(site), "https");
  EXPECT_EQ(GetFileAttributes(site), kAttrDirectory);  // not taken for a partial download
  EXPECT_TRUE(RememberSiteScheme(site, "http"));
  EXPECT_EQ(ReadSiteScheme(site), "http");
  EXPECT_FALSE(RememberSiteScheme(folder.path() + "absent", "https"));
  EXPECT_EQ(ReadSiteScheme(folder.path() + "absent"), "");
}

}  // namespace
}  // namespace orv
