#include "platform/window_link.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <future>
#include <sstream>
#include <vector>

#include "tests/platform/peer_process.h"

namespace orv {
namespace {

using namespace std::chrono_literals;
using test::PeerProcess;
using test::RunEventsUntil;

// A peer publishing the windows "orv" (1), "busy" (2, blocks 2 s on a left press) and
// "closer" (3, quits on close).
struct WindowPeer {
  explicit WindowPeer(const char* option = nullptr)
      : peer(option ? std::vector<std::string>{"windows", option}
                    : std::vector<std::string>{"windows"}) {
    auto line = peer.ReadLine();
    if (line && line->rfind("HANDLES ", 0) == 0) {
      std::istringstream in(line->substr(8));
      in >> plain >> busy >> closer;
    }
  }
  PeerProcess peer;
  WindowHandle plain = 0, busy = 0, closer = 0;
};

TEST(WindowLinkPeer, HandlesCarryOwnerPidAndWindowNumbers) {
  WindowPeer w;
  ASSERT_NE(w.plain, 0);
  EXPECT_EQ(w.plain / 256, w.peer.pid());
  EXPECT_EQ(w.busy / 256, w.peer.pid());
  EXPECT_NE(w.plain % 256, 0);
  EXPECT_NE(w.plain, w.busy);
  auto& link = WindowLink::Instance();
  EXPECT_TRUE(link.Exists(w.plain));
  EXPECT_EQ(link.OwnerPid(w.closer), w.peer.pid());
  EXPECT_EQ(link.ReadText(w.plain), "orv");
  EXPECT_EQ(link.ReadText(w.busy), "busy");
  // A number the peer never published is no window, though the process lives.
  WindowHandle unused = w.peer.pid() * 256 + 200;
  EXPECT_FALSE(link.Exists(unused));
  EXPECT_FALSE(link.PressLeft(unused));
  EXPECT_EQ(link.OwnerPid(unused), 0);
}

TEST(WindowLinkPeer, PressesTextSetsAndClosesArriveInOrder) {
  WindowPeer w;
  ASSERT_NE(w.plain, 0);
  auto& link = WindowLink::Instance();
  EXPECT_TRUE(link.PressLeft(w.plain));
  EXPECT_TRUE(link.PressRight(w.plain));
  EXPECT_TRUE(link.SetText(w.plain, "12 345"));
  EXPECT_TRUE(link.PressRight(w.busy));
  EXPECT_TRUE(link.PressLeft(w.plain));
  EXPECT_TRUE(link.Close(w.plain));
  EXPECT_EQ(link.ReadText(w.plain), "12 345");
  std::vector<std::string> expected = {"L1", "R1", "T1:12 345", "R2", "L1", "C1"};
  for (const auto& e : expected) EXPECT_EQ(w.peer.ReadLine().value_or("<timeout>"), e);
  // Closing window 3 ends the peer's event loop.
  EXPECT_TRUE(link.Close(w.closer));
  EXPECT_EQ(w.peer.ReadLine().value_or("<timeout>"), "C3");
  EXPECT_EQ(w.peer.ReadLine().value_or("<timeout>"), "EXIT");
  EXPECT_EQ(w.peer.Wait(), 0);
}

TEST(WindowLinkPeer, BusyOwnerStillAnswersTextAtOnce) {
  WindowPeer w;
  ASSERT_NE(w.plain, 0);
  auto& link = WindowLink::Instance();
  ASSERT_TRUE(link.PressLeft(w.busy));
  ASSERT_EQ(w.peer.ReadLine().value_or("<timeout>"), "L2");  // the owner is now blocked for 2 s
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(link.ReadText(w.plain), "orv");
  EXPECT_TRUE(link.SetText(w.plain, "while busy"));
  EXPECT_EQ(link.ReadText(w.plain), "while busy");
  EXPECT_TRUE(link.PressLeft(w.plain));
  auto spent = std::chrono::steady_clock::now() - start;
  EXPECT_LT(spent, 500ms);
  // Queued events run once the owner's loop is free again, in order.
  EXPECT_EQ(w.peer.ReadLine().value_or("<timeout>"), "UNBLOCKED");
  EXPECT_EQ(w.peer.ReadLine().value_or("<timeout>"), "T1:while busy");
  EXPECT_EQ(w.peer.ReadLine().value_or("<timeout>"), "L1");
}

TEST(WindowLinkPeer, KilledOwnerHasNoWindows) {
  WindowPeer w;
  ASSERT_NE(w.plain, 0);
  auto& link = WindowLink::Instance();
  ASSERT_TRUE(link.Exists(w.plain));
  w.peer.Kill();
  EXPECT_FALSE(link.Exists(w.plain));
  EXPECT_EQ(link.ReadText(w.plain), "");
  EXPECT_FALSE(link.PressLeft(w.plain));
  EXPECT_FALSE(link.SetText(w.plain, "x"));
  EXPECT_EQ(link.OwnerPid(w.plain), 0);
  EXPECT_FALSE(link.TerminateOwner(w.plain));
}

TEST(WindowLinkPeer, TerminateEndsOwnerWithEndSessionNotice) {
  WindowPeer w;
  ASSERT_NE(w.plain, 0);
  EXPECT_TRUE(WindowLink::Instance().TerminateOwner(w.busy));
  EXPECT_EQ(w.peer.Wait(), -100 - SIGTERM);
  EXPECT_FALSE(WindowLink::Instance().Exists(w.plain));
}

TEST(WindowLinkPeer, TerminateKillsOwnerThatIgnoresNotice) {
  WindowPeer w("ignore-term");
  ASSERT_NE(w.plain, 0);
  auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(WindowLink::Instance().TerminateOwner(w.plain));
  auto spent = std::chrono::steady_clock::now() - start;
  EXPECT_GE(spent, 900ms);  // the notice was given its second
  EXPECT_LT(spent, 2500ms);
  EXPECT_EQ(w.peer.Wait(), -100 - SIGKILL);
}

// An owner that stops serving (stopped, or stuck) lets pending connections pile up; once its
// queue is full a caller must still get its answer ("no window") in about a second, or the
// main program's supervision tick would hang for good.
TEST(WindowLinkPeer, StoppedOwnerWithAFullQueueAnswersInTime) {
  WindowPeer w;
  ASSERT_NE(w.plain, 0);
  ASSERT_EQ(kill(w.peer.pid(), SIGSTOP), 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::string name = "orvanta-window-link-" + std::to_string(w.peer.pid());
  std::memcpy(addr.sun_path + 1, name.data(), name.size());
  auto len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
  std::vector<int> pending;
  bool full = false;
  for (int i = 0; i < 1000 && !full; ++i) {
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd, 0);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), len) == 0) {
      pending.push_back(fd);
    } else {
      full = errno == EAGAIN;
      close(fd);
      ASSERT_TRUE(full) << std::strerror(errno);
    }
  }
  ASSERT_TRUE(full);
  auto start = std::chrono::steady_clock::now();
  auto& link = WindowLink::Instance();
  auto exists = std::async(std::launch::async, [&] { return link.Exists(w.plain); });
  bool answered = exists.wait_for(3s) == std::future_status::ready;
  auto spent = std::chrono::steady_clock::now() - start;
  // Let a hung call finish: the closed connections are dropped quickly once the owner runs.
  for (int fd : pending) close(fd);
  kill(w.peer.pid(), SIGCONT);
  bool found = exists.get();
  EXPECT_TRUE(answered);
  if (answered) {
    EXPECT_FALSE(found);
    EXPECT_LT(spent, 2s);
  }
  // Running again, the owner is served as before.
  EXPECT_TRUE(RunEventsUntil([&] { return link.ReadText(w.plain) == "orv"; }, 3s));
}

// An owner out of file descriptors can accept no connection; pending callers must neither be
// left unanswered nor make its link thread spin.
TEST(WindowLinkPeer, OwnerOutOfFileDescriptorsStillAnswers) {
  WindowPeer w("no-files");
  ASSERT_NE(w.plain, 0);
  auto& link = WindowLink::Instance();
  EXPECT_EQ(link.ReadText(w.plain), "orv");
  EXPECT_TRUE(link.PressLeft(w.plain));
  EXPECT_EQ(w.peer.ReadLine().value_or("<timeout>"), "L1");
  EXPECT_EQ(link.ReadText(w.busy), "busy");
}

// The other direction: a window of this process operated by the peer, as the console sets
// the caption of the main program's counter button.
TEST(WindowLinkPeer, PeerSetsTextOfOurWindowAndPressesIt) {
  auto& link = WindowLink::Instance();
  std::vector<std::string> events;
  WindowHandlers h;
  h.textSet = [&](const std::string& t) { events.push_back("T:" + t); };
  h.leftPress = [&] { events.push_back("L"); };
  WindowHandle own = link.Publish("", h);
  ASSERT_NE(own, 0);
  EXPECT_EQ(own / 256, getpid());

  PeerProcess set({"settext", std::to_string(own), "4096"});
  EXPECT_EQ(set.Wait(), 0);
  EXPECT_EQ(link.OwnText(own), "4096");  // the table changes before the event runs
  PeerProcess press({"press", std::to_string(own)});
  EXPECT_EQ(press.Wait(), 0);
  EXPECT_TRUE(RunEventsUntil([&] { return events.size() >= 2; }, 2s));
  EXPECT_EQ(events, (std::vector<std::string>{"T:4096", "L"}));

  link.SetOwnText(own, "orv");
  PeerProcess read({"readtext", std::to_string(own)});
  EXPECT_EQ(read.ReadLine().value_or("<timeout>"), "orv");
  link.Unpublish(own);
  PeerProcess again({"settext", std::to_string(own), "1"});
  EXPECT_EQ(again.Wait(), 1);
}

TEST(WindowLinkPeer, OtherUsersAreNotServed) {
  if (geteuid() != 0) GTEST_SKIP() << "needs the superuser to run a peer as another user";
  auto& link = WindowLink::Instance();
  int presses = 0;
  WindowHandlers h;
  h.leftPress = [&] { ++presses; };
  WindowHandle own = link.Publish("secret", h);
  ASSERT_NE(own, 0);
  PeerProcess stranger({"readtext-as", "65534", std::to_string(own)});
  EXPECT_EQ(stranger.ReadLine().value_or("<timeout>"), "");
  EXPECT_EQ(stranger.ReadLine().value_or("<timeout>"), "NONE");
  EXPECT_EQ(stranger.ReadLine().value_or("<timeout>"), "REFUSED");
  EXPECT_EQ(stranger.Wait(), 0);
  // Nor is one that skips the client's check and writes the request itself.
  PeerProcess raw({"raw-as", "65534", std::to_string(own)});
  EXPECT_EQ(raw.ReadLine().value_or("<timeout>"), "NOREPLY");
  PeerProcess rawRoot({"raw-as", "0", std::to_string(own)});  // control: this user is answered
  EXPECT_EQ(rawRoot.ReadLine().value_or("<timeout>"), "REPLY secret");
  test::RunEventsFor(50ms);
  EXPECT_EQ(presses, 0);
  // The same request from this user is served (the refusal above is about the user).
  PeerProcess friendly({"readtext", std::to_string(own)});
  EXPECT_EQ(friendly.ReadLine().value_or("<timeout>"), "secret");
  link.Unpublish(own);
}

TEST(WindowLinkLocal, NumbersRunOutAtTwoHundredFiftyFiveAndAreReused) {
  auto& link = WindowLink::Instance();
  std::vector<WindowHandle> handles;
  for (int i = 0; i < 255; ++i) {
    WindowHandle h = link.Publish("w", {});
    if (h == 0) break;
    handles.push_back(h);
  }
  // Windows of other tests may still hold a few numbers.
  ASSERT_GE(handles.size(), 250u);
  for (WindowHandle h : handles) {
    EXPECT_EQ(h / 256, getpid());
    EXPECT_GE(h % 256, 1);
  }
  EXPECT_EQ(link.Publish("one too many", {}), 0);
  WindowHandle freed = handles[10];
  link.Unpublish(freed);
  EXPECT_FALSE(link.Exists(freed));
  EXPECT_EQ(link.Publish("again", {}), freed);
  EXPECT_EQ(link.ReadText(freed), "again");
  for (WindowHandle h : handles) link.Unpublish(h);
}

TEST(WindowLinkLocal, InvalidHandlesAreNoWindows) {
  auto& link = WindowLink::Instance();
  WindowHandle h = link.Publish("x", {});
  ASSERT_NE(h, 0);
  for (WindowHandle bad : {0, -1, -h, h - h % 256, static_cast<WindowHandle>(getpid()) * 256}) {
    EXPECT_FALSE(link.Exists(bad)) << bad;
    EXPECT_EQ(link.ReadText(bad), "") << bad;
    EXPECT_FALSE(link.PressLeft(bad)) << bad;
  }
  link.Unpublish(h);
}

TEST(WindowLinkLocal, ReadsAreCutAt255Characters) {
  auto& link = WindowLink::Instance();
  std::string caption(300, 'z');
  caption[0] = static_cast<char>(0xC0);  // Windows-1251 bytes pass unchanged
  WindowHandle h = link.Publish(caption, {});
  ASSERT_NE(h, 0);
  EXPECT_EQ(link.ReadText(h), caption.substr(0, 255));
  EXPECT_EQ(link.OwnText(h), caption);
  link.Unpublish(h);
}

TEST(WindowLinkLocal, EventsForAWindowGoneBeforeDeliveryAreDropped) {
  auto& link = WindowLink::Instance();
  int oldPresses = 0, newPresses = 0;
  WindowHandlers oldH;
  oldH.leftPress = [&] { ++oldPresses; };
  WindowHandle h = link.Publish("old", oldH);
  ASSERT_NE(h, 0);
  EXPECT_TRUE(link.PressLeft(h));
  link.Unpublish(h);
  // The same number given to a new window must not receive the old window's press.
  WindowHandlers newH;
  newH.leftPress = [&] { ++newPresses; };
  WindowHandle again = link.Publish("new", newH);
  ASSERT_EQ(again, h);
  test::RunEventsFor(100ms);
  EXPECT_EQ(oldPresses, 0);
  EXPECT_EQ(newPresses, 0);
  EXPECT_TRUE(link.PressLeft(again));
  EXPECT_TRUE(RunEventsUntil([&] { return newPresses == 1; }, 1s));
  link.Unpublish(again);
}

}  // namespace
}  // namespace orv
