#pragma once
// What run control needs from the rest of the main program, as narrow interfaces:
// the event loop and the operating system (RunPlatform), the script model
// (RunScripts) and address admission with the scope table (RunAdmission). The
// production adapters bind them to the models in main/scripts, main/lists and the
// classification units; tests substitute small fakes.
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace orv {

// The script's options as one run uses them (read when the run starts).
struct RunCategory {
  bool enabled = true;
  std::string extensions;
  std::string zone;
  bool countLimit = false;
  int32_t countLimitValue = 15;
  // MinSize / MaxSize record values for this category ("0" when its size limit is off).
  std::string minBytes = "0";
  std::string maxBytes = "0";
};

struct RunOptions {
  int scriptNumber = 0;
  int mode = 0;  // 0 normal, 1 extendable, 2 not extendable, 3 check
  bool analog = false;       // p_analog
  bool frames = false;       // p_frames
  bool refresh = false;      // p_refresh
  bool proxy = false;        // p_Proxy
  bool proxyAlternate = false;  // p_proxy2
  bool sounds = false;       // p_sounds
  bool media = false;        // p_media
  bool autoDial = false;     // p_dial
  bool slideStop = false;    // p_SlideStop
  int dialRetrySeconds = 30;    // pc_time
  int dialWaitSeconds = 300;    // pc_wait
  bool dialRotate = false;      // pc_repeater "Вкл."
  int channels = 20;
  bool depthOn = false;
  int32_t depthLimit = 15;
  bool addressLimitOn = false;
  int32_t addressLimit = 15;
  bool volumeOn = false;
  int32_t volumeLimit = 15;
  bool onlineOn = false;
  int32_t onlineLimit = 15;
  bool disconnectAtEnd = false;  // pc_disconn
  bool closeAtEnd = false;       // pc_close
  bool deleteScriptAtEnd = false;  // pc_delscript
  std::string charsetRecord = "1";
  std::string userAgent;
  // The script was chosen automatically and no script matched the address.
  bool chosenWithoutMatch = false;
  RunCategory categories[9];  // 1..8
  bool ModeCollects() const { return mode == 0 || mode == 1; }
};

// Tim1 collection, Tim2 start-request poll, Tim3 supervision, Tim4 end-of-run check, Timer3
// channel list, Timer1 close sequence; Step moves the run on (every few milliseconds, while a
// run is active).
enum class RunTimer { Tim1, Tim2, Tim3, Tim4, Timer3, Timer1, Step };

class RunPlatform {
 public:
  virtual ~RunPlatform() = default;
  virtual double SecondsSinceMidnight() = 0;
  virtual std::chrono::system_clock::time_point Now() = 0;
  virtual void EnableTimer(RunTimer timer, bool on) = 0;
  // The start-request poll (Tim2) switched on with its first tick at once: a run just ended, so
  // its summary is told and a waiting request starts without a poll period's pause.
  virtual void PollStartRequestsNow() { EnableTimer(RunTimer::Tim2, true); }

  // The console program beside this one; false when it cannot be started.
  virtual bool StartConsole() = 0;
  virtual std::string ReadWindowText(int32_t handle) = 0;
  virtual void PressLeft(int32_t handle) = 0;
  virtual void TerminateWindowOwner(int32_t handle) = 0;
  // The caption the console writes the byte total into, and its handle.
  virtual int32_t CounterHandle() = 0;
  virtual std::string CounterCaption() = 0;
  virtual void SetCounterCaption(const std::string& text) = 0;

  virtual std::string ReadSetting(const std::string& key, const std::string& def) = 0;
  virtual void WriteSetting(const std::string& key, const std::string& value) = 0;

  virtual void PlaySound(const std::string& fileName) = 0;
  // Closes the program's own windows whose captions match (popup closer).
  virtual void ClosePopups(bool fullList) = 0;
  // Whether the collection's browser pane is shown (the popup closer then runs more often).
  virtual bool CollectionBrowserShown() { return false; }
  // Enables the close sequence of the program (its own timer and settings save).
  virtual void PrepareToClose() = 0;
  // Fatal: the program ends now (after the message was shown).
  virtual void EndProgram(int exitCode) = 0;
};

// What the run hands back to the script model at the end.
struct RunResults {
  std::string startAddress;
  const std::vector<std::string>* runList = nullptr;  // from index 1
  const std::vector<int32_t>* handedOut = nullptr;
  const std::vector<std::string>* notFound = nullptr;
  const std::vector<std::string>* redirects = nullptr;
};

class RunScripts {
 public:
  virtual ~RunScripts() = default;
  // Selects and loads the script for the start address; fills the options.
  virtual bool SelectAndLoad(const std::string& startAddress, RunOptions& options) = 0;
  // Appends the loaded script's saved addresses to the run list (start address is entry 1).
  virtual void AppendSavedAddresses(std::vector<std::string>& runList) = 0;
  // Merges a found-links batch (element 0 = count) into the run list.
  virtual void MergeFoundLinks(const std::vector<std::string>& batch,
                               std::vector<std::string>& runList) = 0;
  // False when the script file could not be written (disk full, read-only collection).
  virtual bool WriteBack(const RunResults& results) = 0;
  virtual bool WriteBackBusy() const = 0;
  // The script's "Автодозвон" option is switched off (its check box cleared).
  virtual void SwitchOffAutoDial() = 0;
  // The run's lists are emptied (the hash index of the run list included).
  virtual void ClearRun() = 0;
};

class RunAdmission {
 public:
  virtual ~RunAdmission() = default;
  // Validates the address box text; a valid address is returned in pending; an invalid
  // one shows its message. online/localhost decide whether a host without "." counts.
  virtual bool ValidateStartAddress(std::string& boxText, std::string& pending) = 0;
  virtual void ResetScope() = 0;  // one empty record
  virtual void ResetCounters() = 0;  // counters of record 0
  virtual void RebuildScope(const std::string& startAddress) = 0;
  virtual void RebaseOnRedirect(const std::string& siteBase, const std::string& folderBase) = 0;
  virtual bool Admit(const std::string& address, int& category) = 0;
  virtual bool InScope(const std::string& address, int category) = 0;
  virtual bool TooDeep(const std::string& address, int32_t limit) = 0;
  virtual int CategoryOf(const std::string& address) = 0;
  virtual int IconCategoryOf(const std::string& address) = 0;
  // Proxy list: the current proxy as the console is handed it (with the credentials of its
  // list entry) and the alternation step.
  virtual std::string CurrentProxy() = 0;
  virtual void AlternateProxy() = 0;
};

}  // namespace orv
