#include "main/run/dialer.h"

#include "common/numbers.h"
#include "common/text.h"

namespace orv {

namespace {
// The hang-up waits for the handle to go; a dialler that never lets go is not waited for longer.
constexpr auto kHangUpWait = std::chrono::seconds(3);
constexpr auto kStatusPeriod = std::chrono::milliseconds(250);
constexpr auto kRedialPeriod = std::chrono::milliseconds(500);

int Reduced(int error) { return error > 599 ? error - 600 : error; }
}  // namespace

bool Dialer::FillEntries() {
  entries_.clear();
  const RasEntryList list = ras_.EnumerateEntries();
  if (list.missing) {
    missing_ = true;
    host_.SwitchOffAutoDial();
    return false;
  }
  if (list.error != 0) {
    host_.ShowPlainMessage(ras_.ErrorText(list.error));
    return true;
  }
  entries_ = list.names;
  if (entryIndex_ < 0 || entryIndex_ >= static_cast<int>(entries_.size())) entryIndex_ = 0;
  return true;
}

void Dialer::ChooseEntry(int index) {
  if (index >= 0 && index < static_cast<int>(entries_.size())) entryIndex_ = index;
}

std::string Dialer::EntryText() const {
  if (entryIndex_ < 0 || entryIndex_ >= static_cast<int>(entries_.size())) return {};
  return entries_[static_cast<std::size_t>(entryIndex_)];
}

void Dialer::Prepend(const std::string& text) {
  text1_ = text1_.empty() ? text : text + "\r\n" + text1_;
}

void Dialer::Dial() {
  const std::string name = EntryText();
  if (Trim(name).empty()) return;
  HangUpStep();
  if (hangingUp_ != 0) return;  // the line of the last attempt is still being let go
  diallerActive_ = true;
  attemptStart_ = host_.Now();
  nextStatus_ = attemptStart_ + kStatusPeriod;
  label4_ = Ru("Соединение");
  label2_ = Ru("Подключение к ") + name;
  firstStatus_ = true;
  dialling_ = true;
  attemptRunning_ = true;
  FillEntries();
  text1_.clear();

  RasDialParams params = ras_.GetDialParams(name).value_or(RasDialParams{});
  params.entryName = name;
  handle_ = ras_.Dial(params).handle;
  if (options.rotate && !entries_.empty())
    entryIndex_ = (entryIndex_ + 1) % static_cast<int>(entries_.size());
}

void Dialer::AttemptStep() {
  const auto now = host_.Now();
  if (now >= nextStatus_) {
    nextStatus_ = now + kStatusPeriod;
    StatusTick();
  }
  if (!attemptRunning_) return;
  Refresh();
  if (connection_.Online() || !dialling_ || host_.Cancelled()) {
    EndAttempt();
    return;
  }
  const auto lasted = std::chrono::duration_cast<std::chrono::seconds>(now - attemptStart_);
  if (lasted.count() > options.attemptLimitSeconds) {
    label2_ = Ru("Превышен лимит установки соединения");
    CloseConnection(false);
    dialling_ = false;
    EndAttempt();
  }
}

void Dialer::EndAttempt() {
  attemptRunning_ = false;
  lastAttempt_ = host_.Now();
}

void Dialer::Step() {
  HangUpStep();
  if (attemptRunning_) {
    AttemptStep();
    return;
  }
  if (!shown_) return;
  if (host_.Cancelled()) {
    StopByUser();
    return;
  }
  if (host_.Now() >= nextRedial_) {
    nextRedial_ = host_.Now() + kRedialPeriod;
    RedialTick();
  }
}

void Dialer::StatusTick() {
  if (connection_.Online()) {
    WindowClosed();
    return;
  }
  const RasStatus st = ras_.GetConnectStatus(handle_);
  const int error = Reduced(st.error);
  if (!(firstStatus_ || st.state != lastState_)) return;
  std::string text;
  if (error != 0 && error != kRasErrorInvalidHandle) {
    dialling_ = false;
  } else if (error == kRasErrorInvalidHandle && firstStatus_) {
    text = Ru("Подготовка соединения.");
  } else if (error == kRasErrorInvalidHandle) {
    text = Ru("Сбой.");
    CloseConnection(false);
    dialling_ = false;
  } else if (st.state == kRasStateConnectDevice) {
    text = Ru("Набор номера ") + st.deviceName;
  } else if (st.state == kRasStateAuthenticate) {
    text = Ru("Проверка имени и пароля.");
  } else if (st.state > 4095 && st.state != kRasStateConnected) {
    text = Ru("Сбой.");
    CloseConnection(false);
    dialling_ = false;
  }
  lastState_ = st.state;
  if (!text.empty()) Prepend(text);
  firstStatus_ = false;
}

void Dialer::RedialTick() {
  Refresh();
  if (connection_.Online()) {
    WindowClosed();
    return;
  }
  if (!immediateDial) {
    const auto s = std::chrono::duration_cast<std::chrono::seconds>(host_.Now() - lastAttempt_).count();
    if (s < options.retryPauseSeconds) {
      text1_ = Ru("Повторный набор через ") + DecimalText(options.retryPauseSeconds - s) + Ru("  секунд");
      return;
    }
    const int countdown = host_.PopupCountdown();
    if (countdown >= 0) {
      text1_ = std::string(static_cast<std::size_t>(countdown), ':');
      return;
    }
    diallerActive_ = true;
  }
  Dial();
}

void Dialer::CloseConnection(bool switchOffAutoDial) {
  if (switchOffAutoDial) host_.SwitchOffAutoDial();
  connection_.CloseConnection();
  if (handle_ == 0) return;
  ras_.HangUp(handle_);
  hangingUp_ = handle_;
  hangUpSince_ = host_.Now();
  handle_ = 0;
  HangUpStep();
}

void Dialer::HangUpStep() {
  if (hangingUp_ == 0) return;
  if (Reduced(ras_.GetConnectStatus(hangingUp_).error) == kRasErrorInvalidHandle ||
      host_.Now() - hangUpSince_ >= kHangUpWait)
    hangingUp_ = 0;
}

void Dialer::StopByUser() {
  stoppedByUser_ = true;
  host_.DropStartAndStop();
  immediateDial = false;
  CloseConnection(true);
  WindowClosed();
}

void Dialer::WindowClosed() {
  host_.CloseDialWindow();
  shown_ = false;
  diallerActive_ = false;
  dialling_ = false;
  firstStatus_ = false;
  if (attemptRunning_) EndAttempt();
}

void Dialer::OpenWindow() {
  if (shown_) return;
  shown_ = true;
  stoppedByUser_ = false;
  host_.OpenDialWindow();
  nextRedial_ = host_.Now();
}

}  // namespace orv
