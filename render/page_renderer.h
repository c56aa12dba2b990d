// The engine side of orvrend: renders one page at a time per job in an off-the-record profile
// of its own and answers with the document as it then stands. Qt WebEngine lives only here
// and in main.cpp; every decision comes from render_policy.h.
#pragma once

#include <QObject>
#include <functional>
#include <map>
#include <memory>

#include "render/render_protocol.h"

class QWebEngineProfile;

namespace orv::render {

class RenderJob;

class PageRenderer : public QObject {
 public:
  using ReplySink = std::function<void(const RenderReply&)>;
  explicit PageRenderer(ReplySink sink, QObject* parent = nullptr);
  ~PageRenderer() override;

  // Starts rendering; the sink gets exactly one reply for it, now or later.
  void Render(const RenderRequest& request);
  int Running() const { return static_cast<int>(jobs_.size()); }

 private:
  void Finished(uint64_t id, const RenderReply& reply);
  // Puts the run's cookies into the profile's store, again whenever the console rewrote the jar.
  void TakeCookieJar(const std::string& path);

  ReplySink sink_;
  QWebEngineProfile* profile_;
  std::map<uint64_t, std::unique_ptr<RenderJob>> jobs_;
  std::map<std::string, long long> jarsTaken_;  // jar path -> modification time when taken
};

}  // namespace orv::render
