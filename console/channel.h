// One download slot of the console: takes an address, assembles the request, drives its network
// component, watches the transfer and finishes it (page processing, reports, retry, recycling).
#pragma once

#include <QTimer>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "console/net_component.h"
#include "render/render_protocol.h"
#include "console/request.h"
#include "console/transfer.h"

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
  const std::string& LocalPath() const { return t_.localPath; }

  // NetListener.
  void HeadersReceived(const std::string& headers, int64_t contentLength) override;
  void StatusMessage(const std::string& text, EventTime time) override;
  void DataReceived(int64_t bytes, EventTime time) override;
  void TransferDone(int code, bool complete, const std::string& redirectTarget) override;
  void AddressMoved(const std::string& address) override;

 private:
  void Create();  // creation steps, also after each recycle
  // The next address and the settings the main program wrote for it: one put back for a retry
  // first, else the mailbox's. nullopt when there is none or it is dropped (the channel is idle).
  std::optional<AddressSettings> NextAddress(double now);
  // Starts the fetch of a taken address with a fresh transfer record.
  void StartTransfer(const AddressSettings& next);
  // Maps the address to its local file and the site roots its page links are rewritten against.
  void PlaceLocalFile();
  // Where the local copy stands: none, partial (resumed) or complete (revalidated or skipped).
  enum class LocalCopy { None, Partial, Complete };
  LocalCopy ExistingCopy() const;
  // The header lines for the fetch, given the local copy.
  HeaderLines RequestLines(LocalCopy copy, const std::string& agent);
  void BeginFetch(const std::string& headerBlock, const AddressSettings& next);
  void WatchTick();
  void Finish();
  // Hands a page that the switch wants rendered to the renderer; true when it went (Finish
  // comes again once its answer is in), false when the page is processed as received.
  bool BeginRendering();
  void RenderingOver(const render::RenderReply& reply);
  void Recycle();
  void SetIdle();
  void Retry();
  void CompleteRetryJudgment();
  // Whether the run alternates proxies: an address failing for its proxy's fault goes on
  // through the next proxy of the list.
  bool ProxiesAlternate();
  // Puts an address that failed for its proxy's fault back, to go through the next proxy of the
  // list; returns what the row says of it, empty when it is not put back.
  std::string RetryThroughNextProxy(int64_t size);
  void ApplyMarking();
  void SendMarker(const std::string& marker, const std::string& address);
  void SendLinkReport(std::vector<std::string> foundLinks);
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

  Transfer t_;  // the current take's record, replaced whole by the next take

  bool holding_ = false;  // the hold timer runs: the row shows an outcome or a retry wait
  bool fetching_ = false;
  bool inHandler_ = false;  // a handler that yields is running: the watch waits
  bool inWatch_ = false;
};

}  // namespace orv::console
