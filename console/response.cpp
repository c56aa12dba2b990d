#include "console/response.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "common/text.h"
#include "console/request.h"

namespace orv::console {

std::string SizeText(int64_t bytes) {
  if (bytes <= 1024) return " " + std::to_string(bytes) + " b";
  double kb = static_cast<double>(static_cast<float>(bytes) / 1024.0f);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.1f", kb);
  std::string s = buf;
  if (s.size() > 2 && s.compare(s.size() - 2, 2, ".0") == 0) s.resize(s.size() - 2);
  return " " + s + " kb";
}

std::string PercentText(int64_t received, int64_t total) {
  if (received < 1) received = 1;
  if (total < 1) {
    total = 100000;
    received = 1;
  }
  if (received > total) received = total;
  int64_t value = static_cast<int64_t>(100.0 / static_cast<double>(total) * static_cast<double>(received));
  return " " + std::to_string(value) + "%";
}

std::string ProgressText(int64_t received, int64_t contentLength) {
  return contentLength < 0 ? SizeText(received) : PercentText(received, contentLength);
}

HeaderFacts AnalyseHeaders(const std::string& h, int64_t localSize) {
  HeaderFacts f;
  f.acceptsRanges = Contains(h, "accept-ranges: bytes");
  size_t cr = h.find("content-range: bytes ");
  if (cr != std::string::npos) {
    const char* p = h.c_str() + cr + 21;
    char* end = nullptr;
    long long start = std::strtoll(p, &end, 10);
    f.rangeAccepted = end != p && start == localSize;
  }
  if (Contains(h, " 200 ok")) {
    f.fullBody = true;
    f.rangeAccepted = false;
  }
  return f;
}

int StateFromSize(int state, int64_t contentLength, int64_t size) {
  if (state == kStateNotFound) return state;
  if (contentLength < 0) return size < 1 ? kStateFailed : kStateOk;
  if (contentLength == 0) return kStateOk;
  if (size > 0) return contentLength - size < 2 ? kStateOk : kStateShort;
  return state;
}

bool TimedOut(double secondsSinceActivity, int timeoutSeconds) {
  return std::floor(secondsSinceActivity) > timeoutSeconds - 1;
}

MarkingDecision MarkingAfterTransfer(int64_t contentLength, int64_t size, bool rangeAccepted,
                                     bool acceptsRanges, bool currentlySystemOnly) {
  MarkingDecision d;
  if (size <= 0) return d;
  if (contentLength > 0) {
    if (contentLength - size <= 1) {
      d.marking = Marking::Normal;
    } else {
      d.marking = rangeAccepted || acceptsRanges ? Marking::System : Marking::Normal;
      d.shortFile = true;
    }
  } else if (!currentlySystemOnly) {
    d.marking = Marking::Normal;
  }
  return d;
}

std::string HeaderValue(const std::string& headersLower, const std::string& nameLower) {
  // A name counts only at a line start (a header's value may contain another's name).
  std::string key = nameLower + ":";
  size_t from;
  if (headersLower.compare(0, key.size(), key) == 0) {
    from = key.size();
  } else {
    size_t p = headersLower.find("\n" + key);
    if (p == std::string::npos) return {};
    from = p + 1 + key.size();
  }
  size_t end = headersLower.find_first_of("\r\n", from);
  std::string value = headersLower.substr(from, end == std::string::npos ? std::string::npos : end - from);
  size_t b = value.find_first_not_of(" \t");
  size_t e = value.find_last_not_of(" \t");
  return b == std::string::npos ? std::string() : value.substr(b, e - b + 1);
}

bool LooksLikeText(const std::string& urlLower, const std::string& headersLower, bool forceText,
                   const std::string& body) {
  auto endsWith = [&](const char* e) {
    std::string s = e;
    return urlLower.size() >= s.size() && urlLower.compare(urlLower.size() - s.size(), s.size(), s) == 0;
  };
  if (endsWith(".js") || endsWith(".css") || endsWith(".class") || endsWith(".vbs") || endsWith(".java"))
    return true;
  // Only the type the server names counts: other headers (a Content-Security-Policy with
  // "script-src" on every answer) say nothing about the body.
  std::string type = HeaderValue(headersLower, "content-type");
  if (Contains(type, "/html") || Contains(type, "text/") || Contains(type, "script")) return true;
  if (forceText) return true;
  if (body.size() >= 51) {
    std::string head = LowerCase(body.substr(0, 50));
    if (Contains(head, "<html>") || Contains(head, " html ") || Contains(head, "<body>") || Contains(head, "<head>"))
      return true;
  }
  return false;
}

bool RetryTable::ShouldRequeue(const std::string& address, int limit, bool noRetry, int& state) {
  auto it = counters_.find(address);
  if (it == counters_.end()) {
    int32_t c = noRetry ? 9999 : 0;
    counters_[address] = c;
    return c == 0;
  }
  if (limit >= it->second && !noRetry) {
    ++it->second;
    return true;
  }
  it->second = 9999;
  state = kStateFailed;
  return false;
}

int StatusCodeOf(const std::string& headersLower) {
  if (headersLower.compare(0, 5, "http/") != 0) return 0;
  size_t sp = headersLower.find(' ');
  if (sp == std::string::npos) return 0;
  return std::atoi(headersLower.c_str() + sp + 1);
}

int RetryWaitSeconds(const std::string& headersLower, int failures, int timeoutSeconds, time_t nowUtc) {
  long long wait = -1;
  std::string value = HeaderValue(headersLower, "retry-after");
  if (!value.empty() && value[0] >= '0' && value[0] <= '9') {
    wait = std::strtoll(value.c_str(), nullptr, 10);
  } else if (!value.empty()) {
    std::tm tm{};
    const char* end = strptime(value.c_str(), "%a, %d %b %Y %H:%M:%S", &tm);
    if (end != nullptr) wait = std::max<long long>(0, static_cast<long long>(timegm(&tm) - nowUtc));
  }
  if (wait < 0) wait = 1LL << std::clamp(failures, 0, 6);  // no date: back off
  return static_cast<int>(std::clamp<long long>(wait, 0, std::max(timeoutSeconds, 1)));
}

const char* ReasonPhrase(int code) {
  switch (code) {
    case 100: return "Continue";
    case 200: return "OK";
    case 201: return "Created";
    case 202: return "Accepted";
    case 203: return "Non-Authoritative Information";
    case 204: return "No Content";
    case 205: return "Reset Content";
    case 206: return "Partial Content";
    case 300: return "Multiple Choices";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 304: return "Not Modified";
    case 305: return "Use Proxy";
    case 307: return "Temporary Redirect";
    case 308: return "Permanent Redirect";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 402: return "Payment Required";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 406: return "Not Acceptable";
    case 407: return "Proxy Authentication Required";
    case 408: return "Request Timeout";
    case 409: return "Conflict";
    case 410: return "Gone";
    case 411: return "Length Required";
    case 412: return "Precondition Failed";
    case 413: return "Content Too Large";
    case 414: return "URI Too Long";
    case 415: return "Unsupported Media Type";
    case 416: return "Range Not Satisfiable";
    case 417: return "Expectation Failed";
    case 429: return "Too Many Requests";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    case 504: return "Gateway Timeout";
    case 505: return "HTTP Version Not Supported";
    default: return "Unknown";
  }
}

}  // namespace orv::console
