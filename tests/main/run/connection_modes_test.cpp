#include "main/run/connection_modes.h"

#include <gtest/gtest.h>

namespace orv {
namespace {

TEST(ConnectionModesTest, ModeRuleOverTheConnectedState) {
  using M = ConnectionMode;
  // Localhost counts as on line with no connection at all (cable removed).
  EXPECT_TRUE(ConnectionControl::OnlineRule(false, kConnOffline, M::Localhost));
  // LAN mode: a modem connection does not count; a LAN connection does.
  EXPECT_FALSE(ConnectionControl::OnlineRule(true, kConnModem, M::Lan));
  EXPECT_TRUE(ConnectionControl::OnlineRule(true, kConnLan, M::Lan));
  // Modem mode needs the modem flag.
  EXPECT_TRUE(ConnectionControl::OnlineRule(true, kConnModem, M::Modem));
  EXPECT_FALSE(ConnectionControl::OnlineRule(true, kConnLan, M::Modem));
  EXPECT_FALSE(ConnectionControl::OnlineRule(false, kConnLan, M::Lan));
}

TEST(ConnectionModesTest, SelectModeIsRefusedDuringARunAndWritesTheAssumeOnlineValue) {
  FixedConnectionState state;
  ConnectionControl c(state);
  std::vector<std::string> written;
  c.onApplyMode = [&](const std::string& v) { written.push_back(v); };
  EXPECT_FALSE(c.SelectMode(ConnectionMode::Localhost, /*running=*/true));
  EXPECT_EQ(c.Mode(), ConnectionMode::Lan);
  EXPECT_FALSE(c.SelectMode(ConnectionMode::Lan, false));  // already checked
  EXPECT_TRUE(c.SelectMode(ConnectionMode::Localhost, false));
  EXPECT_TRUE(c.SelectMode(ConnectionMode::Modem, false));
  EXPECT_EQ(written, (std::vector<std::string>{"1", "0"}));
  // Localhost mode is on line whatever the query says.
  c.SetModeDirect(ConnectionMode::Localhost);
  EXPECT_TRUE(c.RefreshOnline());
  c.SetModeDirect(ConnectionMode::Lan);
  EXPECT_FALSE(c.RefreshOnline());
  state.connected = true;
  state.flags = kConnLan;
  EXPECT_TRUE(c.RefreshOnline());
}

TEST(ConnectionModesTest, LatchBookkeeping) {
  FixedConnectionState state;
  state.connected = true;
  state.flags = kConnLan;
  ConnectionControl c(state);
  c.RefreshOnline();
  c.LatchTick(/*running=*/true, /*autoDial=*/false);
  EXPECT_TRUE(c.LossLatch());
  EXPECT_TRUE(c.DialLatch());
  // Going off line during a run without auto-dial: the loss latch is consumed and the dial
  // latch was already set, so it stays.
  state.connected = false;
  c.RefreshOnline();
  c.LatchTick(true, false);
  EXPECT_TRUE(c.LossLatch());
  EXPECT_TRUE(c.DialLatch());

  // With the dial latch clear, the loss latch moves into it only when auto-dial is on.
  c.SetDialLatch(false);
  c.LatchTick(true, false);
  EXPECT_FALSE(c.LossLatch());
  EXPECT_FALSE(c.DialLatch());
  c.SetLossLatch(true);
  c.LatchTick(true, true);
  EXPECT_FALSE(c.LossLatch());
  EXPECT_TRUE(c.DialLatch());

  // Back on line outside a run: both latches follow running.
  state.connected = true;
  c.RefreshOnline();
  c.LatchTick(false, true);
  EXPECT_FALSE(c.LossLatch());
  EXPECT_FALSE(c.DialLatch());

  c.SetLatches();
  c.CloseConnection();
  EXPECT_FALSE(c.LossLatch());
  EXPECT_FALSE(c.DialLatch());
  EXPECT_EQ(state.hangUps, 1);
}

}  // namespace
}  // namespace orv
