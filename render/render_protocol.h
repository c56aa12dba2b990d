// What the console and the page renderer (orvrend) say to each other over the renderer's
// standard input and output. Plain bytes, no Qt: both sides and the tests share it.
//
// A frame is a header line "<kind> <field count>\n" followed by each field as
// "<byte length>\n<bytes>". Fields are opaque bytes (a page body may hold anything), so a
// frame is read by counting, never by scanning for a terminator. Two kinds travel:
//   "render": console -> renderer, one page to render (RenderRequest)
//   "page":   renderer -> console, the answer for one request (RenderReply)
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orv::render {

struct Frame {
  std::string kind;
  std::vector<std::string> fields;
};

// Bounds a reader enforces, so a broken or hostile peer cannot make the other side allocate
// without end: a field is at most a page the console scans (64 MB) plus room for growth by
// rendering, and a frame holds few fields.
inline constexpr std::size_t kMaxFieldBytes = 96u * 1024 * 1024;
inline constexpr std::size_t kMaxFields = 16;

std::string EncodeFrame(const Frame& frame);

// Collects bytes as they arrive from a pipe and hands out whole frames.
class FrameReader {
 public:
  enum class Status { NeedMore, Ready, Broken };
  void Feed(std::string_view bytes) { buffer_.append(bytes); }
  // Ready: frame holds the next frame, taken out of the buffer. Broken: the stream is not in
  // this format (or breaks a bound); nothing after it can be trusted and the reader stays broken.
  Status Next(Frame& frame);

 private:
  std::string buffer_;
  bool broken_ = false;
};

// One page to render. The body is the page exactly as received; charset is the one the
// response's Content-Type named (empty: the renderer finds it in the page as a browser does).
struct RenderRequest {
  uint64_t id = 0;
  std::string address;  // the page's address: its base for relative addresses and its origin
  std::string charset;
  std::string body;
  int quietMs = 2000;   // the network counts as quiet after this long without a new request
  int maxMs = 15000;    // the rendering ends at this point whatever the network does
  bool similarHosts = false;  // "Похожие адреса": requests to similar hosts are let through
  // The run's cookie jar (a cookie file the console keeps), the one store of cookies the page
  // shares; empty: the page starts without cookies.
  std::string cookieJar;
};

enum class RenderOutcome { Rendered, Failed };

struct RenderReply {
  uint64_t id = 0;
  RenderOutcome outcome = RenderOutcome::Failed;
  std::string reason;  // why a page was not rendered (ASCII, for the log)
  std::string html;    // the document as it stood, serialised with its doctype, UTF-8
  // Addresses the page's scripts requested while it rendered and that belong to the site.
  std::vector<std::string> requested;
};

Frame ToFrame(const RenderRequest& request);
Frame ToFrame(const RenderReply& reply);
// nullopt when the frame is not of that kind or a field is malformed.
std::optional<RenderRequest> RequestFromFrame(const Frame& frame);
std::optional<RenderReply> ReplyFromFrame(const Frame& frame);

}  // namespace orv::render
