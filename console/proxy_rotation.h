// Proxy alternation as the console carries it out: an address that fails for its proxy's fault
// is fetched again through the next proxy of the list, and a proxy that refuses connections is
// left out for a while, so that the addresses handed out with it go through the others.
// Pure logic over the proxy list's records and a clock in seconds; the channels apply it.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace orv::console {

class ProxyRotation {
 public:
  // How long a proxy that refused a connection is left out.
  static constexpr double kSkipSeconds = 60;

  // The records of the proxy list: address ":" port, optionally "@@@@@" user ":" password.
  // Records that name no proxy are left out.
  void SetList(const std::vector<std::string>& keys);
  std::size_t Size() const { return proxies_.size(); }

  struct Choice {
    std::string spec;     // the proxy setting to fetch through
    std::string skipped;  // address ":" port of the proxy left out for it; empty when none
  };
  // The proxy to fetch through for the setting an address was handed with: that setting, unless its
  // proxy is being left out; then the next proxy of the list that is not, with its credentials.
  // With every proxy left out the setting stays as it was.
  Choice Choose(const std::string& spec, double now) const;

  // A fetch of `address` through `spec` (its proxy setting) failed for the proxy's fault; `refused`: the proxy
  // refused the connection (it is then left out for kSkipSeconds). Returns the setting to fetch
  // the address through next: the next proxy of the list after this one that is not left out.
  // Nothing once the address went through every proxy of the list, or when the setting names no
  // proxy of the list.
  std::optional<std::string> RetryThrough(const std::string& address, const std::string& spec, bool refused, double now);

  // The address is over (fetched, or failed for good): its count of proxies tried is dropped.
  void Forget(const std::string& address) { tried_.erase(address); }

 private:
  struct Proxy {
    std::string hostPort;  // lower case, as compared
    std::string spec;      // as the console parses it: credentials "@@@@@" address ":" port
    double leftOutUntil = -1;
  };
  int IndexOf(const std::string& spec) const;
  // The first proxy from `from` on (wrapping) that is not left out at `now`, or -1.
  int NextAvailable(int from, double now) const;

  std::vector<Proxy> proxies_;
  std::map<std::string, int> tried_;  // address -> proxies it failed through
};

}  // namespace orv::console
