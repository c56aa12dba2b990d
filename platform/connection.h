#pragma once
// The internet connected-state query and hang-up.
//
// Connected when a default route (IPv4, else IPv6) goes through an interface that is up and not
// loopback. The modem flag is set for PPP links (ppp*), the LAN flag otherwise (tunnels of a
// VPN included); the name is the interface's name.

#include <functional>
#include <string>
#include <string_view>

namespace orv {

inline constexpr int kConnModem = 1;
inline constexpr int kConnLan = 2;
inline constexpr int kConnProxy = 4;
inline constexpr int kConnRemoteAccessInstalled = 16;
inline constexpr int kConnOffline = 32;
inline constexpr int kConnConfigured = 64;

// The environment variable naming a folder whose "route" and "ipv6_route" files, in the form of
// /proc/net, are read in place of the system's: a test gives a console process a network of its
// own (a header-only "route" is a machine off line).
inline constexpr const char* kRouteFolderVariable = "ORV_ROUTE_FOLDER";

// Fills flags and name; true when connected.
bool GetConnectedState(int& flags, std::string& name);

// Closes internet connections of this program: nothing to do here.
void HangUp();

// The rule of GetConnectedState over a routing table in the text form of /proc/net/route and
// a lookup of interface flags (IFF_UP, IFF_LOOPBACK; -1 when unknown).
bool ConnectedStateFromRoutes(std::string_view routeTable,
                              const std::function<int(const std::string& iface)>& interfaceFlags,
                              int& flags, std::string& name);

// The same over the text form of /proc/net/ipv6_route (IPv6-only networks).
bool ConnectedStateFromIpv6Routes(std::string_view routeTable,
                                  const std::function<int(const std::string& iface)>& interfaceFlags,
                                  int& flags, std::string& name);

// The query behind an interface, so run control can be driven by a fake in tests.
class ConnectionState {
 public:
  virtual ~ConnectionState() = default;
  virtual bool Query(int& flags, std::string& name) = 0;
  virtual void HangUp() = 0;
};

// The system query above.
class SystemConnectionState : public ConnectionState {
 public:
  bool Query(int& flags, std::string& name) override { return GetConnectedState(flags, name); }
  void HangUp() override { orv::HangUp(); }
};

// A state set by the test; counts hang-ups.
class FixedConnectionState : public ConnectionState {
 public:
  bool connected = false;
  int flags = 0;
  std::string name;
  int hangUps = 0;
  bool Query(int& f, std::string& n) override {
    f = flags;
    n = name;
    return connected;
  }
  void HangUp() override { ++hangUps; }
};

}  // namespace orv
