#include "main/run/run_clock.h"

#include <ctime>

namespace orv {

double SystemSecondsSinceMidnight() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t t = system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&t, &local);
  const double fraction =
      duration_cast<microseconds>(now.time_since_epoch()).count() % 1000000 / 1e6;
  return local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + fraction;
}

MonotonicClock::MonotonicClock(Source secondsSinceMidnight)
    : source_(std::move(secondsSinceMidnight)) {}

double MonotonicClock::Now() {
  const double reading = source_();
  if (previous_ >= 0 && reading < previous_) offset_ += 86400.0;
  previous_ = reading;
  return reading + offset_;
}

}  // namespace orv
