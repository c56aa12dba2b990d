#include "main/app/orv_app.h"


#include <cstdio>

#include "common/numbers.h"
#include "common/text.h"
#include "main/base/unwired.h"
#include "main/run/run_clock.h"
#include "main/scripts/script_model.h"
#include "platform/process.h"
#include "platform/settings.h"

namespace orv {

namespace {
// The period of the start-request poll.
constexpr int kStartPollMs = 1050;
}  // namespace

class OrvApp::Platform final : public RunPlatform {
 public:
  explicit Platform(OrvApp& app) : app_(app) {}

  double SecondsSinceMidnight() override { return SystemSecondsSinceMidnight(); }
  std::chrono::system_clock::time_point Now() override { return std::chrono::system_clock::now(); }
  void EnableTimer(RunTimer timer, bool on) override {
    QTimer& t = app_.Timer(timer);
    if (on && !t.isActive()) t.start();
    if (!on) t.stop();
  }
  void PollStartRequestsNow() override {
    // Its first timeout puts the period back.
    app_.tim2_.start(0);
  }
  bool StartConsole() override { return StartDetached(ProgramFolder() + "kuvet"); }
  std::string ReadWindowText(int32_t handle) override {
    return handle == 0 ? std::string() : WindowLink::Instance().ReadText(handle);
  }
  void PressLeft(int32_t handle) override {
    if (handle != 0) WindowLink::Instance().PressLeft(handle);
  }
  void TerminateWindowOwner(int32_t handle) override {
    if (handle != 0) WindowLink::Instance().TerminateOwner(handle);
  }
  int32_t CounterHandle() override { return app_.windows_.counterButton; }
  std::string CounterCaption() override {
    return WindowLink::Instance().OwnText(app_.windows_.counterButton);
  }
  void SetCounterCaption(const std::string& text) override {
    WindowLink::Instance().SetOwnText(app_.windows_.counterButton, text);
  }
  std::string ReadSetting(const std::string& key, const std::string& def) override {
    return orv::ReadSetting(key, def);
  }
  void WriteSetting(const std::string& key, const std::string& value) override {
    orv::WriteSetting(key, value);
  }
  void PlaySound(const std::string& file) override {
    CallPort(app_.hooks_.playSound, "OrvApp::Hooks::playSound", ProgramFolder() + file);
  }
  void ClosePopups(bool fullList) override {
    CallPort(app_.hooks_.closePopups, "OrvApp::Hooks::closePopups", fullList);
  }
  bool CollectionBrowserShown() override {
    return CallPort(app_.hooks_.collectionBrowserShown, "OrvApp::Hooks::collectionBrowserShown");
  }
  void PrepareToClose() override {
    app_.program_->PrepareToClose();
    app_.timer1_.start();
  }
  void EndProgram(int code) override {
    CallPort(app_.hooks_.endProgram, "OrvApp::Hooks::endProgram", code);
  }

 private:
  OrvApp& app_;
};

// The dial window has no widget of its own on this platform (remote access is missing, so
// automatic dialling is switched off at start-up); the dialler still runs its logic, stepped
// by run control, through this host.
class OrvApp::DialHost final : public DialerHost {
 public:
  explicit DialHost(OrvApp& app) : app_(app) {}
  std::chrono::system_clock::time_point Now() override { return std::chrono::system_clock::now(); }
  void SwitchOffAutoDial() override { app_.binding_->SwitchOffAutoDial(); }
  void ShowPlainMessage(const std::string& text) override { app_.views_.messages.ShowMessage(text, MessageIcon::None); }
  int PopupCountdown() override { return app_.run_ ? app_.run_->PopupCountdown() : -1; }
  void CloseDialWindow() override {}
  bool Cancelled() override { return app_.run_ && app_.run_->CancelRequested(); }
  void DropStartAndStop() override {
    if (!app_.run_) return;
    app_.run_->State().commandLineAddress.clear();
    app_.run_->State().currentStartAddress.clear();
    app_.run_->StopRun();
  }

 private:
  OrvApp& app_;
};

class OrvApp::ScriptTaker final : public collection::CurrentScriptPort {
 public:
  explicit ScriptTaker(OrvApp& app) : app_(app) {}
  collection::ScriptTake AddToCurrentScript(const std::string& address) override {
    using Outcome = collection::ScriptTakeOutcome;
    ScriptModel& scripts = app_.program_->Scripts();
    const bool running = app_.run_ && app_.run_->State().running;
    collection::ScriptTake take{Outcome::Refused, scripts.currentSlot};
    switch (scripts.AddToCurrentScript(address, running)) {
      case ScriptModel::Taken::Added: take.outcome = Outcome::Added; break;
      case ScriptModel::Taken::AddedToRun: take.outcome = Outcome::AddedToRun; break;
      case ScriptModel::Taken::AlreadyThere: take.outcome = Outcome::AlreadyThere; break;
      case ScriptModel::Taken::NotWritten: take.outcome = Outcome::NotWritten; break;
      case ScriptModel::Taken::NotAnAddress:
      case ScriptModel::Taken::NoScript: break;
    }
    return take;
  }

 private:
  OrvApp& app_;
};

OrvApp::OrvApp(AppViews views, PublishedWindows& windows, Hooks hooks)
    : views_(std::move(views)),
      status_(&views_.statusBar),
      windows_(windows),
      hooks_(std::move(hooks)),
      lists_(ProgramFolder(), ProgramFolder() + "temp/") {
  if (!hooks_.playSound) ReportUnwired("OrvApp::Hooks::playSound");
  if (!hooks_.closePopups) ReportUnwired("OrvApp::Hooks::closePopups");
  if (!hooks_.collectionBrowserShown) ReportUnwired("OrvApp::Hooks::collectionBrowserShown");
  if (!hooks_.endProgram) ReportUnwired("OrvApp::Hooks::endProgram");
  if (!hooks_.closeWindow) ReportUnwired("OrvApp::Hooks::closeWindow");
  if (!hooks_.confirmScriptDeletion) ReportUnwired("OrvApp::Hooks::confirmScriptDeletion");
  WindowLink& link = WindowLink::Instance();
  if (windows_.exchangeButton == 0) windows_.exchangeButton = link.Publish("orv", {});
  if (windows_.counterButton == 0) windows_.counterButton = link.Publish("", {});
  if (windows_.mainWindow == 0) windows_.mainWindow = link.Publish("Orvanta", {});

  const std::string prog = ProgramFolder();
  ProgramPaths paths;
  paths.programFolder = prog;
  paths.defaultCollectionFolder = HomeCollectionFolder();
  ProgramHooks h;
  h.loadLists = [this] {
    lists_.LoadListFilesAndProxyState();
    for (const std::string& message : lists_.SetAsideMessages())
      views_.messages.ShowMessage(message, MessageIcon::Error);
  };
  h.setConnectionMode = [this](bool lan, bool modem, bool localhost) {
    (void)lan;
    connection_.SetModeDirect(localhost ? ConnectionMode::Localhost
                                        : modem ? ConnectionMode::Modem : ConnectionMode::Lan);
    program_->ExchangeRecords().WriteRecord(AssumeOnline, connection_.AssumeOnlineValue());
  };
  h.initDialUp = [this] { dialer_->FillEntries(); };
  h.fillDialUpEntries = [this] {
    dialer_->SetEntryIndex(static_cast<int>(program_->Values().ritm));
    dialer_->FillEntries();
  };
  h.closeConsoleLink = [] {};
  h.stopEndOfRunTimer = [this] { tim4_.stop(); };
  h.collectSettings = [this](ProgramSettings& v) {
    v.mprx = lists_.proxies.CurrentProxy();
    v.nprx = lists_.proxies.CurrentIndex();
    v.lanConnect = connection_.Mode() == ConnectionMode::Lan;
    v.modConnect = connection_.Mode() == ConnectionMode::Modem;
    v.mocConnect = connection_.Mode() == ConnectionMode::Localhost;
    v.userAgents = lists_.userAgents.Slots();
    v.userAgentIndex = lists_.userAgents.Chosen();
    v.gvle = run_ ? run_->Statistics().AllTimeBytes() : v.gvle;
  };
  h.saveLists = [this] { lists_.SaveListFiles(); };
  h.startProgram = [](const std::string& path) { return StartDetached(path); };
  h.showScriptDeletion = [this](int slot) {
    if (!CallPort(hooks_.confirmScriptDeletion, "OrvApp::Hooks::confirmScriptDeletion", slot)) return;
    std::remove(ScriptFileName(program_->CollectionFolder(), slot).c_str());
  };
  connection_.onApplyMode = [this](const std::string& v) {
    program_->ExchangeRecords().WriteRecord(AssumeOnline, v);
    if (run_) run_->ConnectionChanged();
  };
  ProgramViews programViews{views_.messages,     status_,         views_.layout,
                            views_.options,      views_.slotButtons, views_.address,
                            static_cast<std::uint32_t>(windows_.mainWindow),
                            static_cast<std::uint32_t>(windows_.exchangeButton)};
  program_ = std::make_unique<ProgramModel>(settings_, std::move(programViews), paths, h);

  binding_ = std::make_unique<ModelRunBinding>(*program_, lists_.exclusions, lists_.tracks, lists_.proxies,
                                               lists_.userAgents, connection_, views_.messages);
  platform_ = std::make_unique<Platform>(*this);
  remoteAccess_ = MakeRemoteAccess();
  dialHost_ = std::make_unique<DialHost>(*this);
  dialer_ = std::make_unique<Dialer>(*remoteAccess_, connection_, *dialHost_);

  tim1_.setInterval(250);
  tim2_.setInterval(kStartPollMs);
  QObject::connect(&tim2_, &QTimer::timeout, [this] {
    if (tim2_.interval() != kStartPollMs) tim2_.setInterval(kStartPollMs);
  });
  tim3_.setInterval(350);
  tim4_.setInterval(1550);
  timer3_.setInterval(55);
  timer1_.setInterval(500);
  // The run's steps: started and stopped by run control itself, as a run begins and ends.
  step_.setInterval(RunController::kStepMilliseconds);
  step_.setTimerType(Qt::PreciseTimer);
}

OrvApp::~OrvApp() = default;

collection::CurrentScriptPort& OrvApp::CurrentScript() {
  if (!scriptTaker_) scriptTaker_ = std::make_unique<ScriptTaker>(*this);
  return *scriptTaker_;
}

QTimer& OrvApp::Timer(RunTimer t) {
  switch (t) {
    case RunTimer::Tim1: return tim1_;
    case RunTimer::Tim2: return tim2_;
    case RunTimer::Tim3: return tim3_;
    case RunTimer::Tim4: return tim4_;
    case RunTimer::Timer3: return timer3_;
    case RunTimer::Timer1: return timer1_;
    case RunTimer::Step: return step_;
  }
  return tim1_;
}

int OrvApp::StartUp() {
  // Before any value is read: a damaged store would silently read as the defaults (another
  // collection folder, another connection mode).
  if (const DamagedFile settings = SetAsideUnreadableSettings(); !settings.file.empty())
    views_.messages.ShowMessage(SetAsideMessage(Ru("Файл настроек "), settings.file, settings.setAsideAs,
                                                Ru("действуют настройки по умолчанию")),
                                MessageIcon::Error);
  const StartResult first = program_->StartUpFirstPhase();
  anotherInstance_ = first == StartResult::EndSilently;
  if (first != StartResult::Continue) return 1;
  program_->StartUpSecondPhase();
  lists_.userAgents.SetSlots(program_->Values().userAgents);
  lists_.userAgents.Choose(program_->Values().userAgentIndex);

  RunPaths paths;
  paths.collectionFolder = program_->CollectionFolder();
  paths.speedLogPath = program_->ExchangeFolder() + "testspeed.txt";
  paths.exchangeFolder = program_->ExchangeFolder();
  RunViews runViews{views_.messages, status_, views_.runControls, views_.address, views_.channels};
  run_ = std::make_unique<RunController>(runViews, *platform_, program_->Exchange(), *binding_, *binding_,
                                         connection_, paths);
  run_->SetDialer(dialer_.get());
  if (busyCountdownPending_) run_->ArmBusyLabelCountdown();
  run_->SetAllTimeBytes(program_->Values().gvle);
  connection_.RefreshOnline();

  QObject::connect(&tim1_, &QTimer::timeout, [this] { run_->Tim1Tick(); });
  QObject::connect(&tim3_, &QTimer::timeout, [this] { run_->Tim3Tick(); });
  QObject::connect(&tim4_, &QTimer::timeout, [this] { run_->Tim4Tick(); });
  QObject::connect(&timer3_, &QTimer::timeout, [this] { run_->Timer3Tick(); });
  QObject::connect(&step_, &QTimer::timeout, [this] { run_->StepTick(); });
  QObject::connect(&timer1_, &QTimer::timeout, [this] {
    program_->CloseTimerTick([this] { return !hooks_.closeWindow || hooks_.closeWindow(); });
  });
  return -1;
}

void OrvApp::ArmBusyLabelCountdown() {
  if (run_)
    run_->ArmBusyLabelCountdown();
  else
    busyCountdownPending_ = true;
}

void OrvApp::StartTimers() {
  // Only the timers with work to do (a start request from the command line, a countdown);
  // run control starts the others as a run begins and stops them when it is over.
  if (run_) run_->SettleTimers();
}

void OrvApp::StopTimers() {
  for (QTimer* t : {&tim1_, &tim2_, &tim3_, &tim4_, &timer3_, &timer1_, &step_}) t->stop();
}

void OrvApp::Shutdown(bool closedByUser) {
  StopTimers();
  program_->SaveAllSettings(closedByUser);
}

}  // namespace orv
