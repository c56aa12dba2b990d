#include "platform/connection.h"

#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace orv {
namespace {

constexpr unsigned kRouteUp = 0x0001;  // RTF_UP

// A modem connection is a PPP link (ppp*), the kind the dial-up daemon brings up. Other
// point-to-point interfaces are tunnels (VPNs) over the local network: counting those as a
// modem would leave the program offline in the default LAN mode behind any VPN.
bool IsDialUpLink(const std::string& iface) { return iface.rfind("ppp", 0) == 0; }

int SystemInterfaceFlags(const std::string& iface) {
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  struct ifreq req {};
  std::strncpy(req.ifr_name, iface.c_str(), IFNAMSIZ - 1);
  int flags = -1;
  if (ioctl(fd, SIOCGIFFLAGS, &req) == 0) flags = req.ifr_flags & 0xffff;
  close(fd);
  return flags;
}

}  // namespace

bool ConnectedStateFromRoutes(std::string_view routeTable,
                              const std::function<int(const std::string& iface)>& interfaceFlags,
                              int& flags, std::string& name) {
  flags = 0;
  name.clear();
  std::istringstream in{std::string(routeTable)};
  std::string line;
  std::getline(in, line);  // column titles
  bool sawInterface = false;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string iface, destination, gateway, routeFlags;
    if (!(fields >> iface >> destination >> gateway >> routeFlags)) continue;
    int ifFlags = interfaceFlags(iface);
    if (ifFlags < 0 || (ifFlags & IFF_LOOPBACK) != 0) continue;
    sawInterface = true;
    unsigned long rf = std::strtoul(routeFlags.c_str(), nullptr, 16);
    if (destination != "00000000" || (rf & kRouteUp) == 0 || (ifFlags & IFF_UP) == 0) continue;
    flags = (IsDialUpLink(iface) ? kConnModem : kConnLan) | kConnConfigured;
    name = iface;
    return true;
  }
  // Some network is set up but there is no usable default route.
  if (sawInterface) flags = kConnConfigured;
  return false;
}

bool ConnectedStateFromIpv6Routes(std::string_view routeTable,
                                  const std::function<int(const std::string& iface)>& interfaceFlags,
                                  int& flags, std::string& name) {
  flags = 0;
  name.clear();
  std::istringstream in{std::string(routeTable)};
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string dest, destPrefix, src, srcPrefix, nextHop, metric, refs, use, routeFlags, iface;
    if (!(fields >> dest >> destPrefix >> src >> srcPrefix >> nextHop >> metric >> refs >> use >>
          routeFlags >> iface))
      continue;
    int ifFlags = interfaceFlags(iface);
    if (ifFlags < 0 || (ifFlags & IFF_LOOPBACK) != 0 || (ifFlags & IFF_UP) == 0) continue;
    unsigned long rf = std::strtoul(routeFlags.c_str(), nullptr, 16);
    constexpr unsigned long kReject = 0x0200;  // RTF_REJECT: an unreachable route
    if (destPrefix != "00" || dest.find_first_not_of('0') != std::string::npos ||
        (rf & kRouteUp) == 0 || (rf & kReject) != 0)
      continue;
    flags = (IsDialUpLink(iface) ? kConnModem : kConnLan) | kConnConfigured;
    name = iface;
    return true;
  }
  return false;
}

namespace {

std::string ReadProcFile(const char* path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

}  // namespace

bool GetConnectedState(int& flags, std::string& name) {
  const char* folder = std::getenv(kRouteFolderVariable);
  const std::string routes = folder != nullptr && *folder != '\0' ? std::string(folder) + "/" : "/proc/net/";
  if (ConnectedStateFromRoutes(ReadProcFile((routes + "route").c_str()), SystemInterfaceFlags, flags, name))
    return true;
  // An IPv6-only network has no IPv4 default route.
  int flags6 = 0;
  if (ConnectedStateFromIpv6Routes(ReadProcFile((routes + "ipv6_route").c_str()), SystemInterfaceFlags,
                                   flags6, name)) {
    flags = flags6;
    return true;
  }
  return false;
}

void HangUp() {}

}  // namespace orv
