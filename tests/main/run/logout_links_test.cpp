#include "main/run/logout_links.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/text.h"

namespace orv {
namespace {

TEST(LogoutLinks, TheWordsOfALogoutInPathOrQueryInAnySpelling) {
  for (const std::string& a : std::vector<std::string>{
           "http://h.ru/logout", "http://h.ru/user/Logout.php", "http://h.ru/wp-login.php?action=logout&_wpnonce=1",
           "https://h.ru/auth/sign_out", "http://h.ru/account/sign-out/", "http://h.ru/index.php?do=exit",
           "http://h.ru/LOGOFF.asp", "http://h.ru/cgi/doLogout", "http://h.ru/signOff", "http://h.ru/?user_logout=1",
           // "выход" as UTF-8 escapes, as Windows-1251 escapes, as raw UTF-8 and raw Windows-1251
           "http://h.ru/%D0%B2%D1%8B%D1%85%D0%BE%D0%B4/", "http://h.ru/?a=%E2%FB%F5%EE%E4",
           "http://h.ru/\xD0\x92\xD1\x8B\xD1\x85\xD0\xBE\xD0\xB4.html", "http://h.ru/" + Ru("Выйти"),
       })
    EXPECT_TRUE(LooksLikeLogout(a)) << a;
  for (const std::string& a : std::vector<std::string>{
           "http://logout.h.ru/page.html",          // the host is not looked at
           "http://h.ru/page.html#logout",          // nor the fragment
           "http://h.ru/exits.html", "http://h.ru/blogout/", "http://h.ru/catalog/outlet.html",
           "http://h.ru/log/out.html",              // a folder and a file, not one word
           "http://h.ru/" + Ru("выходные.html"), "http://h.ru/login", "http://h.ru/signin?next=/",
       })
    EXPECT_FALSE(LooksLikeLogout(a)) << a;
}

TEST(LogoutLinks, SkippedOnlyWithALoginCookieAndNeverTheScriptsOwn) {
  LogoutLinkFilter filter;
  const std::string logout = "http://h.ru/logout";
  const std::string own = "http://h.ru/exit.php";  // the user put it in the script
  bool login = false;
  int asked = 0;
  const auto inRun = [&](const std::string& link) { return link.rfind(own, 0) == 0; };
  const auto loginCookie = [&] {
    ++asked;
    return login;
  };

  std::vector<std::string> plain{"2", "http://h.ru/a.html", "http://h.ru/b.html"};
  filter.Filter(plain, inRun, loginCookie);
  EXPECT_EQ(plain.size(), 3u);
  EXPECT_EQ(asked, 0);  // no logout link: the jar is not looked at

  std::vector<std::string> batch{"3", "http://h.ru/a.html", logout, own};
  filter.Filter(batch, inRun, loginCookie);
  EXPECT_EQ(batch, (std::vector<std::string>{"3", "http://h.ru/a.html", logout, own}));

  login = true;
  for (int page = 0; page < 2; ++page) {  // every page links it; it counts once
    std::vector<std::string> again{"4", "http://h.ru/a.html", logout + "(((((http://h.ru/", own, "http://h.ru/c.html"};
    filter.Filter(again, inRun, loginCookie);
    EXPECT_EQ(again, (std::vector<std::string>{"3", "http://h.ru/a.html", own, "http://h.ru/c.html"}));
  }
  EXPECT_EQ(filter.Skipped(), 1);
}

}  // namespace
}  // namespace orv
