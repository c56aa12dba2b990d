// The decisions around rendering pages through the browser engine that need no engine: which
// bodies are worth rendering, how many pages render at once, which requests of a page's
// scripts are let through, when a page counts as settled, and when the renderer is to be
// restarted. Pure functions and small state machines on plain values; the renderer (orvrend)
// and the console's client apply them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orv::render {

// The engine takes a page as a data address, which holds at most 2 MB once encoded; a larger
// body is saved as received.
inline constexpr std::size_t kMaxRenderedBody = 1536u * 1024;

// A renderer whose processes together hold more than this is killed and started anew.
inline constexpr int64_t kMemoryBoundBytes = 1024LL * 1024 * 1024;

// How long the client waits beyond a page's maximum time before it takes the renderer for
// hung (a script in an endless loop never lets the document be read) and kills it.
inline constexpr int kHangGraceMs = 10000;

// Whether a body taken for a page is an HTML document a browser would run scripts in:
// contentTypeLower is the response's Content-Type (lower case, may be empty), urlLower the
// address, head the body's first bytes. Style sheets, scripts and plain text are not.
bool WorthRendering(std::string_view contentTypeLower, std::string_view urlLower, std::string_view head);

// The charset a Content-Type value names ("text/html; charset=UTF-8" -> "utf-8"); empty when none.
std::string CharsetOfContentType(std::string_view contentTypeLower);

// Pages rendered at once for the console's intensity (0 high, 1 medium, 2 low, 3 maximum):
// low 1, medium 2, high and maximum 4.
int RenderSlots(int intensity);

// The lower-case host of an http(s) address, without credentials and port; empty for any other.
std::string HostOfAddress(std::string_view address);

// Whether a request a page's scripts make while it renders may go out: only http(s), only to
// the page's own site (its host and port; http and https on their default ports are one), or, with similarHosts ("Похожие адреса"), to a host that holds the
// page host's distinguishing name (the rule run control's scope applies).
bool RequestAllowed(std::string_view requestAddress, std::string_view pageAddress, bool similarHosts);

// The quiet time and the maximum of a rendering, from the settings' texts (milliseconds); a
// text that is no number gives the default, a number out of range is brought into it.
struct RenderTimes {
  int quietMs = 2000;
  int maxMs = 15000;
};
RenderTimes RenderTimesFrom(std::string_view quietText, std::string_view maxText);

// When a page being rendered is settled: its load has finished and no request of its own
// began for quietMs, or maxMs passed since it was given to the engine. Times are the caller's
// milliseconds of one monotonic clock.
class SettleWatch {
 public:
  enum class Verdict { Waiting, Quiet, TimedOut };
  SettleWatch(RenderTimes times, int64_t startMs) : times_(times), start_(startMs), lastRequest_(startMs) {}
  void RequestBegan(int64_t nowMs) { lastRequest_ = nowMs; }
  void LoadFinished(int64_t nowMs) {
    loaded_ = true;
    loadedAt_ = nowMs;
  }
  Verdict Check(int64_t nowMs) const;
  // Milliseconds until the verdict can change without a new event (for the caller's timer).
  int64_t MsUntilNextCheck(int64_t nowMs) const;

 private:
  RenderTimes times_;
  int64_t start_, lastRequest_;
  bool loaded_ = false;
  int64_t loadedAt_ = 0;
};

// The client's judgement of a running renderer, checked on its timer: kill it when a request
// waits past its maximum plus the hang grace, or when its processes hold more than the bound.
enum class RendererHealth { Sound, Hung, TooLarge };
RendererHealth JudgeRenderer(int64_t oldestRequestAgeMs, int maxMs, int64_t residentBytes);

}  // namespace orv::render
