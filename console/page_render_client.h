// The console's side of page rendering: starts orvrend from the program folder, hands it pages
// over its standard input (render_protocol.h), no more than the slots allow at once, and
// delivers each answer to whoever asked. It keeps the console free of the browser engine: a
// renderer that crashes, hangs or swells past its memory bound is killed and started anew on
// the next page, and the pages it held come back as failed (the channel saves them as received).
#pragma once

#include <QObject>
#include <QProcess>
#include <QTimer>
#include <deque>
#include <functional>
#include <map>
#include <string>

#include "render/render_policy.h"
#include "render/render_protocol.h"

namespace orv::console {

class RenderClient final : public QObject {
 public:
  using Done = std::function<void(const render::RenderReply&)>;
  // programPath: orvrend; pagesAtOnce: pages rendered at once (render::RenderSlots).
  RenderClient(std::string programPath, int pagesAtOnce, render::RenderTimes times, QObject* parent = nullptr);
  ~RenderClient() override;

  // Queues a page (its id is set here) and returns the id. done is called exactly once, always
  // from the event loop and never inside Submit, unless the page is cancelled first.
  uint64_t Submit(render::RenderRequest request, Done done);
  void Cancel(uint64_t id);
  const render::RenderTimes& Times() const { return times_; }
  // How often the renderer was killed for hanging or for its memory (for the log and tests).
  int Restarts() const { return restarts_; }

 private:
  struct Pending {
    render::RenderRequest request;
    Done done;
    qint64 sentAtMs = -1;  // -1: still queued
  };
  bool EnsureStarted();
  void SendQueued();
  void ReadReplies();
  void Watch();
  // Ends the renderer and fails every page sent to it with the reason.
  void Abandon(const std::string& reason);
  void Deliver(uint64_t id, render::RenderReply reply);

  std::string program_;
  int pagesAtOnce_;
  render::RenderTimes times_;
  QProcess* process_ = nullptr;
  render::FrameReader reader_;
  std::map<uint64_t, Pending> pending_;
  std::map<uint64_t, std::pair<Done, render::RenderReply>> ready_;  // answered, not yet handed over
  std::deque<uint64_t> queue_;
  uint64_t nextId_ = 1;
  int inFlight_ = 0;
  int restarts_ = 0;
  QTimer watch_;
};

}  // namespace orv::console
