#pragma once
// Connection modes and the connected-state bookkeeping of run control: whether the
// machine counts as on line (modem, LAN or localhost mode), the two latches that
// tie a run to its connection, and closing the connection.
#include <functional>
#include <string>

#include "platform/connection.h"

namespace orv {

enum class ConnectionMode { Modem, Lan, Localhost };

class ConnectionControl {
 public:
  explicit ConnectionControl(ConnectionState& state) : state_(state) {}

  // The rule of the three modes over one connected-state answer.
  static bool OnlineRule(bool queryOk, int flags, ConnectionMode mode);

  // Recomputes online from a fresh connected-state query.
  bool RefreshOnline();

  // Menu click on a mode entry. Ignored while a run is active or when the mode is
  // already the chosen one; otherwise the mode changes and ApplyMode runs.
  // Returns true when the mode changed.
  bool SelectMode(ConnectionMode mode, bool running);
  // The text of the AssumeOnline exchange record for the current mode.
  std::string AssumeOnlineValue() const { return mode_ == ConnectionMode::Localhost ? "1" : "0"; }

  // Latch bookkeeping of every supervision tick.
  void LatchTick(bool running, bool autoDial);
  // The start of a run while on line sets both latches.
  void SetLatches() {
    lossLatch_ = true;
    dialLatch_ = true;
  }

  // Hangs up: both latches cleared and the connected-state layer told to hang up.
  // switchOffAutoDial is carried out by the caller (it owns the script option).
  void CloseConnection();

  ConnectionMode Mode() const { return mode_; }
  void SetModeDirect(ConnectionMode m) { mode_ = m; }
  bool Online() const { return online_; }
  bool ModemReported() const { return (flags_ & kConnModem) != 0; }
  int Flags() const { return flags_; }
  const std::string& ConnectionName() const { return name_; }
  bool LossLatch() const { return lossLatch_; }
  bool DialLatch() const { return dialLatch_; }
  void SetDialLatch(bool v) { dialLatch_ = v; }
  void SetLossLatch(bool v) { lossLatch_ = v; }

  // Called when ApplyMode runs (the AssumeOnline record is written there).
  std::function<void(const std::string& assumeOnline)> onApplyMode;

 private:
  ConnectionState& state_;
  ConnectionMode mode_ = ConnectionMode::Lan;
  bool online_ = false;
  int flags_ = 0;
  std::string name_;
  bool lossLatch_ = false;
  bool dialLatch_ = false;
};

}  // namespace orv
