#include "main/run/dialer.h"

#include <gtest/gtest.h>

#include "common/text.h"

namespace orv {
namespace {

class FakeHost : public DialerHost {
 public:
  std::chrono::system_clock::time_point now{std::chrono::hours(400000)};
  int autoDialOff = 0, windowClosed = 0, dropped = 0;
  std::vector<std::string> messages;
  int popupCountdown = -1;

  std::chrono::system_clock::time_point Now() override { return now; }
  void SwitchOffAutoDial() override { ++autoDialOff; }
  void ShowPlainMessage(const std::string& text) override { messages.push_back(text); }
  int PopupCountdown() override { return popupCountdown; }
  void CloseDialWindow() override { ++windowClosed; }
  void DropStartAndStop() override { ++dropped; }
};

struct DialFixture : ::testing::Test {
  ScriptedRemoteAccess ras;
  FixedConnectionState state;
  ConnectionControl connection{state};
  FakeHost host;
  Dialer dialer{ras, connection, host};

  std::function<void()> onStep;

  // The dial window's timer: time passes 25 ms a step, for at most a simulated hour.
  void StepUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 144000 && !done(); ++i) {
      host.now += std::chrono::milliseconds(25);
      dialer.Step();
      if (onStep) onStep();
    }
    EXPECT_TRUE(done()) << "the dialler did not get there within an hour";
  }
  void DialToEnd() {
    dialer.Dial();
    StepUntil([this] { return !dialer.AttemptRunning(); });
  }
  // True when the window closed on line, false when the user stopped it.
  bool ShowWindowToEnd() {
    dialer.OpenWindow();
    StepUntil([this] { return !dialer.WindowShown(); });
    return !dialer.StoppedByUser();
  }

  void SetUp() override {
    connection.SetModeDirect(ConnectionMode::Modem);
    ras.onConnected = [this](const std::string&) {
      state.connected = true;
      state.flags = kConnModem;
    };
  }
  static RasStatus Status(int state, int error = 0, std::string device = {}) {
    RasStatus s;
    s.state = state;
    s.error = error;
    s.deviceName = std::move(device);
    return s;
  }
};

TEST_F(DialFixture, MissingRemoteAccessSwitchesAutoDialOff) {
  ras.missing = true;
  EXPECT_FALSE(dialer.FillEntries());
  EXPECT_TRUE(dialer.RemoteAccessMissing());
  EXPECT_FALSE(dialer.EntryListEnabled());
  EXPECT_EQ(host.autoDialOff, 1);
  // With no entry there is nothing to dial.
  DialToEnd();
  EXPECT_TRUE(ras.dialled.empty());
}

TEST_F(DialFixture, EnumerationErrorIsShownAsAPlainMessage) {
  ras.enumerationError = 623;
  EXPECT_TRUE(dialer.FillEntries());
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0], "Scripted error 623");
}

TEST_F(DialFixture, BlankEntryNameNeverDials) {
  ras.entries = {"   "};
  dialer.FillEntries();
  DialToEnd();
  EXPECT_TRUE(ras.dialled.empty());
  EXPECT_FALSE(dialer.DiallerActive());
}

TEST_F(DialFixture, RotationDialsTheEntriesInTurn) {
  ras.entries = {"one", "two", "three"};
  dialer.options.rotate = true;
  // Every attempt fails at once (the device reports a disconnect).
  ras.AddAttempt({Status(kRasStateDisconnected)});
  dialer.FillEntries();
  for (int i = 0; i < 4; ++i) DialToEnd();
  EXPECT_EQ(ras.dialled, (std::vector<std::string>{"one", "two", "three", "one"}));
  // Without rotation the same entry is dialled again.
  dialer.options.rotate = false;
  DialToEnd();
  DialToEnd();
  EXPECT_EQ(ras.dialled.back(), "two");
  EXPECT_EQ(ras.dialled[ras.dialled.size() - 2], "two");
}

TEST_F(DialFixture, StatusTextsNewestFirstUntilConnected) {
  ras.entries = {"isp"};
  ras.AddAttempt({Status(kRasStateConnectDevice, 0, "modem0"), Status(kRasStateAuthenticate),
                  Status(kRasStateConnected)});
  dialer.FillEntries();
  DialToEnd();
  EXPECT_TRUE(connection.Online());
  EXPECT_EQ(dialer.TargetLabel(), Ru("Подключение к ") + "isp");
  EXPECT_EQ(dialer.StatusText(), Ru("Проверка имени и пароля.") + "\r\n" + Ru("Набор номера ") + "modem0");
  EXPECT_TRUE(ras.hungUp.empty());
}

TEST_F(DialFixture, FailureAndAttemptLimitHangUp) {
  ras.entries = {"isp"};
  ras.AddAttempt({Status(kRasStateConnectDevice, 0, "m"), Status(kRasStateDisconnected)});
  dialer.FillEntries();
  DialToEnd();
  EXPECT_FALSE(connection.Online());
  EXPECT_EQ(dialer.StatusText().substr(0, Ru("Сбой.").size()), Ru("Сбой."));
  EXPECT_EQ(ras.hungUp.size(), 1u);

  // An attempt that never connects is cut off after pc_wait seconds.
  dialer.options.attemptLimitSeconds = 2;
  ras.AddAttempt({Status(kRasStateConnectDevice, 0, "m")});
  const auto before = host.now;
  DialToEnd();
  EXPECT_EQ(dialer.TargetLabel(), Ru("Превышен лимит установки соединения"));
  EXPECT_EQ(ras.hungUp.size(), 2u);
  EXPECT_GE(host.now - before, std::chrono::seconds(2));
  EXPECT_LT(host.now - before, std::chrono::seconds(4));
}

TEST_F(DialFixture, FirstStatusWithoutHandleIsPreparation) {
  ras.entries = {"isp"};
  ras.dialError = 5;  // no handle: the status poll answers "invalid handle"
  dialer.FillEntries();
  dialer.options.attemptLimitSeconds = 1;
  DialToEnd();
  // First poll: preparation; the unchanged state afterwards adds nothing.
  EXPECT_EQ(dialer.StatusText(), Ru("Подготовка соединения."));
}

TEST_F(DialFixture, RedialCountdownTextAndPopupWait) {
  ras.entries = {"isp"};
  dialer.FillEntries();
  dialer.options.retryPauseSeconds = 30;
  dialer.SetLastAttempt(host.now - std::chrono::seconds(12));
  dialer.RedialTick();
  EXPECT_EQ(dialer.StatusText(), Ru("Повторный набор через 18  секунд"));
  EXPECT_TRUE(ras.dialled.empty());
  // Pause over, but the popup closer is still counting: its count shows as colons.
  dialer.SetLastAttempt(host.now - std::chrono::seconds(31));
  host.popupCountdown = 3;
  dialer.RedialTick();
  EXPECT_EQ(dialer.StatusText(), ":::");
  EXPECT_TRUE(ras.dialled.empty());
  host.popupCountdown = -1;
  ras.AddAttempt({Status(kRasStateConnected)});
  dialer.RedialTick();
  EXPECT_EQ(ras.dialled.size(), 1u);
  EXPECT_TRUE(dialer.AttemptRunning()) << "the attempt goes on in the window's steps, not inside the tick";
  StepUntil([this] { return !dialer.AttemptRunning(); });
  // On line: the next tick closes the dial window without dialling.
  dialer.RedialTick();
  EXPECT_EQ(host.windowClosed, 1);
  EXPECT_EQ(ras.dialled.size(), 1u);
}

TEST_F(DialFixture, StopByUserDropsTheStartAndSwitchesAutoDialOff) {
  connection.SetLatches();
  dialer.StopByUser();
  EXPECT_EQ(host.dropped, 1);
  EXPECT_EQ(host.autoDialOff, 1);
  EXPECT_EQ(host.windowClosed, 1);
  EXPECT_FALSE(connection.DialLatch());
  EXPECT_FALSE(connection.LossLatch());
}

TEST_F(DialFixture, DialWindowRedialsAfterThePauseUntilOnLine) {
  ras.entries = {"isp"};
  dialer.FillEntries();
  dialer.options.retryPauseSeconds = 5;
  ras.AddAttempt({Status(kRasStateConnectDevice, 0, "m"), Status(kRasStateDisconnected)});
  ras.AddAttempt({Status(kRasStateConnected)});
  const auto before = host.now;
  EXPECT_TRUE(ShowWindowToEnd());
  EXPECT_TRUE(connection.Online());
  EXPECT_EQ(ras.dialled.size(), 2u);
  EXPECT_GE(host.now - before, std::chrono::seconds(5)) << "the second attempt waits for pc_time";
  EXPECT_LT(host.now - before, std::chrono::seconds(7));
  // Closed because on line: nothing is left dialling, so the supervision tick's popup
  // closer, which waits for the dialler, runs again.
  EXPECT_FALSE(dialer.WindowShown());
  EXPECT_FALSE(dialer.DiallerActive());
  EXPECT_FALSE(dialer.Dialling());
  EXPECT_GE(host.windowClosed, 1);
  EXPECT_EQ(host.dropped, 0);
}

TEST_F(DialFixture, DialWindowStoppedDuringTheCountdownDropsTheStart) {
  ras.entries = {"isp"};
  dialer.FillEntries();
  dialer.options.retryPauseSeconds = 30;
  ras.AddAttempt({Status(kRasStateDisconnected)});
  const auto start = host.now;
  onStep = [&] {
    if (host.now - start > std::chrono::seconds(10) && dialer.WindowShown()) dialer.StopByUser();
  };
  EXPECT_FALSE(ShowWindowToEnd());
  EXPECT_EQ(ras.dialled.size(), 1u) << "stopped before the redial pause ran out";
  EXPECT_NE(dialer.StatusText().find(Ru("Повторный набор через ")), std::string::npos);
  EXPECT_EQ(host.dropped, 1);
  EXPECT_EQ(host.autoDialOff, 1);
  EXPECT_FALSE(dialer.DiallerActive());
}

}  // namespace
}  // namespace orv
