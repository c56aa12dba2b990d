#include "main/run/run_controller.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <unistd.h>

#include "common/address_markers.h"
#include "common/address_scheme.h"
#include "common/address_text.h"
#include "common/config_keys.h"
#include "common/local_path.h"
#include "common/numbers.h"
#include "common/string_list.h"
#include "common/text.h"
#include "common/timeline.h"
#include "main/run/saved_page_links.h"
#include "main/scripts/script_model.h"
#include "platform/file_attributes.h"

namespace orv {

namespace {

// The console writes its busy count before it empties the mailbox and counts the addresses it
// put back for a retry, so a zero is true; one supervision tick of grace is kept all the same.
constexpr int kHoldTicks = 1;
constexpr int kLivenessLimit = 40;
constexpr double kTakeTimeoutSeconds = 30;
constexpr double kLaunchTimeoutSeconds = 30;
// The dial window's steps: often enough for its 250 ms status poll.
constexpr double kDialStepSeconds = 0.025;
// A console that has not come up by then is started again: the first one may have met the
// single-instance lock of a console left behind by a killed main program, which ends itself
// only when it notices (the console admits one instance; the extra one ends at once).
constexpr double kRelaunchSeconds = 3;
// A console that does not leave its window within this time is not waited for any longer.
constexpr double kShutdownWaitSeconds = 10;

bool EndsWith(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

// A redirect's target as the run hands it out: a folder address means its index page.
std::string AsHandedOut(const std::string& target) {
  return !target.empty() && target.back() == '/' ? target + "index.html" : target;
}

// The proxy's failures, the fetches a stop cut and the refused pages, named only when there
// were any: a run without them keeps its line.
std::string RareFailureText(const RunSummary& s) {
  std::string text;
  if (const int32_t n = s.byOutcome[static_cast<int>(FetchOutcome::ProxyLogin)]; n > 0)
    text += Ru(", прокси отклонил вход ") + DecimalText(n);
  if (const int32_t n = s.byOutcome[static_cast<int>(FetchOutcome::ProxyDown)]; n > 0)
    text += Ru(", прокси не отвечает ") + DecimalText(n);
  if (const int32_t n = s.byOutcome[static_cast<int>(FetchOutcome::Stopped)]; n > 0)
    text += Ru(", прервано остановкой ") + DecimalText(n);
  // Pages a session or a login would open, named only when there were any.
  if (const int32_t n = s.byOutcome[static_cast<int>(FetchOutcome::Forbidden)]; n > 0)
    text += Ru(", доступ запрещён ") + DecimalText(n);
  return text;
}

// Pages that were to be rendered and were saved as received, named only when there were any.
std::string UnrenderedText(const RunSummary& s) {
  return s.unrendered > 0 ? Ru("; сохранено без выполнения скриптов ") + DecimalText(s.unrendered) : std::string();
}

}  // namespace

int32_t RunSummary::Failed() const {
  int32_t n = 0;
  for (FetchOutcome o : {FetchOutcome::NotFound, FetchOutcome::Refused, FetchOutcome::TimedOut,
                         FetchOutcome::Certificate, FetchOutcome::TooLarge, FetchOutcome::Failed,
                         FetchOutcome::Unwritten, FetchOutcome::ProxyLogin, FetchOutcome::ProxyDown,
                         FetchOutcome::Stopped, FetchOutcome::Forbidden})
    n += byOutcome[static_cast<int>(o)];
  return n;
}

std::string RunSummaryText(const RunSummary& s) {
  const auto n = [&](FetchOutcome o) { return DecimalText(s.byOutcome[static_cast<int>(o)]); };
  char time[32];
  std::snprintf(time, sizeof time, "%.1f", s.seconds);
  return Ru("Итог: сохранено файлов ") + DecimalText(s.saved) + " (" + DecimalText(s.savedBytes) +
         Ru(" байт); ошибок ") + DecimalText(s.Failed()) + Ru(" (не найдено ") + n(FetchOutcome::NotFound) +
         Ru(", отказ соединения ") + n(FetchOutcome::Refused) + Ru(", истекло время ") +
         n(FetchOutcome::TimedOut) + Ru(", сертификат ") + n(FetchOutcome::Certificate) +
         Ru(", слишком велик ") + n(FetchOutcome::TooLarge) + RareFailureText(s) + Ru(", прочие ") +
         DecimalText(s.byOutcome[static_cast<int>(FetchOutcome::Failed)] + s.writeFailures) +
         Ru("); пропущено как уже полные ") + DecimalText(s.skippedComplete) +
         Ru(", слишком длинных адресов ") + DecimalText(s.skippedTooLong) +
         (s.skippedLogout > 0 ? Ru(", ссылок выхода ") + DecimalText(s.skippedLogout) : std::string()) +
         UnrenderedText(s) + Ru("; время ") + time + Ru(" с");
}

std::string AddressFromDrop(std::string_view text, std::string_view collectionFolder) {
  std::string t(text);
  std::size_t link = FindNoCase(t, "=http://");
  if (link == std::string::npos) link = FindNoCase(t, "=https://");
  if (link != std::string::npos) t = t.substr(link + 1);
  t = LocalPathToAddress(t, collectionFolder, ReadSiteScheme);
  if (EndsWith(t, "/index.html")) t.resize(t.size() - 10);
  return HasWebScheme(t) ? t : std::string();
}

RunController::RunController(RunViews views, RunPlatform& platform, ExchangeFiles& exchange,
                             RunScripts& scripts, RunAdmission& admission,
                             ConnectionControl& connection, RunPaths paths)
    : views_(views),
      platform_(platform),
      x_(exchange),
      scripts_(scripts),
      admission_(admission),
      connection_(connection),
      paths_(std::move(paths)),
      stats_([this] { return platform_.SecondsSinceMidnight(); }, [this] { return platform_.Now(); }),
      clock_([this] { return platform_.SecondsSinceMidnight(); }) {}

void RunController::SetCommandLineAddress(const std::string& text) {
  s_.commandLineAddress = Trim(text);
  SettleTimers();
}

void RunController::SettleTimers() {
  // A write-back in progress settles the timers itself when it is over.
  if (scripts_.WriteBackBusy()) return;
  const bool live = !ending_;
  const bool run = live && (RunActive() || s_.running || s_.consoleRunning);
  const bool startWaiting = !s_.commandLineAddress.empty() || !s_.currentStartAddress.empty();
  const bool dialling = dialer_ && dialer_->DiallerActive();
  platform_.EnableTimer(RunTimer::Step, live && RunActive());
  platform_.EnableTimer(RunTimer::Tim1, run);
  platform_.EnableTimer(RunTimer::Tim2, live && !RunActive() && (startWaiting || endNotPolled_));
  platform_.EnableTimer(RunTimer::Tim3, run || (live && (popupCountdown_ >= 0 || dialling)));
  platform_.EnableTimer(RunTimer::Tim4, run || (live && s_.runEnded && s_.exitRequested));
  platform_.EnableTimer(RunTimer::Timer3, run || (live && (busyLabelCountdown_ >= 0 || views_.status.CountdownRunning())));
}

void RunController::ConnectionChanged() {
  connection_.RefreshOnline();
  x_.WriteExt(OnlineFlag, Online() ? "a" : "");
  views_.controls.SetConnectionIndicator(Online());
}

// ---------------------------------------------------------------- commands

void RunController::AddressEnter(const std::string& boxText) {
  if (s_.running) return;
  std::string text = Trim(boxText);
  if (LowerCase(text).empty()) return;
  // A fragment mark after the host part is cut off.
  const std::size_t hash = text.find('#');
  if (hash != std::string::npos && hash >= 10) text = Trim(text.substr(0, hash));
  if (text.empty()) return;
  // The box offers "http://" and the user pastes a whole address after it.
  while (StartsWithNoCase(text, "http://") &&
         (StartsWithNoCase(text.substr(7), "http://") || StartsWithNoCase(text.substr(7), "https://")))
    text.erase(0, 7);
  connection_.RefreshOnline();
  s_.currentStartAddress = text;
  SettleTimers();
}

void RunController::RunButton() {
  // A pending redial fires at once.
  if (dialer_) dialer_->SetLastAttempt(platform_.Now() - std::chrono::minutes(1));
  if (options_.sounds) platform_.PlaySound("click.wav");
  AddressEnter(views_.address.AddressText());
}

void RunController::StopStep() {
  if (s_.running && outcome_ == RunOutcome::None) outcome_ = RunOutcome::Stopped;
  views_.status.Ending();
  s_.firstAddressPhase = false;
  s_.runEnded = true;
  s_.stopRequested = true;
  options_.autoDial = false;
  scripts_.SwitchOffAutoDial();
}

void RunController::StopRun() {
  if (options_.sounds) platform_.PlaySound("click.wav");
  if (!options_.slideStop) {
    const auto stopAll = static_cast<int32_t>(x_.ReadExtNumber(StopAllButton));
    if (stopAll != 0) platform_.PressLeft(stopAll);
  }
  if (s_.running) StopStep();
}

void RunController::Cancel() {
  cancelRequested_ = true;
  if (s_.running) StopRun();
}

bool RunController::CloseRequested() {
  cancelRequested_ = true;
  if (!s_.running) {
    // A start request not yet polled would start a run in a closed window.
    s_.commandLineAddress.clear();
    s_.currentStartAddress.clear();
    s_.pendingStartAddress.clear();
    return false;
  }
  StopAndExit();
  return true;
}

void RunController::StopAndExit() {
  s_.exitRequested = true;
  StopStep();
}

void RunController::CloseChannel(int channel) {
  if (const ChannelRow* row = channels_.Row(channel)) {
    const auto handle = static_cast<int32_t>(LeadingInt(row->tag));
    if (handle != 0) platform_.PressLeft(handle);
  }
  if (channels_.Count() < 2) StopStep();
}

void RunController::ClickStatusPanel(int panel) {
  const bool speedPanel = views_.status.Click(panel);
  SettleTimers();
  if (!speedPanel) return;
  overallSpeedMode_ = !overallSpeedMode_;
  views_.status.SetSpeedToolTip(overallSpeedMode_ ? Ru("Общая скорость") : Ru("Средняя скорость"));
}

void RunController::RunStop(bool stopMode) {
  if (stopMode)
    views_.controls.SetRunStopButton("stop", Ru("Стоп "), 1, Ru("Остановить закачку"));
  else
    views_.controls.SetRunStopButton("run", Ru("Пуск "), 2, Ru("Запустить закачку"));
}

// ---------------------------------------------------------------- start

void RunController::Tim2Tick() {
  Poll();
  SettleTimers();
}

void RunController::Poll() {
  endNotPolled_ = false;
  SupervisionTick();
  // A run in progress takes no start request (the poll is off during a run anyway).
  if (ending_ || RunActive()) return;
  std::string value;
  if (!s_.commandLineAddress.empty()) {
    value = s_.commandLineAddress;
    s_.commandLineAddress.clear();
  } else {
    value = s_.currentStartAddress;
    s_.currentStartAddress.clear();
  }
  if (value.empty()) return;
  views_.address.SetAddressText(value);
  AddressEnter(value);
  std::string box = s_.currentStartAddress;
  s_.currentStartAddress.clear();
  if (box.empty()) return;
  ++startRequests_;
  std::string pending;
  if (!admission_.ValidateStartAddress(box, pending)) {
    s_.currentStartAddress.clear();
    return;
  }
  // The mailbox cannot hold it: the run could never hand its first address out.
  if (pending.size() > static_cast<std::size_t>(ExchangeFiles::kMaxExtValue)) {
    lastStartTooLong_ = true;
    views_.messages.ShowMessage(Ru("Адрес слишком длинный: допускается не более ") +
                                    DecimalText(ExchangeFiles::kMaxExtValue) + Ru(" символов."),
                                MessageIcon::Information);
    return;
  }
  s_.pendingStartAddress = pending;
  StartRun(pending);
}

void RunController::StartRun(const std::string& address) {
  cancelRequested_ = false;
  lastStartTooLong_ = false;
  admission_.ResetScope();
  f_ = FeedState{};
  scripts_.ClearRun();
  platform_.EnableTimer(RunTimer::Tim2, false);
  RunOptions opts;
  if (scripts_.SelectAndLoad(address, opts)) {
    options_ = opts;
    if (DialBeforeStart()) return;
    StartSequence();
  }
  if (ending_ || RunActive()) return;
  RunStop(false);
}

void RunController::StartSequence() {
  views_.controls.HideScriptPanels();
  admission_.ResetCounters();
  x_.WriteExt(CounterWindow, DecimalText(platform_.CounterHandle()));
  SupervisionTick();
  lastStartOffline_ = !s_.pendingStartAddress.empty() && !Online();
  if (s_.pendingStartAddress.empty() || !Online()) {
    s_.pendingStartAddress.clear();
    return;
  }

  ResetByteCounter();
  s_.running = true;
  ++runsStarted_;
  runLoopDone_ = false;
  outcome_ = RunOutcome::None;
  summary_ = RunSummary{};
  startHanded_.clear();
  startSkippedComplete_ = false;
  runStartSeconds_ = platform_.SecondsSinceMidnight();
  const std::string start = s_.pendingStartAddress;
  s_.pendingStartAddress.clear();
  s_.currentStartAddress = start;

  // Address history: no duplicates, at most 21 entries.
  std::vector<std::string> history = views_.address.AddressHistory();
  if (std::find(history.begin(), history.end(), start) == history.end()) {
    if (history.size() > 20) history.erase(history.begin());
    if (HasWebScheme(start)) history.push_back(start);
    views_.address.SetAddressHistory(history);
  }

  views_.address.SetAddressText("");
  views_.controls.SetToolbarButtonEnabled("openfolder", false);
  views_.controls.SetToolbarButtonEnabled("scripts", false);
  views_.controls.SetToolbarButtonPressed("scripts", false);

  s_.idleAfterRun = false;
  f_.handOutCounter = 0;
  s_.stopRequested = false;
  s_.runEnded = false;

  admission_.RebuildScope(start);

  s_.handedOutCount = 0;
  views_.status.Show(3, "");
  ResetByteCounter();

  int category = 8;
  admission_.Admit(start, category);
  f_.currentCategory = category;
  f_.runList.assign(1, std::string());
  f_.runList.push_back(start);
  scripts_.AppendSavedAddresses(f_.runList);
  ResumeFromJournal();
  PrepareCookieJar();

  f_.nextIndex = 1;
  f_.mediaScanIndex = 1;
  f_.outOfOrder.clear();
  s_.firstAddressPhase = true;
  x_.WriteExt(StartPending, "a");

  views_.controls.SetArrayButtonEnabled(7, false);
  views_.controls.SetReloadButtonEnabled(false);
  views_.status.Show(4, Ru(" Запуск "));
  views_.status.Show(5, "");
  SupervisionTick();
  s_.running = true;
  if (Online()) connection_.SetLatches();

  BeginLaunch();
}

bool RunController::CanDial() const {
  return options_.autoDial && dialer_ && !dialer_->RemoteAccessMissing() &&
         !Trim(dialer_->EntryText()).empty() && connection_.Mode() == ConnectionMode::Modem;
}

bool RunController::DialBeforeStart() {
  // A latch left set by an earlier run that lost its line does not dial: only a script that
  // asks for automatic dialling, with an entry to dial, does.
  if (Online() || s_.running || !CanDial()) return false;
  connection_.SetDialLatch(true);
  dialer_->options.retryPauseSeconds = options_.dialRetrySeconds;
  dialer_->options.attemptLimitSeconds = options_.dialWaitSeconds;
  dialer_->options.rotate = options_.dialRotate;
  dialer_->OpenWindow();
  phaseBeforeDialling_ = phase_;
  EnterPhase(Phase::Dialling);
  return true;
}

void RunController::DiallingStep(double now) {
  dialer_->Step();
  if (dialer_->WindowShown()) {
    notBefore_ = now + kDialStepSeconds;
    return;
  }
  // Stopped by the user: the start request is dropped.
  if (dialer_->StoppedByUser()) s_.pendingStartAddress.clear();
  connection_.RefreshOnline();
  StartSequence();
  if (phase_ != Phase::Dialling) return;
  // Nothing started: the program is where it was before the start request.
  EnterPhase(phaseBeforeDialling_);
  if (ending_) return;
  RunStop(false);
  endNotPolled_ = true;  // the poll tells that this request started nothing
  platform_.EnableTimer(RunTimer::Tim2, true);
}

// ---------------------------------------------------------------- the step

const char* RunController::PhaseName(Phase phase) {
  switch (phase) {
    case Phase::Idle: return "idle";
    case Phase::Dialling: return "dialling";
    case Phase::StartingConsole: return "starting the console";
    case Phase::HandingOut: return "handing out";
    case Phase::Ending: return "ending";
    case Phase::WritingBack: return "writing back";
    case Phase::Done: return "done";
  }
  return "?";
}

void RunController::EnterPhase(Phase phase) {
  phase_ = phase;
  phaseSince_ = clock_.Now();
  platform_.EnableTimer(RunTimer::Step, RunActive());
}

void RunController::Step(double now) {
  if (inStep_ || !RunActive() || now < notBefore_) return;
  inStep_ = true;
  switch (phase_) {
    case Phase::Dialling: DiallingStep(now); break;
    case Phase::StartingConsole: StartingConsoleStep(now); break;
    case Phase::HandingOut: HandingOutStep(now); break;
    case Phase::Ending: EndingStep(); break;
    case Phase::WritingBack: WritingBackStep(now); break;
    case Phase::Idle:
    case Phase::Done: break;
  }
  journal_.Sync(now);
  inStep_ = false;
}

// ---------------------------------------------------------------- starting the console

void RunController::BeginLaunch() {
  s_.consoleStarting = true;
  x_.WriteExt(RedirectHost, "");
  x_.WriteExt(RedirectFolder, "");
  x_.WriteExt(ConsoleStarted, "");
  // The console reads the jar's path, never cookies, from the exchange.
  // A path longer than a record holds would leave the previous run's jar named there.
  if (!x_.WriteExt(CookieJar, CookieJarPath())) x_.WriteExt(CookieJar, "");
  if (!paths_.exchangeFolder.empty()) {
    ClearOutcomes(paths_.exchangeFolder);
    fetched_.Restart();
    timeline::Open(paths_.exchangeFolder, timeline::kMainFile);
  }
  s_.consoleRunning = true;
  consoleSeen_ = false;
  timeline::Mark("launch");
  platform_.StartConsole();
  EnterPhase(Phase::StartingConsole);
  lastLaunch_ = phaseSince_;
  notBefore_ = phaseSince_ + 0.02;
}

void RunController::StartingConsoleStep(double now) {
  // Cancelled (the window closes): the stopped run ends as any other, without the message.
  if (ending_ || cancelRequested_) {
    s_.consoleStarting = false;
    EnterPhase(Phase::Ending);
    return;
  }
  if (consoleSeen_) {
    // The console publishes its handles right after its start record.
    s_.counterResetButton = static_cast<int32_t>(LeadingInt(platform_.ReadSetting(kCounterResetButtonKey, "0")));
    s_.consoleWindow = static_cast<int32_t>(LeadingInt(platform_.ReadSetting(kConsoleWindowKey, "0")));
    s_.consoleReady = true;
    x_.WriteExt(CharsetMode, options_.charsetRecord);
    s_.livenessFailures = 0;
    s_.consoleStarting = false;
    stats_.MarkRunStart();
    timeline::Mark("ready");
    BeginHandingOut(now);
    notBefore_ = now + 0.02;
    return;
  }
  if (!x_.ReadExt(ConsoleStarted).empty()) {
    consoleSeen_ = true;
    notBefore_ = now + 0.05;
    return;
  }
  if (now - phaseSince_ > kLaunchTimeoutSeconds) {
    if (Online()) {
      CloseConnection(true);
      views_.messages.ShowMessage(Ru("Ошибка приемного блока. Соединение разорвано. Программа будет закрыта."),
                                  MessageIcon::None);
    } else {
      views_.messages.ShowMessage(Ru("Ошибка приемного блока. Программа будет закрыта."), MessageIcon::Error);
    }
    runLoopDone_ = true;
    EnterPhase(Phase::Done);
    Fatal(3);
    return;
  }
  // The first console may have met the single-instance lock of one a killed main program left.
  if (now - lastLaunch_ > kRelaunchSeconds) {
    platform_.StartConsole();
    lastLaunch_ = now;
  }
  notBefore_ = now + 0.01;
}

// ---------------------------------------------------------------- handing out

void RunController::BeginHandingOut(double now) {
  EnterPhase(Phase::HandingOut);
  s_.feedingActive = true;
  x_.WriteExt(CharsetMode, options_.charsetRecord);
  stats_.ResetOnline();
  f_.outOfOrder.clear();
  job_ = HandOutJob{};
  lineLost_ = false;
  redialling_ = false;
  (void)now;
}

void RunController::HandingOutStep(double now) {
  if (redialling_ && !RedialStep(now)) return;
  if (lineLost_) {
    LineLostStep(now);
    return;
  }
  if (job_.stage != HandOutStage::None) {
    const HandOutResult r = AdvanceHandOut(now);
    if (r == HandOutResult::Waiting) return;
  }
  while (!ending_) {
    // A run only starts on line: off line now means the line went down during the run.
    if (!Online() && !s_.stopRequested) {
      if (!ConnectionLost(now)) return;
      continue;
    }
    if (f_.nextIndex > f_.LastIndex() && s_.consoleBusy == 0 && !s_.firstAddressPhase) {
      // A console that went idle between two supervision ticks may still have a report
      // waiting: its links belong to this run, so the run is not over yet.
      if (!x_.ReadExt(ReportReady).empty()) {
        CollectResults();
        continue;
      }
      if (!s_.collectingActive) {
        if (outcome_ == RunOutcome::None) outcome_ = RunOutcome::Completed;
        StopStep();
        EnterEnding();
      }
      return;
    }
    if (s_.stopRequested) {
      CollectResults();
      EnterEnding();
      return;
    }
    // A long stretch of skipped addresses lets the window breathe and shows the progress.
    if (++f_.progressCounter > 30) {
      views_.status.ShowIfChanged(3, Ru(" выполнено ") + ProgressPercentText(f_.LastIndex(), f_.nextIndex) +
                                         Ru("% сценария"));
      f_.progressCounter = 0;
      notBefore_ = now + 0.01;
      return;
    }

    HandOutResult r = HandOutResult::Skipped;
    if (options_.media && !s_.firstAddressPhase && f_.mediaScanIndex < f_.LastIndex()) {
      int32_t found = 0;
      for (int32_t i = f_.mediaScanIndex; i <= f_.LastIndex(); ++i) {
        const int cat = admission_.CategoryOf(f_.runList[i]);
        if (cat == 2 || cat == 3) {
          f_.currentCategory = cat;
          found = i;
          break;
        }
      }
      if (found != 0) {
        f_.outOfOrder.insert(found);
        f_.mediaScanIndex = found + 1;
        // Taken ahead of its turn, but admitted as every other address is.
        f_.inScope = admission_.Admit(f_.runList[found], f_.currentCategory);
        r = BeginHandOut(found, true, now);
        if (r == HandOutResult::Waiting) r = AdvanceHandOut(now);
        if (r == HandOutResult::Waiting) return;
        continue;
      }
      // Nothing further down: later scans start from the entries added since.
      f_.mediaScanIndex = f_.LastIndex();
    }

    if (f_.nextIndex <= f_.LastIndex()) {
      const int32_t i = f_.nextIndex;
      if (f_.outOfOrder.count(i) != 0) {
        ++f_.nextIndex;
        continue;
      }
      f_.inScope = admission_.Admit(f_.runList[i], f_.currentCategory);
      ++f_.nextIndex;
      r = BeginHandOut(i, false, now);
      if (r == HandOutResult::Waiting) r = AdvanceHandOut(now);
      if (r == HandOutResult::Waiting) return;
      continue;
    }
    // Everything is handed out and the console still works: the links of the page it
    // finishes next are the next addresses, so its report is read as soon as it is there,
    // not at the next collection tick.
    if (!x_.ReadExt(ReportReady).empty()) {
      CollectResults();
      continue;
    }
    return;
  }
}

RunController::HandOutResult RunController::PutBack() {
  if (job_.fromMediaPass) {
    f_.outOfOrder.erase(job_.index);
    f_.mediaScanIndex = std::min(f_.mediaScanIndex, job_.index);
  } else {
    f_.nextIndex = std::min(f_.nextIndex, job_.index);
  }
  job_ = HandOutJob{};
  return HandOutResult::PutBack;
}

void RunController::EnterStage(HandOutStage stage, double now) {
  job_.stage = stage;
  job_.since = now;
  // Every wait for the console starts its own stall watch.
  watchedBusy_ = x_.ReadExt(BusyChannels);
  watchedCounter_ = platform_.CounterCaption();
  lastProgress_ = now;
}

RunController::HandOutResult RunController::BeginHandOut(int32_t index, bool fromMediaPass, double now) {
  job_ = HandOutJob{};
  job_.index = index;
  job_.fromMediaPass = fromMediaPass;
  job_.address = f_.runList[index];
  // A cut address is another address: one the mailbox cannot hold is not fetched at all.
  if (job_.address.size() > static_cast<std::size_t>(ExchangeFiles::kMaxExtValue)) {
    ++f_.skippedTooLong;
    job_ = HandOutJob{};
    return HandOutResult::Skipped;
  }
  if (!s_.firstAddressPhase) {
    if (!f_.inScope || !admission_.InScope(job_.address, f_.currentCategory) ||
        (options_.depthOn && admission_.TooDeep(job_.address, options_.depthLimit))) {
      job_ = HandOutJob{};
      return HandOutResult::Skipped;
    }
  }
  EnterStage(HandOutStage::FreeChannel, now);
  return HandOutResult::Waiting;
}

bool RunController::ConsoleStillAwaited(double now) {
  if (ending_ || cancelRequested_ || s_.stopRequested) return false;
  // A channel that finished a page waits for its report to be read before it takes again.
  if (!x_.ReadExt(ReportReady).empty()) CollectResults();
  const std::string busy = x_.ReadExt(BusyChannels);
  const std::string counter = platform_.CounterCaption();
  if (busy != watchedBusy_ || counter != watchedCounter_) {
    watchedBusy_ = busy;
    watchedCounter_ = counter;
    lastProgress_ = now;
  } else if (now - lastProgress_ > stallSeconds_) {
    views_.status.Show(3, Ru(" Консоль не отвечает"));
    if (outcome_ == RunOutcome::None) outcome_ = RunOutcome::ConsoleStalled;
    s_.stopRequested = true;
    s_.firstAddressPhase = false;
    return false;
  }
  return true;
}

RunController::HandOutResult RunController::AdvanceHandOut(double now) {
  const auto skipped = [this] {
    job_ = HandOutJob{};
    return HandOutResult::Skipped;
  };
  for (;;) {
    switch (job_.stage) {
      case HandOutStage::None:
        return HandOutResult::Skipped;

      case HandOutStage::FreeChannel: {
        if (x_.ReadExtNumber(BusyChannels) > options_.channels) {
          if (!ConsoleStillAwaited(now)) return skipped();
          return HandOutResult::Waiting;
        }
        if (ending_ || cancelRequested_ || s_.stopRequested) return skipped();
        // The line went down meanwhile: the address waits for the line (or the next run).
        if (!connection_.RefreshOnline()) return PutBack();
        if (options_.chosenWithoutMatch && !f_.withoutMatchApplied) {
          f_.nextIndex = std::max<int32_t>(1, f_.LastIndex() - 1);
          f_.withoutMatchApplied = true;
        }
        ++f_.handOutCounter;
        ++s_.handedOutCount;
        if (options_.sounds && s_.handedOutCount % 10 == 0) platform_.PlaySound("ten.wav");
        if (s_.consoleBusy == 0) s_.consoleBusy = 1;
        // A fetch shorter than one supervision tick must not look like an idle console.
        holdCounter_ = kHoldTicks;
        const std::string number = StrText(f_.handOutCounter - 1);
        views_.status.HandingOut(number);
        views_.controls.SetLimitRowText(kAddressLimitRowKey, Ru("Адреса: ") + number);
        platform_.EnableTimer(RunTimer::Tim4, false);
        EnterStage(HandOutStage::Mailbox, now);
        break;
      }

      case HandOutStage::Mailbox: {
        if (!x_.ReadExt(NextUrl).empty() || ending_ || cancelRequested_ || s_.stopRequested) {
          if (!ConsoleStillAwaited(now)) {
            platform_.EnableTimer(RunTimer::Tim4, true);
            return skipped();
          }
          return HandOutResult::Waiting;
        }
        std::string address = job_.address;
        x_.WriteExt(UserAgent, options_.userAgent);
        x_.WriteExt(ProxySpec, options_.proxy ? Trim(admission_.CurrentProxy()) : std::string());
        x_.WriteExt(ProxyAlternates, options_.proxy && options_.proxyAlternate ? "1" : "");
        x_.WriteExt(StartPending, "a");
        StripTrailingMarker(address, kEmbeddedMarker);
        if (!options_.analog) StripTrailingMarker(address, kFrameMarker);

        const int state = LocalState(address);
        if (!(state == 0 || state == 1 || (state == 2 && options_.refresh))) {
          platform_.EnableTimer(RunTimer::Tim4, true);
          // A fresh local copy of the first address ends the first-address phase too;
          // otherwise a run whose files are all present would never end.
          if (s_.firstAddressPhase) startSkippedComplete_ = true;
          s_.firstAddressPhase = false;
          ++f_.skippedComplete;
          // A run that resumes one cut short goes on to what its complete pages link to: the
          // links of the pages saved last may never have reached the run list. (After a run
          // that was written back, the script holds what is left to do.)
          MergeLinksOfCompleteCopy(address);
          return skipped();
        }
        std::string minSize = "0", maxSize = "0";
        if (f_.currentCategory >= 1 && f_.currentCategory <= 8) {
          const RunCategory& c = options_.categories[f_.currentCategory];
          minSize = c.minBytes;
          maxSize = c.maxBytes;
        }
        x_.WriteExt(MinSize, minSize);
        x_.WriteExt(MaxSize, maxSize);
        f_.handedOut.push_back(job_.index);
        if (s_.firstAddressPhase) startHanded_ = address;
        x_.WriteExt(NextUrl, address);
        journal_.HandedOut(address);
        timeline::Mark("handed", address);
        CollectResults();
        job_.address = address;
        EnterStage(HandOutStage::Taken, now);
        break;
      }

      case HandOutStage::Taken: {
        bool taken = x_.ReadExt(NextUrl).empty();
        if (!taken && now - job_.since > kTakeTimeoutSeconds && s_.consoleBusy == 0) {
          // An idle console that does not take the address within the take timeout ends the run.
          s_.stopRequested = true;
          if (outcome_ == RunOutcome::None) outcome_ = RunOutcome::ConsoleStalled;
          taken = true;
        }
        if (!taken) {
          if (ConsoleStillAwaited(now)) return HandOutResult::Waiting;
        } else {
          timeline::Mark("seen-taken", job_.address);
          // The channel that took it is busy (the console says so before it empties the
          // mailbox), though the busy count last sampled may predate the take by seconds.
          if (s_.consoleBusy == 0) s_.consoleBusy = 1;
          holdCounter_ = kHoldTicks;
        }
        if (!taken || s_.stopRequested) s_.firstAddressPhase = false;
        platform_.EnableTimer(RunTimer::Tim4, true);
        if (s_.firstAddressPhase) {
          EnterStage(HandOutStage::StartRedirect, now);
          notBefore_ = now + 0.02;
          return HandOutResult::Waiting;
        }
        if (options_.proxy && options_.proxyAlternate) admission_.AlternateProxy();
        job_ = HandOutJob{};
        return HandOutResult::Handed;
      }

      case HandOutStage::StartRedirect: {
        // The start address may be redirected: its target replaces it, and the scope follows
        // the new host, before anything else is handed out.
        if (ending_) return skipped();
        CollectResults();
        const std::string pending = x_.ReadExt(StartPending);
        const std::string target = x_.ReadExt(RedirectTarget);
        if (!target.empty()) {
          s_.currentStartAddress = target;
          x_.WriteExt(RedirectTarget, "");
          f_.redirectOf[startHanded_] = AsHandedOut(target);
        }
        job_.lastHost = x_.ReadExt(RedirectHost);
        if (!job_.lastHost.empty()) {
          std::string site = job_.lastHost;
          const std::string folder = x_.ReadExt(RedirectFolder);
          if (!HasWebScheme(site)) site = std::string(kHttpScheme) + site;
          if (site.back() != '/') site += '/';
          admission_.RebaseOnRedirect(site, folder);
          x_.WriteExt(RedirectHost, "");
          x_.WriteExt(RedirectFolder, "");
          f_.nextIndex = std::max<int32_t>(1, f_.nextIndex - 2);
        }
        // An idle console never empties the start mark (nothing was fetched): do not wait forever.
        const bool over = pending.empty() || (now - job_.since > kTakeTimeoutSeconds && s_.consoleBusy == 0);
        if (!over) {
          notBefore_ = now + 0.02;
          return HandOutResult::Waiting;
        }
        if (!job_.lastHost.empty()) f_.nextIndex = std::max<int32_t>(1, f_.nextIndex - 1);
        platform_.EnableTimer(RunTimer::Tim4, true);
        if (options_.proxy && options_.proxyAlternate) admission_.AlternateProxy();
        s_.firstAddressPhase = false;
        job_ = HandOutJob{};
        return HandOutResult::Handed;
      }
    }
  }
}

bool RunController::ConnectionLost(double now) {
  if (CanDial() && !cancelRequested_) {
    dialer_->options.retryPauseSeconds = options_.dialRetrySeconds;
    dialer_->options.attemptLimitSeconds = options_.dialWaitSeconds;
    dialer_->options.rotate = options_.dialRotate;
    dialer_->OpenWindow();
    redialling_ = true;
    return RedialStep(now);
  }
  BeginLineLost(now);
  return false;
}

bool RunController::RedialStep(double now) {
  dialer_->Step();
  if (dialer_->WindowShown()) {
    notBefore_ = now + kDialStepSeconds;
    return false;
  }
  redialling_ = false;
  connection_.RefreshOnline();
  if (Online()) return true;
  BeginLineLost(now);
  return false;
}

void RunController::BeginLineLost(double now) {
  // What the console still fetches belongs to this run; an idle console is not waited for
  // longer than the take timeout.
  lineLost_ = true;
  lineLostSince_ = now;
  LineLostStep(now);
}

void RunController::LineLostStep(double now) {
  if (s_.consoleBusy != 0 && !ending_ && !cancelRequested_ && now - lineLostSince_ < kTakeTimeoutSeconds) {
    notBefore_ = now + 0.05;
    return;
  }
  lineLost_ = false;
  views_.status.Show(3, Ru(" Соединение потеряно"));
  if (outcome_ == RunOutcome::None) outcome_ = RunOutcome::ConnectionLost;
  s_.runEnded = true;
  s_.stopRequested = true;
  s_.firstAddressPhase = false;
  connection_.SetDialLatch(true);
  EnterEnding();
}

int RunController::LocalState(const std::string& address) const {
  const LocalName name = LocalNameOf(address, paths_.collectionFolder);
  const int attrs = GetFileAttributes(name.path);
  if (attrs < 0 || (attrs & kAttrDirectory) != 0) return 0;
  if ((attrs & kAttrSystem) != 0) return 1;
  const auto times = GetFileTimes(name.path);
  if (!times) return 3;
  using namespace std::chrono;
  const auto hourOf = [](system_clock::time_point t) {
    return static_cast<long long>(std::floor(duration_cast<seconds>(t.time_since_epoch()).count() / 3600.0));
  };
  const long long hours = hourOf(platform_.Now()) - hourOf(times->modified);
  return hours > 24 ? 2 : 3;
}

// ---------------------------------------------------------------- results

void RunController::SpeedLog(const std::string& line) {
  if (paths_.speedLogPath.empty()) return;
  // The owner's alone, as every file of the exchange folder: its lines carry addresses.
  const int fd = OpenOwnerOnlyAppend(paths_.speedLogPath);
  if (fd < 0) return;
  const std::string entry = line + "\r\n";
  (void)!::write(fd, entry.data(), entry.size());
  ::close(fd);
}

void RunController::CollectResults() {
  if (scripts_.WriteBackBusy()) return;
  s_.collectingActive = true;
  if (!x_.ReadExt(ReportReady).empty()) {
    std::vector<std::string> batch = x_.ReadUrlList();
    if (batch.empty()) {
      // Unreadable now: left pending for the next tick.
      s_.collectingActive = false;
      return;
    }
    const long long n = LeadingInt(batch[0]);
    x_.WriteExt(ReportReady, "");
    timeline::Mark("collected", batch[0]);
    if (n > 0 && batch.size() > 1) {
      const std::string& first = batch[1];
      if (first.find(kNotFoundMarker) != std::string::npos) {
        const std::string rest = first.size() > 10 ? first.substr(10) : std::string();
        if (rest.size() >= 10) f_.notFound.push_back(Trim(rest));
      } else if (first.find(kRedirMarker) != std::string::npos) {
        std::string rest = first.size() > 10 ? first.substr(10) : std::string();
        const bool longEnough = rest.size() >= 9;
        rest = AsHandedOut(rest);
        if (longEnough && options_.ModeCollects()) {
          if (f_.redirectKeys.insert(LowerCase(rest)).second) {
            f_.redirects.push_back(rest);
            // The target joins the run like a found link; otherwise a redirected address
            // (a redirecting start page above all) would never be fetched.
            scripts_.MergeFoundLinks({"1", rest}, f_.runList);
          }
        }
      } else {
        SpeedLog(Ru("Начало сортировки"));
        if (options_.ModeCollects()) {
          f_.logoutLinks.Filter(
              batch, [this](const std::string& link) { return InRunList(link); }, [this] { return HasLoginCookie(); });
          scripts_.MergeFoundLinks(batch, f_.runList);
        }
        SpeedLog(Ru("Конец сортировки"));
      }
      JournalNewEntries();
    }
  }
  s_.collectingActive = false;
}

// ---------------------------------------------------------------- journal

std::string RunController::JournalPath() const {
  // The web-search job is removed at the end of every run; it keeps no journal.
  if (paths_.collectionFolder.empty() || options_.scriptNumber < 0 || options_.scriptNumber >= 16) return {};
  return paths_.collectionFolder + "orvef" + DecimalText(options_.scriptNumber) + ".journal";
}

void RunController::ResumeFromJournal() {
  journaledUpTo_ = 0;
  resuming_ = false;
  const std::string path = JournalPath();
  if (path.empty()) return;
  const RunJournal::Contents left = RunJournal::Read(path);
  resuming_ = left.present;
  if (left.present && !left.addresses.empty()) {
    std::vector<std::string> batch{DecimalText(static_cast<int64_t>(left.addresses.size()))};
    batch.insert(batch.end(), left.addresses.begin(), left.addresses.end());
    scripts_.MergeFoundLinks(batch, f_.runList);
  }
  journal_.Begin(path, f_.runList.size() > 1 ? f_.runList[1] : std::string(), f_.runList);
  journaledUpTo_ = f_.LastIndex();
}

// ---------------------------------------------------------------- cookies

std::string RunController::CookieJarPath() const {
  if (paths_.collectionFolder.empty() || options_.scriptNumber < 0 || options_.scriptNumber >= kUserSlots) return {};
  return CookieJarFileName(paths_.collectionFolder, options_.scriptNumber);
}

void RunController::PrepareCookieJar() {
  const std::string jar = CookieJarPath();
  if (givenCookies_.empty() || jar.empty()) return;
  CookieFileContents held = ReadCookieFile(jar);
  // A jar that cannot be read is replaced: the cookies given now are what the user wants.
  MergeCookies(held.cookies, givenCookies_);
  if (!WriteCookieFile(jar, held.cookies))
    views_.messages.ShowMessage(Ru("Файл cookies сценария не удалось записать: ") + jar, MessageIcon::Error);
}

bool RunController::HasLoginCookie() const {
  const std::string jar = CookieJarPath();
  return !jar.empty() && !ReadCookieFile(jar).cookies.empty();
}

bool RunController::InRunList(const std::string& link) const {
  std::string address = link;
  CutReferrer(address);
  StripTrailingMarker(address, kEmbeddedMarker);
  StripTrailingMarker(address, kFrameMarker);
  return std::find(f_.runList.begin() + 1, f_.runList.end(), address) != f_.runList.end();
}

void RunController::JournalNewEntries() {
  for (int32_t i = journaledUpTo_ + 1; i <= f_.LastIndex(); ++i) journal_.Added(f_.runList[i]);
  journaledUpTo_ = std::max(journaledUpTo_, f_.LastIndex());
}

void RunController::MergeLinksOfCompleteCopy(const std::string& address) {
  if (!resuming_ || !options_.ModeCollects() || paths_.collectionFolder.empty()) return;
  const LocalName name = LocalNameOf(address, paths_.collectionFolder);
  const std::vector<std::string> links = ReadSavedPageLinks(name.path, paths_.collectionFolder, ReadSiteScheme);
  if (links.empty()) return;
  scripts_.MergeFoundLinks(LinkListElements(links), f_.runList);
  JournalNewEntries();
}

// ---------------------------------------------------------------- supervision

void RunController::SupervisionTick() {
  if (scripts_.WriteBackBusy() || ending_) return;
  connection_.RefreshOnline();

  if (!(dialer_ && dialer_->DiallerActive())) {
    if (popupCountdown_ >= 0) {
      ++popupCountdown_;
      if (popupCountdown_ < 51)
        platform_.ClosePopups(true);
      else
        popupCountdown_ = -1;
    }
    if (!Online() && s_.running) popupCountdown_ = 1;
  }

  views_.controls.SetArrayButtonEnabled(3, s_.running);
  RunStop(s_.running);

  connection_.LatchTick(s_.running, options_.autoDial);

  const bool counting = options_.onlineOn && s_.running && s_.consoleBusy != 0 && !s_.firstAddressPhase;
  if (auto row = stats_.AccountOnline(Online(), counting)) views_.controls.SetLimitRowText(kOnlineLimitRowKey, *row);
  if (s_.running && stats_.OnlineLimitReached(options_.onlineOn, options_.onlineLimit)) {
    s_.stopRequested = true;
    CloseConnection(true);
  }

  x_.WriteExt(OnlineFlag, Online() ? "a" : "");

  if (!s_.consoleStarting && s_.consoleRunning) {
    const std::string text = platform_.ReadWindowText(s_.consoleWindow);
    if (!ContainsNoCase(text, "console")) ++s_.livenessFailures;
    if (s_.livenessFailures > kLivenessLimit) {
      s_.livenessFailures = 11;
      if (Online()) CloseConnection(true);
      if (outcome_ == RunOutcome::None && s_.running) outcome_ = RunOutcome::ConsoleFailed;
      if (!s_.consoleFailureReported) {
        s_.consoleFailureReported = true;
        // What was not fetched stays in the script, so the next run goes on from there; the
        // run's summary is there for the batch front end to print.
        bool written = true;
        if (s_.running) {
          Summarise();
          written = WriteBackRun();
          s_.running = false;
        }
        views_.messages.ShowMessage(
            Ru("Произошла ошибка консоли или ее работа прервана пользователем. Соединение "
               "разорвано. ") +
                (written ? Ru("Текущий сценарий сохранен, программа будет закрыта.")
                         : Ru("Текущий сценарий сохранить не удалось (его адреса остались в журнале "
                              "закачки), программа будет закрыта.")),
            MessageIcon::Error);
        PrepareToClose();
        runLoopDone_ = true;
        if (RunActive()) EnterPhase(Phase::Done);
        Fatal(4);
        return;
      }
      StopStep();
      s_.exitRequested = true;
    }
  }

  lastBusyText_ = x_.ReadExt(BusyChannels);
  auto n = static_cast<int32_t>(LeadingInt(lastBusyText_));
  if (n != 0) {
    holdCounter_ = kHoldTicks;
  } else {
    if (holdCounter_ > 0) n = 1;
    holdCounter_ = Online() ? std::max(0, holdCounter_ - 1) : 0;
  }
  if (n == 0 && s_.consoleBusy != 0) timeline::Mark("idle");
  s_.consoleBusy = n;

  views_.controls.SetConnectionIndicator(Online());
  StatisticsStep();
  FollowFetched();
}

void RunController::FollowFetched() {
  // Only the log of the run going on: the console clears it when it is launched.
  if (paths_.exchangeFolder.empty() || !fetchedSink_ || !s_.consoleRunning) return;
  for (const OutcomeRecord& r : fetched_.ReadNew(paths_.exchangeFolder)) fetchedSink_(r.address);
}

void RunController::StatisticsStep() {
  if (views_.status.StatisticsActive()) {
    const auto out = stats_.Step(platform_.CounterCaption(), views_.status.Text(2), overallSpeedMode_);
    views_.status.ShowIfChanged(5, out.panel5);
    if (out.panel4) views_.status.ShowIfChanged(4, *out.panel4);
    if (out.panel2) {
      views_.status.Show(2, *out.panel2);
      views_.controls.SetLimitRowText(kVolumeLimitRowKey, *out.valuesRow);
    }
  } else if (!views_.status.Text(2).empty()) {
    views_.status.Show(2, "");
    views_.controls.SetLimitRowText(kAddressLimitRowKey, IdleAddressRow());
    views_.controls.SetLimitRowText(kVolumeLimitRowKey, IdleVolumeRow());
    views_.controls.SetLimitRowText(kOnlineLimitRowKey, IdleOnlineRow());
  }
  if (s_.running) {
    if (TransferStatistics::AddressLimitReached(options_.addressLimitOn, options_.addressLimit,
                                                f_.handOutCounter) ||
        stats_.VolumeLimitReached(options_.volumeOn, options_.volumeLimit))
      s_.stopRequested = true;
  }
}

void RunController::ResetByteCounter() {
  stats_.ResetCounter();
  if (s_.counterResetButton != 0) platform_.PressLeft(s_.counterResetButton);
  platform_.SetCounterCaption("");
}

// ---------------------------------------------------------------- end of run

void RunController::EnterEnding() {
  s_.feedingActive = false;
  job_ = HandOutJob{};
  EnterPhase(Phase::Ending);
}

void RunController::EndOfRunCheck() {
  if (scripts_.WriteBackBusy() || ending_) return;
  if (phase_ == Phase::Ending) {
    EndingStep();
    return;
  }
  if (!RunActive() && s_.runEnded && s_.exitRequested) {
    if (options_.disconnectAtEnd && Online()) CloseConnection(true);
    PrepareToClose();
  }
}

void RunController::EndingStep() {
  if (scripts_.WriteBackBusy() || ending_) return;
  // The last reports of the console belong to this run.
  CollectResults();
  if (s_.collectingActive || ConsoleActive()) return;
  s_.firstAddressPhase = false;
  BeginWriteBack();
}

void RunController::BeginWriteBack() {
  timeline::Mark("end-of-run");
  EnterPhase(Phase::WritingBack);
  s_.runEnded = true;
  views_.status.Show(3, Ru(" Завершение работы"));
  views_.controls.SetArrayButtonEnabled(7, true);
  views_.controls.SetReloadButtonEnabled(true);
  s_.running = false;
  s_.runEnded = false;

  if (options_.disconnectAtEnd && Online()) CloseConnection(true);

  Summarise();
  WriteBackRun();
  SettleTimers();

  views_.status.Ending();
  f_.runList.assign(1, std::string());
  f_.handedOut.clear();
  f_.redirects.clear();
  f_.redirectKeys.clear();
  f_.notFound.clear();
  scripts_.ClearRun();

  platform_.WriteSetting(kAllTimeBytesKey, DecimalText(stats_.AllTimeBytes()));

  views_.controls.SetToolbarButtonEnabled("openfolder", true);
  views_.controls.SetToolbarButtonEnabled("scripts", true);
  s_.idleAfterRun = true;
  s_.runEnded = true;
  s_.stopRequested = true;
  s_.firstAddressPhase = false;

  views_.status.Done();
  views_.status.Show(5, "");
  if (!views_.status.Text(4).empty()) views_.status.Show(4, "");
  // A run that ended early says why where the progress stood.
  if (outcome_ == RunOutcome::ConnectionLost) views_.status.Show(3, Ru(" Соединение потеряно"));
  if (outcome_ == RunOutcome::ConsoleStalled) views_.status.Show(3, Ru(" Консоль не отвечает"));

  x_.ClearChannels();
  std::remove((paths_.collectionFolder + "orvef16").c_str());
  channels_.Clear(views_.channels);

  if (options_.closeAtEnd && (!options_.autoDial || !connection_.DialLatch())) PrepareToClose();

  // The console is ended; the next steps wait (bounded) for its window to go.
  s_.consoleStarting = true;
  if (LeadingInt(platform_.ReadSetting(kQuitButtonKey, "0")) == 0) {
    s_.consoleStarting = false;
    s_.livenessFailures = 0;
    platform_.EnableTimer(RunTimer::Tim3, true);
  }
  if (s_.consoleRunning) {
    const auto handle = static_cast<int32_t>(LeadingInt(platform_.ReadSetting(kConsoleWindowKey, "0")));
    if (handle != 0) {
      s_.consoleWindow = handle;
      TerminateConsole(handle);
      platform_.WriteSetting(kConsoleWindowKey, "0");
    }
    s_.consoleRunning = false;
  }
}

void RunController::WritingBackStep(double now) {
  if (ContainsNoCase(platform_.ReadWindowText(s_.consoleWindow), "console") &&
      now - phaseSince_ < kShutdownWaitSeconds) {
    notBefore_ = now + 0.05;
    return;
  }
  FinishRun();
}

void RunController::FinishRun() {
  platform_.WriteSetting(kCounterResetButtonKey, "0");
  platform_.WriteSetting(kConsoleChannelKey, "0");
  s_.consoleWindow = 0;
  s_.counterResetButton = 0;
  x_.WriteExt(StopAllButton, "0");
  s_.consoleRunning = false;
  s_.consoleReady = false;
  timeline::Mark("console-ended");

  if (s_.runEnded && s_.exitRequested) {
    if (options_.disconnectAtEnd && Online()) CloseConnection(true);
    PrepareToClose();
  }
  // The main window is re-initialised: no start request is left over from this run.
  s_.currentStartAddress.clear();
  runLoopDone_ = true;
  endNotPolled_ = true;
  EnterPhase(Phase::Done);
  if (ending_) return;
  RunStop(false);
  // A last look, so the indicator and the panels rest as they are between runs.
  SupervisionTick();
  platform_.PollStartRequestsNow();
  SettleTimers();
}

void RunController::Summarise() {
  RunSummary& m = summary_;
  m = RunSummary{};
  m.outcome = outcome_ == RunOutcome::None ? RunOutcome::Stopped : outcome_;
  m.skippedComplete = f_.skippedComplete;
  m.skippedTooLong = f_.skippedTooLong;
  m.skippedLogout = f_.logoutLinks.Skipped();
  double seconds = platform_.SecondsSinceMidnight() - runStartSeconds_;
  if (seconds < 0) seconds += 86400;  // past midnight
  m.seconds = seconds;
  m.startFetched = startSkippedComplete_;
  if (paths_.exchangeFolder.empty()) return;
  FollowFetched();
  std::vector<OutcomeRecord> outcomes = ReadOutcomes(paths_.exchangeFolder);
  for (OutcomeRecord& r : outcomes) {
    // A body cut short (the run stopped under it) is still marked partial on disk: it was
    // not saved, and the next run resumes it.
    if (r.outcome == FetchOutcome::Saved && !paths_.collectionFolder.empty() && LocalState(r.address) == 1)
      r.outcome = FetchOutcome::Failed;
    ++m.byOutcome[static_cast<int>(r.outcome)];
    if (r.outcome == FetchOutcome::Saved) {
      ++m.saved;
      m.savedBytes += r.bytes;
    }
    if (r.outcome == FetchOutcome::Unchanged) ++m.unchanged;
    if (r.unrendered && r.outcome == FetchOutcome::Saved) ++m.unrendered;
  }
  m.writeFailures = m.byOutcome[static_cast<int>(FetchOutcome::Unwritten)];
  m.startFetched = m.startFetched || StartFetched(outcomes);
}

bool RunController::StartFetched(const std::vector<OutcomeRecord>& outcomes) const {
  if (startHanded_.empty()) return false;
  // Each redirect answer's target as it was handed out, then the last outcome of each address
  // of the redirect chain from the start address.
  std::unordered_map<std::string, std::string> redirectOf = f_.redirectOf;
  for (const OutcomeRecord& r : outcomes)
    if (!r.redirectTo.empty()) redirectOf[r.address] = AsHandedOut(r.redirectTo);
  std::unordered_map<std::string, FetchOutcome> last;
  std::unordered_set<std::string> chain{startHanded_};
  for (std::string a = startHanded_;;) {
    const auto next = redirectOf.find(a);
    if (next == redirectOf.end() || !chain.insert(next->second).second) break;
    a = next->second;
  }
  for (const OutcomeRecord& r : outcomes)
    if (chain.count(r.address) != 0) last[r.address] = r.outcome;

  std::string address = startHanded_;
  for (std::size_t hop = 0; hop < chain.size(); ++hop) {
    const auto outcome = last.find(address);
    const auto target = redirectOf.find(address);
    if (outcome == last.end()) {
      // Not fetched in this run: a target whose complete copy was there already counts.
      return hop > 0 && LocalState(address) >= 2;
    }
    if (outcome->second == FetchOutcome::Saved) return true;
    if (outcome->second != FetchOutcome::Unchanged) return false;
    if (target == redirectOf.end()) return true;  // a current copy, not a redirect
    address = target->second;
  }
  return false;  // the redirects go round in a circle
}

bool RunController::WriteBackRun() {
  RunResults results;
  results.startAddress = s_.currentStartAddress;
  results.runList = &f_.runList;
  results.handedOut = &f_.handedOut;
  results.notFound = &f_.notFound;
  results.redirects = &f_.redirects;
  const bool written = scripts_.WriteBack(results);
  if (written) {
    journal_.Remove();
  } else {
    journal_.Close();
    summary_.scriptNotWritten = true;
    views_.messages.ShowMessage(Ru("Сценарий не удалось записать в папку коллекции (диск переполнен или "
                                   "защищен от записи). Его адреса остались в журнале закачки: следующий "
                                   "запуск продолжит с них."),
                                MessageIcon::Error);
  }
  return written;
}

void RunController::TerminateConsole(int32_t handle) {
  platform_.TerminateWindowOwner(handle);
  x_.WriteExt(BusyChannels, "0");
  lastBusyText_ = "0";
}

void RunController::PrepareToClose() {
  views_.status.Show(3, Ru(" Подготовка к закрытию программы"));
  platform_.PrepareToClose();
}

void RunController::CloseConnection(bool switchOffAutoDial) {
  if (switchOffAutoDial) {
    options_.autoDial = false;
    scripts_.SwitchOffAutoDial();
  }
  if (dialer_)
    dialer_->CloseConnection(false);
  else
    connection_.CloseConnection();
}

void RunController::Fatal(int exitCode) {
  ending_ = true;
  exitCode_ = exitCode;
  platform_.EndProgram(exitCode);
}

// ---------------------------------------------------------------- channel list

void RunController::Timer3Tick() {
  if (++channelTicks_ < 3) return;  // the timer's state changes only on a pass
  channelTicks_ = 0;
  if (s_.consoleReady && s_.consoleRunning) {
    const auto iconOf = [this](const std::string& address) { return admission_.IconCategoryOf(address); };
    for (int n = 1; n <= ExchangeFiles::kChannels; ++n) channels_.Refresh(n, x_.ReadChannel(n), iconOf, views_.channels);
  }
  if (++channelPasses_ >= 4) {
    channelPasses_ = 0;
    views_.status.CountdownPass();
    if (busyLabelCountdown_ >= 0 && --busyLabelCountdown_ <= 0) {
      busyLabelCountdown_ = -1;
      views_.controls.HideBusyLabels();
    }
    // The browser opens dialogs of its own that would stall an unattended run.
    if (platform_.CollectionBrowserShown()) platform_.ClosePopups(true);
  }
  SettleTimers();
}

}  // namespace orv
