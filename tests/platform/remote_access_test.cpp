#include "platform/remote_access.h"

#include <gtest/gtest.h>

namespace orv {
namespace {

TEST(RemoteAccess, LinuxReportsRemoteAccessMissing) {
  auto ras = MakeRemoteAccess();
  RasEntryList list = ras->EnumerateEntries();
  EXPECT_TRUE(list.missing);
  EXPECT_TRUE(list.names.empty());
  EXPECT_FALSE(ras->GetDialParams("any").has_value());
  RasDialResult dial = ras->Dial(RasDialParams{"any", "", "", "", "", ""});
  EXPECT_NE(dial.error, 0);
  EXPECT_EQ(dial.handle, 0u);
  EXPECT_EQ(ras->GetConnectStatus(0).error, kRasErrorInvalidHandle);
  ras->HangUp(0);
  EXPECT_FALSE(ras->ErrorText(dial.error).empty());
}

TEST(RemoteAccess, ScriptedEnumerationPlaysEntriesErrorsAndMissing) {
  ScriptedRemoteAccess ras;
  ras.entries = {"Home", "Work", "Spare"};
  RasEntryList list = ras.EnumerateEntries();
  EXPECT_FALSE(list.missing);
  EXPECT_EQ(list.error, 0);
  EXPECT_EQ(list.names, ras.entries);
  ras.enumerationError = 603;
  list = ras.EnumerateEntries();
  EXPECT_EQ(list.error, 603);
  EXPECT_TRUE(list.names.empty());
  ras.missing = true;
  EXPECT_TRUE(ras.EnumerateEntries().missing);
  EXPECT_FALSE(ras.GetDialParams("Home").has_value());
}

TEST(RemoteAccess, ScriptedDialParamsOnlyForKnownEntriesWithStoredParams) {
  ScriptedRemoteAccess ras;
  ras.entries = {"Home", "Work"};
  ras.entriesWithoutParams = {"Work"};
  auto p = ras.GetDialParams("Home");
  ASSERT_TRUE(p.has_value());
  EXPECT_EQ(p->entryName, "Home");
  EXPECT_FALSE(ras.GetDialParams("Work").has_value());
  EXPECT_FALSE(ras.GetDialParams("Nowhere").has_value());
}

TEST(RemoteAccess, ScriptedStatusSequencesPlayPerAttemptAndRepeatTheirLast) {
  ScriptedRemoteAccess ras;
  ras.entries = {"Home", "Work"};
  int connectedCalls = 0;
  std::string connectedEntry;
  ras.onConnected = [&](const std::string& e) {
    ++connectedCalls;
    connectedEntry = e;
  };
  RasStatus device{0, kRasStateConnectDevice, "modem0", "modem"};
  RasStatus auth{0, kRasStateAuthenticate, "", ""};
  RasStatus done{0, kRasStateConnected, "", ""};
  RasStatus failed{678, 0, "", ""};
  std::vector<RasConnection> dropped;
  ras.onHangUp = [&](RasConnection h) { dropped.push_back(h); };
  ras.AddAttempt({failed});
  ras.AddAttempt({device, auth, done});

  RasDialResult first = ras.Dial(*ras.GetDialParams("Home"));
  ASSERT_EQ(first.error, 0);
  EXPECT_EQ(ras.GetConnectStatus(first.handle).error, 678);
  EXPECT_EQ(ras.GetConnectStatus(first.handle).error, 678);
  ras.HangUp(first.handle);
  EXPECT_EQ(ras.GetConnectStatus(first.handle).error, kRasErrorInvalidHandle);

  RasDialResult second = ras.Dial(*ras.GetDialParams("Work"));
  ASSERT_EQ(second.error, 0);
  EXPECT_NE(second.handle, first.handle);
  RasStatus s = ras.GetConnectStatus(second.handle);
  EXPECT_EQ(s.state, kRasStateConnectDevice);
  EXPECT_EQ(s.deviceName, "modem0");
  EXPECT_EQ(ras.GetConnectStatus(second.handle).state, kRasStateAuthenticate);
  EXPECT_EQ(connectedCalls, 0);
  EXPECT_EQ(ras.GetConnectStatus(second.handle).state, kRasStateConnected);
  EXPECT_EQ(ras.GetConnectStatus(second.handle).state, kRasStateConnected);
  EXPECT_EQ(connectedCalls, 1);
  EXPECT_EQ(connectedEntry, "Work");

  // No sequence left: the last one is played again.
  RasDialResult third = ras.Dial(*ras.GetDialParams("Home"));
  EXPECT_EQ(ras.GetConnectStatus(third.handle).state, kRasStateConnectDevice);

  EXPECT_EQ(ras.dialled, (std::vector<std::string>{"Home", "Work", "Home"}));
  EXPECT_EQ(ras.hungUp, (std::vector<RasConnection>{first.handle}));
  ras.HangUp(first.handle);  // already gone: recorded, but no connection was dropped
  EXPECT_EQ(dropped, (std::vector<RasConnection>{first.handle}));
  EXPECT_EQ(ras.statusPolls, 8);
}

TEST(RemoteAccess, ScriptedDialErrorGivesNoHandle) {
  ScriptedRemoteAccess ras;
  ras.entries = {"Home"};
  ras.dialError = 633;
  RasDialResult r = ras.Dial(*ras.GetDialParams("Home"));
  EXPECT_EQ(r.error, 633);
  EXPECT_EQ(r.handle, 0u);
  EXPECT_EQ(ras.GetConnectStatus(r.handle).error, kRasErrorInvalidHandle);
  EXPECT_EQ(ras.dialled.size(), 1u);
}

}  // namespace
}  // namespace orv
