#pragma once
// Transfer statistics of a run: the byte counter the console publishes in the
// caption of the hidden counter button, speeds, elapsed time, on-line time, the
// progress percentage and the stop limits. Pure arithmetic; the run controller
// moves the texts into the status panels and the limits rows.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "main/run/run_clock.h"

namespace orv {

// " выполнено " + text + "% сценария" uses this: from the last run-list index and
// the next sequential index. Never "100" while a run goes on: a finished list
// shows "99.8".
std::string ProgressPercentText(int32_t lastIndex, int32_t nextIndex);

// The current-speed figure: shortest decimal form, "0" before a leading ".",
// at most 7 characters.
std::string CurrentSpeedText(double bytesPerSecond);

// Elapsed time as the long time format shows it: H:mm:ss (wraps after a day).
std::string LongTimeText(std::chrono::seconds elapsed);

// Panel and row texts (Windows-1251).
std::string KilobytesPanelText(int64_t kb);          // " 12 kb"
std::string OverallSpeedPanelText(double speed);      // " 345 B/sec [общая]"
std::string CurrentSpeedPanelText(double speed);      // " 3.5 B/sec [средн]"
std::string VolumeRowText(int64_t kb);                // "Объем, kB : 12"
std::string AddressRowText(int32_t count);            // "Адреса:  12"
std::string OnlineRowText(double onlineSeconds);      // "В сети, мин : 3"
std::string IdleAddressRow();                         // "Адреса :"
std::string IdleVolumeRow();                          // "Объем, kB :"
std::string IdleOnlineRow();                          // "В сети, мин :"

class TransferStatistics {
 public:
  using Calendar = std::function<std::chrono::system_clock::time_point()>;
  explicit TransferStatistics(MonotonicClock::Source secondsSinceMidnight = SystemSecondsSinceMidnight,
                              Calendar calendar = [] { return std::chrono::system_clock::now(); });

  // Counter reset at the start of a run: the run's kilobytes go into the all-time
  // total and the run starts from zero again. The caller presses the console's
  // reset button and empties the counter caption.
  void ResetCounter();

  // The console became ready: the run's clocks start.
  void MarkRunStart();

  struct StepTexts {
    std::optional<std::string> panel2;     // kilobytes, only when changed
    std::optional<std::string> valuesRow;  // with panel2
    std::optional<std::string> panel4;     // speed in the chosen display mode
    std::string panel5;                    // elapsed time
  };
  // One statistics step of the supervision tick. panel2 is the panel's current
  // text (to report only changes); overallMode is the speed display mode.
  StepTexts Step(std::string_view counterCaption, std::string_view panel2, bool overallMode);

  // On-line accounting of one supervision tick. counting = online, the on-line
  // limit is on, a run is active, the console is busy and the first address phase
  // is over. Returns the new row text when time was added.
  std::optional<std::string> AccountOnline(bool online, bool counting);
  void ResetOnline() { onlineSeconds_ = 0; }
  double OnlineSeconds() const { return onlineSeconds_; }

  // Limits: true when the run must stop.
  static bool AddressLimitReached(bool on, int32_t limit, int32_t handOutCounter) {
    return on && handOutCounter > limit;
  }
  bool VolumeLimitReached(bool on, int32_t limitKb) const { return on && runKb_ > limitKb; }
  bool OnlineLimitReached(bool on, int32_t limitMinutes) const {
    return on && onlineSeconds_ >= limitMinutes * 60.0;
  }

  // 64-bit: the console's total passes 2 GiB on a large run, and a 32-bit counter would turn
  // negative there (volume limit never reached, negative panel texts).
  int64_t RunBytes() const { return runBytes_; }
  int64_t RunKilobytes() const { return runKb_; }
  int64_t AllTimeBytes() const { return allTimeBytes_; }
  void SetAllTimeBytes(int64_t v) { allTimeBytes_ = v; }
  double OverallSpeed() const { return overallSpeed_; }
  double CurrentSpeed() const { return currentSpeed_; }
  double ElapsedSeconds();

 private:
  MonotonicClock clock_;
  Calendar calendar_;
  int64_t runBytes_ = 0;
  int64_t runKb_ = 0;
  int64_t allTimeBytes_ = 0;
  double startMono_ = 0;
  std::chrono::system_clock::time_point startCalendar_{};
  double overallSpeed_ = 0;
  double currentSpeed_ = 0;
  double sampleTime_ = 0;
  int64_t sampleBytes_ = 0;
  int samplePhase_ = 0;
  double onlineSeconds_ = 0;
  double onlinePrevious_ = -1;
};

}  // namespace orv
