// The download console: exchange files, published buttons and captions, settings and lists,
// the twenty channels and the console-wide state they share.
#pragma once

#include <QTimer>
#include <array>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "common/exchange.h"
#include "console/page_render_client.h"
#include "console/proxy_rotation.h"
#include "console/request.h"
#include "console/response.h"
#include "console/take_policy.h"
#include "platform/window_link.h"

namespace orv::console {

class Channel;

inline constexpr int kChannelCount = 20;
static_assert(kChannelCount == TakePolicy::kSlots);

// Appends one speed-log entry (CR LF, message, ": ", clock, CR LF, CR LF); a log past 1 MB is
// started anew first.
void AppendSpeedLog(const std::string& path, const std::string& message, const std::string& clock);

// Liveness grace: true once more than 14 s passed since startTime (seconds since midnight). A
// clock earlier than startTime means midnight passed: startTime becomes now.
bool GraceOver(double now, double& startTime);

class Console {
 public:
  Console();
  ~Console();
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;

  // Start steps; false when the console is to end at once (second instance, no orv beside it,
  // exchange files unavailable).
  bool Start();
  bool Quitting() const { return quitting_; }
  void Quit();

  // Processes pending events for a moment; used by every wait.
  void Yield();

  // Shared state used by the channels.
  ExchangeFiles& Exchange() { return ex_; }
  ChannelRecord& Record(int n) { return records_[n]; }
  void SetBusy(int n, bool busy);
  bool Connected() const { return connected_; }
  bool CheckConnection();  // runs the query (record 29 forces connected) and remembers it
  // When channels take, and an address put back for a retry before the mailbox's.
  TakePolicy& Takes() { return takes_; }
  RetryTable& Retries() { return retryTable_; }
  std::set<std::string>& SearchTaken() { return searchTaken_; }
  bool SearchMode() const { return searchMode_; }
  int& ProcessedPages() { return processedPages_; }
  const std::string& CollectionFolder() const { return collection_; }
  const std::vector<std::string>& Exclusions() const { return exclusions_; }
  const std::vector<std::string>& TypeEntries() const { return typeEntries_; }
  const std::vector<Credential>& Credentials() const { return credentials_; }
  // The proxy list (`orvproxy`, read at start) and which of its proxies are left out.
  ProxyRotation& Proxies() { return proxies_; }
  int Timeout() const { return timeout_; }
  // The page renderer when "Выполнять скрипты страниц" was on at the console's start; null
  // when pages are taken as received.
  RenderClient* Renderer() { return renderer_.get(); }
  bool SkipCertificateCheck() const { return skipCertificateCheck_; }
  // A take tick that came before the take interval was over: an idle channel takes as soon as
  // it is over, not only at its next tick, so takes are the interval apart and no more.
  // The channel that takes then is the first one waiting to take.
  void TakeWhenDue(double secondsLeft);
  void ReadChannelSettings();  // RQQM and intens, at each channel creation
  // Whether a running transfer of a channel other than `except` writes below folder.
  bool FolderInUse(const std::string& folder, const Channel* except) const;
  WindowHandle& CounterWindow() { return counterWindow_; }
  void AddBytes(int64_t n);
  int64_t ByteTotal() const { return byteTotal_; }
  void SpeedLog(const std::string& message);
  const std::string& ExchangeFolderPath() const { return exchangeFolder_; }

  // Console buttons (also pressed through the window link).
  void StopChannel(int n);
  void StopAll();
  void ResetCounter();
  void LivenessTick();
  void WriteStatusTable();
  // Writes one channel's record at once, for a status that the same step replaces before the
  // status table is written again.
  void PublishRecord(int n);
  void ReloadLists();

  static double SecondsSinceMidnight();

 private:
  void PublishWindows();
  void UpdateCounterWindow(bool force);
  Channel* NextTaker() const;

  ExchangeFiles ex_;
  std::string programFolder_, exchangeFolder_;
  std::array<ChannelRecord, kChannelCount + 1> records_{};
  std::array<bool, kChannelCount + 1> busy_{};
  std::vector<std::unique_ptr<Channel>> channels_;
  std::unique_ptr<RenderClient> renderer_;  // outlives the channels, which cancel their pages
  TakePolicy takes_;
  ProxyRotation proxies_;
  RetryTable retryTable_;
  std::set<std::string> searchTaken_;
  bool searchMode_ = false;
  bool stopAll_ = false;
  bool quitting_ = false;
  bool connected_ = true;
  double startTime_ = 0;
  int processedPages_ = 0;
  int busyWritten_ = -1;
  int64_t byteTotal_ = 0;
  std::string collection_;
  std::vector<std::string> exclusions_;
  std::vector<std::string> typeEntries_;
  std::vector<Credential> credentials_;
  int timeout_ = 120;
  bool skipCertificateCheck_ = false;
  WindowHandle counterWindow_ = 0;
  int64_t counterShown_ = -1;
  std::chrono::steady_clock::time_point counterShownAt_{};

  WindowHandle mainWindow_ = 0, stopAllButton_ = 0, resetButton_ = 0, quitButton_ = 0;
  WindowHandle totalCaption_ = 0, markerCaption_ = 0;
  std::array<WindowHandle, kChannelCount + 1> stopButtons_{};

  QTimer status250_, status100_, lists1000_, live2000_;
  QTimer takeDue_;
};

}  // namespace orv::console
