// When the console's idle channels take their next address, and which address comes first: one
// take at a time, takes at least the take interval apart, an address put back for a retry before
// the mailbox's. The console owns one; every channel asks it on each take tick.
// Pure state over a clock given by the caller (seconds since midnight); no timers, no files.
#pragma once

#include <array>
#include <optional>
#include <string>

namespace orv::console {

class TakePolicy {
 public:
  static constexpr int kSlots = 20;  // one retry slot per channel

  // The interval between takes and the idle channels' tick, from the intensity setting.
  void Configure(double intervalSeconds, int tickMs);
  double IntervalSeconds() const { return interval_; }
  int TickMs() const { return tickMs_; }

  // Seconds until the next take may start at `now`; 0 when it may start now. A clock that went
  // back past the last take (midnight) allows the take.
  double SecondsUntilDue(double now) const;
  // Only a take that found an address starts the interval: a look into an empty mailbox would
  // otherwise hold back the address the main program puts there a moment later.
  void Took(double now) { lastTake_ = now; }

  // A take in progress keeps the other channels from taking at the same time.
  bool Taking() const { return taking_; }
  void BeginTake() { taking_ = true; }
  void EndTake() { taking_ = false; }

  // A failed fetch goes back to its channel's slot (1..kSlots); the proxy it went through is
  // remembered for the next take, whichever address that is.
  void PutBack(int channel, const std::string& address, const std::string& proxySpec);
  // The address of the lowest filled slot, which is emptied; nullopt when every slot is empty.
  std::optional<std::string> TakePutBack();
  // The remembered proxy, once; empty when none is remembered.
  std::string TakeRememberedProxy();
  // Addresses waiting in their slots: work the console still has, though no channel holds it.
  int PutBackCount() const;

 private:
  double interval_ = 0.1;
  int tickMs_ = 100;
  double lastTake_ = -1e9;
  bool taking_ = false;
  std::array<std::string, kSlots + 1> slots_{};
  std::string rememberedProxy_;
};

}  // namespace orv::console
