#include "render/render_protocol.h"

#include <charconv>

namespace orv::render {
namespace {

constexpr std::size_t kMaxHeaderLine = 64;
constexpr std::size_t kMaxKind = 16;

// A decimal number that is the whole of text (no sign, no blanks).
std::optional<uint64_t> WholeNumber(std::string_view text) {
  if (text.empty() || text.size() > 20) return std::nullopt;
  uint64_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::string Number(uint64_t n) { return std::to_string(n); }

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& line : lines) {
    out += line;
    out += '\n';
  }
  return out;
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty()) lines.emplace_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

}  // namespace

std::string EncodeFrame(const Frame& frame) {
  std::string out = frame.kind + " " + Number(frame.fields.size()) + "\n";
  for (const std::string& field : frame.fields) {
    out += Number(field.size());
    out += '\n';
    out += field;
  }
  return out;
}

FrameReader::Status FrameReader::Next(Frame& frame) {
  if (broken_) return Status::Broken;
  auto fail = [this] {
    broken_ = true;
    buffer_.clear();
    return Status::Broken;
  };
  const std::size_t headerEnd = buffer_.find('\n');
  if (headerEnd == std::string::npos) return buffer_.size() > kMaxHeaderLine ? fail() : Status::NeedMore;
  const std::string_view header(buffer_.data(), headerEnd);
  const std::size_t blank = header.find(' ');
  if (blank == std::string_view::npos || blank == 0 || blank > kMaxKind) return fail();
  const std::optional<uint64_t> count = WholeNumber(header.substr(blank + 1));
  if (!count || *count > kMaxFields) return fail();

  // The fields are counted out first; the frame is taken only once every byte is there.
  std::vector<std::pair<std::size_t, std::size_t>> spans;  // offset, length
  std::size_t pos = headerEnd + 1;
  for (uint64_t i = 0; i < *count; ++i) {
    const std::size_t lineEnd = buffer_.find('\n', pos);
    if (lineEnd == std::string::npos) return buffer_.size() - pos > kMaxHeaderLine ? fail() : Status::NeedMore;
    const std::optional<uint64_t> length = WholeNumber(std::string_view(buffer_).substr(pos, lineEnd - pos));
    if (!length || *length > kMaxFieldBytes) return fail();
    pos = lineEnd + 1;
    if (buffer_.size() - pos < *length) return Status::NeedMore;
    spans.emplace_back(pos, static_cast<std::size_t>(*length));
    pos += static_cast<std::size_t>(*length);
  }
  frame.kind.assign(header.substr(0, blank));
  frame.fields.clear();
  for (const auto& [offset, length] : spans) frame.fields.emplace_back(buffer_, offset, length);
  buffer_.erase(0, pos);
  return Status::Ready;
}

Frame ToFrame(const RenderRequest& r) {
  return {"render",
          {Number(r.id), r.address, r.charset, r.body, Number(static_cast<uint64_t>(r.quietMs)),
           Number(static_cast<uint64_t>(r.maxMs)), r.similarHosts ? "1" : "0", r.cookieJar}};
}

Frame ToFrame(const RenderReply& r) {
  return {"page",
          {Number(r.id), r.outcome == RenderOutcome::Rendered ? "rendered" : "failed", r.reason, r.html,
           JoinLines(r.requested)}};
}

std::optional<RenderRequest> RequestFromFrame(const Frame& frame) {
  if (frame.kind != "render" || frame.fields.size() != 8) return std::nullopt;
  const auto& f = frame.fields;
  const std::optional<uint64_t> id = WholeNumber(f[0]);
  const std::optional<uint64_t> quiet = WholeNumber(f[4]);
  const std::optional<uint64_t> max = WholeNumber(f[5]);
  if (!id || !quiet || !max || *quiet > 3600000 || *max > 3600000) return std::nullopt;
  if (f[6] != "0" && f[6] != "1") return std::nullopt;
  RenderRequest r;
  r.id = *id;
  r.address = f[1];
  r.charset = f[2];
  r.body = f[3];
  r.quietMs = static_cast<int>(*quiet);
  r.maxMs = static_cast<int>(*max);
  r.similarHosts = f[6] == "1";
  r.cookieJar = f[7];
  return r;
}

std::optional<RenderReply> ReplyFromFrame(const Frame& frame) {
  if (frame.kind != "page" || frame.fields.size() != 5) return std::nullopt;
  const auto& f = frame.fields;
  const std::optional<uint64_t> id = WholeNumber(f[0]);
  if (!id || (f[1] != "rendered" && f[1] != "failed")) return std::nullopt;
  RenderReply r;
  r.id = *id;
  r.outcome = f[1] == "rendered" ? RenderOutcome::Rendered : RenderOutcome::Failed;
  r.reason = f[2];
  r.html = f[3];
  r.requested = SplitLines(f[4]);
  return r;
}

}  // namespace orv::render
