#include "main/lists/lists_model.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

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

}  // namespace
}  // namespace orv
