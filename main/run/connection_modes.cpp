#include "main/run/connection_modes.h"

namespace orv {

bool ConnectionControl::OnlineRule(bool queryOk, int flags, ConnectionMode mode) {
  if (mode == ConnectionMode::Localhost) return true;
  if (!queryOk) return false;
  const bool modem = (flags & kConnModem) != 0;
  return modem ? mode == ConnectionMode::Modem : mode == ConnectionMode::Lan;
}

bool ConnectionControl::RefreshOnline() {
  online_ = false;
  int flags = 0;
  std::string name;
  const bool ok = state_.Query(flags, name);
  flags_ = flags;
  name_ = name;
  online_ = OnlineRule(ok, flags, mode_);
  return online_;
}

bool ConnectionControl::SelectMode(ConnectionMode mode, bool running) {
  if (running || mode == mode_) return false;
  mode_ = mode;
  if (onApplyMode) onApplyMode(AssumeOnlineValue());
  return true;
}

void ConnectionControl::LatchTick(bool running, bool autoDial) {
  if (online_) {
    dialLatch_ = false;
    lossLatch_ = running;
    dialLatch_ = running;
    return;
  }
  if (dialLatch_) return;
  dialLatch_ = lossLatch_;
  if (lossLatch_) {
    lossLatch_ = false;
    if (!autoDial) dialLatch_ = false;
  }
}

void ConnectionControl::CloseConnection() {
  lossLatch_ = false;
  dialLatch_ = false;
  state_.HangUp();
}

}  // namespace orv
