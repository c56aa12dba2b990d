#pragma once
// Run control: one script run at a time. Launches the console, feeds it one address
// at a time through the exchange mailbox, collects what it reports, supervises it,
// keeps the statistics and limits, and ends the run with the write-back.
//
// Everything runs on the one thread of the event loop, and nothing waits there: a run is a
// state machine whose phases are what the user sees (starting the console, handing out,
// ending, writing back, done). One timer calls Step(now) every few milliseconds; each step
// does what can be done at once and returns, so a wait for the console is a phase or a
// stage of a hand-out that a later step finds over. The other ticks (collection,
// supervision, channel list) run between steps, never inside one.
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "common/cookie_file.h"
#include "common/exchange.h"
#include "common/fetch_outcome.h"
#include "main/base/address_box.h"
#include "main/run/channel_table.h"
#include "main/run/connection_modes.h"
#include "main/run/dialer.h"
#include "main/run/logout_links.h"
#include "main/run/run_controls_view.h"
#include "main/run/run_clock.h"
#include "main/run/run_interfaces.h"
#include "main/run/run_journal.h"
#include "main/base/run_status.h"
#include "main/run/transfer_statistics.h"
#include "main/scripts/messages.h"

namespace orv {

struct RunState {
  bool running = false;
  bool stopRequested = false;
  bool firstAddressPhase = false;
  bool feedingActive = false;
  bool collectingActive = false;
  int32_t consoleBusy = 0;
  bool runEnded = false;
  bool exitRequested = false;
  bool consoleFailureReported = false;
  bool idleAfterRun = false;
  int32_t handedOutCount = 0;
  uint16_t loopCounter = 0;
  std::string pendingStartAddress;
  std::string currentStartAddress;
  std::string commandLineAddress;

  // Console handles and launch state.
  int32_t consoleWindow = 0;
  int32_t counterResetButton = 0;
  bool consoleRunning = false;
  bool consoleStarting = false;
  bool consoleReady = false;  // the console became ready in this run (statistics marker)
  int32_t livenessFailures = 0;
};

// Feeding-pass state of the run.
struct FeedState {
  std::vector<std::string> runList{""};  // addresses from index 1
  int32_t nextIndex = 1;
  int32_t mediaScanIndex = 1;
  std::unordered_set<int32_t> outOfOrder;
  std::vector<int32_t> handedOut;
  std::vector<std::string> notFound;
  std::vector<std::string> redirects;
  std::unordered_set<std::string> redirectKeys;  // lower-cased redirects, for the comparison
  // The start address's redirect from the redirect records, source -> target as it is handed
  // out; the later hops of a chain come from the outcome log, which names each redirect's target.
  std::unordered_map<std::string, std::string> redirectOf;
  int currentCategory = 8;
  bool inScope = false;
  int32_t handOutCounter = 0;
  uint16_t progressCounter = 0;
  bool withoutMatchApplied = false;
  int32_t skippedComplete = 0;  // a complete local copy was there
  int32_t skippedTooLong = 0;   // longer than the mailbox holds
  LogoutLinkFilter logoutLinks;
  int32_t LastIndex() const { return static_cast<int32_t>(runList.size()) - 1; }
};

// How a run ended, for the one-line outcome the batch front end prints.
enum class RunOutcome {
  None,            // no run yet, or the run is still going
  Completed,       // every address was handed out and the console went idle
  Stopped,         // stopped by the user or a limit
  ConnectionLost,  // the line went down and was not redialled
  ConsoleStalled,  // the console took no address and made no progress for too long
  ConsoleFailed,   // the console's window went away during the run
};

struct RunPaths {
  std::string collectionFolder;  // ends with "/"
  std::string speedLogPath;      // testspeed.txt in the exchange folder
  std::string exchangeFolder;    // the console's outcome log lies there; empty = none
};

// What one run did, from the console's outcome log and the feeding pass's own counts.
struct RunSummary {
  int32_t saved = 0;
  int64_t savedBytes = 0;
  int32_t unchanged = 0;  // current copies the server confirmed, redirects
  int32_t byOutcome[kFetchOutcomeCount] = {};
  int32_t skippedComplete = 0;  // a complete copy was already in the collection
  int32_t skippedTooLong = 0;
  int32_t skippedLogout = 0;  // logout links not followed while the run had a login cookie
  int32_t writeFailures = 0;  // files the console could not write into the collection
  int32_t unrendered = 0;  // pages to be rendered that were saved as received
  bool scriptNotWritten = false;  // the write-back failed; the run journal keeps the addresses
  double seconds = 0;
  // The start address was fetched, or its complete copy was already there.
  bool startFetched = false;
  RunOutcome outcome = RunOutcome::None;
  int32_t Failed() const;
  // Addresses lost for the proxy's fault (its login refused, no proxy reachable).
  int32_t ProxyFailures() const {
    return byOutcome[static_cast<int>(FetchOutcome::ProxyLogin)] + byOutcome[static_cast<int>(FetchOutcome::ProxyDown)];
  }
};

// The summary as one line of the status texts' language (Windows-1251).
std::string RunSummaryText(const RunSummary& s);


// Text dropped onto the address box: a link taken out of a query ("...=http://..."), a file
// of the collection turned back into its address, "index.html" dropped from the end. Empty
// when the result is not an http address (the box then keeps its text).
std::string AddressFromDrop(std::string_view text, std::string_view collectionFolder);

// What run control shows, each through a port of its own.
struct RunViews {
  MessageBoxes& messages;
  RunStatus& status;
  RunControlsView& controls;
  AddressBoxView& address;
  ChannelListView& channels;
};

class RunController {
 public:
  // Where a run stands; each step moves it on at most as far as the console allows.
  enum class Phase {
    Idle,             // no run since the program began
    Dialling,         // off line: the dial window dials; the run starts once on line
    StartingConsole,  // the console was launched; its start record is awaited (relaunched, bounded)
    HandingOut,       // addresses go to the console one at a time through the mailbox
    Ending,           // nothing more is handed out; the console finishes what it holds
    WritingBack,      // summary and write-back are done; the console is being ended
    Done,             // the run is over; a new start request may begin another
  };
  static const char* PhaseName(Phase phase);

  RunController(RunViews views, RunPlatform& platform, ExchangeFiles& exchange,
                RunScripts& scripts, RunAdmission& admission, ConnectionControl& connection,
                RunPaths paths);

  // --- user commands ---
  // Enter in the address box (ignored while a run is active).
  void AddressEnter(const std::string& boxText);
  // Toolbar run/stop button with key "run": run the address box.
  void RunButton();
  void StopRun();
  void StopAndExit();
  void CloseChannel(int channel);
  void ClickStatusPanel(int panel);
  void SetCommandLineAddress(const std::string& text);

  // --- timer ticks ---
  // Each tick settles the timers afterwards (SettleTimers), so a timer whose work is over stops.
  void Tim1Tick() {
    CollectResults();
    SettleTimers();
  }
  void Tim2Tick();  // start-request poll
  void Tim3Tick() {
    SupervisionTick();
    SettleTimers();
  }
  void Tim4Tick() {
    EndOfRunCheck();
    SettleTimers();
  }
  void Timer3Tick();  // channel list
  // Runs each ticking timer while it has something to do and stops it otherwise, so the program
  // rests between runs (no timer at all): the start-request poll while a request waits, and once
  // after a run (the batch front end's poll sees the end there); collection, supervision and the
  // end-of-run check while a run or its console is there; the channel-list timer while the list
  // is shown or a panel or busy-label countdown runs. Every command that gives a timer work calls it.
  void SettleTimers();
  // The interval of the step timer. Takes are 5 ms apart at the highest intensity, so the run
  // looks at the mailbox more often than that.
  static constexpr int kStepMilliseconds = 2;
  // The run's own timer (RunTimer::Step): one step at the platform clock's time.
  void StepTick() {
    Step(clock_.Now());
    SettleTimers();
  }
  // Moves the run on as far as it can go now (seconds of a clock that never goes back).
  // Does nothing outside a run, and nothing when called from inside a step.
  void Step(double now);
  Phase CurrentPhase() const { return phase_; }
  // A run was started and is not over yet.
  bool RunActive() const { return phase_ != Phase::Idle && phase_ != Phase::Done; }

  // --- procedures (public for the front ends and tests) ---
  void SupervisionTick();
  void EndOfRunCheck();
  void CollectResults();
  void RunStop(bool stopMode);

  RunState& State() { return s_; }
  const RunState& State() const { return s_; }
  FeedState& Feed() { return f_; }
  RunOptions& Options() { return options_; }
  TransferStatistics& Statistics() { return stats_; }
  // Whether a run was started since the program began (batch mode exits on it).
  bool RunStarted() const { return runsStarted_ > 0; }
  int RunsStarted() const { return runsStarted_; }
  bool RunOver() const { return runsStarted_ > 0 && !s_.running && runLoopDone_; }
  bool Ending() const { return ending_; }
  int ExitCode() const { return exitCode_; }
  // Start requests that reached validation (batch mode: none started = failure).
  int StartRequests() const { return startRequests_; }
  void SetAllTimeBytes(int64_t v) { stats_.SetAllTimeBytes(v); }
  // Hang-ups also end the dialled connection.
  void SetDialer(Dialer* dialer) { dialer_ = dialer; }
  int PopupCountdown() const { return popupCountdown_; }
  // Passes of the display countdown (every twelfth channel-list tick) a finished busy label
  // stays before HideBusyLabels.
  static constexpr int kBusyLabelPasses = 3;
  void ArmBusyLabelCountdown(int passes = kBusyLabelPasses) {
    busyLabelCountdown_ = passes;
    SettleTimers();
  }
  // The connection mode changed: the indicator and the console's on-line record follow at once
  // (no supervision tick runs between runs to notice it).
  void ConnectionChanged();
  // The busy console channels, as the channel list shows them.
  const ChannelTable& Channels() const { return channels_; }
  // Ends every wait that is not the run itself (the dial window, a wait for the console):
  // Ctrl-C in the batch front end, a window closed while a dial window waits.
  void Cancel();
  bool CancelRequested() const { return cancelRequested_ || ending_; }
  // The main window is being closed: every wait that is not the run itself ends (as Cancel), so
  // nothing starts behind it; a run in progress stops and is written back, and the close
  // sequence ends the program afterwards. True while the window has to wait for that.
  bool CloseRequested();
  RunOutcome Outcome() const { return outcome_; }
  // The summary of the last run that ended (valid once RunOver()).
  const RunSummary& Summary() const { return summary_; }
  // The last start request started nothing because the machine was off line.
  bool LastStartOffline() const { return lastStartOffline_; }
  // The last start request started nothing because its address is longer than the mailbox holds.
  bool LastStartTooLong() const { return lastStartTooLong_; }
  // A stall of the console longer than this ends the run (tests shorten it).
  void SetStallSeconds(double s) { stallSeconds_ = s; }
  // Cookies given for every run of this program (orv --batch --cookies FILE): merged into the
  // jar of each run's script before the console starts, so the run fetches with them.
  void SetGivenCookies(std::vector<Cookie> cookies) { givenCookies_ = std::move(cookies); }
  // The jar of the current run's script; empty when the run keeps none (the web-search job).
  std::string CookieJarPath() const;
  // Told of every address whose fetch is over (saved, partly saved, or failed for good), from
  // the console's outcome log on each supervision tick and at the end of the run, so the
  // collection tree follows the disk while a run goes on.
  void SetFetchedAddressSink(std::function<void(const std::string& address)> sink) {
    fetchedSink_ = std::move(sink);
  }

 private:
  // The start-request poll's work: supervision, then a waiting start request begins a run.
  void Poll();
  void StartRun(const std::string& address);
  void StartSequence();
  // Offline with automatic dialling: the dial window dials before the run starts.
  // True when the dial window opened: the start then waits for it.
  bool DialBeforeStart();
  // --- the phases, one procedure each; Step calls the one of the current phase ---
  void EnterPhase(Phase phase);
  void BeginLaunch();
  void BeginHandingOut(double now);
  void EnterEnding();
  void StartingConsoleStep(double now);
  void HandingOutStep(double now);
  void EndingStep();
  void BeginWriteBack();
  void WritingBackStep(double now);
  void FinishRun();

  // One address on its way into the mailbox. Each stage waits for one thing of the console;
  // a step advances the stages as far as the console lets it.
  enum class HandOutStage { None, FreeChannel, Mailbox, Taken, StartRedirect };
  struct HandOutJob {
    HandOutStage stage = HandOutStage::None;
    int32_t index = 0;
    bool fromMediaPass = false;
    std::string address;
    double since = 0;       // when the stage began
    std::string lastHost;   // the last redirect host the start address's stage saw
  };
  enum class HandOutResult { Waiting, Handed, Skipped, PutBack };
  // Begins handing out run-list entry `index`; Skipped when it is not handed out at all.
  HandOutResult BeginHandOut(int32_t index, bool fromMediaPass, double now);
  HandOutResult AdvanceHandOut(double now);
  HandOutResult PutBack();
  void EnterStage(HandOutStage stage, double now);
  // While the console is awaited: false when the run was stopped or cancelled meanwhile, or
  // when the console made no progress (busy count, byte counter) for the stall time; the run
  // then stops with a visible reason.
  bool ConsoleStillAwaited(double now);
  // The line went down during the run: redial where that is on and possible (true: the run
  // goes on); otherwise the run waits (bounded) for the console to go idle and stops.
  bool ConnectionLost(double now);
  // The dial window of a lost line, stepped inside handing out: false while it is shown.
  bool RedialStep(double now);
  // The dial window before the start: the run starts when it closes on line.
  void DiallingStep(double now);
  void BeginLineLost(double now);
  void LineLostStep(double now);
  bool CanDial() const;
  // The console counts as busy unless it was given up on (a stalled console is ended).
  bool ConsoleActive() const { return s_.consoleBusy > 0 && outcome_ != RunOutcome::ConsoleStalled; }
  // False when the script could not be written (the journal then stays for the next run).
  bool WriteBackRun();
  // The journal beside the run's script: empty when the run keeps none.
  std::string JournalPath() const;
  // Takes in the addresses a journal left by an earlier run of this script holds (that run
  // ended without its write-back), then begins this run's journal.
  void ResumeFromJournal();
  // Merges the given cookies into the run's jar (before the console reads it).
  void PrepareCookieJar();
  // Whether the run has a login cookie now: its jar holds a cookie (given for this run, kept
  // from an earlier one, taken from the embedded browser, or set by a page of this run).
  bool HasLoginCookie() const;
  // The run list holds the address of a found link (markers cut) already: the script's own.
  bool InRunList(const std::string& link) const;
  // Journals the run list's entries added since the last call.
  void JournalNewEntries();
  // A complete copy of a page is not fetched again; in a run that resumes one cut short, its
  // links join the run as found links.
  void MergeLinksOfCompleteCopy(const std::string& address);
  void Summarise();
  // Whether the start address was fetched: its page saved or current, or, for a redirect, the
  // page the redirects lead to (or its complete copy already in the collection).
  bool StartFetched(const std::vector<OutcomeRecord>& outcomes) const;
  // Tells the fetched-address sink of the outcome log's new lines.
  void FollowFetched();
  void StopStep();
  void TerminateConsole(int32_t handle);
  void PrepareToClose();
  void CloseConnection(bool switchOffAutoDial);
  void ResetByteCounter();
  void StatisticsStep();
  void Fatal(int exitCode);
  int LocalState(const std::string& address) const;
  void SpeedLog(const std::string& line);
  bool Online() const { return connection_.Online(); }

  RunViews views_;
  RunPlatform& platform_;
  ExchangeFiles& x_;
  RunScripts& scripts_;
  RunAdmission& admission_;
  ConnectionControl& connection_;
  RunPaths paths_;
  Dialer* dialer_ = nullptr;
  RunOptions options_;
  RunState s_;
  FeedState f_;
  TransferStatistics stats_;

  std::string lastBusyText_ = "0";
  int holdCounter_ = 0;
  int popupCountdown_ = -1;
  bool overallSpeedMode_ = true;
  int channelTicks_ = 0;
  int channelPasses_ = 0;
  int busyLabelCountdown_ = -1;
  // A run finished (or a start request ended without one) and the start-request poll has not
  // run since: the poll runs once more to see it.
  bool endNotPolled_ = false;
  ChannelTable channels_;
  OutcomeFollower fetched_;
  std::function<void(const std::string&)> fetchedSink_;
  bool commandLineTaken_ = false;
  int runsStarted_ = 0;
  int startRequests_ = 0;
  bool runLoopDone_ = false;
  bool ending_ = false;
  int exitCode_ = 0;
  bool cancelRequested_ = false;
  RunOutcome outcome_ = RunOutcome::None;
  RunSummary summary_;
  bool lastStartOffline_ = false;
  std::string startHanded_;        // the first address written to the mailbox
  bool startSkippedComplete_ = false;
  double runStartSeconds_ = 0;
  double stallSeconds_ = 120;

  MonotonicClock clock_;
  Phase phase_ = Phase::Idle;
  bool inStep_ = false;
  double phaseSince_ = 0;    // when the current phase began
  double notBefore_ = 0;     // the next step does nothing before this time (a short settle)
  double lastLaunch_ = 0;    // the latest console launch
  bool consoleSeen_ = false; // its start record is there; the handles are read after a settle
  HandOutJob job_;
  // Stall watch of the waits for the console: the busy count and byte counter last seen.
  std::string watchedBusy_, watchedCounter_;
  double lastProgress_ = 0;
  bool lineLost_ = false;    // waiting for the console to go idle after the line went down
  bool redialling_ = false;  // the dial window is open for a line lost during the run
  Phase phaseBeforeDialling_ = Phase::Idle;
  double lineLostSince_ = 0;
  RunJournal journal_;
  int32_t journaledUpTo_ = 0;  // run-list entries up to this one are in the journal
  bool resuming_ = false;      // an earlier run of this script left its journal (no write-back)
  bool lastStartTooLong_ = false;
  std::vector<Cookie> givenCookies_;
};

}  // namespace orv
