// Plays the main program around the real kuvet executable: a private program folder, the
// exchange files, the settings, a published "orv" liveness window, feeding addresses, the
// record-10 handshake and the console's buttons.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "common/exchange.h"
#include "platform/window_link.h"
#include "tests/support/program_folder.h"

namespace orvtest {

class ConsoleHarness {
 public:
  ConsoleHarness();
  ~ConsoleHarness();

  ProgramFolder& Folder() { return folder_; }
  orv::ExchangeFiles& Ex() { return ex_; }

  // Writes the records a run starts with (online forced, retry limit, user agent, ...).
  void PrepareRun(int retryLimit = 0, const std::string& userAgent = "Harness/1.0");
  // An environment variable for the console the next launch starts.
  void SetConsoleEnvironment(const std::string& key, const std::string& value) { env_[key] = value; }
  // Starts kuvet and waits for record 21; false when it does not come up within 10 s.
  bool Launch();
  // The same with the console's files limited to this many bytes (a full disk, as the console
  // sees one: writes past it fail).
  bool LaunchWithFileSizeLimit(long long bytes);
  ChildProcess& Process() { return kuvet_; }

  // Waits for an empty mailbox, then puts the address there.
  bool Feed(const std::string& address, int timeoutMs = 5000);
  // Serves the record-10 handshake once if a report is waiting.
  void Pump();
  // Pumps until pred() holds.
  bool WaitUntil(const std::function<bool()>& pred, int timeoutMs);
  // Mailbox empty, no busy channel, no report waiting, for 300 ms in a row.
  bool WaitIdle(int timeoutMs);
  int Busy() { return static_cast<int>(ex_.ReadExtNumber(orv::BusyChannels)); }

  // Every report received so far (each the list as read from orvurl).
  const std::vector<std::vector<std::string>>& Reports() const { return reports_; }
  bool HasReportElement(const std::string& element) const;

  orv::WindowHandle Handle(const std::string& settingKey);
  bool PressStop(int channel);
  bool PressStopAll();
  bool PressReset();
  bool PressQuit();
  // Removes the "orv" window the console checks for liveness.
  void DropMainWindow();

  // The local file of an address as the collection keeps it.
  std::string LocalFile(const std::string& address);

  orv::WindowHandle CounterWindowHandle() const { return counterWindow_; }
  std::string CounterText() { return orv::WindowLink::Instance().OwnText(counterWindow_); }

 private:
  ProgramFolder folder_;
  orv::ExchangeFiles ex_;
  ChildProcess kuvet_;
  orv::WindowHandle mainWindow_ = 0;
  orv::WindowHandle counterWindow_ = 0;
  std::vector<std::vector<std::string>> reports_;
  std::map<std::string, std::string> env_;
};

}  // namespace orvtest
