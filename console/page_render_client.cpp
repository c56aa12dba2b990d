#include "console/page_render_client.h"

#include <QElapsedTimer>

#include "platform/process.h"

namespace orv::console {
namespace {

qint64 NowMs() {
  static QElapsedTimer clock = [] {
    QElapsedTimer c;
    c.start();
    return c;
  }();
  return clock.elapsed();
}

render::RenderReply FailedReply(uint64_t id, const std::string& reason) {
  render::RenderReply reply;
  reply.id = id;
  reply.outcome = render::RenderOutcome::Failed;
  reply.reason = reason;
  return reply;
}

}  // namespace

RenderClient::RenderClient(std::string programPath, int pagesAtOnce, render::RenderTimes times, QObject* parent)
    : QObject(parent), program_(std::move(programPath)), pagesAtOnce_(std::max(1, pagesAtOnce)), times_(times) {
  watch_.setInterval(1000);
  QObject::connect(&watch_, &QTimer::timeout, this, [this] { Watch(); });
}

RenderClient::~RenderClient() {
  pending_.clear();
  ready_.clear();
  if (process_) {
    process_->disconnect(this);
    process_->kill();
    process_->waitForFinished(2000);
  }
}

uint64_t RenderClient::Submit(render::RenderRequest request, Done done) {
  const uint64_t id = nextId_++;
  request.id = id;
  request.quietMs = times_.quietMs;
  request.maxMs = times_.maxMs;
  pending_[id] = Pending{std::move(request), std::move(done)};
  queue_.push_back(id);
  QTimer::singleShot(0, this, [this] { SendQueued(); });
  return id;
}

void RenderClient::Cancel(uint64_t id) {
  ready_.erase(id);
  auto it = pending_.find(id);
  if (it == pending_.end()) return;
  // A page already with the renderer still takes its slot until its answer comes.
  it->second.done = nullptr;
  if (it->second.sentAtMs < 0) pending_.erase(it);
}

bool RenderClient::EnsureStarted() {
  if (process_ && process_->state() != QProcess::NotRunning) return true;
  if (process_) process_->deleteLater();
  process_ = new QProcess(this);
  reader_ = render::FrameReader();
  inFlight_ = 0;
  process_->setProgram(QString::fromStdString(program_));
  // The engine's own messages are no business of the console's log.
  process_->setStandardErrorFile(QProcess::nullDevice());
  QObject::connect(process_, &QProcess::readyReadStandardOutput, this, [this] { ReadReplies(); });
  QProcess* started = process_;
  QObject::connect(process_, &QProcess::finished, this, [this, started] {
    if (started == process_) Abandon("the renderer ended");
  });
  process_->start(QIODevice::ReadWrite);
  if (!process_->waitForStarted(5000)) {
    process_->disconnect(this);
    process_->deleteLater();
    process_ = nullptr;
    return false;
  }
  watch_.start();
  return true;
}

void RenderClient::SendQueued() {
  while (inFlight_ < pagesAtOnce_ && !queue_.empty()) {
    const uint64_t id = queue_.front();
    auto it = pending_.find(id);
    if (it == pending_.end()) {
      queue_.pop_front();
      continue;
    }
    if (!EnsureStarted()) {
      queue_.pop_front();
      Deliver(id, FailedReply(id, "the renderer cannot be started"));
      continue;
    }
    queue_.pop_front();
    process_->write(QByteArray::fromStdString(render::EncodeFrame(render::ToFrame(it->second.request))));
    it->second.sentAtMs = NowMs();
    // The body is with the renderer now; the console need not hold it twice.
    it->second.request.body.clear();
    ++inFlight_;
  }
}

void RenderClient::ReadReplies() {
  if (!process_) return;
  const QByteArray bytes = process_->readAllStandardOutput();
  reader_.Feed(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
  render::Frame frame;
  for (;;) {
    const render::FrameReader::Status status = reader_.Next(frame);
    if (status == render::FrameReader::Status::NeedMore) break;
    if (status == render::FrameReader::Status::Broken) {
      Abandon("the renderer's answer is out of format");
      return;
    }
    std::optional<render::RenderReply> reply = render::ReplyFromFrame(frame);
    if (!reply) continue;
    auto it = pending_.find(reply->id);
    if (it == pending_.end() || it->second.sentAtMs < 0) continue;
    --inFlight_;
    Deliver(reply->id, std::move(*reply));
  }
  SendQueued();
}

void RenderClient::Watch() {
  if (!process_ || process_->state() == QProcess::NotRunning) {
    watch_.stop();
    return;
  }
  qint64 oldest = 0;
  for (const auto& [id, p] : pending_)
    if (p.sentAtMs >= 0) oldest = std::max(oldest, NowMs() - p.sentAtMs);
  const long long resident = ProcessTreeResidentBytes(static_cast<pid_t>(process_->processId()));
  switch (render::JudgeRenderer(oldest, times_.maxMs, resident)) {
    case render::RendererHealth::Sound: return;
    case render::RendererHealth::Hung: Abandon("the renderer hung"); break;
    case render::RendererHealth::TooLarge: Abandon("the renderer grew past its memory bound"); break;
  }
  ++restarts_;
}

void RenderClient::Abandon(const std::string& reason) {
  QProcess* gone = process_;
  process_ = nullptr;
  watch_.stop();
  if (gone) {
    gone->disconnect(this);
    gone->kill();
    gone->waitForFinished(2000);
    gone->deleteLater();
  }
  inFlight_ = 0;
  std::vector<uint64_t> sent;
  for (const auto& [id, p] : pending_)
    if (p.sentAtMs >= 0) sent.push_back(id);
  for (uint64_t id : sent) Deliver(id, FailedReply(id, reason));
  // Pages still queued go to a renderer started anew.
  QTimer::singleShot(0, this, [this] { SendQueued(); });
}

void RenderClient::Deliver(uint64_t id, render::RenderReply reply) {
  auto it = pending_.find(id);
  if (it == pending_.end()) return;
  Done done = std::move(it->second.done);
  pending_.erase(it);
  if (!done) return;
  // Handed over from the event loop, so a caller cancelling meanwhile (its channel ends) is
  // never called.
  ready_[id] = {std::move(done), std::move(reply)};
  QTimer::singleShot(0, this, [this, id] {
    auto r = ready_.find(id);
    if (r == ready_.end()) return;
    auto [callback, answer] = std::move(r->second);
    ready_.erase(r);
    callback(answer);
  });
}

}  // namespace orv::console
