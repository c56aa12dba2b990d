#pragma once
// Automatic dial-up: the phonebook entry list, one dial attempt with its wait, the
// status poll with its texts, the redial countdown and the hang-up. Written against
// RemoteAccess; on this platform remote access is missing, which switches automatic
// dialling off.
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "main/run/connection_modes.h"
#include "platform/remote_access.h"

namespace orv {

// What the dialler needs from the program around it. The dialler never waits: whoever opens
// the dial window calls Step() every few tens of milliseconds until the window is gone.
class DialerHost {
 public:
  virtual ~DialerHost() = default;
  virtual std::chrono::system_clock::time_point Now() = 0;
  virtual void SwitchOffAutoDial() = 0;
  virtual void ShowPlainMessage(const std::string& text) = 0;
  // The popup-closer countdown of the supervision tick; below 0 when idle.
  virtual int PopupCountdown() = 0;
  // The dial window closes (on line, or stopped by the user).
  virtual void CloseDialWindow() = 0;
  // The user stopped dialling: the start request is dropped and any run stopped.
  virtual void DropStartAndStop() = 0;
  // The dial window appears (its texts are StatusText, TargetLabel and Label4).
  virtual void OpenDialWindow() {}
  // The program is ending or the user cancelled: the dial window closes as if stopped.
  virtual bool Cancelled() { return false; }
};

struct DialOptions {
  int retryPauseSeconds = 30;    // pc_time
  int attemptLimitSeconds = 300;  // pc_wait
  bool rotate = false;            // pc_repeater "Вкл."
};

class Dialer {
 public:
  Dialer(RemoteAccess& ras, ConnectionControl& connection, DialerHost& host)
      : ras_(ras), connection_(connection), host_(host) {}

  DialOptions options;
  bool immediateDial = false;

  // Fills the entry list from the phonebook; false when remote access is missing (then
  // automatic dialling is switched off and the list disabled).
  bool FillEntries();
  void ChooseEntry(int index);
  const std::vector<std::string>& Entries() const { return entries_; }
  int EntryIndex() const { return entryIndex_; }
  void SetEntryIndex(int index) { entryIndex_ = index; }
  bool RemoteAccessMissing() const { return missing_; }
  bool EntryListEnabled() const { return !missing_; }
  // The text of the entry list (the entry the next attempt dials).
  std::string EntryText() const;

  // Begins one attempt; Step() follows it until on line, failed or past the attempt limit.
  void Dial();
  bool AttemptRunning() const { return attemptRunning_; }
  // Every few tens of milliseconds while an attempt runs, a hang-up is awaited or the dial
  // window is shown: the status poll (every 250 ms), the attempt's end, the hang-up's end, and
  // in the window the redial countdown (every 500 ms).
  void Step();
  void StatusTick();
  void RedialTick();
  // Hang-up of the dialled connection (both latches are cleared too). Step() waits (bounded)
  // for the handle to go before the next attempt.
  void CloseConnection(bool switchOffAutoDial);
  // The dial window's stop button or close box.
  void StopByUser();
  // Shows the dial window: redials (the first at once) until on line or stopped by the user.
  void OpenWindow();
  bool WindowShown() const { return shown_; }
  // The last dial window was closed by the user, not by the line coming up.
  bool StoppedByUser() const { return stoppedByUser_; }

  const std::string& StatusText() const { return text1_; }  // Text1, newest line first
  const std::string& TargetLabel() const { return label2_; }
  const std::string& Label4() const { return label4_; }
  bool DiallerActive() const { return diallerActive_; }
  bool Dialling() const { return dialling_; }
  void SetLastAttempt(std::chrono::system_clock::time_point t) { lastAttempt_ = t; }
  RasConnection Handle() const { return handle_; }

 private:
  void Prepend(const std::string& text);
  // Hides the window; whatever closed it, no attempt is left running or pending.
  void WindowClosed();
  void Refresh() { connection_.RefreshOnline(); }
  void AttemptStep();
  void EndAttempt();
  void HangUpStep();

  RemoteAccess& ras_;
  ConnectionControl& connection_;
  DialerHost& host_;
  std::vector<std::string> entries_;
  int entryIndex_ = 0;
  bool missing_ = false;
  bool diallerActive_ = false;
  bool dialling_ = false;
  bool firstStatus_ = false;
  bool shown_ = false;
  bool stoppedByUser_ = false;
  int lastState_ = -1;
  bool attemptRunning_ = false;
  RasConnection handle_ = 0;
  RasConnection hangingUp_ = 0;  // hung up; its handle has not gone yet
  std::chrono::system_clock::time_point hangUpSince_{};
  std::chrono::system_clock::time_point attemptStart_{};
  std::chrono::system_clock::time_point nextStatus_{};
  std::chrono::system_clock::time_point nextRedial_{};
  std::chrono::system_clock::time_point lastAttempt_{};
  std::string text1_, label2_, label4_;
};

}  // namespace orv
