#pragma once
// The main program's configuration, start-up and shutdown, without any widget.
//
// ProgramModel runs the start-up in two phases (window creation, window load), saves all
// settings at shutdown, deletes the empty script files and drives the close timer's rule
// (wait while the script write-back is busy, close on the fifth counted tick). The window is
// reached only through the small ports of ProgramViews; the steps that belong to run control, the lists and
// the collection are hooks, so the same sequence runs in the window, in `orv --batch` and in
// tests.

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/exchange.h"
#include "main/scripts/exchange_sink.h"
#include "main/scripts/script_model.h"
#include "main/scripts/script_params.h"
#include "main/scripts/settings_store.h"

namespace orv {

class AddressBoxView;
class MessageBoxes;
class OptionControls;
class RunStatus;
class ScriptSlotButtons;
class WindowLayout;
class SingleInstanceLock;

inline constexpr int kVersionMajor = 1;
inline constexpr int kVersionMinor = 0;
inline constexpr int kUserAgentPresets = 10;
inline constexpr int kHistoryEntries = 31;  // HCA(0) .. HCA(30)
inline constexpr int kMinWindowWidth = 7500;
inline constexpr long long kMinConsoleSize = 10000;
inline constexpr int kCloseTicks = 5;

// The desktop browser's user agent used where no embedded browser supplies one.
std::string FallbackBrowserUserAgent();
// Names shown in the presets list, slots 0..9.
const char* UserAgentPresetName(int slot);
// Default texts of UserAgent0..9 for the given system browser user agent.
std::array<std::string, kUserAgentPresets> DefaultUserAgents(const std::string& systemUserAgent);

// Values of the configuration keys that are not script parameters.
struct ProgramSettings {
  std::array<std::string, kUserAgentPresets> userAgents;
  int userAgentIndex = 0;
  int chset = 1;  // 0 any, 1 Win-1251, 2 koi8-r
  bool lanConnect = true, modConnect = false, mocConnect = false;
  long long ritm = 0;
  std::string mprx;
  long long nprx = 0;
  long long gvle = 0;
  bool preview = true;
  bool noCertCheck = false;  // "Не проверять сертификаты": the console accepts any certificate
  bool renderPages = false;  // "Выполнять скрипты страниц": the console renders pages before taking links
  bool mdtxa = true;
  std::string defpath;
  std::string tbbtn = "options";
  int nScript = 0;
};

// Steps of the start-up and shutdown that belong to other parts of the program. Every hook
// may be left empty.
struct ProgramHooks {
  std::function<void()> resetRunState;          // first phase, step 3
  std::function<void()> loadLists;              // step 9: orvproxy, httpauten, orvcess, orvnecess
  std::function<void()> startSupervisionTimer;  // step 10
  std::function<void()> initDialUp;             // second phase, step 1
  std::function<void()> showExclusionLists;     // step 4
  std::function<void()> fillDialUpEntries;      // steps 8 and 14
  std::function<void(bool lan, bool modem, bool localhost)> setConnectionMode;  // step 10
  std::function<void(const std::string& folder)> buildCollectionTree;          // step 12
  std::function<void()> clearAddressTree;  // another collection folder was chosen
  std::function<void()> openUrlList;                                           // step 13
  std::function<void()> startDialUpTimer;                                      // step 14
  std::function<void()> showProxyList;                                         // step 14
  // Shutdown.
  std::function<void()> closeConsoleLink;
  std::function<void()> stopEndOfRunTimer;
  // Lets the lists and run control put their current values into the settings before saving.
  std::function<void(ProgramSettings&)> collectSettings;
  std::function<void()> saveLists;
  std::function<void(int slot)> showScriptDeletion;  // countdown window; deletes unless cancelled
  std::function<bool(const std::string& path)> startProgram;
};

struct ProgramPaths {
  std::string programFolder;            // ends with "/"
  std::string defaultCollectionFolder;  // "$HOME/orvcollections/"
  std::string systemUserAgent;          // empty: FallbackBrowserUserAgent()
  int platformId = 2;                   // NT family
  bool singleInstance = true;           // take the lock on temp/orv.lock
};

// "$HOME/orvcollections/".
std::string HomeCollectionFolder();

// The messages start-up can show.
std::string ConsoleMissingMessage();
std::string ExchangeFolderMessage(const std::string& programFolder);
std::string CollectionFolderMessage(const std::string& folder);

// Steps 6 and 7: recreates orvext (records 1..33 empty) and orvint (records 1..22 empty) and
// deletes orvurl in exchangeFolder. False when orvext cannot be created.
bool RecreateExchangeFiles(const std::string& exchangeFolder);

// Forwards records to the exchange files; nothing when they are not open.
class ExchangeFilesSink final : public ExchangeSink {
 public:
  explicit ExchangeFilesSink(ExchangeFiles& files) : files_(files) {}
  void WriteRecord(int record, const std::string& value) override {
    if (files_.IsOpen()) files_.WriteExt(record, value);
  }

 private:
  ExchangeFiles& files_;
};

// What start-up, shutdown and the script model show, each through a port of its own, and the
// window-link handles start-up hands to the console (WHWND, exchange record 7).
struct ProgramViews {
  MessageBoxes& messages;
  RunStatus& status;
  WindowLayout& layout;
  OptionControls& options;
  ScriptSlotButtons& slotButtons;
  AddressBoxView& address;
  std::uint32_t mainWindowHandle = 0;
  std::uint32_t exchangeButtonHandle = 0;
};

enum class StartResult { Continue, EndSilently, EndAfterMessage };
enum class CloseTick { Idle, Waiting, Counted, Closed, CloseRefused };

class ProgramModel {
 public:
  ProgramModel(SettingsStore& settings, ProgramViews views, ProgramPaths paths, ProgramHooks hooks = {});
  ~ProgramModel();

  StartResult StartUpFirstPhase();
  void StartUpSecondPhase();

  // Shutdown step 2: the window asks whether it may close now. Refused (with " Завершение" in
  // status panel 1 and the closing state) until the program is ready to close.
  bool RequestClose();
  // Preparation step: status panel 3 and the close timer on.
  void PrepareToClose();
  // One tick of the close timer (every 500 ms). closeWindow closes the main window; false
  // when it could not.
  CloseTick CloseTimerTick(const std::function<bool()>& closeWindow);
  // Step 5. closedByUser: the close was started from the window's control box.
  void SaveAllSettings(bool closedByUser);
  // Deletes every script file of slots 0..15 shorter than 8 bytes.
  void DeleteShortScriptFiles();

  // Sends the encoding to the console (record 5) and remembers it.
  void ChooseEncoding(int index);
  // The user chooses a slot button: it becomes the current slot, is stored under n_script and
  // its script is loaded for display (the window then rebuilds the address tree).
  void ChooseScriptSlot(int slot);
  // The user chooses a script mode button: stored, shown in status panel 3, used by write-back.
  void ChooseScriptMode(int mode);
  // An options page was shown: it is the one shown at the next start.
  void OptionsPageShown(const std::string& key);
  // The user chose a collection folder (the same one again, too): PFOLD is written (the console
  // reads it there), the script's address tree is cleared when the folder changed, the exchange
  // list is reopened and the collection tree rebuilt. A folder that does not exist (its volume
  // was removed) is replaced by the program folder.
  void ChangeCollectionFolder(const std::string& folder);
  // Menu options "Включая предпросмотр" (read by the console in search mode, so stored at
  // once) and "Активный Курсор".
  void SetPreview(bool on);
  // "Не проверять сертификаты": stored at once, so the next console started reads it.
  void SetSkipCertificateCheck(bool on);
  // "Выполнять скрипты страниц": stored at once, so the next console started reads it.
  void SetRenderPages(bool on);
  void SetActiveCursor(bool on);

  bool Closing() const { return closing_; }
  bool ReadyToClose() const { return readyToClose_; }
  bool CloseTimerOn() const { return closeTimerOn_; }
  int CloseTicksCounted() const { return closeTicks_; }

  SettingsStore& Settings() { return settings_; }
  ProgramSettings& Values() { return values_; }
  ScriptParameters& Parameters() { return params_; }
  ScriptModel& Scripts() { return scripts_; }
  ExchangeFiles& Exchange() { return exchange_; }
  ExchangeSink& ExchangeRecords() { return sink_; }
  const ProgramPaths& Paths() const { return paths_; }
  std::string ExchangeFolder() const { return paths_.programFolder + "temp/"; }
  const std::string& CollectionFolder() const { return scripts_.collectionFolder; }
  const std::string& SystemTempFolder() const { return systemTemp_; }
  const std::string& SoundFolder() const { return soundFolder_; }
  const std::array<std::string, 4>& ModeDescriptions() const { return modeDescriptions_; }
  std::chrono::system_clock::time_point StartTime() const { return startTime_; }

 private:
  void ResolveCollectionFolder();

  SettingsStore& settings_;
  ProgramViews views_;
  ProgramPaths paths_;
  ProgramHooks hooks_;
  ExchangeFiles exchange_;
  ExchangeFilesSink sink_;
  ScriptParameters params_;
  ScriptModel scripts_;
  ProgramSettings values_;
  std::unique_ptr<SingleInstanceLock> lock_;
  std::string systemTemp_;
  std::string soundFolder_;
  std::array<std::string, 4> modeDescriptions_;
  std::chrono::system_clock::time_point startTime_{};
  bool closing_ = false;
  bool readyToClose_ = false;
  bool closeTimerOn_ = false;
  int closeTicks_ = 0;
  bool settingsSaved_ = false;
};

}  // namespace orv
