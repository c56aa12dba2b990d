#pragma once
// Clocks of run control. All elapsed-time figures of a run come from one
// "monotonic" clock made of seconds since midnight plus an offset that grows by a
// day whenever a reading goes backwards, so a run across midnight keeps counting.
#include <chrono>
#include <functional>

namespace orv {

// Seconds since local midnight, with sub-second precision.
double SystemSecondsSinceMidnight();

class MonotonicClock {
 public:
  using Source = std::function<double()>;
  explicit MonotonicClock(Source secondsSinceMidnight = SystemSecondsSinceMidnight);

  // Seconds since midnight plus the running offset; never smaller than an earlier
  // reading unless the source jumps back by less than a day more than once per day.
  double Now();

 private:
  Source source_;
  double offset_ = 0;
  double previous_ = -1;
};

}  // namespace orv
