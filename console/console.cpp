#include "console/console.h"

#include <QCoreApplication>
#include <unistd.h>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <thread>

#include "common/config_keys.h"
#include "common/numbers.h"
#include "common/string_list.h"
#include "common/text.h"
#include "common/timeline.h"
#include "console/channel.h"
#include "console/run_cookies.h"
#include "platform/connection.h"
#include "platform/file_attributes.h"
#include "platform/process.h"
#include "platform/settings.h"

namespace orv::console {
namespace {

// The speed log is started anew past this size so that months of use cannot fill the disk.
constexpr std::uintmax_t kSpeedLogLimit = 1024 * 1024;

std::string TrimmedText(std::string text) {
  size_t nul = text.find('\0');
  if (nul != std::string::npos) text.resize(nul);
  return orv::Trim(text);
}

}  // namespace

void AppendSpeedLog(const std::string& path, const std::string& message, const std::string& clock) {
  std::error_code ec;
  auto size = std::filesystem::file_size(path, ec);
  const int fd = OpenOwnerOnlyAppend(path, !ec && size > kSpeedLogLimit);
  if (fd < 0) return;
  const std::string entry = "\r\n" + message + ": " + clock + "\r\n\r\n";
  (void)!::write(fd, entry.data(), entry.size());
  ::close(fd);
}

bool GraceOver(double now, double& startTime) {
  if (now < startTime) startTime = now;  // midnight passed: the grace period starts again
  return now - startTime > 14;
}

Console::Console() = default;

Console::~Console() {
  channels_.clear();
}

double Console::SecondsSinceMidnight() {
  // Whole seconds and fraction from one reading, so the value never steps back at a second.
  auto now = std::chrono::system_clock::now();
  std::time_t t = std::chrono::system_clock::to_time_t(now);
  // Microseconds: the take interval is measured with it, and a clock in whole milliseconds
  // would make a take due a millisecond late.
  auto us = std::chrono::duration_cast<std::chrono::microseconds>(now.time_since_epoch()).count() % 1000000;
  if (std::chrono::system_clock::from_time_t(t) > now) {
    --t;  // to_time_t may round up
    us = (us + 1000000) % 1000000;
  }
  std::tm tm{};
  localtime_r(&t, &tm);
  return tm.tm_hour * 3600.0 + tm.tm_min * 60.0 + tm.tm_sec + static_cast<double>(us) / 1e6;
}

void Console::Yield() {
  QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

void Console::Quit() {
  quitting_ = true;
  for (auto& c : channels_) c->Stop();
  QCoreApplication::exit(0);
}

bool Console::Start() {
  programFolder_ = ProgramFolder();
  exchangeFolder_ = programFolder_ + "temp/";
  std::srand(static_cast<unsigned>(SecondsSinceMidnight()));
  if (FileLength(programFolder_ + "orv") < 1000) return false;
  if (!ex_.Open(exchangeFolder_, true)) return false;
  timeline::Open(exchangeFolder_, timeline::kConsoleFile);
  timeline::Mark("started");
  long long mode = ex_.ReadExtNumber(orv::SearchMode);
  searchMode_ = mode != 0;
  stopAll_ = false;
  startTime_ = SecondsSinceMidnight();
  processedPages_ = 0;
  ReloadLists();

  PublishWindows();
  WriteSetting(kConsoleWindowKey, DecimalText(mainWindow_));
  WriteSetting(kCounterResetButtonKey, DecimalText(resetButton_));
  WriteSetting(kQuitButtonKey, DecimalText(quitButton_));

  std::vector<std::string> auth = ReadStringArrayFile(programFolder_ + "httpauten");
  if (auth.size() > 1) credentials_ = ParseCredentials(std::vector<std::string>(auth.begin() + 1, auth.end()));
  std::vector<std::string> proxies = ReadStringArrayFile(programFolder_ + "orvproxy");
  if (proxies.size() > 1) proxies_.SetList(std::vector<std::string>(proxies.begin() + 1, proxies.end()));

  for (int n = 1; n <= kChannelCount; ++n) {
    records_[n] = ChannelRecord{};
    records_[n].stopButton = stopButtons_[n];
    ex_.WriteChannel(n, records_[n]);
  }
  ex_.WriteExt(orv::StopAllButton, DecimalText(stopAllButton_));

  // The script's cookies, before the first channel can fetch. A jar that cannot be read leaves
  // the run without them (a run is never refused for its cookies); the main program checked it.
  const CookieFileContents jar = RunCookies::Instance().Begin(TrimmedText(ex_.ReadExt(orv::CookieJar)));
  if (jar.error != CookieFileError::None) SpeedLog(CookieFileErrorText(jar.error, RunCookies::Instance().JarPath()));
  if (jar.skippedLines > 0) SpeedLog("Cookie jar: malformed lines skipped " + std::to_string(jar.skippedLines));

  CheckConnection();
  channels_.reserve(kChannelCount);
  for (int n = 1; n <= kChannelCount; ++n) {
    channels_.push_back(std::make_unique<Channel>(*this, n));
    channels_.back()->EnableTake();
  }
  retryTable_.Clear();
  collection_ = ReadSetting(kCollectionFolderKey, "");
  if (!collection_.empty() && collection_.back() != '/') collection_ += '/';
  if (LowerCase(Trim(ReadSetting(kRenderPagesKey, "False"))) == "true") {
    // The renderer itself starts with the first page to render.
    renderer_ = std::make_unique<RenderClient>(
        programFolder_ + "orvrend", render::RenderSlots(static_cast<int>(LeadingInt(ReadSetting(kIntensityKey, "0")))),
        render::RenderTimesFrom(Trim(ReadSetting(kRenderQuietKey, "")), Trim(ReadSetting(kRenderMaxKey, ""))));
  }

  takeDue_.setSingleShot(true);
  takeDue_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&takeDue_, &QTimer::timeout, [this] {
    if (Channel* c = NextTaker()) c->TakeTick();
  });
  QObject::connect(&status250_, &QTimer::timeout, [this] { WriteStatusTable(); });
  QObject::connect(&status100_, &QTimer::timeout, [this] { WriteStatusTable(); });
  QObject::connect(&lists1000_, &QTimer::timeout, [this] { ReloadLists(); });
  QObject::connect(&live2000_, &QTimer::timeout, [this] { LivenessTick(); });
  status250_.start(250);
  status100_.start(100);
  lists1000_.start(1000);
  // The liveness check runs from the start, so a console whose main program died ends and
  // does not block the next run's console; the stop-all repetition still needs the button.
  live2000_.start(2000);
  return true;
}

void Console::PublishWindows() {
  WindowLink& link = WindowLink::Instance();
  WindowHandlers consoleWindow;
  consoleWindow.close = [] {};  // closing the console window is refused
  mainWindow_ = link.Publish(" Orvanta  Console ", consoleWindow);
  for (int n = 1; n <= kChannelCount; ++n) {
    WindowHandlers h;
    h.leftPress = [this, n] { StopChannel(n); };
    h.close = [] {};
    stopButtons_[n] = link.Publish("", h);
  }
  WindowHandlers all;
  all.leftPress = [this] { StopAll(); };
  all.close = [] {};
  stopAllButton_ = link.Publish("", all);
  WindowHandlers reset;
  reset.leftPress = [this] { ResetCounter(); };
  reset.close = [] {};
  resetButton_ = link.Publish("LRESET", reset);
  WindowHandlers quit;
  quit.leftPress = [this] { Quit(); };
  quit.close = [] {};
  quitButton_ = link.Publish("", quit);
  WindowHandlers plain;
  plain.close = [] {};
  totalCaption_ = link.Publish("", plain);
  markerCaption_ = link.Publish("orvcon", plain);
}

void Console::SetBusy(int n, bool busy) {
  busy_[n] = busy;
  // An address put back for a retry is still to be fetched: the main program must not take the
  // console for idle (and end the run) while one waits in its slot.
  int count = takes_.PutBackCount();
  for (int i = 1; i <= kChannelCount; ++i) count += busy_[i] ? 1 : 0;
  // Idle channels report idleness on every take tick; the record only changes with the count.
  if (count == busyWritten_) return;
  busyWritten_ = count;
  ex_.WriteExt(orv::BusyChannels, DecimalText(count));
}

bool Console::CheckConnection() {
  if (ex_.ReadExt(orv::AssumeOnline) == "1") {
    connected_ = true;
    return true;
  }
  int flags = 0;
  std::string name;
  connected_ = GetConnectedState(flags, name);
  return connected_;
}

void Console::ReadChannelSettings() {
  timeout_ = TransferTimeout(LeadingInt(ReadSetting(kTransferTimeoutKey, "120")));
  const double intens = LeadingFloat(ReadSetting(kIntensityKey, "0"));
  takes_.Configure(TakeInterval(intens), TakeTickMs(intens));
  // "Не проверять сертификаты": an intranet site with a certificate of its own.
  skipCertificateCheck_ = LowerCase(Trim(ReadSetting(kNoCertCheckKey, "False"))) == "true";
}

void Console::TakeWhenDue(double secondsLeft) {
  if (takeDue_.isActive() || quitting_) return;
  // A tick that still comes early finds the interval not over and asks again.
  takeDue_.start(static_cast<int>(std::ceil(secondsLeft * 1000)));
}

Channel* Console::NextTaker() const {
  for (const auto& c : channels_)
    if (c->WaitsToTake()) return c.get();
  return nullptr;
}

bool Console::FolderInUse(const std::string& folder, const Channel* except) const {
  std::string prefix = folder;
  if (!prefix.empty() && prefix.back() != '/') prefix += '/';
  for (const auto& c : channels_) {
    if (c.get() != except && c->Fetching() && c->LocalPath().compare(0, prefix.size(), prefix) == 0) return true;
  }
  return false;
}

void Console::AddBytes(int64_t n) {
  byteTotal_ += n;
  UpdateCounterWindow(false);
}

void Console::UpdateCounterWindow(bool force) {
  if (counterWindow_ == 0 || counterShown_ == byteTotal_) return;
  // Each progress event would set the caption; a socket round trip per event is wasted work
  // at loopback speed, so it is refreshed at most ten times a second.
  auto now = std::chrono::steady_clock::now();
  if (!force && now - counterShownAt_ < std::chrono::milliseconds(100)) return;
  counterShownAt_ = now;
  counterShown_ = byteTotal_;
  WindowLink::Instance().SetText(counterWindow_, DecimalText(byteTotal_));
}

void Console::SpeedLog(const std::string& message) {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
  AppendSpeedLog(exchangeFolder_ + "testspeed.txt", message, buf);
}

void Console::StopChannel(int n) {
  if (n >= 1 && n <= static_cast<int>(channels_.size())) channels_[n - 1]->Stop();
}

void Console::StopAll() {
  stopAll_ = true;
  for (auto& c : channels_) c->Stop();
}

void Console::ResetCounter() {
  byteTotal_ = 0;
  WindowLink::Instance().SetOwnText(totalCaption_, " 0");
  counterShown_ = -1;
}

void Console::LivenessTick() {
  if (stopAll_)
    for (auto& c : channels_) c->Stop();
  WindowLink& link = WindowLink::Instance();
  link.SetOwnText(totalCaption_, DecimalText(byteTotal_));
  UpdateCounterWindow(true);
  WindowHandle main = static_cast<WindowHandle>(ex_.ReadExtNumber(orv::MainWindow));
  // A main program that died (killed, crashed) ends nothing any more: the console ends itself
  // at once, grace period or not, so it neither fetches for nobody nor holds the lock the next
  // run's console needs. A handle is the owner's process id times 256 plus a window number.
  if (main != 0 && !ProcessAlive(static_cast<pid_t>(main / 256))) {
    Quit();
    return;
  }
  if (!GraceOver(SecondsSinceMidnight(), startTime_)) return;
  if (main == 0) {
    Quit();
    return;
  }
  if (TrimmedText(link.ReadText(main)) != "orv") Quit();
}

void Console::WriteStatusTable() {
  for (int n = 1; n <= kChannelCount; ++n) ex_.WriteChannel(n, records_[n]);
}

void Console::PublishRecord(int n) { ex_.WriteChannel(n, records_[n]); }

void Console::ReloadLists() {
  std::vector<std::string> ex = ReadStringArrayFile(exchangeFolder_ + "torvcess");
  exclusions_.assign(ex.size() > 1 ? ex.begin() + 1 : ex.end(), ex.end());
  std::string anyPath = exchangeFolder_ + "torvany";
  std::string bytes;
  if (!ReadWholeFile(anyPath, bytes)) {
    if (const int fd = OpenOwnerOnlyAppend(anyPath); fd >= 0) ::close(fd);
  }
  // Nine counted strings from the start of the file; missing ones are empty.
  typeEntries_.assign(9, std::string());
  size_t pos = 0;
  for (int i = 0; i < 9 && pos < bytes.size(); ++i) {
    std::string s;
    if (!ReadCountedString(bytes, pos, s)) break;
    typeEntries_[i] = s;
  }
}

}  // namespace orv::console
