#include "render/render_policy.h"

#include <algorithm>
#include <charconv>
#include <optional>

#include "common/address_text.h"

namespace orv::render {
namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// The address without its query and fragment ends with one of the page endings, or has none.
bool PageLikeAddress(std::string_view urlLower) {
  urlLower = urlLower.substr(0, urlLower.find_first_of("?#"));
  const std::size_t slash = urlLower.rfind('/');
  const std::string_view last = slash == std::string_view::npos ? urlLower : urlLower.substr(slash + 1);
  const std::size_t dot = last.rfind('.');
  if (dot == std::string_view::npos) return true;
  const std::string_view ending = last.substr(dot);
  for (std::string_view page : {".htm", ".html", ".shtml", ".xhtml", ".php", ".asp", ".aspx", ".jsp", ".cgi", ".pl"})
    if (ending == page) return true;
  return false;
}

int Clamp(std::string_view text, int fallback, int low, int high) {
  long long value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return fallback;
  return static_cast<int>(std::clamp<long long>(value, low, high));
}

}  // namespace

bool WorthRendering(std::string_view contentTypeLower, std::string_view urlLower, std::string_view head) {
  const std::string_view type = contentTypeLower.substr(0, contentTypeLower.find(';'));
  if (!type.empty()) return type.find("html") != std::string_view::npos;
  // No type named: the body decides, as a browser sniffs it, else the address's ending.
  const std::string lowHead = Lower(head.substr(0, 512));
  const std::size_t first = lowHead.find_first_not_of(" \t\r\n\xef\xbb\xbf");
  if (first != std::string::npos && lowHead[first] == '<') {
    const std::string_view tag = std::string_view(lowHead).substr(first);
    for (std::string_view start : {"<!doctype html", "<html", "<head", "<body", "<script", "<!--"})
      if (StartsWith(tag, start)) return true;
  }
  return first != std::string::npos && lowHead[first] == '<' && PageLikeAddress(urlLower);
}

std::string CharsetOfContentType(std::string_view contentTypeLower) {
  const std::size_t at = contentTypeLower.find("charset=");
  if (at == std::string_view::npos) return {};
  std::string_view value = contentTypeLower.substr(at + 8);
  value = value.substr(0, value.find(';'));
  while (!value.empty() && (value.front() == '"' || value.front() == '\'' || value.front() == ' ')) value.remove_prefix(1);
  while (!value.empty() && (value.back() == '"' || value.back() == '\'' || value.back() == ' ')) value.remove_suffix(1);
  // Only a name a browser could know goes to the engine.
  for (char c : value)
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' || c == ':')) return {};
  return Lower(value);
}

int RenderSlots(int intensity) {
  switch (intensity) {
    case 2: return 1;
    case 1: return 2;
    default: return 4;
  }
}

namespace {

struct Authority {
  std::string host;  // lower case, no credentials, no port
  std::string port;  // empty for the scheme's default port
};

std::optional<Authority> AuthorityOf(std::string_view address) {
  const std::string lower = Lower(address);
  std::string_view rest;
  std::string_view defaultPort;
  if (StartsWith(lower, "http://")) {
    rest = std::string_view(lower).substr(7);
    defaultPort = "80";
  } else if (StartsWith(lower, "https://")) {
    rest = std::string_view(lower).substr(8);
    defaultPort = "443";
  } else {
    return std::nullopt;
  }
  rest = rest.substr(0, rest.find_first_of("/?#\\"));
  if (const std::size_t at = rest.rfind('@'); at != std::string_view::npos) rest.remove_prefix(at + 1);
  Authority a;
  std::size_t portColon = std::string_view::npos;
  if (!rest.empty() && rest.front() == '[') {
    const std::size_t close = rest.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    a.host = std::string(rest.substr(0, close + 1));
    if (close + 1 < rest.size() && rest[close + 1] == ':') portColon = close + 1;
  } else {
    portColon = rest.find(':');
    a.host = std::string(rest.substr(0, portColon));
  }
  if (portColon != std::string_view::npos) a.port = std::string(rest.substr(portColon + 1));
  if (a.port == defaultPort) a.port.clear();
  if (a.host.empty()) return std::nullopt;
  return a;
}

}  // namespace

std::string HostOfAddress(std::string_view address) {
  const std::optional<Authority> a = AuthorityOf(address);
  return a ? a->host : std::string();
}

bool RequestAllowed(std::string_view requestAddress, std::string_view pageAddress, bool similarHosts) {
  const std::optional<Authority> request = AuthorityOf(requestAddress);
  const std::optional<Authority> page = AuthorityOf(pageAddress);
  if (!request || !page) return false;
  // A site is its host and port as its addresses write them; its http and https forms are one.
  if (request->host == page->host && request->port == page->port) return true;
  return similarHosts && request->host.find(AlternateBaseOf(page->host)) != std::string::npos;
}

RenderTimes RenderTimesFrom(std::string_view quietText, std::string_view maxText) {
  RenderTimes t;
  t.quietMs = Clamp(quietText, t.quietMs, 100, 60000);
  t.maxMs = Clamp(maxText, t.maxMs, 500, 300000);
  t.quietMs = std::min(t.quietMs, t.maxMs);
  return t;
}

SettleWatch::Verdict SettleWatch::Check(int64_t nowMs) const {
  if (nowMs - start_ >= times_.maxMs) return Verdict::TimedOut;
  if (loaded_ && nowMs - std::max(lastRequest_, loadedAt_) >= times_.quietMs) return Verdict::Quiet;
  return Verdict::Waiting;
}

int64_t SettleWatch::MsUntilNextCheck(int64_t nowMs) const {
  int64_t until = start_ + times_.maxMs - nowMs;
  if (loaded_) until = std::min(until, std::max(lastRequest_, loadedAt_) + times_.quietMs - nowMs);
  return std::max<int64_t>(until, 0);
}

RendererHealth JudgeRenderer(int64_t oldestRequestAgeMs, int maxMs, int64_t residentBytes) {
  if (oldestRequestAgeMs > static_cast<int64_t>(maxMs) + kHangGraceMs) return RendererHealth::Hung;
  if (residentBytes > kMemoryBoundBytes) return RendererHealth::TooLarge;
  return RendererHealth::Sound;
}

}  // namespace orv::render
