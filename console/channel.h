// One download slot of the console: takes an address, assembles the request, drives its network
// component, watches the transfer and finishes it (page processing, reports, retry, recycling).
#pragma once

#include <QTimer>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "console/net_component.h"
#include "console/request.h"

namespace orv::console {

class Console;

class Channel final : public NetListener {
 public:
  Channel(Console& console, int index);
  ~Channel() override;
  Channel(const Channel&) = delete;
  Channel& operator=(const Channel&) = delete;

  int Index() const { return index_; }
  // The stop button: aborts the running transfer with "Stopped".
  void Stop();
  // Enables the take timer (the console does this once the channel exists).
  void EnableTake();
  bool Fetching() const { return fetching_; }
  // Idle and ticking for its next address.
  bool WaitsToTake() const { return takeTimer_.isActive(); }
  // Takes the next address when the pace allows (the take timer's tick).
  void TakeTick();
  const std::string& LocalPath() const { return localPath_; }

  // NetListener.
  void HeadersReceived(const std::string& headers, int64_t contentLength) override;
  void StatusMessage(const std::string& text, EventTime time) override;
  void DataReceived(int64_t bytes, EventTime time) override;
  void TransferDone(int code, bool complete, const std::string& redirectTarget) override;

 private:
  void Create();  // creation steps, also after each recycle
  void WatchTick();
  void Finish();
  void Recycle();
  void SetIdle();
  void Retry();
  void CompleteRetryJudgment();
  void ApplyMarking();
  void SendMarker(const std::string& marker, const std::string& address);
  void SendLinkReport();
  // One line of the outcome log for an address whose fetch is over.
  void LogOutcome(int64_t size);
  // Processes a complete download that may be a page; false when it was a page too large to
  // scan (saved as it came).
  bool ProcessAsPage(int64_t receivedSize);
  // Waits until the main program has read the previous list (record 10 empty and readable);
  // false when the console quits first (nothing may be written then).
  bool WaitForReportSlot();
  bool SendReport(const std::vector<std::string>& elements);
  // Keeps the channel busy for ms with a status text in its row, then recycles it.
  void HoldThenRecycle(int ms, const std::string& status);
  void RemoveFoldersLeftEmpty();

  Console& console_;
  int index_;
  QTimer takeTimer_;   // Timer10
  QTimer watchTimer_;  // Timer1
  QTimer connTimer_;   // Timer2
  QTimer holdTimer_;   // a finished transfer shows its outcome, or waits before its retry
  std::unique_ptr<NetComponent> net_;

  // Transfer fields.
  std::string taken_;  // the address as taken, markers included (retry key)
  int64_t takenMs_ = 0, firstByteMs_ = 0;  // for the outcome log
  std::string url_;
  std::string redirectTo_;  // the target of a redirect answer, for the outcome log
  std::string referrerFolder_;
  bool frameFlag_ = false;
  std::string folder_;
  std::string siteRootPrefix_, siteRoot_, pageFolderUrl_;
  std::string localPath_;
  std::string levelsUp_;
  bool existsFlag_ = false;
  int64_t localSize_ = 0;
  std::string proxySpec_;
  ProxyParts proxy_;
  int64_t contentLength_ = -1;
  int state_ = 0;
  bool done_ = false;
  EventTime lastActivity_{};
  int errorCode_ = 0;
  bool noRetry_ = false;
  bool requeued_ = false;  // the address goes back to the retry slot when the channel recycles
  int judgments_ = 0;      // retry judgments of this fetch (its end, the watch)
  std::string responseHeaders_;
  bool acceptsRanges_ = false;
  bool rangeAccepted_ = false;
  bool complete_ = false;
  bool forceText_ = false;
  std::vector<std::string> foundLinks_;
  std::vector<std::string> createdFolders_;  // folders this take created for its local file
  int httpStatus_ = 0;
  bool writeFailed_ = false;
  bool timedOut_ = false;
  int lastErrorCode_ = 0;  // the last "Err:" number of the transfer (ErrorCode is reset by texts)
  bool holding_ = false;
  std::string heldStatus_;

  bool fetching_ = false;
  bool inHandler_ = false;  // a handler that yields is running: the watch waits
  bool inWatch_ = false;
};

}  // namespace orv::console
