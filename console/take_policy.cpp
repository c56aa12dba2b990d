#include "console/take_policy.h"

#include <utility>

namespace orv::console {

void TakePolicy::Configure(double intervalSeconds, int tickMs) {
  interval_ = intervalSeconds;
  tickMs_ = tickMs;
}

double TakePolicy::SecondsUntilDue(double now) const {
  if (now >= lastTake_ && now - lastTake_ < interval_) return interval_ - (now - lastTake_);
  return 0;
}

void TakePolicy::PutBack(int channel, const std::string& address, const std::string& proxySpec) {
  if (channel < 1 || channel > kSlots) return;
  rememberedProxy_ = proxySpec;
  slots_[channel] = address;
}

std::optional<std::string> TakePolicy::TakePutBack() {
  for (int n = 1; n <= kSlots; ++n) {
    if (slots_[n].empty()) continue;
    return std::exchange(slots_[n], std::string());
  }
  return std::nullopt;
}

int TakePolicy::PutBackCount() const {
  int n = 0;
  for (int i = 1; i <= kSlots; ++i) n += slots_[i].empty() ? 0 : 1;
  return n;
}

std::string TakePolicy::TakeRememberedProxy() { return std::exchange(rememberedProxy_, std::string()); }

}  // namespace orv::console
