#include "platform/process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "tests/platform/peer_process.h"

namespace orv {
namespace {

using namespace std::chrono_literals;
using test::PeerProcess;

// A program folder of our own: a copy of the helper program, as tests do with the two programs.
class ProgramFolderCopy : public ::testing::Test {
 protected:
  void SetUp() override {
    program_ = folder_.path() + "kuvet";
    std::error_code ec;
    std::filesystem::create_hard_link(PLATFORM_PEER, program_, ec);
    if (ec) std::filesystem::copy_file(PLATFORM_PEER, program_);
  }
  test::TempFolder folder_;
  std::string program_;
};

TEST_F(ProgramFolderCopy, FoldersFollowTheExecutable) {
  PeerProcess peer({"folders"}, program_);
  EXPECT_EQ(peer.ReadLine().value_or("<timeout>"), folder_.path());
  EXPECT_EQ(peer.ReadLine().value_or("<timeout>"), folder_.path() + "temp/");
  EXPECT_EQ(ExchangeFolder(), ProgramFolder() + "temp/");
  EXPECT_EQ(ProgramFolder().back(), '/');
}

TEST_F(ProgramFolderCopy, DetachedStartHasNoArgumentsAndRunsInItsFolder) {
  pid_t pid = 0;
  ASSERT_TRUE(StartDetached(program_, &pid));
  EXPECT_GT(pid, 0);
  std::string note = folder_.path() + "started.txt";
  std::string text;
  test::RunEventsUntil([&] {
    text = test::ReadWholeFile(note);
    return text.find('\n', text.find('\n') + 1) != std::string::npos;
  }, 3s);
  std::string folder = folder_.path();
  folder.pop_back();
  EXPECT_EQ(text, "1\n" + folder + "\n");
  EXPECT_FALSE(StartDetached(folder_.path() + "missing"));
  EXPECT_FALSE(StartDetached(""));
}

TEST_F(ProgramFolderCopy, OneInstancePerProgramAndFolder) {
  PeerProcess first({"instance", "kuvet"}, program_);
  ASSERT_EQ(first.ReadLine().value_or("<timeout>"), "LOCKED");
  EXPECT_TRUE(std::filesystem::exists(folder_.path() + "temp/kuvet.lock"));
  PeerProcess second({"instance", "kuvet"}, program_);
  EXPECT_EQ(second.ReadLine().value_or("<timeout>"), "REFUSED");
  PeerProcess other({"instance", "orv"}, program_);
  EXPECT_EQ(other.ReadLine().value_or("<timeout>"), "LOCKED");
  // The holder ends: the next one gets the lock.
  first.CloseInput();
  EXPECT_EQ(first.Wait(), 0);
  PeerProcess third({"instance", "kuvet"}, program_);
  EXPECT_EQ(third.ReadLine().value_or("<timeout>"), "LOCKED");
}

class InstanceLock : public ::testing::Test {
 protected:
  test::TempFolder folder_;
  std::string path_ = folder_.path() + "orv.lock";
};

TEST_F(InstanceLock, RefusedWhileHeldAndFreedWhenTheHolderDies) {
  PeerProcess holder({"lock", path_});
  ASSERT_EQ(holder.ReadLine().value_or("<timeout>"), "LOCKED");
  auto busy = SingleInstanceLock::AtPath(path_);
  EXPECT_FALSE(busy.Acquired());
  EXPECT_TRUE(busy.HeldByAnother());
  PeerProcess second({"lock", path_});
  EXPECT_EQ(second.ReadLine().value_or("<timeout>"), "REFUSED");
  holder.Kill();
  auto mine = SingleInstanceLock::AtPath(path_);
  EXPECT_TRUE(mine.Acquired());
  EXPECT_FALSE(mine.HeldByAnother());
  // Moving keeps it held; destroying the holder object releases it.
  SingleInstanceLock moved = std::move(mine);
  EXPECT_FALSE(mine.Acquired());
  EXPECT_TRUE(moved.Acquired());
  PeerProcess refused({"lock", path_});
  EXPECT_EQ(refused.ReadLine().value_or("<timeout>"), "REFUSED");
  moved = SingleInstanceLock::AtPath(folder_.path() + "other.lock");
  PeerProcess after({"lock", path_});
  EXPECT_EQ(after.ReadLine().value_or("<timeout>"), "LOCKED");
}

TEST_F(InstanceLock, StartedProgramsDoNotInheritTheLock) {
  std::string childLock = folder_.path() + "child.lock";
  {
    auto mine = SingleInstanceLock::AtPath(path_);
    ASSERT_TRUE(mine.Acquired());
    PeerProcess child({"lock", childLock});  // started while we hold the lock, keeps running
    ASSERT_EQ(child.ReadLine().value_or("<timeout>"), "LOCKED");
    mine = SingleInstanceLock::AtPath(folder_.path() + "unrelated.lock");  // releases ours
    PeerProcess next({"lock", path_});
    EXPECT_EQ(next.ReadLine().value_or("<timeout>"), "LOCKED");
  }
  // A lock file that cannot be created is not another instance: start-up goes on to report
  // the folder instead of ending silently.
  auto unwritable = SingleInstanceLock::AtPath(folder_.path() + "no/such/folder.lock");
  EXPECT_FALSE(unwritable.Acquired());
  EXPECT_FALSE(unwritable.HeldByAnother());
}

TEST(Processes, ZombiesAndGoneProcessesAreNotAlive) {
  EXPECT_TRUE(ProcessAlive(getpid()));
  EXPECT_FALSE(ProcessAlive(0));
  EXPECT_FALSE(ProcessAlive(-1));
  PeerProcess quick({"folders"});
  ASSERT_TRUE(quick.started());
  pid_t pid = quick.pid();
  // Not reaped yet: it becomes a zombie that must already count as ended.
  EXPECT_TRUE(test::RunEventsUntil([&] { return !ProcessAlive(pid); }, 3s));
  siginfo_t info{};
  EXPECT_EQ(waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT | WNOHANG), 0);
  EXPECT_EQ(info.si_pid, pid);  // still there to be reaped, so it was a zombie
  quick.Wait();
  EXPECT_FALSE(ProcessAlive(pid));
}

TEST(Processes, EditorCommandPrefersVisualThenEditor) {
  std::string visual = std::getenv("VISUAL") ? std::getenv("VISUAL") : "";
  std::string editor = std::getenv("EDITOR") ? std::getenv("EDITOR") : "";
  setenv("VISUAL", "vis", 1);
  setenv("EDITOR", "ed", 1);
  EXPECT_EQ(EditorCommand("/a b.txt"), (std::vector<std::string>{"vis", "/a b.txt"}));
  setenv("VISUAL", "", 1);
  EXPECT_EQ(EditorCommand("f"), (std::vector<std::string>{"ed", "f"}));
  unsetenv("VISUAL");
  unsetenv("EDITOR");
  EXPECT_EQ(EditorCommand("f"), (std::vector<std::string>{"xdg-open", "f"}));
  if (!visual.empty()) setenv("VISUAL", visual.c_str(), 1);
  if (!editor.empty()) setenv("EDITOR", editor.c_str(), 1);
}

}  // namespace
}  // namespace orv
