// "Войти на сайт…" in the window, and what it is for: the cookies of a login go into the jar of
// the current script, and a run the window program starts then fetches a private area as the
// logged-in user.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDateTime>
#include <QNetworkCookie>

#include <chrono>
#include <filesystem>
#include <thread>

#include "common/config_keys.h"
#include "common/cookie_file.h"
#include "common/local_path.h"
#include "common/numbers.h"
#include "common/text.h"
#include "main/scripts/exchange_sink.h"
#include "main/scripts/script_model.h"
#include "main/scripts/script_params.h"
#include "main/ui/login_cookies.h"
#include "platform/settings.h"
#include "tests/support/http_test_server.h"
#include "tests/support/program_folder.h"
#include "tests/support/temp_folder.h"

namespace orv {
namespace {

namespace fs = std::filesystem;

QNetworkCookie BrowserCookie(const char* host, const char* name, const char* value, const char* path = "/") {
  QNetworkCookie c(name, value);
  c.setDomain(QString::fromLatin1(host));
  c.setPath(QString::fromLatin1(path));
  return c;
}

unsigned ModeOf(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 0777 : 0;
}

// The jar of the script current at "Готово" takes the site's cookies, owner-only; no other
// script's jar is touched; the status line tells how many were taken, or why none.
TEST(WindowLogin, TheCurrentScriptsJarTakesTheSitesCookies) {
  orvtest::TempFolder tmp;
  const std::string coll = tmp.Dir();
  const int64_t now = QDateTime::currentSecsSinceEpoch();
  const QList<QNetworkCookie> browser{BrowserCookie("site.test", "sid", "s1"),
                                      BrowserCookie(".site.test", "lang", "ru"),
                                      BrowserCookie("other.test", "sid", "foreign")};

  EXPECT_EQ(TakeLoginIntoScript(coll, 3, "site.test", browser, now),
            Ru("Вход на сайт site.test: в сценарий взято cookies: 2"));
  const std::string jar = CookieJarFileName(coll, 3);
  EXPECT_EQ(ModeOf(jar), 0600u);
  CookieFileContents kept = ReadCookieFile(jar);
  ASSERT_EQ(kept.cookies.size(), 2u);
  for (int slot = 0; slot < 10; ++slot) {
    if (slot != 3) {
      EXPECT_FALSE(fs::exists(CookieJarFileName(coll, slot))) << slot;
    }
  }

  // A second login replaces the session cookie and keeps the rest.
  EXPECT_EQ(TakeLoginIntoScript(coll, 3, "site.test", {BrowserCookie("site.test", "sid", "s2")}, now),
            Ru("Вход на сайт site.test: в сценарий взято cookies: 1"));
  kept = ReadCookieFile(jar);
  ASSERT_EQ(kept.cookies.size(), 2u);
  for (const Cookie& c : kept.cookies) {
    if (c.name == "sid") {
      EXPECT_EQ(c.value, "s2");
    }
  }

  // Nothing for the host: no jar appears for that script.
  EXPECT_EQ(TakeLoginIntoScript(coll, 4, "site.test", {BrowserCookie("other.test", "sid", "x")}, now),
            Ru("Вход на сайт site.test: браузер не получил от сайта ни одного cookie"));
  EXPECT_FALSE(fs::exists(CookieJarFileName(coll, 4)));
}

class NoRecords final : public ExchangeSink {
 public:
  void WriteRecord(int, const std::string&) override {}
};

orvtest::Answer Private(std::string body) {
  orvtest::Answer a;
  a.headers = {"Content-Type: text/html"};
  a.body = std::move(body);
  a.requiredCookie = "auth=t0k";
  a.refusalStatus = 302;
  a.refusalHeaders = {"Location: /login.html"};
  return a;
}

// The login cookies taken as above, then the window program started with an address (as
// `orvanta.sh run ADDRESS` starts it on a display) copies the private area whole, never sees the
// login page, leaves the logout link alone and, with "Закрыть" chosen under "По окончании",
// ends by itself when the run is over.
TEST(WindowLogin, ARunFromTheWindowFetchesAsTheLoggedInUser) {
  if (!fs::exists(fs::path(ORV_BIN_DIR) / "orv") || !fs::exists(fs::path(ORV_BIN_DIR) / "kuvet"))
    GTEST_SKIP() << "orv and kuvet are not built";
  orvtest::ProgramFolder prog;
  prog.UseLoopbackSites();
  constexpr int kSlot = 2;
  WriteSetting(kScriptSlotKey, DecimalText(kSlot));
  {
    PlatformSettings store;
    NoRecords records;
    ScriptParameters params(store, records);
    params.LoadAll();
    const std::vector<OptionRow>& ends = params.List(kEndActions);
    for (size_t row = 0; row < ends.size(); ++row)
      if (ends[row].key == kCloseAtEndRowKey && !ends[row].checked)
        params.ToggleOption(kEndActions, static_cast<int>(row) + 1);
    ASSERT_TRUE(params.Switch(kCloseAtEndRowKey));
    params.SaveAll();
  }

  orvtest::HttpTestServer site;
  site.Serve("/private/index.html",
             Private("<html><a href=\"doc1.html\">1</a> <a href=\"doc2.html\">2</a> <a href=\"exit.php\">x</a></html>"));
  site.Serve("/private/doc1.html", Private("<html>doc1 <a href=\"exit.php\">x</a></html>"));
  site.Serve("/private/doc2.html", Private("<html>doc2</html>"));
  site.Serve("/private/exit.php", Private("<html>bye</html>"));
  orvtest::Answer login;
  login.headers = {"Content-Type: text/html"};
  login.body = "<html><form>login</form></html>";
  site.Serve("/login.html", login);

  // As the browser hands them over when the user presses "Готово".
  const QList<QNetworkCookie> browser{BrowserCookie("127.0.0.1", "auth", "t0k", "/private"),
                                      BrowserCookie("127.0.0.1", "lang", "ru")};
  ASSERT_EQ(TakeLoginIntoScript(prog.Collection(), kSlot, "127.0.0.1", browser, QDateTime::currentSecsSinceEpoch()),
            Ru("Вход на сайт 127.0.0.1: в сценарий взято cookies: 2"));

  const std::string out = prog.Root() + "out.txt";
  orvtest::ChildProcess child;
  ASSERT_TRUE(child.Start("/bin/sh",
                          {"-c", "exec '" + prog.Prog() + "orv' '" + site.Url("/private/index.html") + "' > '" + out + "' 2>&1"},
                          prog.Prog(),
                          {{"HOME", prog.Root()},
                           {"XDG_CONFIG_HOME", prog.Config()},
                           {"ASAN_OPTIONS", "detect_leaks=0"},
                           {"QT_QPA_PLATFORM", "offscreen"}}));
  const int status = child.WaitExit(100000);
  EXPECT_EQ(status, 0) << "the window program did not end by itself after the run\n" << orvtest::ReadWholeFile(out);
  if (status == -1) child.Kill();

  for (const char* page : {"/private/index.html", "/private/doc1.html", "/private/doc2.html"})
    EXPECT_TRUE(fs::exists(LocalNameOf(site.Url(page), prog.Collection()).path)) << page;
  EXPECT_EQ(site.Count("/private/doc1.html"), 1u);
  EXPECT_EQ(site.Count("/login.html"), 0u);
  EXPECT_EQ(site.Count("/private/exit.php"), 0u);
  EXPECT_FALSE(fs::exists(LocalNameOf(site.Url("/private/exit.php"), prog.Collection()).path));
}

}  // namespace
}  // namespace orv
