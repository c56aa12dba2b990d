// Sites behind a session or a login, copied by the real `orv --batch` and console: the run's
// cookies, the script's jar, `--cookies FILE` and the logout links a logged-in run leaves alone.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/cookie_file.h"
#include "tests/main/run/batch_run_fixture.h"

namespace fs = std::filesystem;
using orvtest::Answer;
using orvtest::BatchRun;
using orvtest::Html;
using orvtest::HttpTestServer;

namespace {

class CookieBatchTest : public orvtest::BatchRunFixture {
 protected:
  // The one cookie jar the run left beside its script.
  std::string Jar() const {
    std::vector<std::string> jars;
    for (const auto& e : fs::directory_iterator(prog_.Collection()))
      if (e.path().extension() == ".cookies") jars.push_back(e.path().string());
    return jars.size() == 1 ? jars[0] : std::string();
  }
  // Whether any request the site received carried this text in its Cookie line.
  static bool AnyCookieLineHas(const HttpTestServer& site, const std::string& text) {
    for (const orvtest::Request& r : site.Requests())
      if (r.Header("Cookie").value_or("").find(text) != std::string::npos) return true;
    return false;
  }
};

// The first page opens a session; every other page answers 403 without it. The whole site is
// copied, the logout link it shows on every page is not followed once the run has its session,
// a page the session does not open is a failure, and the jar keeps the session, owner-only.
TEST_F(CookieBatchTest, ASessionSiteIsCopiedWholeWithoutLoggingOut) {
  HttpTestServer site;
  const std::string menu = "<a href=\"a.html\">a</a> <a href=\"b.html\">b</a> <a href=\"/account/logout?next=/\">out</a>"
                           " <a href=\"admin.html\">admin</a>";
  site.Serve("/index.html", Answer{.headers = {"Content-Type: text/html", "Set-Cookie: sid=k7session; Path=/"},
                                   .body = "<html>" + menu + "</html>"});
  for (const char* page : {"/a.html", "/b.html"})
    site.Serve(page, Answer{.headers = {"Content-Type: text/html"},
                            .body = "<html>" + std::string(page) + menu + "<img src=\"pic.png\"></html>",
                            .requiredCookie = "sid=k7session"});
  site.Serve("/pic.png", Answer{.body = std::string(300, 'p'), .requiredCookie = "sid=k7session"});
  site.Serve("/account/logout?next=/", Answer{.headers = {"Set-Cookie: sid=; Max-Age=0; Path=/"}, .body = "bye"});
  site.Serve("/admin.html", Answer{.body = "admin", .requiredCookie = "admin=1"});

  const BatchRun r = Run(site.Url("/index.html"));
  EXPECT_EQ(r.status, 0) << r.output;
  for (const char* page : {"/index.html", "/a.html", "/b.html", "/pic.png"}) EXPECT_TRUE(Saved(site.Url(page))) << page;
  EXPECT_EQ(site.Count("/account/logout?next=/"), 0u);
  EXPECT_FALSE(Saved(site.Url("/admin.html")));
  EXPECT_NE(r.output.find("Итог: сохранено файлов 4 ("), std::string::npos) << r.output;
  // The 403 of admin.html: a failure of its own kind, with a hint at what opens it.
  EXPECT_NE(r.output.find("ошибок 1 ("), std::string::npos) << r.output;
  EXPECT_NE(r.output.find(", доступ запрещён 1, прочие 0)"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("orv: 1 address(es) refused with 403 or 401"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("ссылок выхода 1;"), std::string::npos) << r.output;
  EXPECT_EQ(r.output.find("k7session"), std::string::npos) << r.output;  // never printed

  const std::string jar = Jar();
  ASSERT_FALSE(jar.empty());
  struct stat st {};
  ASSERT_EQ(::stat(jar.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  const orv::CookieFileContents kept = orv::ReadCookieFile(jar);
  ASSERT_EQ(kept.cookies.size(), 1u);
  EXPECT_EQ(kept.cookies[0].value, "k7session");
  // The exchange files never carry it.
  for (const auto& e : fs::directory_iterator(prog_.Exchange()))
    EXPECT_EQ(orvtest::ReadWholeFile(e.path()).find("k7session"), std::string::npos) << e.path();
}

// A private area that sends a visitor without its login cookie to the login page, copied with
// the cookies a browser exported: the run never sees the login page, a cookie of another host
// in the file goes nowhere, and a file that cannot be used ends orv with status 2.
TEST_F(CookieBatchTest, APrivateAreaIsCopiedWithACookieFile) {
  HttpTestServer site;
  const std::vector<std::string> toLogin = {"Location: /login.html"};
  site.Serve("/private/index.html",
             Answer{.headers = {"Content-Type: text/html"},
                    .body = "<html><a href=\"doc1.html\">1</a><a href=\"doc2.html\">2</a><a href=\"exit.php\">x</a></html>",
                    .requiredCookie = "auth=t0k", .refusalStatus = 302, .refusalHeaders = toLogin});
  for (const char* page : {"/private/doc1.html", "/private/doc2.html", "/private/exit.php"})
    site.Serve(page, Answer{.headers = {"Content-Type: text/html"}, .body = std::string("<html>") + page + "</html>",
                            .requiredCookie = "auth=t0k", .refusalStatus = 302, .refusalHeaders = toLogin});
  site.Serve("/login.html", Html("<html><form>login</form></html>"));

  const std::string cookies = prog_.Root() + "exported.txt";
  orvtest::WriteWholeFile(cookies,
                          "# Netscape HTTP Cookie File\n"
                          "127.0.0.1\tFALSE\t/private\tFALSE\t0\tauth\tt0k\n"
                          "#HttpOnly_.elsewhere.test\tTRUE\t/\tFALSE\t0\tleak\tnope\n"
                          "127.0.0.1\tFALSE\t/\n");
  const BatchRun r = RunAll({"--cookies", cookies, site.Url("/private/index.html")});
  EXPECT_EQ(r.status, 0) << r.output;
  for (const char* page : {"/private/index.html", "/private/doc1.html", "/private/doc2.html"})
    EXPECT_TRUE(Saved(site.Url(page))) << page;
  EXPECT_EQ(site.Count("/login.html"), 0u);
  EXPECT_EQ(site.Count("/private/exit.php"), 0u);
  EXPECT_FALSE(AnyCookieLineHas(site, "leak"));
  EXPECT_NE(r.output.find("orv: 1 malformed line(s) of the cookie file"), std::string::npos) << r.output;
  // The file's cookies joined the script's jar: its next run is logged in without the file.
  const orv::CookieFileContents jar = orv::ReadCookieFile(Jar());
  EXPECT_EQ(jar.cookies.size(), 2u);

  BatchRun bad = RunAll({"--cookies", prog_.Root() + "missing.txt", site.Url("/private/index.html")});
  EXPECT_EQ(bad.status, 2) << bad.output;
  EXPECT_NE(bad.output.find("orv: the cookie file " + prog_.Root() + "missing.txt does not exist"), std::string::npos)
      << bad.output;
  orvtest::WriteWholeFile(prog_.Root() + "huge.txt", std::string(orv::kMaxCookieFileBytes + 1, '#'));
  bad = RunAll({"--cookies", prog_.Root() + "huge.txt", site.Url("/private/index.html")});
  EXPECT_EQ(bad.status, 2) << bad.output;
  EXPECT_NE(bad.output.find("is bigger than 1024 KB"), std::string::npos) << bad.output;
  EXPECT_EQ(site.Count("/private/index.html"), 1u);  // neither started a run
}

}  // namespace
