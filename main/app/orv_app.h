#pragma once
// The main program's objects as both front ends (the window and `orv --batch`) use
// them: settings and start-up model, lists, connection state, run control, the
// window-link windows the console talks to, and the timers of the main window.
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>

#include "main/collection/current_script.h"
#include "main/lists/lists_model.h"
#include "main/run/connection_modes.h"
#include "main/run/dialer.h"
#include "main/run/run_bindings.h"
#include "main/run/run_controller.h"
#include "main/base/run_status.h"
#include "main/scripts/option_controls.h"
#include "main/scripts/program_config.h"
#include "main/scripts/window_layout.h"
#include "platform/connection.h"
#include "platform/window_link.h"

namespace orv {

// Window-link handles published by the main program: the hidden button COMEXCHENGE
// ("orv", the console's liveness check) and the hidden counter button H_LENGUS (the
// console writes its byte total into its caption).
struct PublishedWindows {
  WindowHandle mainWindow = 0;
  WindowHandle exchangeButton = 0;
  WindowHandle counterButton = 0;
};

// What the program shows, port by port; the window and the batch view implement them all.
struct AppViews {
  MessageBoxes& messages;
  StatusBarView& statusBar;
  WindowLayout& layout;
  OptionControls& options;
  ScriptSlotButtons& slotButtons;
  AddressBoxView& address;
  RunControlsView& runControls;
  ChannelListView& channels;
};

template <class Front>
AppViews AppViewsOf(Front& front) {
  return AppViews{front, front, front, front, front, front, front, front};
}

class OrvApp {
 public:
  // Every member is required: a front end without a feature says so with a port that does
  // nothing (batch mode plays no sounds), and an unset one is reported (main/base/unwired.h).
  struct Hooks {
    std::function<void(const std::string& file)> playSound;
    std::function<void(bool fullList)> closePopups;
    std::function<bool()> collectionBrowserShown;
    std::function<void(int code)> endProgram;
    // The close sequence closes the main window; false when it could not.
    std::function<bool()> closeWindow;
    // The deletion countdown of the script (end option "Удалить сценарий"); true when the
    // script is to be deleted (nobody cancelled).
    std::function<bool(int slot)> confirmScriptDeletion;
  };

  // Publishes the window-link windows first so start-up can hand their handles out.
  OrvApp(AppViews views, PublishedWindows& windows, Hooks hooks);
  ~OrvApp();

  // Both start-up phases. Returns -1 to go on, else the exit status.
  int StartUp();
  // Start-up ended because another orv holds this program folder.
  bool AnotherInstanceRunning() const { return anotherInstance_; }
  // Starts the timers that have work once loading is over; between runs none runs.
  void StartTimers();
  void StopTimers();
  // Shutdown: all settings saved, short script files deleted, lists saved.
  void Shutdown(bool closedByUser);

  RunController& Run() { return *run_; }
  // Arms the busy-label countdown of run control; before start-up made it, at its making.
  void ArmBusyLabelCountdown();
  ProgramModel& Program() { return *program_; }
  // The run phase and the status panels: every panel writer writes here.
  RunStatus& Status() { return status_; }
  ConnectionControl& Connection() { return connection_; }
  ListsModel& Lists() { return lists_; }
  QTimer& Timer(RunTimer t);
  // The collection's page for a link that leads out of the copy adds addresses to the current
  // script through this port.
  collection::CurrentScriptPort& CurrentScript();

 private:
  class Platform;
  class DialHost;
  class ScriptTaker;
  std::unique_ptr<ScriptTaker> scriptTaker_;
  AppViews views_;
  RunStatus status_;
  PublishedWindows& windows_;
  Hooks hooks_;
  PlatformSettings settings_;
  SystemConnectionState connectionState_;
  ConnectionControl connection_{connectionState_};
  std::unique_ptr<ProgramModel> program_;
  ListsModel lists_;
  std::unique_ptr<ModelRunBinding> binding_;
  std::unique_ptr<Platform> platform_;
  std::unique_ptr<RunController> run_;
  bool busyCountdownPending_ = false;
  std::unique_ptr<RemoteAccess> remoteAccess_;
  std::unique_ptr<DialHost> dialHost_;
  std::unique_ptr<Dialer> dialer_;
  QTimer tim1_, tim2_, tim3_, tim4_, timer3_, timer1_, step_;
  bool anotherInstance_ = false;
};

}  // namespace orv
