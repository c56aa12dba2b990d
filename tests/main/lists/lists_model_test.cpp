#include "main/lists/lists_model.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tests/main/lists/lists_folder.h"

namespace orv {
namespace {

using lists_testing::Counted;
using lists_testing::ListsFolder;

TEST(ListsModelTest, ShutdownFilesAreWhatTheNextStartUpReads) {
  ListsFolder program;
  ListsFolder config;
  const char* oldConfig = std::getenv("XDG_CONFIG_HOME");
  const std::string savedConfig = oldConfig ? oldConfig : "";
  setenv("XDG_CONFIG_HOME", config.Dir().c_str(), 1);
  const std::string exchange = program.Dir() + "temp/";
  std::filesystem::create_directory(exchange);
  {
    ListsModel lists(program.Dir(), exchange);
    lists.LoadListFiles();  // nothing stored yet: all lists empty
    EXPECT_EQ(lists.exclusions.Size() + lists.tracks.Size() + lists.proxies.Size() + lists.auth.Size(), 0u);

    lists.exclusions.Add("counter");
    lists.exclusions.Add("banner");
    lists.exclusions.SetChecked(1, true);
    lists.tracks.Add("forum");
    lists.tracks.SetChecked(0, true);
    lists.proxies.PanelAdd();
    lists.proxies.Panel().address = "proxy.lan:3128";
    lists.proxies.PanelAccept();
    lists.auth.PanelAdd();
    lists.auth.Panel() = {"site.ru", "user", "word", true, false};
    lists.auth.PanelAccept();
    lists.proxies.SetCurrent("proxy.lan:3128", 1);
    lists.WriteProxyState();
    ASSERT_TRUE(lists.SaveListFiles());
  }
  std::filesystem::remove(exchange + "torvcess");

  ListsModel next(program.Dir(), exchange);
  next.LoadListFilesAndProxyState();
  if (oldConfig) {
    setenv("XDG_CONFIG_HOME", savedConfig.c_str(), 1);
  } else {
    unsetenv("XDG_CONFIG_HOME");
  }
  // The proxy in use comes back with the list it was taken from.
  EXPECT_EQ(next.proxies.CurrentProxy(), "proxy.lan:3128");
  EXPECT_EQ(next.proxies.CurrentIndex(), 1);
  ASSERT_EQ(next.exclusions.Size(), 2u);
  EXPECT_EQ(next.exclusions.Active(), std::vector<std::string>{"banner"});
  EXPECT_EQ(next.tracks.Active(), std::vector<std::string>{"forum"});
  ASSERT_EQ(next.proxies.Size(), 1u);
  EXPECT_EQ(next.proxies.Entries()[0].text, "proxy.lan:3128");
  EXPECT_FALSE(next.proxies.Entries()[0].checked);
  ASSERT_EQ(next.auth.Size(), 1u);
  EXPECT_EQ(next.auth.Entries()[0].text, "site.ru");
  // Loading rebuilt the console's exclusion file.
  EXPECT_EQ(ListsFolder::ReadPath(exchange + "torvcess"), Counted("1") + Counted("banner"));
}

// A list file that cannot be read whole (a record cut short, a count that is no number) is
// renamed before anything is saved over it, keeps what could be read, and is named to the
// user once; whole files stay where they are.
TEST(ListsModelTest, DamagedListFilesAreSetAsideAndToldOnce) {
  ListsFolder program;
  const std::string exchange = program.Dir() + "temp/";
  std::filesystem::create_directory(exchange);
  {
    ListsModel lists(program.Dir(), exchange);
    lists.LoadListFiles();
    for (const char* fragment : {"counter", "banner"}) {
      lists.exclusions.Add(fragment);
      lists.tracks.Add(fragment);
    }
    for (const char* proxy : {"one.lan:3128", "two.lan:3128"}) {
      lists.proxies.PanelAdd();
      lists.proxies.Panel().address = proxy;
      lists.proxies.PanelAccept();
    }
    lists.auth.PanelAdd();
    lists.auth.Panel() = {"site.ru", "user", "word", true, false};
    lists.auth.PanelAccept();
    ASSERT_TRUE(lists.SaveListFiles());
  }
  const std::vector<std::string> damaged = {exchange + "orvcess", exchange + "orvnecess", program.Dir() + "orvproxy"};
  std::vector<std::string> before;
  for (const std::string& path : damaged) {
    std::string bytes = ListsFolder::ReadPath(path);
    bytes.pop_back();  // the last record ends past the end of the file
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    before.push_back(bytes);
  }
  const std::string whole = ListsFolder::ReadPath(program.Dir() + "httpauten");
  program.Write("orvproxy.unreadable", "an earlier one");

  ListsModel next(program.Dir(), exchange);
  next.LoadListFiles();
  EXPECT_EQ(next.exclusions.Size(), 1u);
  EXPECT_EQ(next.tracks.Size(), 1u);
  ASSERT_EQ(next.proxies.Size(), 1u);
  EXPECT_EQ(next.proxies.Entries()[0].text, "one.lan:3128");
  EXPECT_EQ(next.auth.Size(), 1u);
  const std::vector<std::string> messages = next.SetAsideMessages();
  ASSERT_EQ(messages.size(), 3u);
  const std::vector<std::string> aside = {exchange + "orvcess.unreadable", exchange + "orvnecess.unreadable",
                                          program.Dir() + "orvproxy.unreadable2"};
  for (std::size_t k = 0; k < damaged.size(); ++k) {
    EXPECT_EQ(ListsFolder::ReadPath(aside[k]), before[k]) << aside[k];
    EXPECT_FALSE(std::filesystem::exists(damaged[k])) << damaged[k];
    bool named = false;
    for (const std::string& m : messages)
      named = named || (m.find(damaged[k] + " ") != std::string::npos && m.find(aside[k]) != std::string::npos);
    EXPECT_TRUE(named) << aside[k];
  }
  EXPECT_EQ(program.Read("orvproxy.unreadable"), "an earlier one");
  EXPECT_EQ(ListsFolder::ReadPath(program.Dir() + "httpauten"), whole);

  // Saving writes new files beside the kept ones; the next start-up has nothing to tell.
  ASSERT_TRUE(next.SaveListFiles());
  program.Write("httpauten", Counted("two") + Counted("http://a.ru"));
  ListsModel third(program.Dir(), exchange);
  third.LoadListFiles();
  EXPECT_EQ(third.exclusions.Size(), 1u);
  ASSERT_EQ(third.SetAsideMessages().size(), 1u);  // the count of httpauten is no number
  EXPECT_EQ(third.auth.Size(), 0u);
  EXPECT_EQ(program.Read("httpauten.unreadable"), Counted("two") + Counted("http://a.ru"));
  EXPECT_EQ(ListsFolder::ReadPath(aside[0]), before[0]);
  ListsModel fourth(program.Dir(), exchange);
  fourth.LoadListFiles();
  EXPECT_TRUE(fourth.SetAsideMessages().empty());
}

}  // namespace
}  // namespace orv
