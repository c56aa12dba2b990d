// Run control driven on one thread against a simulated console: the test's event loop
// advances a fake clock by one step of the run's timer at a time, plays the console's side of
// the exchange records and fires the timers that are due, so the 30-second timeouts and the
// tick rules run in no time.
#include "main/run/run_controller.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "common/local_path.h"
#include "common/text.h"
#include "platform/file_attributes.h"
#include "platform/remote_access.h"
#include "tests/main/fake_main_window.h"
#include "tests/support/temp_folder.h"

namespace orv {
namespace {

constexpr int32_t kConsoleWindow = 7701;
constexpr int32_t kStopAll = 7702;

class SimPlatform : public RunPlatform {
 public:
  explicit SimPlatform(ExchangeFiles& x) : x_(x) {}

  // --- the simulated console ---
  bool consoleStarts = true;   // writes the start record when launched
  bool launched = false;
  bool alive = false;
  std::vector<std::string> taken;  // addresses taken from the mailbox, in order
  // Found links reported for a taken address (by address).
  std::map<std::string, std::vector<std::string>> links;
  // A redirect reported for the first address: host, folder, target.
  std::string redirectHost, redirectFolder, redirectTarget;
  std::vector<std::vector<std::string>> pendingReports;
  std::function<void()> onStart;
  std::function<void(const std::string&)> onTake;
  std::function<void()> onPump;
  bool takes = true;  // a stuck console leaves the mailbox full

  void Console() {
    if (!alive) return;
    if (!consoleStarts) return;
    if (x_.ReadExt(ConsoleStarted).empty()) x_.WriteExt(ConsoleStarted, "a");
    if (!pendingReports.empty() && x_.ReadExt(ReportReady).empty()) {
      x_.WriteUrlList(pendingReports.front());
      x_.WriteExt(ReportReady, "A");
      pendingReports.erase(pendingReports.begin());
    }
    const std::string next = x_.ReadExt(NextUrl);
    if (next.empty() || !takes) return;
    x_.WriteExt(NextUrl, "");
    taken.push_back(next);
    if (onTake) onTake(next);
    if (taken.size() == 1 && !redirectHost.empty() && !x_.ReadExt(StartPending).empty()) {
      x_.WriteExt(RedirectHost, redirectHost);
      x_.WriteExt(RedirectFolder, redirectFolder);
      x_.WriteExt(RedirectTarget, redirectTarget);
    }
    auto it = links.find(next);
    if (it != links.end()) pendingReports.push_back(LinkListElements(it->second));
    x_.WriteExt(StartPending, "");
  }

  // --- RunPlatform ---
  double seconds = 3600;
  std::chrono::system_clock::time_point calendar = std::chrono::system_clock::now();
  std::map<RunTimer, bool> timers;
  std::vector<int32_t> pressed;
  std::string counterCaption;
  std::map<std::string, std::string> settings;
  std::vector<std::string> sounds;
  int endedWith = -1;
  int prepareToClose = 0;
  long pumps = 0;

  // The main window's timers fire from the pump when their time has come, never re-entered
  // (as the event loop does it).
  RunController* run = nullptr;
  struct Tick {
    double interval;
    double due = 0;
    bool inside = false;
  };
  std::map<RunTimer, Tick> ticks{{RunTimer::Tim1, {0.25}},
                                 {RunTimer::Tim3, {0.35}},
                                 {RunTimer::Tim4, {1.55}},
                                 {RunTimer::Timer3, {0.055}},
                                 {RunTimer::Step, {RunController::kStepMilliseconds / 1000.0}}};

  // One pass of the event loop: the console's side, then every timer that is due.
  void Pump() {
    ++pumps;
    if (onPump) onPump();
    Console();
    if (!run) return;
    for (auto& [timer, tick] : ticks) {
      auto on = timers.find(timer);
      if ((on != timers.end() && !on->second) || tick.inside || seconds < tick.due) continue;
      tick.due = seconds + tick.interval;
      tick.inside = true;
      switch (timer) {
        case RunTimer::Tim1: run->Tim1Tick(); break;
        case RunTimer::Tim3: run->Tim3Tick(); break;
        case RunTimer::Tim4: run->Tim4Tick(); break;
        case RunTimer::Timer3: run->Timer3Tick(); break;
        case RunTimer::Step: run->StepTick(); break;
        default: break;
      }
      tick.inside = false;
    }
  }
  void SleepMs(int ms) {
    seconds += ms / 1000.0;
    calendar += std::chrono::milliseconds(ms);
  }
  double SecondsSinceMidnight() override { return seconds; }
  std::chrono::system_clock::time_point Now() override { return calendar; }
  void EnableTimer(RunTimer t, bool on) override { timers[t] = on; }
  int launches = 0;
  int launchesMeetingAnOldLock = 0;  // these end at once: an old console holds the lock
  bool StartConsole() override {
    launched = true;
    if (++launches <= launchesMeetingAnOldLock) return true;
    alive = true;
    settings["MHWND"] = std::to_string(kConsoleWindow);
    settings["LRES"] = "7703";
    settings["UBOL"] = "7704";
    x_.WriteExt(StopAllButton, std::to_string(kStopAll));
    if (onStart) onStart();
    return true;
  }
  std::string ReadWindowText(int32_t h) override {
    return alive && h == kConsoleWindow ? " Orvanta  Console " : "";
  }
  void PressLeft(int32_t h) override { pressed.push_back(h); }
  void TerminateWindowOwner(int32_t h) override {
    if (h == kConsoleWindow) alive = false;
  }
  int32_t CounterHandle() override { return 4321; }
  std::string CounterCaption() override { return counterCaption; }
  void SetCounterCaption(const std::string& t) override { counterCaption = t; }
  std::string ReadSetting(const std::string& k, const std::string& d) override {
    auto it = settings.find(k);
    return it == settings.end() ? d : it->second;
  }
  void WriteSetting(const std::string& k, const std::string& v) override { settings[k] = v; }
  void PlaySound(const std::string& f) override { sounds.push_back(f); }
  void ClosePopups(bool fullList) override { popupLists.push_back(fullList); }
  bool CollectionBrowserShown() override { return browserShown; }
  std::vector<bool> popupLists;  // one entry per call of the popup closer: the full list or not
  bool browserShown = false;
  void PrepareToClose() override { ++prepareToClose; }
  void EndProgram(int code) override { endedWith = code; }

 private:
  ExchangeFiles& x_;
};

class SimScripts : public RunScripts, public RunAdmission {
 public:
  RunOptions options;
  std::vector<std::string> saved;  // the script's addresses
  std::vector<std::vector<std::string>> merged;
  int writeBacks = 0;
  RunResults lastResults;
  std::vector<std::string> lastRunList;
  std::vector<int32_t> lastHandedOut;
  std::vector<std::string> lastNotFound;
  bool busy = false;
  int autoDialOff = 0;
  std::vector<std::pair<std::string, std::string>> rebased;
  MessageBoxes* view = nullptr;

  bool SelectAndLoad(const std::string&, RunOptions& o) override {
    o = options;
    return true;
  }
  void AppendSavedAddresses(std::vector<std::string>& runList) override {
    runList.insert(runList.end(), saved.begin(), saved.end());
  }
  void MergeFoundLinks(const std::vector<std::string>& batch, std::vector<std::string>& runList) override {
    merged.push_back(batch);
    for (std::size_t i = 1; i < batch.size(); ++i)
      if (std::find(runList.begin(), runList.end(), batch[i]) == runList.end()) runList.push_back(batch[i]);
  }
  bool writeBackFails = false;  // the disk is full
  bool WriteBack(const RunResults& r) override {
    ++writeBacks;
    lastRunList = *r.runList;
    lastHandedOut = *r.handedOut;
    lastNotFound = *r.notFound;
    lastResults.startAddress = r.startAddress;
    return !writeBackFails;
  }
  bool WriteBackBusy() const override { return busy; }
  void SwitchOffAutoDial() override { ++autoDialOff; }
  void ClearRun() override {}

  bool ValidateStartAddress(std::string& box, std::string& pending) override {
    if (box.rfind("http://", 0) != 0) {
      view->ShowMessage(Ru("Введен ошибочный адрес"), MessageIcon::Information);
      return false;
    }
    pending = box;
    return true;
  }
  void ResetScope() override {}
  void ResetCounters() override {}
  void RebuildScope(const std::string&) override {}
  void RebaseOnRedirect(const std::string& site, const std::string& folder) override {
    rebased.emplace_back(site, folder);
  }
  std::vector<std::string> rejected;  // by exclusions or a disabled category
  bool Admit(const std::string& a, int& category) override {
    category = CategoryOf(a);
    return std::find(rejected.begin(), rejected.end(), a) == rejected.end();
  }
  bool InScope(const std::string& a, int) override { return a.find("outside") == std::string::npos; }
  bool TooDeep(const std::string&, int32_t) override { return false; }
  int CategoryOf(const std::string& a) override { return a.size() > 4 && a.substr(a.size() - 4) == ".gif" ? 2 : 1; }
  int IconCategoryOf(const std::string& a) override { return CategoryOf(a); }
  std::string CurrentProxy() override { return ""; }
  void AlternateProxy() override {}
};

class RunControllerTest : public ::testing::Test {
 protected:
  RunControllerTest() {
    std::filesystem::create_directories(tmp_.Dir() + "temp");
    std::filesystem::create_directories(tmp_.Dir() + "coll");
    x_.Open(tmp_.Dir() + "temp/", true);
    connection_.SetModeDirect(ConnectionMode::Localhost);
    scripts_.view = &view_;
    RunPaths paths;
    paths.collectionFolder = tmp_.Dir() + "coll/";
    run_ = std::make_unique<RunController>(view_.Run(), platform_, x_, scripts_, scripts_, connection_, paths);
    platform_.run = run_.get();
  }

  // The start-request poll with a typed address; returns when the run is over.
  void Start(const std::string& address) {
    run_->SetCommandLineAddress(address);
    run_->Tim2Tick();
    Drive();
  }
  // The event loop, while a run goes on: time passes one step of the run's timer at a time.
  void Drive() {
    const double until = platform_.seconds + 3600;
    while (run_->RunActive() && platform_.seconds < until) {
      platform_.SleepMs(RunController::kStepMilliseconds);
      platform_.Pump();
    }
    EXPECT_FALSE(run_->RunActive()) << "the run did not end within an hour";
  }
  bool MessageShown(const std::string& utf8) const {
    for (const auto& m : view_.messages)
      if (m.text == Ru(utf8)) return true;
    return false;
  }

  orvtest::TempFolder tmp_{"orvrun"};
  ExchangeFiles x_;
  SimPlatform platform_{x_};
  SimScripts scripts_;
  FixedConnectionState state_;
  ConnectionControl connection_{state_};
  testing::FakeMainWindow view_;
  std::unique_ptr<RunController> run_;
};

TEST_F(RunControllerTest, RunHandsOutEveryAddressAndWritesBack) {
  scripts_.saved = {"http://site.test/a.html", "http://site.test/outside.html"};
  platform_.links["http://site.test/"] = {"http://site.test/b.html", "http://site.test/a.html"};
  Start("http://site.test/");
  EXPECT_EQ(platform_.taken, (std::vector<std::string>{"http://site.test/", "http://site.test/a.html",
                                                       "http://site.test/b.html"}));
  EXPECT_EQ(scripts_.writeBacks, 1);
  EXPECT_EQ(scripts_.lastHandedOut, (std::vector<int32_t>{1, 2, 4}));
  EXPECT_FALSE(run_->State().running);
  EXPECT_EQ(view_.StatusPanel(1), Ru(" Готово"));
  EXPECT_FALSE(platform_.alive) << "the console is terminated at the end of the run";
  EXPECT_EQ(platform_.settings["MHWND"], "0");
  EXPECT_EQ(x_.ReadExt(StopAllButton), "0");
  EXPECT_EQ(platform_.settings["GVLE"], "0");
  EXPECT_TRUE(run_->RunOver());
  // The counter button's handle went to the console before the launch.
  EXPECT_EQ(x_.ReadExt(CounterWindow), "4321");
}

// The run is a state machine moved on by its own timer: the start request only begins it, and
// each phase lasts as long as the console keeps it there, on the fake clock.
TEST_F(RunControllerTest, RunGoesThroughItsPhasesStepByStep) {
  scripts_.saved = {"http://site.test/a.html"};
  platform_.consoleStarts = false;  // the console comes up two seconds after its launch
  double launchedAt = -1;
  platform_.onStart = [&] { launchedAt = platform_.seconds; };
  platform_.onPump = [&] {
    if (launchedAt >= 0 && platform_.seconds - launchedAt >= 2) platform_.consoleStarts = true;
  };
  const double before = platform_.seconds;
  run_->SetCommandLineAddress("http://site.test/");
  run_->Tim2Tick();
  EXPECT_EQ(platform_.seconds, before) << "the start request waits for nothing";
  EXPECT_EQ(run_->CurrentPhase(), RunController::Phase::StartingConsole);
  EXPECT_TRUE(platform_.timers[RunTimer::Step]);

  std::vector<std::pair<RunController::Phase, double>> seen;
  while (run_->RunActive() && platform_.seconds - before < 600) {
    if (seen.empty() || seen.back().first != run_->CurrentPhase())
      seen.emplace_back(run_->CurrentPhase(), platform_.seconds - before);
    platform_.SleepMs(RunController::kStepMilliseconds);
    platform_.Pump();
  }
  seen.emplace_back(run_->CurrentPhase(), platform_.seconds - before);
  std::vector<RunController::Phase> phases;
  for (const auto& p : seen) phases.push_back(p.first);
  using P = RunController::Phase;
  EXPECT_EQ(phases, (std::vector<P>{P::StartingConsole, P::HandingOut, P::Ending, P::WritingBack, P::Done}));
  ASSERT_EQ(seen.size(), 5u);
  EXPECT_GE(seen[1].second, 2.0) << "handing out begins once the console is there";
  EXPECT_LT(seen[1].second, 2.2);
  EXPECT_EQ(platform_.taken, (std::vector<std::string>{"http://site.test/", "http://site.test/a.html"}));
  EXPECT_FALSE(platform_.timers[RunTimer::Step]) << "no step runs between runs";
  EXPECT_TRUE(platform_.timers[RunTimer::Tim2]) << "the start-request poll is back";
  EXPECT_EQ(scripts_.writeBacks, 1);
}

// Between runs the program rests: no timer runs unless a start request waits or a countdown the
// user sees goes on, and each stops when its work is over.
TEST_F(RunControllerTest, NoTimerRunsWhileNothingIsHappening) {
  const auto running = [this] {
    std::vector<RunTimer> on;
    for (const auto& [timer, enabled] : platform_.timers)
      if (enabled) on.push_back(timer);
    return on;
  };
  // The event loop for `seconds` of the fake clock, the poll included while it is on.
  const auto idle = [this](double seconds) {
    for (const double until = platform_.seconds + seconds; platform_.seconds < until;) {
      platform_.SleepMs(5);
      platform_.Pump();
      if (platform_.timers[RunTimer::Tim2]) run_->Tim2Tick();
    }
  };
  using T = RunTimer;
  run_->SettleTimers();  // the program has loaded
  EXPECT_EQ(running(), std::vector<T>{});

  scripts_.saved = {"http://site.test/a.html"};
  run_->SetCommandLineAddress("http://site.test/");
  EXPECT_EQ(running(), std::vector<T>{T::Tim2}) << "a start request is polled";
  run_->Tim2Tick();
  EXPECT_EQ(running(), (std::vector<T>{T::Tim1, T::Tim3, T::Tim4, T::Timer3, T::Step})) << "a run is on";
  Drive();
  EXPECT_EQ(running(), std::vector<T>{T::Tim2}) << "the poll sees the run's end once";
  run_->Tim2Tick();
  EXPECT_EQ(running(), std::vector<T>{});
  idle(60);
  EXPECT_EQ(running(), std::vector<T>{}) << "nothing wakes up by itself";
  EXPECT_EQ(view_.status.Text(1), Ru(" Готово"));

  // A clicked panel's countdown ticks until the panel is back, then stops.
  run_->ClickStatusPanel(4);
  EXPECT_EQ(running(), std::vector<T>{T::Timer3});
  EXPECT_FALSE(view_.status.PanelEnabled(4));
  idle(10);
  EXPECT_TRUE(view_.status.PanelEnabled(4));
  EXPECT_EQ(running(), std::vector<T>{});
  // So does the busy labels' countdown.
  run_->ArmBusyLabelCountdown();
  EXPECT_EQ(running(), std::vector<T>{T::Timer3});
  idle(10);
  EXPECT_EQ(running(), std::vector<T>{});

  // An address typed into the box: polled, refused (no http address), and the poll stops.
  run_->AddressEnter("site.test");
  EXPECT_EQ(running(), std::vector<T>{T::Tim2});
  idle(5);
  EXPECT_EQ(running(), std::vector<T>{});
  EXPECT_EQ(run_->RunsStarted(), 1);
}

// A start address the console's mailbox cannot hold would never be handed out: nothing starts,
// at once, and the user is told why.
TEST_F(RunControllerTest, StartAddressLongerThanTheMailboxStartsNothing) {
  const std::string tooLong = "http://site.test/" + std::string(ExchangeFiles::kMaxExtValue - 16, 'y');
  ASSERT_EQ(tooLong.size(), static_cast<std::size_t>(ExchangeFiles::kMaxExtValue) + 1);
  run_->SetCommandLineAddress(tooLong);
  run_->Tim2Tick();
  EXPECT_FALSE(run_->RunActive());
  EXPECT_FALSE(platform_.launched);
  EXPECT_TRUE(run_->LastStartTooLong());
  ASSERT_EQ(view_.messages.size(), 1u);
  EXPECT_NE(view_.messages[0].text.find(Ru("Адрес слишком длинный")), std::string::npos);
  // The longest address it holds runs.
  Start(tooLong.substr(0, tooLong.size() - 1));
  EXPECT_FALSE(run_->LastStartTooLong());
  EXPECT_EQ(platform_.taken.size(), 1u);
}

// The write-back fails (the disk is full): the run says so, and the next run of the script
// goes on from the journal with what the failed write-back would have kept.
TEST_F(RunControllerTest, FailedWriteBackIsReportedAndTheNextRunResumesFromTheJournal) {
  platform_.links["http://site.test/"] = {"http://site.test/found.html"};
  scripts_.writeBackFails = true;
  platform_.onTake = [this](const std::string& a) {
    if (a == "http://site.test/found.html") run_->StopRun();
  };
  Start("http://site.test/");
  EXPECT_TRUE(run_->Summary().scriptNotWritten);
  ASSERT_FALSE(view_.messages.empty());
  EXPECT_NE(view_.messages.back().text.find(Ru("Сценарий не удалось записать")), std::string::npos);
  const std::string journal = tmp_.Dir() + "coll/orvef0.journal";
  ASSERT_TRUE(std::filesystem::exists(journal));

  // The next run's script does not hold the found link; the journal does.
  platform_.taken.clear();
  platform_.links.clear();
  platform_.onTake = nullptr;
  scripts_.writeBackFails = false;
  Start("http://site.test/");
  EXPECT_EQ(platform_.taken, (std::vector<std::string>{"http://site.test/", "http://site.test/found.html"}));
  EXPECT_FALSE(run_->Summary().scriptNotWritten);
  EXPECT_FALSE(std::filesystem::exists(journal)) << "a run written back removes its journal";
}

// Everything handed out and a page still in the console: the links it reports are read and
// handed out as soon as they are there, not at the next collection tick.
TEST_F(RunControllerTest, LinksReportedWhileTheListIsExhaustedAreHandedOutAtOnce) {
  platform_.timers[RunTimer::Tim1] = false;  // no collection tick to fall back on
  double startTakenAt = -1, reportedAt = -1, linkTakenAt = -1;
  platform_.onTake = [&](const std::string& a) {
    if (a == "http://site.test/") startTakenAt = platform_.seconds;
    if (a == "http://site.test/b.html") linkTakenAt = platform_.seconds;
  };
  platform_.onPump = [&] {
    // The page's links arrive a while after the take, while the console still counts as busy.
    if (startTakenAt < 0 || reportedAt >= 0 || platform_.seconds - startTakenAt < 0.6) return;
    x_.WriteUrlList(LinkListElements({"http://site.test/b.html"}));
    x_.WriteExt(ReportReady, "A");
    reportedAt = platform_.seconds;
  };
  Start("http://site.test/");
  ASSERT_GE(reportedAt, 0);
  ASSERT_GE(linkTakenAt, 0) << "the reported link was never handed out";
  EXPECT_LT(linkTakenAt - reportedAt, 0.05);
  EXPECT_EQ(platform_.taken, (std::vector<std::string>{"http://site.test/", "http://site.test/b.html"}));
}

TEST_F(RunControllerTest, OfflineStartStartsNothingAndShowsNoMessage) {
  connection_.SetModeDirect(ConnectionMode::Lan);  // and no connection at all
  Start("http://site.test/");
  EXPECT_FALSE(platform_.launched);
  EXPECT_TRUE(view_.messages.empty());
  EXPECT_FALSE(run_->RunStarted());
  EXPECT_EQ(run_->StartRequests(), 1);
}

// The dial window's host: its clock is the run's, so the window's steps come with the run's.
class DialWindowHost : public DialerHost {
 public:
  explicit DialWindowHost(SimPlatform& platform) : platform_(platform), startSeconds_(platform.seconds) {}
  Dialer* dialer = nullptr;
  bool stopAfterFirstAttempt = false;
  int opened = 0, dropped = 0;
  // The clock as the dialler last read it.
  std::chrono::system_clock::time_point now{std::chrono::hours(400000)};
  // After each pass of the event loop: a user who stops the window once the first attempt failed.
  void AfterPump() {
    if (stopAfterFirstAttempt && dialer->DiallerActive() && !dialer->Dialling() && dialer->WindowShown()) {
      dialer->StopByUser();
      if (onStopped) onStopped();
    }
  }
  std::function<void()> onStopped;
  std::chrono::system_clock::time_point Now() override {
    now = std::chrono::system_clock::time_point{std::chrono::hours(400000)} +
          std::chrono::milliseconds(static_cast<int64_t>((platform_.seconds - startSeconds_) * 1000));
    return now;
  }
  void SwitchOffAutoDial() override {}
  void ShowPlainMessage(const std::string&) override {}
  int PopupCountdown() override { return -1; }
  void CloseDialWindow() override {}
  void DropStartAndStop() override { ++dropped; }
  void OpenDialWindow() override { ++opened; }
  bool Cancelled() override {
    // A dial window that never ends is a failure, not a hung test.
    if (now > std::chrono::system_clock::time_point{std::chrono::hours(400001)}) {
      ADD_FAILURE() << "the dial window waited an hour";
      return true;
    }
    return platform_.run && platform_.run->CancelRequested();
  }

 private:
  SimPlatform& platform_;
  double startSeconds_;
};

class DialBeforeStartTest : public RunControllerTest {
 protected:
  DialBeforeStartTest() {
    connection_.SetModeDirect(ConnectionMode::Modem);  // and off line
    scripts_.options.autoDial = true;
    ras_.entries = {"isp"};
    ras_.onConnected = [this](const std::string&) {
      state_.connected = true;
      state_.flags = kConnModem;
    };
    host_.dialer = &dialer_;
    platform_.onPump = [this] { host_.AfterPump(); };
    dialer_.FillEntries();
    run_->SetDialer(&dialer_);
  }
  static RasStatus Status(int state, int error = 0) {
    RasStatus st;
    st.state = state;
    st.error = error;
    return st;
  }
  ScriptedRemoteAccess ras_;
  DialWindowHost host_{platform_};
  Dialer dialer_{ras_, connection_, host_};
};

TEST_F(DialBeforeStartTest, OfflineStartDialsFirstThenRuns) {
  ras_.AddAttempt({Status(kRasStateConnectDevice), Status(kRasStateConnected)});
  Start("http://site.test/");
  EXPECT_EQ(host_.opened, 1);
  EXPECT_EQ(ras_.dialled, (std::vector<std::string>{"isp"}));
  EXPECT_TRUE(platform_.launched);
  EXPECT_EQ(platform_.taken, (std::vector<std::string>{"http://site.test/"}));
  EXPECT_FALSE(dialer_.DiallerActive());
}

TEST_F(DialBeforeStartTest, StoppedDialWindowDropsTheStart) {
  ras_.AddAttempt({Status(kRasStateDisconnected)});
  host_.stopAfterFirstAttempt = true;
  // Should the line come up right after the stop, the dropped request must still not start.
  host_.onStopped = [this] {
    state_.connected = true;
    state_.flags = kConnModem;
  };
  Start("http://site.test/");
  EXPECT_EQ(host_.opened, 1);
  EXPECT_EQ(host_.dropped, 1);
  EXPECT_FALSE(platform_.launched);
  EXPECT_FALSE(run_->RunStarted());
}

TEST_F(DialBeforeStartTest, WithoutAutoDialNoWindowOpens) {
  scripts_.options.autoDial = false;
  Start("http://site.test/");
  EXPECT_EQ(host_.opened, 0);
  EXPECT_FALSE(platform_.launched);
}

TEST_F(DialBeforeStartTest, LineLostDuringTheRunIsRedialledAndTheRunGoesOn) {
  state_.connected = true;
  state_.flags = kConnModem;
  scripts_.saved = {"http://site.test/a.html", "http://site.test/b.html"};
  platform_.onTake = [this](const std::string& a) {
    if (a == "http://site.test/") state_.connected = false;  // the line drops after the first take
  };
  ras_.AddAttempt({Status(kRasStateConnectDevice), Status(kRasStateConnected)});
  Start("http://site.test/");
  EXPECT_EQ(host_.opened, 1);
  EXPECT_EQ(platform_.taken, (std::vector<std::string>{"http://site.test/", "http://site.test/a.html",
                                                       "http://site.test/b.html"}));
  EXPECT_EQ(run_->Outcome(), RunOutcome::Completed);
}

TEST_F(DialBeforeStartTest, LostLineWithoutAutoDialStopsAndTheNextOfflineStartStartsNothing) {
  scripts_.options.autoDial = false;
  state_.connected = true;
  state_.flags = kConnModem;
  scripts_.saved = {"http://site.test/a.html", "http://site.test/b.html"};
  platform_.onTake = [this](const std::string&) { state_.connected = false; };
  const double before = platform_.seconds;
  Start("http://site.test/");
  EXPECT_EQ(platform_.taken, (std::vector<std::string>{"http://site.test/"}));
  EXPECT_EQ(run_->Outcome(), RunOutcome::ConnectionLost);
  EXPECT_EQ(view_.StatusPanel(3), Ru(" Соединение потеряно"));
  EXPECT_LT(platform_.seconds - before, 60.0);
  // Every address that was not handed out stays in the script.
  EXPECT_EQ(scripts_.writeBacks, 1);
  EXPECT_EQ(scripts_.lastHandedOut, (std::vector<int32_t>{1}));
  EXPECT_EQ(scripts_.lastRunList.size(), 4u);
  EXPECT_EQ(host_.opened, 0);

  // The loss left the dial latch set; without automatic dialling an off-line start still
  // starts nothing (and opens no dial window).
  ASSERT_TRUE(connection_.DialLatch());
  platform_.launched = false;
  Start("http://site.test/");
  EXPECT_EQ(host_.opened, 0);
  EXPECT_FALSE(platform_.launched);

  // Automatic dialling without an entry to dial is not possible either.
  scripts_.options.autoDial = true;
  ras_.entries.clear();
  dialer_.FillEntries();
  Start("http://site.test/");
  EXPECT_EQ(host_.opened, 0);
  EXPECT_FALSE(platform_.launched);
}

TEST_F(DialBeforeStartTest, CancelEndsADialWindowThatNeverConnects) {
  ras_.AddAttempt({Status(kRasStateConnectDevice)});  // dials for ever
  platform_.onPump = [this] {
    if (host_.now > std::chrono::system_clock::time_point{std::chrono::hours(400000)} +
                        std::chrono::minutes(2))
      run_->Cancel();
  };
  Start("http://site.test/");
  EXPECT_EQ(host_.opened, 1);
  EXPECT_EQ(host_.dropped, 1);
  EXPECT_FALSE(dialer_.WindowShown());
  EXPECT_FALSE(platform_.launched);
}

TEST_F(DialBeforeStartTest, ClosingTheWindowDuringTheDialWaitEndsItAndStartsNothing) {
  ras_.AddAttempt({Status(kRasStateConnectDevice)});  // dials for ever
  bool windowWaits = true;
  platform_.onPump = [this, &windowWaits] {
    if (host_.now > std::chrono::system_clock::time_point{std::chrono::hours(400000)} + std::chrono::seconds(5))
      windowWaits = run_->CloseRequested();
  };
  Start("http://site.test/");
  EXPECT_FALSE(windowWaits) << "no run to write back: the window closes at once";
  EXPECT_FALSE(dialer_.WindowShown());
  EXPECT_LT(host_.now - std::chrono::system_clock::time_point{std::chrono::hours(400000)}, std::chrono::minutes(1));
  // The line coming up afterwards starts nothing: the request went with the window.
  platform_.onPump = nullptr;
  state_.connected = true;
  state_.flags = kConnModem;
  run_->Tim2Tick();
  EXPECT_FALSE(platform_.launched);
  EXPECT_FALSE(run_->RunStarted());
}

TEST_F(RunControllerTest, InvalidAddressShowsTheMessage) {
  Start("site.test");
  EXPECT_FALSE(platform_.launched);
  EXPECT_TRUE(MessageShown("Введен ошибочный адрес"));
}

TEST_F(RunControllerTest, HistoryKeepsDistinctAddressesAndAtMost21) {
  for (int i = 0; i < 22; ++i) Start("http://site" + std::to_string(i) + ".test/");
  Start("http://site21.test/");  // already there: not added again
  ASSERT_EQ(view_.history.size(), 21u);
  EXPECT_EQ(view_.history.front(), "http://site1.test/");
  EXPECT_EQ(view_.history.back(), "http://site21.test/");
}

TEST_F(RunControllerTest, ConsoleThatNeverStartsEndsTheProgramWithTheOnlineMessage) {
  platform_.consoleStarts = false;
  const double before = platform_.seconds;
  Start("http://site.test/");
  EXPECT_TRUE(MessageShown("Ошибка приемного блока. Соединение разорвано. Программа будет закрыта."));
  EXPECT_EQ(view_.messages.back().icon, MessageIcon::None);
  EXPECT_EQ(platform_.endedWith, 3);
  EXPECT_TRUE(run_->Ending());
  EXPECT_EQ(state_.hangUps, 1);
  EXPECT_GE(platform_.seconds - before, 30.0);
  EXPECT_LT(platform_.seconds - before, 32.0);
}

// Closing the window while the console is awaited: the wait ends at once, without the
// console's failure message, and the stopped run is written back before the program closes.
TEST_F(RunControllerTest, ClosingTheWindowWhileTheConsoleComesUpEndsTheWaitAndTheProgram) {
  platform_.consoleStarts = false;
  const double before = platform_.seconds;
  bool windowWaits = false;
  platform_.onPump = [&] {
    if (platform_.launched && platform_.seconds - before > 2 && !windowWaits) windowWaits = run_->CloseRequested();
  };
  Start("http://site.test/");
  EXPECT_TRUE(windowWaits);
  EXPECT_LT(platform_.seconds - before, 5.0);
  EXPECT_TRUE(view_.messages.empty());
  EXPECT_EQ(platform_.endedWith, -1);
  run_->Tim4Tick();
  EXPECT_FALSE(run_->State().running);
  EXPECT_TRUE(run_->RunOver());
  EXPECT_EQ(scripts_.writeBacks, 1);
  EXPECT_GE(platform_.prepareToClose, 1);
}

TEST_F(RunControllerTest, ConsoleMeetingALeftOverLockIsStartedAgainWithinTheLaunchWindow) {
  platform_.launchesMeetingAnOldLock = 2;
  const double before = platform_.seconds;
  Start("http://site.test/");
  EXPECT_EQ(platform_.launches, 3);
  EXPECT_EQ(platform_.taken, (std::vector<std::string>{"http://site.test/"}));
  EXPECT_TRUE(view_.messages.empty());
  EXPECT_LT(platform_.seconds - before, 15.0);
}

TEST_F(RunControllerTest, ConsoleThatNeverStartsWhileOfflineShowsTheErrorMessage) {
  platform_.consoleStarts = false;
  // The connection goes away while the console is being launched.
  platform_.onStart = [this] {
    connection_.SetModeDirect(ConnectionMode::Lan);
    connection_.RefreshOnline();
  };
  Start("http://site.test/");
  EXPECT_TRUE(MessageShown("Ошибка приемного блока. Программа будет закрыта."));
  EXPECT_EQ(view_.messages.back().icon, MessageIcon::Error);
  EXPECT_EQ(state_.hangUps, 0);
}

TEST_F(RunControllerTest, LivenessFailsAfterMoreThanFortyMissedChecks) {
  run_->State().consoleRunning = true;
  run_->State().consoleWindow = 999;  // no such window
  for (int i = 0; i < 40; ++i) run_->SupervisionTick();
  EXPECT_TRUE(view_.messages.empty());
  run_->SupervisionTick();
  ASSERT_EQ(view_.messages.size(), 1u);
  EXPECT_EQ(view_.messages[0].icon, MessageIcon::Error);
  EXPECT_NE(view_.messages[0].text.find(Ru("Произошла ошибка консоли")), std::string::npos);
  EXPECT_EQ(platform_.endedWith, 4);
  EXPECT_EQ(platform_.prepareToClose, 1);
  // While a launch is in progress nothing is counted.
  RunController other(view_.Run(), platform_, x_, scripts_, scripts_, connection_, RunPaths{});
  other.State().consoleRunning = true;
  other.State().consoleStarting = true;
  for (int i = 0; i < 50; ++i) other.SupervisionTick();
  EXPECT_EQ(other.State().livenessFailures, 0);
}

TEST_F(RunControllerTest, BusySamplingHoldsOneTickAndDropsAtOnceOffline) {
  x_.WriteExt(BusyChannels, "2");
  run_->SupervisionTick();
  EXPECT_EQ(run_->State().consoleBusy, 2);
  x_.WriteExt(BusyChannels, "0");
  run_->SupervisionTick();
  EXPECT_EQ(run_->State().consoleBusy, 1);
  run_->SupervisionTick();
  EXPECT_EQ(run_->State().consoleBusy, 0);

  x_.WriteExt(BusyChannels, "3");
  run_->SupervisionTick();
  connection_.SetModeDirect(ConnectionMode::Lan);  // off line now
  x_.WriteExt(BusyChannels, "0");
  run_->SupervisionTick();
  EXPECT_EQ(run_->State().consoleBusy, 1);
  run_->SupervisionTick();
  EXPECT_EQ(run_->State().consoleBusy, 0);
  EXPECT_EQ(x_.ReadExt(OnlineFlag), "");
}

TEST_F(RunControllerTest, CollectResultsMarkerRules) {
  scripts_.options.mode = 0;
  Start("http://site.test/");  // a run sets the options
  auto report = [&](std::vector<std::string> elements) {
    x_.WriteUrlList(elements);
    x_.WriteExt(ReportReady, "A");
    run_->CollectResults();
    EXPECT_EQ(x_.ReadExt(ReportReady), "");
  };
  const std::size_t mergedBefore = scripts_.merged.size();
  report(MarkerMessageElements(kNotFoundMarker, "123456789"));  // 9 characters: ignored
  report(MarkerMessageElements(kNotFoundMarker, "http://site.test/gone.html"));
  EXPECT_EQ(run_->Feed().notFound, (std::vector<std::string>{"http://site.test/gone.html"}));
  report(MarkerMessageElements(kRedirMarker, "http://other.test/"));
  report(MarkerMessageElements(kRedirMarker, "HTTP://OTHER.TEST/index.html"));  // same, other case
  EXPECT_EQ(run_->Feed().redirects, (std::vector<std::string>{"http://other.test/index.html"}));
  report(LinkListElements({"http://site.test/x.html"}));
  EXPECT_EQ(scripts_.merged.size(), mergedBefore + 2);  // the redirect target and the list
  report({"0"});  // an empty list still completes the handshake
  EXPECT_EQ(scripts_.merged.size(), mergedBefore + 2);
  // In a mode that does not extend the script nothing is merged or collected.
  run_->Options().mode = 2;
  report(LinkListElements({"http://site.test/y.html"}));
  report(MarkerMessageElements(kRedirMarker, "http://third.test/"));
  EXPECT_EQ(scripts_.merged.size(), mergedBefore + 2);
  EXPECT_EQ(run_->Feed().redirects.size(), 1u);
  // A report that cannot be read is left pending.
  std::filesystem::remove(tmp_.Dir() + "temp/orvurl");
  x_.Close();
  x_.Open(tmp_.Dir() + "temp/", true);
  x_.WriteExt(ReportReady, "A");
  run_->CollectResults();
  EXPECT_EQ(x_.ReadExt(ReportReady), "A");
}

TEST_F(RunControllerTest, FirstAddressRedirectRebasesTheScopeAndReplacesTheStart) {
  platform_.redirectHost = "www.other.test";
  platform_.redirectFolder = "http://www.other.test/new/";
  platform_.redirectTarget = "http://www.other.test/new/index.html";
  Start("http://site.test/");
  ASSERT_EQ(scripts_.rebased.size(), 1u);
  EXPECT_EQ(scripts_.rebased[0].first, "http://www.other.test/");
  EXPECT_EQ(scripts_.rebased[0].second, "http://www.other.test/new/");
  EXPECT_EQ(scripts_.lastResults.startAddress, "http://www.other.test/new/index.html");
  // The index moved back: the start address was examined (and handed out) again.
  EXPECT_EQ(platform_.taken.size(), 2u);
}

TEST_F(RunControllerTest, FreshLocalCopiesAreNotFetchedAgain) {
  using namespace std::chrono;
  scripts_.saved = {"http://site.test/old.html", "http://site.test/older.html"};
  auto place = [&](const std::string& address, hours age) {
    const std::string path = LocalNameOf(address, tmp_.Dir() + "coll/").path;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    orvtest::WriteWholeFile(path, "x");
    SetModifiedTime(path, platform_.calendar - age);
  };
  place("http://site.test/", hours(1));
  place("http://site.test/old.html", hours(23));
  place("http://site.test/older.html", hours(26));
  Start("http://site.test/");
  // Without refresh only missing files are fetched; the run still ends.
  EXPECT_TRUE(platform_.taken.empty());
  EXPECT_TRUE(run_->RunOver());

  platform_.taken.clear();
  scripts_.options.refresh = true;
  Start("http://site.test/");
  EXPECT_EQ(platform_.taken, (std::vector<std::string>{"http://site.test/older.html"}));
}

TEST_F(RunControllerTest, MediaTakenAheadOfTurnPassTheSameAdmission) {
  scripts_.options.media = true;
  scripts_.saved = {"http://site.test/a.html", "http://site.test/excluded.gif", "http://site.test/b.gif",
                    "http://site.test/c.html"};
  scripts_.rejected = {"http://site.test/excluded.gif"};
  Start("http://site.test/");
  EXPECT_EQ(platform_.taken, (std::vector<std::string>{"http://site.test/", "http://site.test/b.gif",
                                                       "http://site.test/a.html", "http://site.test/c.html"}));
}

TEST_F(RunControllerTest, AddressesAreHandedOutWholeOrNotAtAll) {
  const std::string longQuery = "http://site.test/find?q=" + std::string(400, 'x');
  const std::string tooLong = "http://site.test/" + std::string(1100, 'y') + ".html";
  scripts_.saved = {longQuery, tooLong};
  Start("http://http://site.test/");  // the box's "http://" before a pasted address
  EXPECT_EQ(platform_.taken, (std::vector<std::string>{"http://site.test/", longQuery}));
  EXPECT_EQ(run_->Feed().skippedTooLong, 1);
}

TEST_F(RunControllerTest, SlideStopHandsOutNothingWhileWaitingForAChannel) {
  scripts_.options.slideStop = true;
  scripts_.options.channels = 1;
  scripts_.saved = {"http://site.test/a.html"};
  int waited = 0;
  platform_.onTake = [this](const std::string&) { x_.WriteExt(BusyChannels, "2"); };
  platform_.onPump = [&] {
    if (platform_.taken.size() == 1 && ++waited == 200) {
      run_->StopRun();
      x_.WriteExt(BusyChannels, "0");  // a channel comes free right after the stop
    }
  };
  Start("http://site.test/");
  EXPECT_GE(waited, 200);
  EXPECT_EQ(platform_.taken, (std::vector<std::string>{"http://site.test/"}));
  EXPECT_TRUE(run_->RunOver());
  EXPECT_EQ(run_->Outcome(), RunOutcome::Stopped);
}

TEST_F(RunControllerTest, BusyConsoleThatNeverTakesEndsTheRunAfterTheStallTime) {
  run_->SetStallSeconds(20);
  scripts_.saved = {"http://site.test/a.html"};
  platform_.onTake = [this](const std::string&) {
    x_.WriteExt(BusyChannels, "1");
    platform_.takes = false;
  };
  const double before = platform_.seconds;
  Start("http://site.test/");
  EXPECT_EQ(run_->Outcome(), RunOutcome::ConsoleStalled);
  EXPECT_EQ(view_.StatusPanel(3), Ru(" Консоль не отвечает"));
  EXPECT_TRUE(run_->RunOver());
  EXPECT_FALSE(platform_.alive) << "the stalled console is ended with the run";
  EXPECT_LT(platform_.seconds - before, 60.0);
}

TEST_F(RunControllerTest, ConsoleDeathWritesTheRunBackBeforeTheProgramEnds) {
  scripts_.saved = {"http://site.test/a.html", "http://site.test/b.html"};
  platform_.onTake = [this](const std::string&) { platform_.alive = false; };
  Start("http://site.test/");
  EXPECT_EQ(platform_.endedWith, 4);
  EXPECT_EQ(scripts_.writeBacks, 1);
  EXPECT_EQ(scripts_.lastRunList.size(), 4u);
  EXPECT_EQ(run_->Outcome(), RunOutcome::ConsoleFailed);
}

TEST_F(RunControllerTest, StopRunPressesStopAllUnlessSlideStop) {
  x_.WriteExt(StopAllButton, std::to_string(kStopAll));
  run_->StopRun();
  EXPECT_EQ(platform_.pressed, (std::vector<int32_t>{kStopAll}));
  run_->Options().slideStop = true;
  run_->StopRun();
  EXPECT_EQ(platform_.pressed.size(), 1u);
  // Closing the last channel row stops the run.
  run_->State().running = true;
  run_->CloseChannel(1);
  EXPECT_TRUE(run_->State().stopRequested);
  EXPECT_EQ(view_.StatusPanel(1), Ru(" Завершение"));
  EXPECT_EQ(scripts_.autoDialOff, 1);
}

// The main window with a channel list.
class ChannelListWindow : public testing::FakeMainWindow {
 public:
  std::map<int, ChannelRow> rows;
  int sets = 0;
  void SetChannelRow(const ChannelRow& row) override {
    ++sets;
    rows[row.channel] = row;
  }
  void RemoveChannelRow(const ChannelRow& row) override { rows.erase(row.channel); }
  std::map<int, bool> panelEnabled;
  void EnableStatusPanel(int panel, bool enabled) override { panelEnabled[panel] = enabled; }
};

TEST(AddressFromDropTest, LinksFilesOfTheCollectionAndOtherText) {
  const std::string coll = "/home/u/orvcollections/";
  EXPECT_EQ(AddressFromDrop("http://a.test/x.html", coll), "http://a.test/x.html");
  EXPECT_EQ(AddressFromDrop("http://go.test/r?u=http://b.test/y.html", coll), "http://b.test/y.html");
  EXPECT_EQ(AddressFromDrop("http://go.test/r?u=HTTP://b.test/y.html", coll), "HTTP://b.test/y.html");
  // A saved file is its address again, its escapes undone; index.html stands for the folder.
  EXPECT_EQ(AddressFromDrop(coll + "a.test,8,,x23A8080/doc/index.html", coll), "http://a.test:8080/doc/");
  EXPECT_EQ(AddressFromDrop("/etc/passwd", coll), "");
  EXPECT_EQ(AddressFromDrop("ftp://a.test/", coll), "");
}

TEST_F(RunControllerTest, ClickedPanelIsDisabledForSixCountdownSteps) {
  ChannelListWindow window;
  RunController run(window.Run(), platform_, x_, scripts_, scripts_, connection_, RunPaths{});
  run.ClickStatusPanel(4);
  EXPECT_FALSE(window.panelEnabled[4]);
  // One countdown step every twelfth tick of the channel-list timer.
  for (int i = 0; i < 6 * 12 - 1; ++i) run.Timer3Tick();
  EXPECT_FALSE(window.panelEnabled[4]);
  run.Timer3Tick();
  EXPECT_TRUE(window.panelEnabled[4]);
  EXPECT_TRUE(window.panelEnabled[1]);
}

TEST_F(RunControllerTest, EveryClickedPanelComesBackAndTheBrowserCallsThePopupCloser) {
  ChannelListWindow window;
  RunController run(window.Run(), platform_, x_, scripts_, scripts_, connection_, RunPaths{});
  run.ClickStatusPanel(5);
  EXPECT_FALSE(window.panelEnabled[5]);
  for (int i = 0; i < 6 * 12; ++i) run.Timer3Tick();
  EXPECT_TRUE(window.panelEnabled[5]);
  EXPECT_TRUE(platform_.popupLists.empty()) << "not while the browser is hidden";
  platform_.browserShown = true;
  for (int i = 0; i < 24; ++i) run.Timer3Tick();
  EXPECT_EQ(platform_.popupLists, (std::vector<bool>{true, true}));
}

TEST_F(RunControllerTest, FinishedBusyLabelsGoWhenTheirCountdownRunsOut) {
  struct Window : testing::FakeMainWindow {
    int hidden = 0;
    void HideBusyLabels() override { ++hidden; }
  } window;
  RunController run(window.Run(), platform_, x_, scripts_, scripts_, connection_, RunPaths{});
  for (int i = 0; i < 48; ++i) run.Timer3Tick();
  EXPECT_EQ(window.hidden, 0) << "an idle countdown hides nothing";
  run.ArmBusyLabelCountdown();
  // One countdown step every twelfth tick of the channel-list timer.
  for (int i = 0; i < RunController::kBusyLabelPasses * 12 - 1; ++i) run.Timer3Tick();
  EXPECT_EQ(window.hidden, 0);
  run.Timer3Tick();
  EXPECT_EQ(window.hidden, 1);
  for (int i = 0; i < 48; ++i) run.Timer3Tick();
  EXPECT_EQ(window.hidden, 1);
  // Armed again before it ran out: counted from the last arming.
  run.ArmBusyLabelCountdown();
  for (int i = 0; i < 12; ++i) run.Timer3Tick();
  run.ArmBusyLabelCountdown();
  for (int i = 0; i < RunController::kBusyLabelPasses * 12 - 1; ++i) run.Timer3Tick();
  EXPECT_EQ(window.hidden, 1);
  run.Timer3Tick();
  EXPECT_EQ(window.hidden, 2);
}

// The collection tree hears of each fetch once it is over (the console's outcome log), while
// the run goes on, and of none when it is taken up.
TEST_F(RunControllerTest, EveryFetchThatIsOverIsToldOnceAsTheRunGoesOn) {
  RunPaths paths;
  paths.collectionFolder = tmp_.Dir() + "coll/";
  paths.exchangeFolder = tmp_.Dir() + "temp/";
  RunController run(view_.Run(), platform_, x_, scripts_, scripts_, connection_, paths);
  platform_.run = &run;
  // A log the run before left behind is not told again.
  OutcomeRecord old;
  old.address = "http://site.test/old.html";
  ASSERT_TRUE(AppendOutcome(paths.exchangeFolder, old));
  std::vector<std::string> told;
  size_t toldWhileRunning = 0;
  run.SetFetchedAddressSink([&](const std::string& a) {
    told.push_back(a);
    if (run.State().running) ++toldWhileRunning;
  });
  platform_.links["http://site.test/"] = {"http://site.test/b.html", "http://site.test/c.html"};
  platform_.onTake = [&](const std::string& a) {
    EXPECT_EQ(std::count(told.begin(), told.end(), a), 0) << a << " told when taken up";
    OutcomeRecord r;
    r.outcome = a.ends_with("c.html") ? FetchOutcome::NotFound : FetchOutcome::Saved;
    r.address = a;
    ASSERT_TRUE(AppendOutcome(paths.exchangeFolder, r));
  };
  run.SetCommandLineAddress("http://site.test/");
  run.Tim2Tick();
  for (int steps = 0; run.RunActive() && steps < 100000; ++steps) {
    platform_.SleepMs(RunController::kStepMilliseconds);
    platform_.Pump();
  }
  EXPECT_EQ(told, (std::vector<std::string>{"http://site.test/", "http://site.test/b.html", "http://site.test/c.html"}));
  EXPECT_GE(toldWhileRunning, 2u);
}

TEST_F(RunControllerTest, ChannelListFollowsTheStatusTable) {
  ChannelListWindow window;
  RunController run(window.Run(), platform_, x_, scripts_, scripts_, connection_, RunPaths{});
  run.State().consoleReady = true;
  run.State().consoleRunning = true;
  auto refresh = [&] {
    for (int i = 0; i < 3; ++i) run.Timer3Tick();  // the list is refreshed on every third tick
  };
  ChannelRecord rec;
  rec.url = "http://site.test/a.html";
  rec.statusText = " Start...";
  rec.sizeText = " 1200";
  rec.stopButton = 5123;
  rec.resumable = "1";
  x_.WriteChannel(3, rec);
  run.Timer3Tick();
  run.Timer3Tick();
  EXPECT_TRUE(window.rows.empty()) << "nothing before the third tick";
  run.Timer3Tick();
  ASSERT_EQ(window.rows.size(), 1u);
  const auto& row = window.rows.at(3);
  EXPECT_EQ(row.address, rec.url);
  EXPECT_EQ(row.status, " Start...");
  EXPECT_EQ(row.size, " 1200");
  EXPECT_EQ(row.tag, "5123");
  EXPECT_TRUE(row.resumable);
  EXPECT_EQ(row.iconCategory, 1);

  // Unchanged record: the row is not rewritten.
  const int sets = window.sets;
  refresh();
  EXPECT_EQ(window.sets, sets);

  // A new address on the same channel keeps the row and takes the new icon.
  rec.url = "http://site.test/b.gif";
  rec.resumable = "0";
  x_.WriteChannel(3, rec);
  refresh();
  ASSERT_EQ(window.rows.size(), 1u);
  EXPECT_EQ(window.rows.at(3).address, rec.url);
  EXPECT_EQ(window.rows.at(3).iconCategory, 2);
  EXPECT_FALSE(window.rows.at(3).resumable);

  // An empty record removes the row; closing a channel presses its stop button.
  x_.WriteChannel(4, rec);
  refresh();
  EXPECT_EQ(window.rows.size(), 2u);
  run.CloseChannel(4);
  EXPECT_EQ(platform_.pressed.back(), 5123);
  EXPECT_FALSE(run.State().stopRequested) << "two rows are left";
  x_.WriteChannel(3, ChannelRecord{});
  refresh();
  EXPECT_EQ(window.rows.count(3), 0u);
  EXPECT_EQ(window.rows.count(4), 1u);
  // Without a ready console the list is left alone.
  run.State().consoleReady = false;
  x_.WriteChannel(4, ChannelRecord{});
  refresh();
  EXPECT_EQ(window.rows.count(4), 1u);
}

}  // namespace
}  // namespace orv
