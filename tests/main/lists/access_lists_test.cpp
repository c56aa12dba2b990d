#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "common/string_list.h"
#include "console/request.h"
#include "common/text.h"
#include "main/lists/auth_list.h"
#include "main/lists/proxy_list.h"
#include "main/lists/user_agents.h"
#include "platform/settings.h"
#include "tests/main/lists/lists_folder.h"

namespace orv {
namespace {

using lists_testing::Counted;
using lists_testing::ListsFolder;

ProxyList& AddProxy(ProxyList& list, const std::string& address, const std::string& user = "",
                    const std::string& password = "") {
  list.PanelAdd();
  list.Panel().address = address;
  list.Panel().user = user;
  list.Panel().password = password;
  list.PanelAccept();
  return list;
}

class ProxyListTest : public ::testing::Test {
 protected:
  ListsFolder folder;
  ProxyList list{folder.Dir()};
};

TEST_F(ProxyListTest, AHostWithoutPortGetsPort80) {
  AddProxy(list, "proxy.local");
  ASSERT_EQ(list.Size(), 1u);
  EXPECT_EQ(list.Entries()[0].key, "proxy.local:80");
  EXPECT_EQ(list.Entries()[0].text, "proxy.local:80");
  EXPECT_FALSE(list.Panel().visible);
  EXPECT_EQ(folder.Read("orvproxy"), Counted("1") + Counted("proxy.local:80"));
}

TEST_F(ProxyListTest, ShortCredentialsAreDroppedLongOnesKeptAfterTheMark) {
  AddProxy(list, "10.0.0.1:3128", "ab", "secret");
  AddProxy(list, "10.0.0.2:3128", "user", "pw");
  AddProxy(list, "10.0.0.3:8080", "user", "pwd");
  ASSERT_EQ(list.Size(), 3u);
  EXPECT_EQ(list.Entries()[0].key, "10.0.0.1:3128");
  EXPECT_EQ(list.Entries()[1].key, "10.0.0.2:3128");
  EXPECT_EQ(list.Entries()[2].key, "10.0.0.3:8080@@@@@user:pwd");
  EXPECT_EQ(list.Entries()[2].text, "10.0.0.3:8080");
}

TEST_F(ProxyListTest, TooShortAddressKeepsThePanelOpenAndDuplicatesAreRefused) {
  list.PanelAdd();
  list.Panel().address = "ab";
  EXPECT_FALSE(list.PanelAccept());
  EXPECT_TRUE(list.Panel().visible);
  EXPECT_EQ(list.Size(), 0u);
  EXPECT_FALSE(folder.Exists("orvproxy"));

  AddProxy(list, "host:81");
  AddProxy(list, "HOST:81");
  EXPECT_EQ(list.Size(), 1u);
  EXPECT_FALSE(list.Panel().visible);
}

TEST_F(ProxyListTest, LoadingAnEntryIntoThePanelSplitsItsCredentials) {
  AddProxy(list, "a.b.c:1", "name", "pass:word");
  AddProxy(list, "d.e.f:2");
  AddProxy(list, "j.k.l:4");
  list.Select(0);
  list.PanelLoadSelected();
  EXPECT_TRUE(list.Panel().changeMode);
  EXPECT_TRUE(list.Panel().visible);
  EXPECT_EQ(list.Panel().address, "a.b.c:1");
  EXPECT_EQ(list.Panel().user, "name");
  EXPECT_EQ(list.Panel().password, "pass:word");

  list.Select(1);
  list.PanelLoadSelected();
  EXPECT_EQ(list.Panel().address, "d.e.f:2");
  EXPECT_EQ(list.Panel().user, "");
  EXPECT_EQ(list.Panel().password, "");

  // Change mode edits the selected entry in place.
  list.Panel().address = "g.h.i:3";
  EXPECT_TRUE(list.PanelAccept());
  EXPECT_EQ(list.Entries()[1].key, "g.h.i:3");
  EXPECT_FALSE(list.Panel().changeMode);

  // A change to another entry's key keeps the key; only the shown text changes.
  list.Select(1);
  list.PanelLoadSelected();
  list.Panel().address = "J.K.L:4";
  list.PanelAccept();
  EXPECT_EQ(list.Entries()[1].key, "g.h.i:3");
  EXPECT_EQ(list.Entries()[1].text, "J.K.L:4");
}

TEST_F(ProxyListTest, CancelClearsTheAddressAndReturnsToAddMode) {
  AddProxy(list, "a.b.c:1");
  list.Select(0);
  list.PanelLoadSelected();
  list.PanelCancel();
  EXPECT_FALSE(list.Panel().visible);
  EXPECT_FALSE(list.Panel().changeMode);
  EXPECT_EQ(list.Panel().address, "");
}

TEST_F(ProxyListTest, CheckingOneUnchecksTheOthersAndSetsTheCurrentProxy) {
  AddProxy(list, "one.ru:8080");
  AddProxy(list, "two.ru:3128", "user", "secret");
  list.SetChecked(0, true);
  list.SetChecked(1, true);
  EXPECT_FALSE(list.Entries()[0].checked);
  EXPECT_TRUE(list.Entries()[1].checked);
  EXPECT_EQ(list.CurrentProxy(), "two.ru:3128");  // without the credentials
  EXPECT_EQ(list.CurrentIndex(), 2);

  list.SetChecked(1, false);
  EXPECT_FALSE(list.Entries()[1].checked);
  EXPECT_EQ(list.CurrentProxy(), "two.ru:3128");
  EXPECT_EQ(list.CurrentIndex(), 2);
}

// The console is handed the current proxy with the credentials of its list entry, whether it
// was checked in the list or typed into the configuration by hand; rotation carries them too.
TEST_F(ProxyListTest, TheConsoleGetsTheCredentialsOfTheCurrentProxysEntry) {
  AddProxy(list, "open.ru:8080");
  AddProxy(list, "Login.ru:3128", "user", "se:cret");
  list.SetChecked(1, true);
  console::ProxyParts p = console::ParseProxySpec(list.ConsoleSpec());
  EXPECT_EQ(p.host, "Login.ru");
  EXPECT_EQ(p.port, 3128);
  EXPECT_EQ(p.credentials, "user:se:cret");

  list.SetCurrent("  http://login.RU:3128/ ", 0);  // by hand
  p = console::ParseProxySpec(list.ConsoleSpec());
  EXPECT_EQ(p.host, "login.RU");
  EXPECT_EQ(p.credentials, "user:se:cret");

  ASSERT_TRUE(list.Alternate());  // to the first row, which has none
  EXPECT_EQ(list.ConsoleSpec(), "open.ru:8080");
  list.SetCurrent("other.ru:3128", 0);  // in no entry
  EXPECT_EQ(list.ConsoleSpec(), "other.ru:3128");
}

TEST_F(ProxyListTest, AlternationWalksTheRowsAndWraps) {
  AddProxy(list, "p1.ru:1");
  EXPECT_FALSE(list.Alternate());  // a single row does not rotate
  AddProxy(list, "p2.ru:2");
  AddProxy(list, "p3.ru:3");
  list.SetChecked(1, true);
  ASSERT_TRUE(list.Alternate());
  EXPECT_EQ(list.CurrentIndex(), 3);
  EXPECT_EQ(list.CurrentProxy(), "p3.ru:3");
  EXPECT_TRUE(list.Entries()[2].checked);
  EXPECT_FALSE(list.Entries()[1].checked);
  ASSERT_TRUE(list.Alternate());
  EXPECT_EQ(list.CurrentIndex(), 1);
  EXPECT_EQ(list.CurrentProxy(), "p1.ru:1");

  // An index from a longer list restarts the rotation at the first row, and uses it.
  list.SetCurrent("gone:9", 7);
  ASSERT_TRUE(list.Alternate());
  EXPECT_EQ(list.CurrentIndex(), 1);
  EXPECT_EQ(list.CurrentProxy(), "p1.ru:1");
  int checkedCount = 0;
  for (const ProxyEntry& e : list.Entries()) checkedCount += e.checked ? 1 : 0;
  EXPECT_EQ(checkedCount, 1);
}

TEST_F(ProxyListTest, DragAndDropMovesTheEntryWithItsTagAndRewritesTheFile) {
  AddProxy(list, "a.ru:1");
  AddProxy(list, "b.ru:2");
  AddProxy(list, "c.ru:3");
  list.SetChecked(0, true);
  list.SetTag(0, "T");
  list.Move(0, 2);
  ASSERT_EQ(list.Size(), 3u);
  EXPECT_EQ(list.Entries()[0].text, "b.ru:2");
  EXPECT_EQ(list.Entries()[2].text, "a.ru:1");
  EXPECT_EQ(list.Entries()[2].tag, "T");
  EXPECT_EQ(list.CurrentIndex(), 3);  // the index follows the checked row
  EXPECT_EQ(folder.Read("orvproxy"),
            Counted("3") + Counted("b.ru:2") + Counted("c.ru:3") + Counted("a.ru:1"));
  list.Move(2, 0);
  EXPECT_EQ(list.Entries()[0].text, "a.ru:1");
}

TEST_F(ProxyListTest, DeletingARowAboveTheCheckedOneKeepsTheRotationOnIt) {
  AddProxy(list, "a.ru:1");
  AddProxy(list, "b.ru:2");
  AddProxy(list, "c.ru:3");
  list.SetChecked(1, true);
  list.Select(0);
  list.DeleteSelected();
  EXPECT_EQ(list.CurrentIndex(), 1);
  ASSERT_TRUE(list.Alternate());
  EXPECT_EQ(list.CurrentProxy(), "c.ru:3");
  EXPECT_FALSE(list.Entries()[0].checked);
  EXPECT_TRUE(list.Entries()[1].checked);
}

TEST_F(ProxyListTest, DeletingTheLastEntryRemovesTheFileAndTheNextStartIsEmpty) {
  AddProxy(list, "only.ru:1", "name", "word");
  ASSERT_TRUE(folder.Exists("orvproxy"));
  ProxyList reloaded(folder.Dir());
  reloaded.Load();
  ASSERT_EQ(reloaded.Size(), 1u);
  EXPECT_EQ(reloaded.Entries()[0].text, "only.ru:1");
  EXPECT_EQ(reloaded.Entries()[0].key, "only.ru:1@@@@@name:word");
  EXPECT_FALSE(reloaded.Entries()[0].checked);

  list.Select(0);
  list.DeleteSelected();
  EXPECT_FALSE(folder.Exists("orvproxy"));
  ProxyList empty(folder.Dir());
  empty.Load();
  EXPECT_EQ(empty.Size(), 0u);
}

// Both lists hold passwords: their files are the owner's alone, and a file left readable by
// others is narrowed by the next write.
TEST_F(ProxyListTest, CredentialFilesAreReadableByTheirOwnerAlone) {
  namespace fs = std::filesystem;
  const auto ownerOnly = fs::perms::owner_read | fs::perms::owner_write;
  AddProxy(list, "proxy.ru:8080", "name", "secret");
  EXPECT_EQ(fs::status(list.FilePath()).permissions() & fs::perms::all, ownerOnly);

  AuthList auth(folder.Dir());
  auth.PanelAdd();
  auth.Panel().site = "site.ru";
  auth.Panel().user = "name";
  auth.Panel().password = "secret";
  ASSERT_TRUE(auth.PanelAccept());
  EXPECT_EQ(fs::status(auth.FilePath()).permissions() & fs::perms::all, ownerOnly);

  fs::permissions(list.FilePath(), fs::perms::all, fs::perm_options::replace);
  AddProxy(list, "other.ru:3128");
  EXPECT_EQ(fs::status(list.FilePath()).permissions() & fs::perms::all, ownerOnly);
}

// Thousands of proxies load at once, each key compared without letter case.
TEST_F(ProxyListTest, ALargeListLoadsWithEveryRepeatDropped) {
  std::vector<std::string> keys;
  for (int i = 0; i < 5000; ++i) keys.push_back("host" + std::to_string(i) + ".ru:80");
  keys.push_back("HOST17.RU:80");
  keys.push_back("host4999.ru:80");
  ASSERT_TRUE(WriteStringArrayFile(list.FilePath(), CountedList(keys)));
  list.Load();
  ASSERT_EQ(list.Size(), 5000u);
  EXPECT_EQ(list.Entries()[17].key, "host17.ru:80");
  EXPECT_EQ(list.Entries()[4999].key, "host4999.ru:80");
}

TEST(ProxyText, MarkAtTheStartIsNotASeparator) {
  EXPECT_EQ(ProxyTextOfKey("h:1@@@@@u:p"), "h:1");
  EXPECT_EQ(ProxyTextOfKey("@@@@@u:p"), "@@@@@u:p");
  EXPECT_EQ(ProxyTextOfKey("h:1"), "h:1");
}

TEST(ProxySettings, CurrentProxyAndIndexGoThroughTheConfiguration) {
  ListsFolder config;
  const char* old = std::getenv("XDG_CONFIG_HOME");
  const std::string saved = old ? old : "";
  setenv("XDG_CONFIG_HOME", config.Dir().c_str(), 1);
  {
    ProxyList list(config.Dir());
    list.SetCurrent("px.ru:3128", 4);
    list.WriteCurrentToSettings();
    EXPECT_EQ(ReadSetting("MPRX", ""), "px.ru:3128");
    EXPECT_EQ(ReadSetting("NPRX", ""), "4");
    ProxyList restored(config.Dir());
    restored.ReadCurrentFromSettings();
    EXPECT_EQ(restored.CurrentProxy(), "px.ru:3128");
    EXPECT_EQ(restored.CurrentIndex(), 4);
  }
  if (old) {
    setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  } else {
    unsetenv("XDG_CONFIG_HOME");
  }
}

// ---------------------------------------------------------------------------------------------

class AuthListTest : public ::testing::Test {
 protected:
  bool Add(const std::string& site, const std::string& user, const std::string& password) {
    list.PanelAdd();
    list.Panel().site = site;
    list.Panel().user = user;
    list.Panel().password = password;
    return list.PanelAccept();
  }
  ListsFolder folder;
  AuthList list{folder.Dir()};
};

TEST_F(AuthListTest, SiteIsStoredTrimmedInLowerCase) {
  ASSERT_TRUE(Add("  WWW.Site.RU  ", "Admin", "Secret1"));
  ASSERT_EQ(list.Size(), 1u);
  EXPECT_EQ(list.Entries()[0].key, "www.site.ru\\\\Admin**Secret1");
  EXPECT_EQ(list.Entries()[0].text, "www.site.ru");
  EXPECT_EQ(folder.Read("httpauten"), Counted("1") + Counted("www.site.ru\\\\Admin**Secret1"));
  EXPECT_FALSE(list.Panel().visible);
}

TEST_F(AuthListTest, AThreeCharacterPasswordIsNotStored) {
  EXPECT_FALSE(Add("site.ru", "user", "abc"));
  EXPECT_EQ(list.Size(), 0u);
  EXPECT_TRUE(list.Panel().visible);
  EXPECT_EQ(list.Panel().user, "");
  EXPECT_EQ(list.Panel().password, "");
  EXPECT_FALSE(folder.Exists("httpauten"));
}

TEST_F(AuthListTest, AShortSiteKeepsThePanelAndTheFieldsAsTyped) {
  EXPECT_FALSE(Add(" A.B ", "user", "word"));
  EXPECT_TRUE(list.Panel().visible);
  EXPECT_EQ(list.Panel().site, "a.b");
  EXPECT_EQ(list.Panel().user, "user");
  EXPECT_EQ(list.Size(), 0u);
}

TEST_F(AuthListTest, EntriesTheConsoleWouldSplitDifferentlyAreNotStored) {
  EXPECT_FALSE(Add("ab\\\\cd.ru", "user", "word"));  // "\\" inside the site
  EXPECT_FALSE(Add("site.ru", "us**er", "word"));    // "**" inside the user name
  EXPECT_FALSE(Add("site.ru", "user*", "word"));     // the user name's "*" joins the mark
  EXPECT_TRUE(Add("site.ru", "user", "pa**ss\\\\"));  // anything may follow the mark
  ASSERT_EQ(list.Size(), 1u);
  const auto parts = SplitAuthKey(list.Entries()[0].key);
  ASSERT_TRUE(parts.has_value());
  EXPECT_EQ(parts->password, "pa**ss\\\\");
}

TEST_F(AuthListTest, ChangeModeReplacesTheSelectedEntry) {
  ASSERT_TRUE(Add("one.ru", "user1", "pass1"));
  ASSERT_TRUE(Add("two.ru", "user2", "pass2"));
  EXPECT_TRUE(Add("two.ru", "user2", "pass2"));  // a duplicate is refused silently
  EXPECT_EQ(list.Size(), 2u);

  list.Select(1);
  list.PanelLoadSelected();
  EXPECT_EQ(list.Panel().site, "two.ru");
  EXPECT_EQ(list.Panel().user, "user2");
  EXPECT_EQ(list.Panel().password, "pass2");
  EXPECT_TRUE(list.Panel().changeMode);
  list.Panel().password = "newpass";
  ASSERT_TRUE(list.PanelAccept());
  EXPECT_EQ(list.Entries()[1].key, "two.ru\\\\user2**newpass");

  // Changing it into the other entry's key is refused: both entries stay as they were.
  list.PanelLoadSelected();
  list.Panel() = {"ONE.ru", "user1", "pass1", true, true};
  list.PanelAccept();
  ASSERT_EQ(list.Size(), 2u);
  EXPECT_EQ(list.Entries()[1].text, "two.ru");
  EXPECT_EQ(list.Entries()[1].key, "two.ru\\\\user2**newpass");

  list.Select(0);
  list.DeleteSelected();
  EXPECT_EQ(folder.Read("httpauten"), Counted("1") + Counted("two.ru\\\\user2**newpass"));
  list.DeleteSelected();
  EXPECT_FALSE(folder.Exists("httpauten"));
}

TEST_F(AuthListTest, LoadingSkipsRecordsTheConsoleCouldNotRead) {
  folder.Write("httpauten", Counted("3") + Counted("a.ru\\\\user**pass") + Counted("b.ru\\\\nopass") +
                                Counted("c.ru\\\\u2**p2"));
  list.Load();
  ASSERT_EQ(list.Size(), 2u);
  EXPECT_EQ(list.Entries()[0].text, "a.ru");
  EXPECT_EQ(list.Entries()[1].text, "c.ru");
}

// Reads httpauten as the console's start-up does: count from element 0, entries 1..count, each
// split at the first "\\" and the next "**"; the first entry lacking a part ends the reading.
std::vector<AuthCredentials> ReadAsConsoleDoes(const std::string& path) {
  std::vector<std::string> elements = ReadStringArrayFile(path);
  std::vector<AuthCredentials> out;
  for (std::size_t i = 1; i < elements.size(); ++i) {
    const std::string& e = elements[i];
    const std::size_t a = e.find("\\\\");
    if (a == std::string::npos) break;
    const std::size_t b = e.find("**", a + 2);
    if (b == std::string::npos) break;
    AuthCredentials c{e.substr(0, a), e.substr(a + 2, b - a - 2), e.substr(b + 2)};
    if (c.site.empty() || c.user.empty() || c.password.empty()) break;
    out.push_back(c);
  }
  return out;
}

TEST_F(AuthListTest, TheWrittenFileReadsBackWithTheSameEntries) {
  ASSERT_TRUE(Add("first.ru", "ivan", "pa:ss"));
  ASSERT_TRUE(Add(Ru("сайт.рф"), Ru("иван"), Ru("пароль")));
  ASSERT_TRUE(Add("third.ru", "user\\x", "p*ss"));
  const auto read = ReadAsConsoleDoes(list.FilePath());
  ASSERT_EQ(read.size(), 3u);
  EXPECT_EQ(read[0].site, "first.ru");
  EXPECT_EQ(read[0].password, "pa:ss");
  EXPECT_EQ(read[1].site, Ru("сайт.рф"));
  EXPECT_EQ(read[1].user, Ru("иван"));
  EXPECT_EQ(read[2].user, "user\\x");
  EXPECT_EQ(read[2].password, "p*ss");
}

TEST_F(AuthListTest, TheConsolesParserReadsEveryWrittenEntry) {
  ASSERT_TRUE(Add("first.ru", "ivan", "pa:ss"));
  ASSERT_TRUE(Add(Ru(" Сайт.РФ "), Ru("иван"), Ru("пароль")));
  EXPECT_FALSE(Add("bad.ru", "us**er", "word"));  // would split into other parts
  list.PanelCancel();
  ASSERT_TRUE(Add("third.ru", "user\\x", "p*ss"));
  std::vector<std::string> elements = ReadStringArrayFile(list.FilePath());
  ASSERT_EQ(elements.size(), 4u);
  elements.erase(elements.begin());
  const std::vector<console::Credential> read = console::ParseCredentials(elements);
  ASSERT_EQ(read.size(), list.Size());
  for (std::size_t i = 0; i < read.size(); ++i) {
    const auto own = SplitAuthKey(list.Entries()[i].key);
    ASSERT_TRUE(own.has_value());
    EXPECT_EQ(read[i].site, own->site);
    EXPECT_EQ(read[i].user, own->user);
    EXPECT_EQ(read[i].password, own->password);
  }
  EXPECT_EQ(read[1].site, Ru("сайт.рф"));
  EXPECT_EQ(read[2].user, "user\\x");
}

// ---------------------------------------------------------------------------------------------

TEST(UserAgentPresetsTest, CaptionsInComboOrder) {
  EXPECT_STREQ(UserAgentPresets::Caption(0), "Default");
  EXPECT_STREQ(UserAgentPresets::Caption(4), "Opera(MSIE)");
  EXPECT_STREQ(UserAgentPresets::Caption(9), "Other");
  EXPECT_STREQ(UserAgentPresets::Caption(10), "");
}

TEST(UserAgentPresetsTest, EditingStoresIntoTheChosenSlotExceptDefault) {
  UserAgentPresets presets;
  std::array<std::string, UserAgentPresets::kSlots> values;
  for (int i = 0; i < UserAgentPresets::kSlots; ++i) values[i] = "agent" + std::to_string(i);
  presets.SetSlots(values);

  presets.Choose(3);
  EXPECT_EQ(presets.Text(), "agent3");
  EXPECT_EQ(presets.Tooltip(), "agent3");
  presets.EditText("Custom/1.0");
  EXPECT_EQ(presets.Slot(3), "Custom/1.0");
  EXPECT_EQ(presets.RunText(), "Custom/1.0");

  presets.Choose(0);
  presets.EditText("typed over default");
  EXPECT_EQ(presets.Slot(0), "agent0");
  EXPECT_EQ(presets.RunText(), "typed over default");

  presets.Choose(3);
  EXPECT_EQ(presets.Text(), "Custom/1.0");
  presets.Choose(12);  // no such slot: nothing changes
  EXPECT_EQ(presets.Chosen(), 3);
}

}  // namespace
}  // namespace orv
