#include "main/ui/login_cookies.h"

#include <QDateTime>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "common/text.h"
#include "tests/support/temp_folder.h"

namespace orv {
namespace {

QNetworkCookie Browser(const char* domain, const char* name, const char* value, int64_t expires = 0,
                       bool secure = false, const char* path = "/") {
  QNetworkCookie c(name, value);
  c.setDomain(QString::fromLatin1(domain));
  c.setPath(QString::fromLatin1(path));
  c.setSecure(secure);
  if (expires != 0) c.setExpirationDate(QDateTime::fromSecsSinceEpoch(expires));
  return c;
}

constexpr int64_t kNow = 1'800'000'000;

// The cookies the browser holds for the login's host go into the jar, merged with what the jar
// holds; nothing of other hosts, nothing expired; the jar stays the owner's alone.
TEST(LoginCookies, TheHostsCookiesAreMergedIntoTheScriptsJar) {
  const QList<QNetworkCookie> browser{
      Browser("site.test", "sid", "new-session"),                      // host-only session cookie
      Browser(".site.test", "pref", "ru", kNow + 3600, true, "/a"),   // domain cookie, secure
      Browser("other.test", "sid", "foreign"),                         // another site
      Browser("sub.site.test", "deep", "x"),                           // host-only, another host
      Browser(".evilsite.test", "trap", "x"),                          // not a parent domain
      Browser("site.test", "old", "gone", kNow - 10),                  // expired: logged out
  };
  EXPECT_TRUE(CookieDomainMatches(".site.test", "www.site.test"));
  EXPECT_FALSE(CookieDomainMatches("site.test", "www.site.test"));

  orvtest::TempFolder folder;
  const std::string jar = folder.Dir() + "orvef0.cookies";
  ASSERT_TRUE(WriteCookieFile(jar, {Cookie{"site.test", false, "/", false, 0, "sid", "stale", false},
                                    Cookie{"other.test", false, "/", false, 0, "keep", "1", false}}));
  const LoginExport result = ExportLoginCookies(browser, "SITE.test", jar, kNow);
  EXPECT_TRUE(result.written);
  EXPECT_EQ(result.found, 2);
  EXPECT_EQ(result.taken, 2);
  EXPECT_EQ(LoginExportText(result, "site.test"), Ru("Вход на сайт site.test: в сценарий взято cookies: 2"));

  const CookieFileContents after = ReadCookieFile(jar);
  ASSERT_EQ(after.error, CookieFileError::None);
  ASSERT_EQ(after.cookies.size(), 3u);
  EXPECT_EQ(after.cookies[0].name, "sid");
  EXPECT_EQ(after.cookies[0].value, "new-session") << "the login's session replaces the stale one";
  EXPECT_FALSE(after.cookies[0].includeSubdomains);
  EXPECT_EQ(after.cookies[1].name, "keep");
  EXPECT_EQ(after.cookies[2].name, "pref");
  EXPECT_TRUE(after.cookies[2].includeSubdomains);
  EXPECT_TRUE(after.cookies[2].secure);
  EXPECT_EQ(after.cookies[2].path, "/a");
  EXPECT_EQ(after.cookies[2].expires, kNow + 3600);
  struct stat st {};
  ASSERT_EQ(::stat(jar.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  // Nothing for the host: the jar is not touched, and the user is told.
  const LoginExport none = ExportLoginCookies(browser, "nothing.test", folder.Dir() + "orvef1.cookies", kNow);
  EXPECT_FALSE(none.written);
  EXPECT_EQ(none.found, 0);
  EXPECT_FALSE(std::ifstream(folder.Dir() + "orvef1.cookies").good());
  EXPECT_EQ(LoginExportText(none, "nothing.test"),
            Ru("Вход на сайт nothing.test: браузер не получил от сайта ни одного cookie"));

  // A jar that cannot be read whole is left as it is rather than replaced.
  const std::string big = folder.Dir() + "orvef2.cookies";
  std::ofstream(big) << std::string(kMaxCookieFileBytes + 1, '#');
  const LoginExport refused = ExportLoginCookies(browser, "site.test", big, kNow);
  EXPECT_FALSE(refused.written);
  EXPECT_EQ(refused.jarError, CookieFileError::TooLarge);
  ::stat(big.c_str(), &st);
  EXPECT_EQ(st.st_size, kMaxCookieFileBytes + 1);
}

}  // namespace
}  // namespace orv
