// Start-up, shutdown and the close timer of the main program, run against a recording window.

#include <gtest/gtest.h>

#include <cstdlib>

#include "common/exchange.h"
#include "common/text.h"
#include "main/scripts/program_config.h"
#include "platform/process.h"
#include "tests/main/fake_main_window.h"
#include "tests/main/scripts/scripts_test_support.h"

namespace orv {
namespace {

using testing::ReadBytes;
using testing::ScratchFolder;
using testing::ScriptBytes;
using testing::WriteBytes;
using Calls = std::vector<std::string>;

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    prog = root.Dir() + "prog/";
    WriteBytes(prog + "kuvet", std::string(10000, 'k'));
    paths.programFolder = prog;
    paths.defaultCollectionFolder = root.Dir() + "orvcollections/";
    paths.systemUserAgent = "SysAgent/1.0";
  }
  // Hooks log into the window's call list, so one list shows the whole order.
  ProgramHooks RecordingHooks() {
    ProgramHooks h;
    auto log = [this](const char* name) { return [this, name] { window.calls.push_back(std::string("hook:") + name); }; };
    h.resetRunState = log("resetRunState");
    h.loadLists = log("loadLists");
    h.startSupervisionTimer = log("startSupervisionTimer");
    h.initDialUp = log("initDialUp");
    h.showExclusionLists = log("showExclusionLists");
    h.fillDialUpEntries = log("fillDialUpEntries");
    h.setConnectionMode = [this](bool lan, bool mod, bool moc) {
      window.calls.push_back("hook:setConnectionMode:" + std::to_string(lan) + std::to_string(mod) + std::to_string(moc));
    };
    h.buildCollectionTree = [this](const std::string& f) { window.calls.push_back("hook:buildCollectionTree:" + f); };
    h.openUrlList = log("openUrlList");
    h.startDialUpTimer = log("startDialUpTimer");
    h.showProxyList = log("showProxyList");
    h.closeConsoleLink = log("closeConsoleLink");
    h.stopEndOfRunTimer = log("stopEndOfRunTimer");
    h.saveLists = log("saveLists");
    h.showScriptDeletion = [this](int slot) { window.calls.push_back("hook:showScriptDeletion:" + std::to_string(slot)); };
    h.startProgram = [this](const std::string& p) {
      window.calls.push_back("hook:startProgram:" + p);
      return true;
    };
    return h;
  }
  std::unique_ptr<ProgramModel> Make() {
    return std::make_unique<ProgramModel>(store, window.Program(), paths, RecordingHooks());
  }
  std::unique_ptr<ProgramModel> Started() {
    auto m = Make();
    EXPECT_EQ(m->StartUpFirstPhase(), StartResult::Continue);
    m->StartUpSecondPhase();
    return m;
  }

  ScratchFolder root;
  std::string prog;
  ProgramPaths paths;
  testing::MemorySettings store;
  testing::FakeMainWindow window;
};

TEST_F(ProgramTest, FirstPhaseRecreatesTheExchangeFiles) {
  WriteBytes(prog + "temp/orvurl", ScriptBytes("5", {"stale"}));
  WriteBytes(prog + "temp/orvext", std::string(50000, 'x'));
  auto m = Make();
  ASSERT_EQ(m->StartUpFirstPhase(), StartResult::Continue);
  EXPECT_EQ(window.calls, (Calls{"hook:resetRunState", "hook:loadLists", "hook:startSupervisionTimer"}));
  EXPECT_TRUE(window.messages.empty());
  EXPECT_EQ(ReadBytes(prog + "temp/orvext"), std::string(32 * 1024 + 2, '\0'));
  EXPECT_EQ(ReadBytes(prog + "temp/orvint"), std::string(22 * 1700, '\0'));
  EXPECT_EQ(ReadBytes(prog + "temp/orvurl"), "");
  EXPECT_TRUE(m->Exchange().IsOpen());
  EXPECT_EQ(m->Exchange().ReadChannel(20), ChannelRecord{});
  EXPECT_EQ(store.Get("DCHI"), "0");
  EXPECT_EQ(store.Get("WHWND"), "0");
  EXPECT_EQ(m->ModeDescriptions()[3], ScriptModeDescription(3));
}

TEST_F(ProgramTest, MissingOrTinyConsoleEndsWithItsMessage) {
  for (long long size : {-1LL, 9999LL}) {
    std::filesystem::remove(prog + "kuvet");
    if (size > 0) WriteBytes(prog + "kuvet", std::string(static_cast<std::size_t>(size), 'k'));
    window.messages.clear();
    auto m = Make();
    EXPECT_EQ(m->StartUpFirstPhase(), StartResult::EndAfterMessage);
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].text,
              Ru("Не найден файл блока приемников. Деинсталлируйте и вновь установите ") + "Orvanta       ");
    EXPECT_FALSE(std::filesystem::exists(prog + "temp/orvext"));
  }
}

TEST_F(ProgramTest, UnwritableExchangeFolderEndsWithItsMessage) {
  paths.singleInstance = false;
  WriteBytes(prog + "temp", "a file where the folder should be");
  auto m = Make();
  EXPECT_EQ(m->StartUpFirstPhase(), StartResult::EndAfterMessage);
  ASSERT_EQ(window.messages.size(), 1u);
  EXPECT_EQ(window.messages[0].icon, MessageIcon::Error);
  EXPECT_EQ(window.messages[0].text, Ru("Не удается создать временный файл в папке ") + prog + "\n" +
                                         Ru("(Папка только для чтения или недостаточно прав)") + "\n" +
                                         Ru("Деинсталлируйте ") + "Orvanta       " +
                                         Ru(" и вновь установите в другую папку.") + "\n");
}

// A lock file that cannot be created is no second instance: start-up goes on to the exchange
// folder, which fails the same way and says so.
TEST_F(ProgramTest, LockThatCannotBeCreatedReachesTheExchangeFolderMessage) {
  ASSERT_TRUE(paths.singleInstance);
  WriteBytes(prog + "temp", "a file where the folder should be");
  auto m = Make();
  EXPECT_EQ(m->StartUpFirstPhase(), StartResult::EndAfterMessage);
  ASSERT_EQ(window.messages.size(), 1u);
  EXPECT_EQ(window.messages[0].icon, MessageIcon::Error);
  EXPECT_EQ(window.messages[0].text, ExchangeFolderMessage(prog));
  EXPECT_EQ(store.Get("DCHI"), "0");  // the steps before the exchange folder ran
}

TEST_F(ProgramTest, SecondInstanceEndsSilently) {
  std::filesystem::create_directories(prog + "temp");
  SingleInstanceLock other = SingleInstanceLock::AtPath(prog + "temp/orv.lock");
  ASSERT_TRUE(other.Acquired());
  auto m = Make();
  EXPECT_EQ(m->StartUpFirstPhase(), StartResult::EndSilently);
  EXPECT_TRUE(window.calls.empty());
  EXPECT_FALSE(std::filesystem::exists(prog + "temp/orvext"));
}

TEST_F(ProgramTest, SecondPhaseRunsItsStepsInOrderWithAnEmptyStore) {
  auto m = Make();
  ASSERT_EQ(m->StartUpFirstPhase(), StartResult::Continue);
  window.calls.clear();
  m->StartUpSecondPhase();
  const std::string coll = root.Dir() + "orvcollections/";
  EXPECT_EQ(window.calls, (Calls{"SetStatusPanel:1",
                                 "hook:initDialUp",
                                 "CloseHelpWindows",
                                 "SetActiveCursorMenu",
                                 "SelectUserAgentPreset:0",
                                 "SetSearchSizeFields",
                                 "SetTreeSplitter",
                                 "SetBrowserSplitter",
                                 "hook:showExclusionLists",
                                 "CreateScriptSlotButtons",
                                 "RefreshOptionLists",
                                 "hook:fillDialUpEntries",
                                 "SelectScriptSlotButton:0",
                                 "SelectEncoding:1",
                                 "SetAddressHistory",
                                 "hook:setConnectionMode:100",
                                 "SetWindowSize",
                                 "SetLowerSplitter",
                                 "ArrangePanes",
                                 "SelectScriptModeButton:0",
                                 "ArrangePanes",
                                 "hook:buildCollectionTree:" + coll,
                                 "hook:openUrlList",
                                 "ShowOptionsPage:options",
                                 "hook:fillDialUpEntries",
                                 "hook:startDialUpTimer",
                                 "hook:showProxyList"}));
  EXPECT_TRUE(window.messages.empty());
  EXPECT_FALSE(window.maximized);
  EXPECT_TRUE(window.activeCursor);
  EXPECT_EQ(window.searchX, "0");
  EXPECT_EQ(window.searchY, "0");
  EXPECT_EQ(window.tree, 1200);
  EXPECT_EQ(window.browser, 800);
  EXPECT_EQ(window.width, 7500);
  EXPECT_EQ(window.height, 6300);
  EXPECT_EQ(window.lower, 4500);
  EXPECT_EQ(window.firstSlotButton, 1);
  EXPECT_EQ(window.lastSlotButton, 15);
  EXPECT_TRUE(window.history.empty());

  // The collection folder was created and made known to the console.
  EXPECT_TRUE(std::filesystem::is_directory(coll));
  EXPECT_EQ(m->CollectionFolder(), coll);
  EXPECT_EQ(m->Scripts().collectionFolder, coll);
  EXPECT_EQ(store.Get("PFOLD"), coll);
  // Window handles for the console.
  EXPECT_EQ(store.Get("WHWND"), "4242");
  EXPECT_EQ(m->Exchange().ReadExt(MainWindow), "4243");
  EXPECT_EQ(m->Exchange().ReadExt(CharsetMode), "1");
  EXPECT_EQ(m->Exchange().ReadExt(RetryLimit), "5");
  // Presets: the system agent and its Orvanta form.
  EXPECT_EQ(m->Values().userAgents[0], "SysAgent/1.0");
  EXPECT_EQ(m->Values().userAgents[5], "SysAgent/1.0 Orvanta1.0");
  EXPECT_EQ(m->Values().userAgents[9], "-");
  EXPECT_TRUE(m->Parameters().Switch("p_media"));
}

TEST_F(ProgramTest, StoredValuesAreRestoredWithTheirBounds) {
  store.Set("WI", "5000");
  store.Set("mehey", "7000");
  store.Set("maxok", "1");
  store.Set("mdtxa", "False");
  store.Set("HCA(0)", "http://a.ru/");
  store.Set("HCA(2)", "http://c.ru/");
  store.Set("HCA(31)", "http://beyond.ru/");
  store.Set("n_script", "20");
  store.Set("CHSET", "9");
  store.Set("UserAgentI", "-3");
  store.Set("UserAgent3", "Edited/1");
  store.Set("scrmode", "2");
  store.Set("tbbtn", "lists");
  store.Set("LanConnect", "False");
  store.Set("MocConnect", "True");
  store.Set("MPRX", "proxy:8080");
  store.Set("NPRX", "4");
  auto m = Started();
  EXPECT_EQ(window.width, 7500);
  EXPECT_EQ(window.height, 7000);
  EXPECT_TRUE(window.maximized);
  EXPECT_FALSE(window.activeCursor);
  EXPECT_EQ(window.history, (std::vector<std::string>{"http://a.ru/", "http://c.ru/"}));
  EXPECT_EQ(window.selectedSlot, 0);
  EXPECT_EQ(window.encoding, 1);
  EXPECT_EQ(window.userAgentPreset, 0);
  EXPECT_EQ(window.selectedMode, 2);
  EXPECT_EQ(m->Scripts().scriptMode, 2);
  EXPECT_EQ(window.optionsPage, "lists");
  EXPECT_EQ(m->Values().userAgents[3], "Edited/1");
  EXPECT_EQ(m->Values().mprx, "proxy:8080");
  EXPECT_EQ(m->Values().nprx, 4);
  EXPECT_EQ(m->Scripts().currentSlot, 0);
  EXPECT_TRUE(m->Scripts().displayed.empty());  // no script file in slot 0 yet
  EXPECT_NE(std::find(window.calls.begin(), window.calls.end(), "hook:setConnectionMode:001"), window.calls.end());
}

TEST_F(ProgramTest, CollectionFolderRule) {
  {  // Already there: used without a message.
    std::filesystem::create_directories(paths.defaultCollectionFolder);
    auto m = Started();
    EXPECT_EQ(m->CollectionFolder(), paths.defaultCollectionFolder);
    EXPECT_TRUE(window.messages.empty());
  }
  {  // A folder of the user's choice is kept; the slash is appended.
    const std::string mine = root.Dir() + "mine";
    store.Set("PFOLD", mine);
    auto m = Started();
    EXPECT_EQ(m->CollectionFolder(), mine + "/");
    EXPECT_EQ(store.Get("PFOLD"), mine + "/");
  }
  {  // Cannot be created: the message, and the program folder stays the collection folder.
    store.Set("PFOLD", "");
    WriteBytes(root.Dir() + "blocker", "x");
    paths.defaultCollectionFolder = root.Dir() + "blocker/orvcollections/";
    window.messages.clear();
    auto m = Started();
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].icon, MessageIcon::Error);
    EXPECT_EQ(window.messages[0].text,
              Ru("Ошибка при создании папки ") + paths.defaultCollectionFolder +
                  Ru(". Для коллекций будет использоваться папка программы. После запуска выберите или создайте "
                     "другую."));
    EXPECT_EQ(m->CollectionFolder(), prog);
  }
}

TEST_F(ProgramTest, ChosenCollectionFolderIsSavedAndTheTreeRebuilt) {
  auto m = Started();
  const std::string other = root.Dir() + "other";
  std::filesystem::create_directories(other);
  window.calls.clear();
  m->ChangeCollectionFolder(other);
  EXPECT_EQ(m->CollectionFolder(), other + "/");
  EXPECT_EQ(store.Get("PFOLD"), other + "/");
  EXPECT_EQ(window.calls, (std::vector<std::string>{"hook:openUrlList", "hook:buildCollectionTree:" + other + "/"}));
  // A folder whose volume is gone: the program folder.
  m->ChangeCollectionFolder(root.Dir() + "unmounted/");
  EXPECT_EQ(m->CollectionFolder(), prog);
  EXPECT_EQ(store.Get("PFOLD"), prog);
}

TEST_F(ProgramTest, SaveAllSettingsWritesInOrderAndCleansUp) {
  auto m = Started();
  const std::string coll = m->CollectionFolder();
  WriteBytes(coll + "orvef0", ScriptBytes("a00", {}));                      // 5 bytes: deleted
  WriteBytes(coll + "orvef1", ScriptBytes("a01", {"x"}));                   // 8 bytes: kept
  WriteBytes(coll + "orvef2", std::string(7, 'z'));                         // deleted
  WriteBytes(coll + "orvef16", ScriptBytes("a00", {}));                     // not a user slot
  window.history = {"http://a.ru/", "http://b.ru/"};
  window.maximized = true;
  window.searchX = "12";
  window.width = 9000;
  m->Values().lanConnect = false;
  window.calls.clear();
  store.writes.clear();

  m->SaveAllSettings(true);

  Calls seen;
  for (const auto& c : window.calls)
    if (c == "CloseHelpWindows" || c.rfind("hook:", 0) == 0) seen.push_back(c);
  EXPECT_EQ(seen, (Calls{"CloseHelpWindows", "hook:closeConsoleLink", "hook:stopEndOfRunTimer", "hook:saveLists"}));
  EXPECT_EQ(ReadBytes(coll + "../prog/temp/orvext").substr(4 * 1024, 3), std::string("\x01\x00" "1", 3));

  const std::vector<std::string> order = {"UserAgent0", "UserAgent9", "UserAgentI", "k1Counter", "k8Zone",
                                          "p_dial",     "pc_connect", "pc_count",   "t3pc_urovn", "autoscript",
                                          "LanConnect", "ModConnect", "MocConnect", "maxok",      "MPRX",
                                          "NPRX",       "DFVX",       "DFVY",       "CHSET",      "TRSPV",
                                          "BRSPH",      "RITM",       "HCA(0)",     "HCA(1)",     "WI",
                                          "WHWND",      "mehey",      "wespl"};
  for (std::size_t i = 0; i + 1 < order.size(); ++i) {
    ASSERT_GE(store.WriteIndex(order[i]), 0) << order[i];
    EXPECT_LT(store.WriteIndex(order[i]), store.WriteIndex(order[i + 1])) << order[i] << " / " << order[i + 1];
  }
  EXPECT_EQ(store.Get("LanConnect"), "False");
  EXPECT_EQ(store.Get("maxok"), "1");
  EXPECT_EQ(store.Get("DFVX"), "12");
  EXPECT_EQ(store.Get("HCA(1)"), "http://b.ru/");
  EXPECT_EQ(store.Get("WI"), "9000");
  EXPECT_EQ(store.Get("WHWND"), "");

  // A shorter history does not bring back the older entries at the next start.
  window.history = {"http://c.ru/"};
  m->SaveAllSettings(true);
  EXPECT_EQ(store.Get("HCA(0)"), "http://c.ru/");
  EXPECT_EQ(store.Get("HCA(1)"), "");

  EXPECT_FALSE(std::filesystem::exists(coll + "orvef0"));
  EXPECT_TRUE(std::filesystem::exists(coll + "orvef1"));
  EXPECT_FALSE(std::filesystem::exists(coll + "orvef2"));
  EXPECT_TRUE(std::filesystem::exists(coll + "orvef16"));
}

TEST_F(ProgramTest, EndActionsAtShutdown) {
  store.Set("c4pc_delscript", "True");
  store.Set("n_script", "4");
  {
    auto m = Started();
    window.calls.clear();
    m->SaveAllSettings(false);
    EXPECT_EQ(window.calls.back(), "hook:showScriptDeletion:4");
  }

  // The turn-off program runs only where the action can be checked (9x family), and not when
  // the user closed the window.
  paths.platformId = 1;
  store.Set("c4pc_close", "True");
  store.Set("c4pc_off", "True");
  store.Set("c4pc_delscript", "False");
  auto old = Started();
  ASSERT_TRUE(old->Parameters().Switch("pc_off"));
  window.calls.clear();
  old->SaveAllSettings(true);
  EXPECT_EQ(window.calls.back(), "hook:saveLists");
  old->SaveAllSettings(false);
  EXPECT_EQ(window.calls.back(), "hook:startProgram:" + prog + "orvwnext");
}

TEST_F(ProgramTest, CloseWaitsForTheWriteBackAndTheFifthTick) {
  auto m = Started();
  int closeAttempts = 0;
  auto closeWindow = [&] {
    ++closeAttempts;
    return m->RequestClose();  // the window asks the model whether it may close
  };
  EXPECT_EQ(m->CloseTimerTick(closeWindow), CloseTick::Idle);  // timer off until prepared

  EXPECT_FALSE(m->RequestClose());
  EXPECT_TRUE(m->Closing());
  EXPECT_EQ(window.StatusPanel(1), Ru(" Завершение"));
  m->PrepareToClose();
  EXPECT_EQ(window.StatusPanel(3), Ru(" Подготовка к закрытию программы"));

  // Ticks during the write-back are not counted.
  ScriptModel& s = m->Scripts();
  s.ClearRunLists();
  s.run.Append("http://a.ru/1");
  s.run.Append("http://a.ru/2");
  s.handedOut = {0, 1, 2};
  std::vector<CloseTick> during;
  s.completeDownload = [&](const std::string&, const std::string&) {
    during.push_back(m->CloseTimerTick(closeWindow));
    return false;
  };
  s.WriteBack();
  EXPECT_EQ(during, (std::vector<CloseTick>{CloseTick::Waiting, CloseTick::Waiting}));
  EXPECT_EQ(m->CloseTicksCounted(), 0);

  store.writes.clear();
  for (int i = 1; i <= 4; ++i) EXPECT_EQ(m->CloseTimerTick(closeWindow), CloseTick::Counted) << i;
  EXPECT_EQ(closeAttempts, 0);
  EXPECT_TRUE(store.writes.empty());
  EXPECT_EQ(m->CloseTimerTick(closeWindow), CloseTick::Closed);
  EXPECT_EQ(closeAttempts, 1);
  EXPECT_TRUE(m->ReadyToClose());
  EXPECT_EQ(store.Get("WHWND"), "");
  EXPECT_FALSE(m->CloseTimerOn());
}

TEST_F(ProgramTest, RefusedCloseClearsTheReadyMarkAndSavesOnce) {
  auto m = Started();
  m->PrepareToClose();
  bool allow = false;
  for (int i = 0; i < 4; ++i) m->CloseTimerTick([&] { return allow; });
  EXPECT_EQ(m->CloseTimerTick([&] { return allow; }), CloseTick::CloseRefused);
  EXPECT_FALSE(m->ReadyToClose());
  const std::size_t writes = store.writes.size();
  allow = true;
  EXPECT_EQ(m->CloseTimerTick([&] { return allow; }), CloseTick::Closed);
  EXPECT_EQ(store.writes.size(), writes);  // settings were saved on the fifth tick only
}

TEST_F(ProgramTest, ChoosingSlotModeAndPage) {
  auto m = Started();
  WriteBytes(m->CollectionFolder() + "orvef7", ScriptBytes("a01", {"http://a.ru/1"}));
  m->ChooseScriptSlot(7);
  EXPECT_EQ(store.Get("n_script"), "7");
  EXPECT_EQ(m->Scripts().currentSlot, 7);
  EXPECT_EQ(m->Scripts().displayed, (std::vector<std::string>{"a01", "http://a.ru/1"}));
  m->ChooseScriptSlot(16);  // the web-search slot has no button
  EXPECT_EQ(m->Scripts().currentSlot, 7);

  m->ChooseScriptMode(1);
  EXPECT_EQ(m->Scripts().scriptMode, 1);
  EXPECT_EQ(store.Get("scrmode"), "1");
  EXPECT_EQ(window.StatusPanel(3), ScriptModeDescription(1));

  m->OptionsPageShown("collection");
  EXPECT_FALSE(m->Values().noCertCheck);  // certificates are checked unless switched off
  m->SetPreview(false);
  m->SetActiveCursor(false);
  m->SetSkipCertificateCheck(true);
  EXPECT_FALSE(m->Values().renderPages);  // pages are taken as received unless switched on
  m->SetRenderPages(true);
  EXPECT_EQ(store.Get("preview"), "False");
  EXPECT_EQ(store.Get("NoCertCheck"), "True");
  m.reset();
  // The next start shows the chosen page, slot and mode, and the slot's script.
  auto next = Started();
  EXPECT_EQ(next->Scripts().displayed, (std::vector<std::string>{"a01", "http://a.ru/1"}));
  EXPECT_EQ(window.optionsPage, "collection");
  EXPECT_FALSE(next->Values().preview);
  EXPECT_TRUE(next->Values().noCertCheck);
  EXPECT_TRUE(next->Values().renderPages);
  EXPECT_FALSE(window.activeCursor);
  EXPECT_EQ(window.selectedSlot, 7);
  EXPECT_EQ(window.selectedMode, 1);
}

// The production store goes through the platform's configuration file.
TEST(PlatformSettingsStore, ReadsWhatWasWrittenAndDefaultsOtherwise) {
  ScratchFolder dir;
  const char* old = std::getenv("XDG_CONFIG_HOME");
  const std::string saved = old ? old : "";
  setenv("XDG_CONFIG_HOME", dir.Dir().c_str(), 1);
  {
    PlatformSettings s;
    EXPECT_EQ(s.ReadNumber("WI", 7500), 7500);
    EXPECT_TRUE(s.ReadBool("preview", true));
    s.WriteBool("preview", false);
    s.WriteNumber("WI", 8100);
    s.Write("k1Zone", Ru("Папка"));
    EXPECT_FALSE(s.ReadBool("preview", true));
    EXPECT_EQ(s.ReadNumber("WI", 7500), 8100);
    EXPECT_EQ(s.Read("k1Zone", ""), Ru("Папка"));
    s.Write("WI", "abc");
    EXPECT_EQ(s.ReadNumber("WI", 7500), 0);  // a stored text without a number reads as 0
  }
  if (old) {
    setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  } else {
    unsetenv("XDG_CONFIG_HOME");
  }
}

}  // namespace
}  // namespace orv
