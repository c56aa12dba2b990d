#include "console/request.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "common/address_markers.h"
#include "common/address_scheme.h"
#include "common/exchange.h"
#include "common/text.h"

namespace orv::console {

bool Contains(const std::string& hay, const std::string& needle) {
  return hay.find(needle) != std::string::npos;
}

double TakeInterval(double intens) {
  if (intens == 0) return 0.1;
  if (intens == 2) return 4;
  if (intens == 3) return 0;  // "Максимальная": the channels' own tick is the only pause
  return intens;
}

int TakeTickMs(double intens) { return intens == 3 ? 5 : 100; }

int TransferTimeout(long long rqqm) { return static_cast<int>(std::clamp<long long>(rqqm, 1, 86400)); }

ProxyParts ParseProxySpec(const std::string& rawSpec) {
  ProxyParts out;
  std::string spec = StripLineBreaks(rawSpec);
  if (Contains(LowerCase(spec), "nothing") || spec.size() < 10) return out;
  std::string proxy;
  size_t at = spec.find("@@@@@");
  std::string credentials;
  if (at != std::string::npos) {
    credentials = spec.substr(0, at);
    proxy = orv::Trim(spec.substr(at + 5));
  } else {
    proxy = orv::Trim(spec);
  }
  size_t colon = proxy.size() > 8 ? proxy.find(':', 8) : std::string::npos;
  if (colon == std::string::npos) return out;
  std::string host = proxy.substr(0, colon);
  if (LowerCase(host.substr(0, 7)) == "http://") host = host.substr(7);
  if (!host.empty() && host.back() == '/') host.pop_back();
  long port = std::strtol(proxy.c_str() + colon + 1, nullptr, 10);
  if (host.empty() || port <= 0 || port > 65535) return out;
  out.host = host;
  out.port = static_cast<uint16_t>(port);
  out.credentials = credentials;
  return out;
}

std::string Base64(const std::string& bytes) {
  static const char* kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    uint32_t v = (static_cast<unsigned char>(bytes[i]) << 16) |
                 (static_cast<unsigned char>(bytes[i + 1]) << 8) | static_cast<unsigned char>(bytes[i + 2]);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  size_t rest = bytes.size() - i;
  if (rest == 1) {
    uint32_t v = static_cast<unsigned char>(bytes[i]) << 16;
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += "==";
  } else if (rest == 2) {
    uint32_t v = (static_cast<unsigned char>(bytes[i]) << 16) | (static_cast<unsigned char>(bytes[i + 1]) << 8);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += '=';
  }
  return out;
}

std::string HttpDate(std::time_t t) {
  static const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[tm.tm_wday], tm.tm_mday,
                kMonths[tm.tm_mon], tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return buf;
}

std::string StripLineBreaks(std::string s) {
  std::string out;
  out.reserve(s.size());
  for (char c : s)
    if (c != '\r' && c != '\n') out += c;
  return out;
}

std::vector<Credential> ParseCredentials(const std::vector<std::string>& entries) {
  std::vector<Credential> out;
  for (const auto& e : entries) {
    size_t bs = e.find("\\\\");
    if (bs == std::string::npos) break;
    size_t stars = e.find("**", bs + 2);
    if (stars == std::string::npos) break;
    Credential c{e.substr(0, bs), e.substr(bs + 2, stars - bs - 2), e.substr(stars + 2)};
    if (c.site.empty() || c.user.empty() || c.password.empty()) break;
    out.push_back(std::move(c));
  }
  return out;
}

std::string AuthorizationLine(const std::string& address, const std::vector<Credential>& creds) {
  std::string lower = LowerCase(address);
  for (const auto& c : creds) {
    if (Contains(lower, c.site))
      return "Authorization: Basic " + Base64(StripLineBreaks(c.user + ":" + c.password)) + "\r\n";
  }
  return {};
}

std::string CharsetLine(int mode) {
  if (mode == 1) return "Accept-Charset: windows-1251;q=1\r\n";
  if (mode == 2) return "Accept-Charset: koi8-r;q=1\r\n";
  return {};
}

std::string RangeLine(int64_t localSize) { return "Range: bytes=" + std::to_string(localSize) + "-\r\n"; }

std::string ConditionLine(std::time_t modified) { return "If-Modified-Since: " + HttpDate(modified) + "\r\n"; }

std::string UserAgentLine(const std::string& agent) {
  std::string a = orv::Trim(StripLineBreaks(agent));
  if (a.empty()) a = "-";
  return "User-Agent: " + a + "\r\n";
}

std::string ProxyAuthLine(const ProxyParts& proxy) {
  if (proxy.host.empty() || proxy.credentials.empty()) return {};
  return "Proxy-Authorization: Basic " + Base64(proxy.credentials) + "\r\n";
}

std::string HeaderBlock(const HeaderLines& l) {
  return l.auth + l.proxyAuth + l.range + l.charset + "Connection: close\r\nAccept: */*\r\n" + l.condition +
         l.userAgent;
}

MarkedAddress SplitMarkers(const std::string& taken) {
  MarkedAddress m;
  std::string a = taken;
  if (Contains(a, std::string(orv::kFrameMarker))) {
    m.frame = true;
    a.resize(a.size() >= 6 ? a.size() - 6 : 0);
  }
  a = orv::Trim(a);
  size_t ref = a.find(orv::kReferrerMarker);
  if (ref != std::string::npos) {
    m.referrerFolder = a.substr(ref + 5);
    a = a.substr(0, ref);
  }
  m.url = a;
  return m;
}

bool DroppedByExclusions(const std::string& address, const std::vector<std::string>& exclusions) {
  std::string lower = LowerCase(address);
  for (const auto& e : exclusions)
    if (!e.empty() && Contains(lower, LowerCase(e))) return true;
  return false;
}

bool DroppedByType(const std::string& address, const std::vector<std::string>& typeEntries) {
  std::string tail = address.size() > 7 ? address.substr(address.size() - 7) : address;
  size_t dot = tail.find('.');
  if (dot == std::string::npos) return false;
  std::string ending = tail.substr(dot);
  if (ending.size() < 3) return false;
  for (const auto& t : typeEntries)
    if (!t.empty() && Contains(t, ending)) return true;
  return false;
}

std::string RequestTarget(const std::string& address) {
  static const char* kHex = "0123456789ABCDEF";
  std::string out;
  out.reserve(address.size());
  for (char c : address) {
    unsigned char u = static_cast<unsigned char>(c);
    bool literal = u > 0x20 && u < 0x7F && u != '"' && u != '<' && u != '>' && u != '\\' && u != '^' &&
                   u != '`' && u != '{' && u != '|' && u != '}';
    if (literal) {
      out += c;
    } else {
      out += '%';
      out += kHex[u >> 4];
      out += kHex[u & 15];
    }
  }
  return out;
}

std::string SitePart(const std::string& url) {
  std::size_t scheme = SchemeLength(url);
  if (scheme == 0) scheme = kHttpScheme.size();
  std::string rest = url.size() > scheme ? url.substr(scheme) : std::string();
  rest.erase(0, UserInfoLength(rest));
  size_t slash = rest.find('/');
  return slash == std::string::npos ? rest : rest.substr(0, slash);
}

void ReadAddressSettings(ControlRecords& records, AddressSettings& out) {
  out.proxySpec = records.Read(orv::ProxySpec);
  out.userAgent = records.Read(orv::UserAgent);
  out.minSize = records.Read(orv::MinSize);
  out.maxSize = records.Read(orv::MaxSize);
}

AddressSettings TakeFromMailbox(ControlRecords& records) {
  AddressSettings taken;
  taken.address = records.Read(orv::NextUrl);
  if (taken.address.empty()) return taken;
  ReadAddressSettings(records, taken);
  records.Write(orv::NextUrl, "");
  return taken;
}

}  // namespace orv::console
