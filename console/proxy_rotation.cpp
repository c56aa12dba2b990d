#include "console/proxy_rotation.h"

#include "common/text.h"
#include "console/request.h"

namespace orv::console {
namespace {

constexpr std::string_view kCredentialMark = "@@@@@";

std::string HostPortOf(const std::string& spec) {
  const ProxyParts p = ParseProxySpec(spec);
  return p.host.empty() ? std::string() : LowerCase(p.host) + ":" + std::to_string(p.port);
}

}  // namespace

void ProxyRotation::SetList(const std::vector<std::string>& keys) {
  proxies_.clear();
  for (const std::string& key : keys) {
    // The list keeps the credentials after the address; the console's setting puts them first.
    const std::size_t mark = key.find(kCredentialMark);
    const std::string spec = mark == std::string::npos
                                 ? key
                                 : key.substr(mark + kCredentialMark.size()) + std::string(kCredentialMark) + key.substr(0, mark);
    Proxy p;
    p.hostPort = HostPortOf(spec);
    if (p.hostPort.empty()) continue;
    p.spec = spec;
    proxies_.push_back(std::move(p));
  }
}

int ProxyRotation::IndexOf(const std::string& spec) const {
  const std::string hostPort = HostPortOf(spec);
  if (hostPort.empty()) return -1;
  for (std::size_t i = 0; i < proxies_.size(); ++i)
    if (proxies_[i].hostPort == hostPort) return static_cast<int>(i);
  return -1;
}

int ProxyRotation::NextAvailable(int from, double now) const {
  const int n = static_cast<int>(proxies_.size());
  for (int k = 0; k < n; ++k) {
    const int i = (from + k) % n;
    if (proxies_[i].leftOutUntil <= now) return i;
  }
  return -1;
}

ProxyRotation::Choice ProxyRotation::Choose(const std::string& spec, double now) const {
  const int i = IndexOf(spec);
  if (i < 0 || proxies_[i].leftOutUntil <= now) return {spec, {}};
  const int next = NextAvailable(i + 1, now);
  if (next < 0) return {spec, {}};
  return {proxies_[next].spec, proxies_[i].hostPort};
}

std::optional<std::string> ProxyRotation::RetryThrough(const std::string& address, const std::string& spec,
                                                       bool refused, double now) {
  const int i = IndexOf(spec);
  if (i < 0) return std::nullopt;
  if (refused) proxies_[i].leftOutUntil = now + kSkipSeconds;
  int& tried = tried_[address];
  ++tried;
  if (tried >= static_cast<int>(proxies_.size())) {
    tried_.erase(address);
    return std::nullopt;
  }
  // The next one in the list even when all are left out: the address still gets its turn
  // through each proxy once.
  int next = NextAvailable(i + 1, now);
  if (next < 0 || next == i) next = (i + 1) % static_cast<int>(proxies_.size());
  return proxies_[next].spec;
}

}  // namespace orv::console
