#include "main/run/transfer_statistics.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "common/numbers.h"
#include "common/text.h"

namespace orv {

namespace {

template <typename T>
std::string ShortestFixed(T value) {
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
  if (res.ec != std::errc()) return "0";
  return std::string(buf, res.ptr);
}

std::string WithLeadingBlank(long long n) { return StrText(n); }

}  // namespace

std::string ProgressPercentText(int32_t lastIndex, int32_t nextIndex) {
  int32_t a = std::max<int32_t>(nextIndex, 1);
  int32_t t = lastIndex;
  if (t < 1) {
    t = 100000;
    a = 1;
  }
  if (a > t) a = t;
  if (a == t) return "99.8";
  float p = 100.0f * static_cast<float>(a) / static_cast<float>(t);
  p = std::clamp(p, 0.0f, 100.0f);
  std::string text = ShortestFixed(p);
  if (!text.empty() && text[0] == '.') text.insert(text.begin(), '0');
  if (text.size() > 4) text.resize(4);
  return text;
}

std::string CurrentSpeedText(double bytesPerSecond) {
  std::string text = ShortestFixed(bytesPerSecond);
  if (!text.empty() && static_cast<unsigned char>(text[0]) < '0') text.insert(text.begin(), '0');
  if (text.size() >= 8) text.resize(7);
  return text;
}

std::string LongTimeText(std::chrono::seconds elapsed) {
  long long s = elapsed.count();
  if (s < 0) s = 0;
  s %= 86400;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
  return buf;
}

std::string KilobytesPanelText(int64_t kb) { return WithLeadingBlank(kb) + " kb"; }

std::string OverallSpeedPanelText(double speed) {
  return WithLeadingBlank(static_cast<long long>(std::floor(speed))) + Ru(" B/sec [общая]");
}

std::string CurrentSpeedPanelText(double speed) {
  return " " + CurrentSpeedText(speed) + Ru(" B/sec [средн]");
}

std::string VolumeRowText(int64_t kb) { return Ru("Объем, kB :") + WithLeadingBlank(kb); }
std::string AddressRowText(int32_t count) { return Ru("Адреса: ") + WithLeadingBlank(count); }
std::string OnlineRowText(double onlineSeconds) {
  return Ru("В сети, мин : ") + DecimalText(static_cast<long long>(onlineSeconds / 60.0));
}
std::string IdleAddressRow() { return Ru("Адреса :"); }
std::string IdleVolumeRow() { return Ru("Объем, kB :"); }
std::string IdleOnlineRow() { return Ru("В сети, мин :"); }

TransferStatistics::TransferStatistics(MonotonicClock::Source secondsSinceMidnight, Calendar calendar)
    : clock_(std::move(secondsSinceMidnight)), calendar_(std::move(calendar)) {}

void TransferStatistics::ResetCounter() {
  allTimeBytes_ += runKb_;
  runKb_ = 0;
}

void TransferStatistics::MarkRunStart() {
  startMono_ = clock_.Now();
  startCalendar_ = calendar_();
  sampleTime_ = startMono_;
}

double TransferStatistics::ElapsedSeconds() {
  double s = clock_.Now() - startMono_;
  return s == 0 ? 0.01 : s;
}

TransferStatistics::StepTexts TransferStatistics::Step(std::string_view counterCaption,
                                                       std::string_view panel2, bool overallMode) {
  StepTexts out;
  const long long raw = LeadingInt(Trim(counterCaption));
  runBytes_ = raw;
  runKb_ = runBytes_ / 1024;

  const double now = clock_.Now();
  double seconds = now - startMono_;
  if (seconds == 0) seconds = 0.01;
  overallSpeed_ = std::floor(runBytes_ / seconds);

  out.panel5 = LongTimeText(
      std::chrono::duration_cast<std::chrono::seconds>(calendar_() - startCalendar_));
  if (overallMode) out.panel4 = OverallSpeedPanelText(overallSpeed_);

  const std::string kbText = KilobytesPanelText(runKb_);
  if (panel2 != kbText) {
    out.panel2 = kbText;
    out.valuesRow = VolumeRowText(runKb_);
  }

  if (++samplePhase_ > 2) samplePhase_ = 0;
  if (samplePhase_ == 1) {
    double dt = now - sampleTime_;
    sampleTime_ = now;
    int64_t db = runBytes_ - sampleBytes_;
    sampleBytes_ = runBytes_;
    allTimeBytes_ += db;
    if (db < 0) db = 0;
    if (dt <= 0) dt = 0.01;
    currentSpeed_ = static_cast<double>(db) / dt;
    if (!overallMode) out.panel4 = CurrentSpeedPanelText(currentSpeed_);
  }
  return out;
}

std::optional<std::string> TransferStatistics::AccountOnline(bool online, bool counting) {
  const double now = clock_.Now();
  if (!online) {
    // Time off line is not counted: keep the mark current.
    onlinePrevious_ = now;
    return std::nullopt;
  }
  if (!counting) {
    onlinePrevious_ = -1;
    return std::nullopt;
  }
  if (onlinePrevious_ < 0) {
    onlinePrevious_ = now;
    return std::nullopt;
  }
  onlineSeconds_ += now - onlinePrevious_;
  onlinePrevious_ = now;
  return OnlineRowText(onlineSeconds_);
}

}  // namespace orv
