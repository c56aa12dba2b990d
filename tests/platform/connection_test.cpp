#include "platform/connection.h"

#include <gtest/gtest.h>
#include <net/if.h>

#include <map>

namespace orv {
namespace {

constexpr const char* kHeader =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";

struct Case {
  std::string table;
  std::map<std::string, int> interfaces;
  bool connected;
  int flags;
  std::string name;
};

class ConnectedState : public ::testing::TestWithParam<Case> {};

TEST_P(ConnectedState, FollowsTheDefaultRoute) {
  const Case& c = GetParam();
  int flags = -1;
  std::string name = "stale";
  bool connected = ConnectedStateFromRoutes(
      std::string(kHeader) + c.table,
      [&](const std::string& iface) {
        auto it = c.interfaces.find(iface);
        return it == c.interfaces.end() ? -1 : it->second;
      },
      flags, name);
  EXPECT_EQ(connected, c.connected);
  EXPECT_EQ(flags, c.flags);
  EXPECT_EQ(name, c.name);
}

constexpr int kUp = IFF_UP | IFF_RUNNING;
const std::string kLoRoute = "lo\t0000007F\t00000000\t0001\t0\t0\t0\t000000FF\t0\t0\t0\n";
const std::string kLanNet = "eth0\t0002A8C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n";
const std::string kLanDefault = "eth0\t00000000\t0102A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n";
const std::string kPppDefault = "ppp0\t00000000\t00000000\t0001\t0\t0\t0\t00000000\t0\t0\t0\n";

INSTANTIATE_TEST_SUITE_P(
    Routes, ConnectedState,
    ::testing::Values(
        Case{kLanNet + kLanDefault, {{"eth0", kUp}}, true, kConnLan | kConnConfigured, "eth0"},
        Case{kPppDefault, {{"ppp0", kUp | IFF_POINTOPOINT}}, true, kConnModem | kConnConfigured,
             "ppp0"},
        // A VPN tunnel is point-to-point too, but no modem: LAN mode stays online behind it.
        Case{"wg0\t00000000\t00000000\t0001\t0\t0\t0\t00000000\t0\t0\t0\n",
             {{"wg0", kUp | IFF_POINTOPOINT | IFF_NOARP}}, true, kConnLan | kConnConfigured,
             "wg0"},
        // Interface down: configured but not connected.
        Case{kLanDefault, {{"eth0", IFF_RUNNING}}, false, kConnConfigured, ""},
        // Route not up.
        Case{"eth0\t00000000\t0102A8C0\t0002\t0\t0\t0\t00000000\t0\t0\t0\n", {{"eth0", kUp}},
             false, kConnConfigured, ""},
        // Only a local network, no default route.
        Case{kLanNet, {{"eth0", kUp}}, false, kConnConfigured, ""},
        // Loopback does not count, even as a default route.
        Case{kLoRoute + "lo\t00000000\t00000000\t0001\t0\t0\t0\t00000000\t0\t0\t0\n",
             {{"lo", kUp | IFF_LOOPBACK}}, false, 0, ""},
        // The first usable default route wins; a vanished interface is skipped.
        Case{"gone0\t00000000\t00000000\t0001\t0\t0\t0\t00000000\t0\t0\t0\n" + kPppDefault +
                 kLanDefault,
             {{"eth0", kUp}, {"ppp0", kUp | IFF_POINTOPOINT}}, true,
             kConnModem | kConnConfigured, "ppp0"},
        Case{"", {}, false, 0, ""},
        Case{"garbage line\n", {}, false, 0, ""}));

TEST(ConnectedStateIpv6, DefaultRouteThroughAnUpInterface) {
  const std::string local =
      "fd000000000000000000000000000000 40 00000000000000000000000000000000 00 "
      "00000000000000000000000000000000 00000100 00000001 00000000 00000001     eth0\n";
  const std::string unreachable =
      "00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
      "00000000000000000000000000000000 ffffffff 00000001 00000000 00200200       lo\n";
  const std::string viaEth =
      "00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
      "fd000000000000000000000000000001 00000400 00000002 00000000 00000003     eth0\n";
  auto lookup = [](int ethFlags) {
    return [ethFlags](const std::string& iface) {
      if (iface == "lo") return kUp | IFF_LOOPBACK;
      return iface == "eth0" ? ethFlags : -1;
    };
  };
  int flags = 0;
  std::string name;
  EXPECT_TRUE(ConnectedStateFromIpv6Routes(local + unreachable + viaEth, lookup(kUp), flags, name));
  EXPECT_EQ(flags, kConnLan | kConnConfigured);
  EXPECT_EQ(name, "eth0");
  EXPECT_FALSE(ConnectedStateFromIpv6Routes(local + unreachable, lookup(kUp), flags, name));
  EXPECT_FALSE(ConnectedStateFromIpv6Routes(viaEth, lookup(IFF_RUNNING), flags, name));
  EXPECT_EQ(name, "");
  // A PPP link carrying the default route is a modem connection, a tunnel is not.
  for (const std::string iface : {"ppp0", "tun0"}) {
    std::string route = viaEth;
    route.replace(route.rfind("eth0"), 4, iface);
    EXPECT_TRUE(ConnectedStateFromIpv6Routes(
        route, [](const std::string&) { return kUp | IFF_POINTOPOINT; }, flags, name));
    EXPECT_EQ(flags, (iface == "ppp0" ? kConnModem : kConnLan) | kConnConfigured) << iface;
    EXPECT_EQ(name, iface);
  }
}

TEST(ConnectedStateSystem, AnswerIsConsistent) {
  int flags = 0;
  std::string name;
  bool connected = GetConnectedState(flags, name);
  if (connected) {
    EXPECT_FALSE(name.empty());
    EXPECT_EQ((flags & kConnModem) != 0, (flags & kConnLan) == 0);
  } else {
    EXPECT_TRUE(name.empty());
    EXPECT_EQ(flags & (kConnModem | kConnLan), 0);
  }
  HangUp();  // does nothing, must not disturb the answer
  int again = 0;
  std::string name2;
  EXPECT_EQ(GetConnectedState(again, name2), connected);
}

}  // namespace
}  // namespace orv
