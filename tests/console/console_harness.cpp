#include "tests/console/console_harness.h"

#include <QCoreApplication>
#include <thread>

#include "common/local_path.h"
#include "common/numbers.h"
#include "platform/settings.h"
#include "tests/support/event_loop.h"

namespace orvtest {

ConsoleHarness::ConsoleHarness() {
  EnsureQtApp();
  ex_.Open(folder_.Exchange(), true);
  orv::WriteSetting("PFOLD", folder_.Collection());
  orv::WriteSetting("RQQM", "10");
  orv::WriteSetting("intens", "0");
  orv::WindowHandlers none;
  mainWindow_ = orv::WindowLink::Instance().Publish("orv", none);
  counterWindow_ = orv::WindowLink::Instance().Publish("", none);
}

ConsoleHarness::~ConsoleHarness() {
  kuvet_.Kill();
  if (mainWindow_) orv::WindowLink::Instance().Unpublish(mainWindow_);
  orv::WindowLink::Instance().Unpublish(counterWindow_);
}

void ConsoleHarness::PrepareRun(int retryLimit, const std::string& userAgent) {
  for (int r : {1, 2, 6, 8, 10, 11, 12, 13, 14, 15, 16, 17, 21, 27, 28, 31}) ex_.WriteExt(r, "");
  ex_.WriteExt(orv::MainWindow, orv::DecimalText(mainWindow_));
  ex_.WriteExt(orv::CounterWindow, orv::DecimalText(counterWindow_));
  ex_.WriteExt(orv::UserAgent, userAgent);
  ex_.WriteExt(orv::CharsetMode, "0");
  ex_.WriteExt(orv::RetryLimit, orv::DecimalText(retryLimit));
  ex_.WriteExt(orv::SearchMode, "0");
  ex_.WriteExt(orv::AssumeOnline, "1");
  ex_.WriteExt(orv::MinSize, "0");
  ex_.WriteExt(orv::MaxSize, "0");
}

bool ConsoleHarness::Launch() {
  ex_.WriteExt(orv::ConsoleStarted, "");
  std::map<std::string, std::string> env = env_;
  env["XDG_CONFIG_HOME"] = folder_.Config();
  if (!kuvet_.Start(folder_.Prog() + "kuvet", {}, folder_.Prog(), env))
    return false;
  return WaitUntil([&] { return !ex_.ReadExt(orv::ConsoleStarted).empty(); }, 10000);
}

bool ConsoleHarness::LaunchWithFileSizeLimit(long long bytes) {
  ex_.WriteExt(orv::ConsoleStarted, "");
  // The shell's limit is counted in blocks of 512 bytes; an ignored SIGXFSZ stays ignored in the
  // console, whose writes past the limit then fail with EFBIG.
  const std::string script = "ulimit -f " + std::to_string(bytes / 512) + " && trap '' XFSZ && exec \"$0\"";
  std::map<std::string, std::string> env = env_;
  env["XDG_CONFIG_HOME"] = folder_.Config();
  if (!kuvet_.Start("/bin/sh", {"-c", script, folder_.Prog() + "kuvet"}, folder_.Prog(), env))
    return false;
  return WaitUntil([&] { return !ex_.ReadExt(orv::ConsoleStarted).empty(); }, 10000);
}

bool ConsoleHarness::Feed(const std::string& address, int timeoutMs) {
  if (!WaitUntil([&] { return ex_.ReadExt(orv::NextUrl).empty(); }, timeoutMs)) return false;
  return ex_.WriteExt(orv::NextUrl, address);
}

void ConsoleHarness::Pump() {
  QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  if (ex_.ReadExt(orv::ReportReady) == "A") {
    reports_.push_back(ex_.ReadUrlList());
    ex_.WriteExt(orv::ReportReady, "");
  }
}

bool ConsoleHarness::WaitUntil(const std::function<bool()>& pred, int timeoutMs) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (true) {
    Pump();
    if (pred()) return true;
    if (std::chrono::steady_clock::now() > end) return false;
    // As often as the main program's own polls: a coarser step paces a run of many addresses.
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

bool ConsoleHarness::WaitIdle(int timeoutMs) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  auto quietSince = std::chrono::steady_clock::now();
  bool quiet = false;
  while (std::chrono::steady_clock::now() < end) {
    Pump();
    bool idle = ex_.ReadExt(orv::NextUrl).empty() && Busy() == 0 && ex_.ReadExt(orv::ReportReady).empty();
    if (!idle) {
      quiet = false;
    } else if (!quiet) {
      quiet = true;
      quietSince = std::chrono::steady_clock::now();
    } else if (std::chrono::steady_clock::now() - quietSince > std::chrono::milliseconds(300)) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

bool ConsoleHarness::HasReportElement(const std::string& element) const {
  for (const auto& r : reports_)
    for (size_t i = 1; i < r.size(); ++i)
      if (r[i] == element) return true;
  return false;
}

orv::WindowHandle ConsoleHarness::Handle(const std::string& settingKey) {
  return static_cast<orv::WindowHandle>(orv::LeadingInt(orv::ReadSetting(settingKey, "0")));
}

bool ConsoleHarness::PressStop(int channel) {
  return orv::WindowLink::Instance().PressLeft(ex_.ReadChannel(channel).stopButton);
}

bool ConsoleHarness::PressStopAll() {
  return orv::WindowLink::Instance().PressLeft(
      static_cast<orv::WindowHandle>(ex_.ReadExtNumber(orv::StopAllButton)));
}

bool ConsoleHarness::PressReset() { return orv::WindowLink::Instance().PressLeft(Handle("LRES")); }
bool ConsoleHarness::PressQuit() { return orv::WindowLink::Instance().PressLeft(Handle("UBOL")); }

void ConsoleHarness::DropMainWindow() {
  orv::WindowLink::Instance().Unpublish(mainWindow_);
  mainWindow_ = 0;
}

std::string ConsoleHarness::LocalFile(const std::string& address) {
  return orv::LocalNameOf(address, folder_.Collection()).path;
}

}  // namespace orvtest
