#include "common/address_scheme.h"

#include <gtest/gtest.h>

#include "common/address_text.h"
#include "common/local_path.h"

namespace orv {
namespace {

TEST(AddressScheme, BothSchemesAnyCaseAndNothingElse) {
  EXPECT_EQ(SchemeLength("http://a.ru/"), 7u);
  EXPECT_EQ(SchemeLength("HTTPS://a.ru/"), 8u);
  EXPECT_EQ(SchemeLength("httpx://a.ru/"), 0u);
  EXPECT_EQ(SchemeLength("ftp://a.ru/"), 0u);
  EXPECT_EQ(SchemeLength("https:/a.ru/"), 0u);
  EXPECT_EQ(SchemeOf("Https://a.ru/x"), "https://");
  EXPECT_EQ(WithoutScheme("https://a.ru/x"), "a.ru/x");
  EXPECT_EQ(WithoutScheme("a.ru/x"), "a.ru/x");
  // Folding makes the two schemes of one site equal, and only them.
  EXPECT_EQ(FoldScheme("HTTPS://a.ru/?u=https://b.ru/"), "http://a.ru/?u=http://b.ru/");
  EXPECT_TRUE(StartsWithAnySchemeNoCase("https://A.ru/x.gif", "http://a.ru/"));
  EXPECT_TRUE(ContainsAnySchemeNoCase("http://a.ru/x.gif", "https://a.ru/"));
  EXPECT_FALSE(ContainsAnySchemeNoCase("https://ba.ru/x.gif", "http://a.ru/"));
  EXPECT_EQ(SchemeForStored("https"), "https://");
  EXPECT_EQ(SchemeForStored(""), "http://");
  EXPECT_EQ(SchemeForStored("gopher"), "http://");
  // A move to the other scheme keeps the host (any case), port, path and query exactly.
  EXPECT_TRUE(IsSchemeMove("http://a.ru/x.html?q=1", "https://A.RU/x.html?q=1"));
  EXPECT_TRUE(IsSchemeMove("HTTPS://a.ru:81/", "http://a.ru:81/"));
  EXPECT_FALSE(IsSchemeMove("http://a.ru/x.html", "http://a.ru/x.html"));
  EXPECT_FALSE(IsSchemeMove("http://a.ru/x.html", "https://a.ru/X.html"));
  EXPECT_FALSE(IsSchemeMove("http://a.ru/x.html", "https://a.ru/x.html?"));
  EXPECT_FALSE(IsSchemeMove("http://a.ru/x", "https://b.ru/x"));
  EXPECT_FALSE(IsSchemeMove("http://a.ru/x", "/x"));
}

TEST(AddressScheme, HttpsAddressesHaveHostsAndShareTheLocalNameOfHttp) {
  EXPECT_EQ(HostRule("https://Site.ru/a/b.html"), "Site.ru");
  EXPECT_EQ(HostRule("https://site.ru:8443"), "site.ru:8443");
  EXPECT_EQ(HostRule("https:///x"), "");
  EXPECT_EQ(HostRule("https://"), std::nullopt);
  for (const char* tail : {"a/b.html", "", "dir", "a.php?x=1/2", "s:1/x.gif"}) {
    LocalName plain = LocalNameOf(std::string("http://S.ru/") + tail, "/c/");
    LocalName secure = LocalNameOf(std::string("https://S.ru/") + tail, "/c/");
    EXPECT_EQ(secure.path, plain.path) << tail;
    EXPECT_EQ(secure.levelsUp, plain.levelsUp) << tail;
    // The address requested keeps its scheme.
    EXPECT_EQ(secure.requestAddress.substr(0, 8), "https://") << tail;
    EXPECT_EQ(secure.requestAddress.substr(8), plain.requestAddress.substr(7)) << tail;
  }
  EXPECT_EQ(LocalNameOf("https://S.ru", "/c/").path, "/c/S.ru/index.html");
  EXPECT_EQ(LocalNameOf("https://S.ru", "/c/").requestAddress, "https://S.ru/");
}

TEST(AddressScheme, MainProgramTextRulesTreatHttpsAsHttp) {
  std::string a = " https://Www.Site.Ru/dir/ ";
  EXPECT_EQ(HostOf(a, false), "Www.Site.Ru");
  a = "https://ab";  // as short a host as "http://ab": too short
  EXPECT_EQ(HostOf(a, true), "");
  a = "https://a.b";
  EXPECT_EQ(HostOf(a, false), "a.b");
  EXPECT_EQ(FolderOf("https://site.ru"), "https://site.ru/");
  EXPECT_EQ(FolderOf("https://S/a/b.htm"), "https://S/a/");
  EXPECT_EQ(DomainWord("https://name.ru/"), "name.");
  EXPECT_EQ(DomainWord("http://name.ru/"), "name.");
  EXPECT_FALSE(TooDeep("https://S/a/f.gif", 2));
  EXPECT_TRUE(TooDeep("https://S/a/b/f.gif", 2));
}

TEST(AddressScheme, LocalPathGetsTheSchemeRememberedForItsSite) {
  std::vector<std::string> asked;
  SiteSchemeLookup lookup = [&asked](const std::string& folder) {
    asked.push_back(folder);
    return folder == "/c/s.ru" ? std::string("https") : std::string();
  };
  EXPECT_EQ(LocalPathToAddress("/c/s.ru/a/b,8,,x23Fx.html", "/c", lookup), "https://s.ru/a/b?x.html");
  EXPECT_EQ(LocalPathToAddress("/c/old.ru/index.html", "/c/", lookup), "http://old.ru/index.html");
  EXPECT_EQ(asked, (std::vector<std::string>{"/c/s.ru", "/c/old.ru"}));
  EXPECT_EQ(LocalPathToAddress("/c/s.ru/x.html", "/c/"), "http://s.ru/x.html");
  EXPECT_EQ(LocalPathToAddress("/elsewhere/s.ru/x.html", "/c/", lookup), "/elsewhere/s.ru/x.html");
}

}  // namespace
}  // namespace orv
