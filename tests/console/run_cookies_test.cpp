// The run's cookies in the real kuvet: kept from the server's answers, sent back by the usual
// rules from every channel, loaded from the script's jar and written back into it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "common/cookie_file.h"
#include "common/fetch_outcome.h"
#include "tests/console/console_harness.h"
#include "tests/support/http_test_server.h"

namespace {

using orvtest::Answer;
using orvtest::ConsoleHarness;

class RunCookiesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(std::string(ORV_BIN_DIR) + "/kuvet")) GTEST_SKIP() << "kuvet not built";
    jar = h.Folder().Collection() + "orvef0.cookies";
    std::filesystem::create_directories(h.Folder().Collection());
  }
  void Start() {
    h.PrepareRun();
    h.Ex().WriteExt(orv::CookieJar, jar);
    ASSERT_TRUE(h.Launch());
  }
  void Fetch(const std::string& path) {
    ASSERT_TRUE(h.Feed(server.Url(path)));
    ASSERT_TRUE(h.WaitIdle(5000));
  }
  std::string CookieLine(const std::string& path, size_t i = 0) {
    const auto r = server.Requests(path);
    return i < r.size() ? r[i].Header("Cookie").value_or("") : "(no request)";
  }
  std::optional<orv::FetchOutcome> OutcomeOf(const std::string& path) {
    for (const orv::OutcomeRecord& r : orv::ReadOutcomes(h.Folder().Exchange()))
      if (r.address == server.Url(path)) return r.outcome;
    return std::nullopt;
  }

  orvtest::HttpTestServer server;
  ConsoleHarness h;
  std::string jar;
};

// A site whose first page opens a session and whose other pages refuse a request without it:
// every channel sends the session back, the jar keeps it for the next run (the owner's alone),
// and a page still refused counts as a failure with nothing saved.
TEST_F(RunCookiesTest, ASessionSetOnTheFirstPageOpensTheRestAndIsKeptInTheJar) {
  server.Serve("/s/index.html", Answer{.headers = {"Content-Type: text/html", "Set-Cookie: sid=zq81session; Path=/s",
                                                   "Set-Cookie: foreign=1; Domain=other.test; Path=/"},
                                       .body = "<html><a href=\"a.html\">a</a></html>"});
  for (const char* page : {"/s/a.html", "/s/b.html", "/s/c.html"})
    server.Serve(page, Answer{.body = std::string("page ") + page, .requiredCookie = "sid=zq81session"});
  server.Serve("/s/admin.html", Answer{.body = "admin", .requiredCookie = "admin=1"});
  server.Serve("/other/x.html", Answer{.body = "x"});
  // The jar the main program names: one cookie of this host, one of another host, and a line
  // that is no cookie. (A Secure cookie would be sent here too: libcurl, like browsers, counts
  // a loopback host as a secure context.)
  orv::Cookie mine{.domain = "127.0.0.1", .path = "/", .name = "pre", .value = "7"};
  orv::Cookie elsewhere{.domain = ".other.test", .includeSubdomains = true, .path = "/", .name = "away", .value = "9"};
  ASSERT_TRUE(orv::WriteCookieFile(jar, {mine, elsewhere}));
  {
    std::ofstream add(jar, std::ios::app);
    add << "this is no cookie line\n";
  }
  Start();

  Fetch("/s/index.html");
  EXPECT_EQ(CookieLine("/s/index.html"), "pre=7");
  // Three channels at once, each with its own transfer thread, all with the session.
  for (const char* page : {"/s/a.html", "/s/b.html", "/s/c.html"}) ASSERT_TRUE(h.Feed(server.Url(page)));
  ASSERT_TRUE(h.WaitIdle(5000));
  for (const char* page : {"/s/a.html", "/s/b.html", "/s/c.html"}) {
    ASSERT_EQ(server.Count(page), 1u) << page;
    const std::string sent = CookieLine(page);
    EXPECT_NE(sent.find("sid=zq81session"), std::string::npos) << page;
    EXPECT_NE(sent.find("pre=7"), std::string::npos) << page;
    EXPECT_EQ(sent.find("away"), std::string::npos) << page;    // another host's cookie
    EXPECT_EQ(sent.find("foreign"), std::string::npos) << page; // set for another host: refused
    EXPECT_EQ(orvtest::ReadWholeFile(h.LocalFile(server.Url(page))), std::string("page ") + page);
    EXPECT_EQ(OutcomeOf(page), orv::FetchOutcome::Saved) << page;
  }
  // The session's path is /s: another folder of the host does not get it.
  Fetch("/other/x.html");
  EXPECT_EQ(CookieLine("/other/x.html"), "pre=7");

  Fetch("/s/admin.html");
  EXPECT_EQ(OutcomeOf("/s/admin.html"), orv::FetchOutcome::Forbidden);
  EXPECT_FALSE(std::filesystem::exists(h.LocalFile(server.Url("/s/admin.html"))));

  // The jar is current as soon as the answer that set the session is over.
  struct stat st {};
  ASSERT_EQ(::stat(jar.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  const orv::CookieFileContents kept = orv::ReadCookieFile(jar);
  EXPECT_EQ(kept.skippedLines, 0);
  bool sid = false, pre = false, away = false;
  for (const orv::Cookie& c : kept.cookies) {
    sid = sid || (c.name == "sid" && c.value == "zq81session" && c.path == "/s");
    pre = pre || c.name == "pre";
    away = away || c.name == "away";
    EXPECT_NE(c.name, "foreign");
  }
  EXPECT_TRUE(sid);
  EXPECT_TRUE(pre);
  EXPECT_TRUE(away);  // kept for its own host, though never sent here
  // The line that was no cookie is noted in the speed log; no cookie value is.
  const std::string log = orvtest::ReadWholeFile(h.Folder().Exchange() + "testspeed.txt");
  EXPECT_NE(log.find("malformed lines skipped 1"), std::string::npos);
  EXPECT_EQ(log.find("zq81session"), std::string::npos);
}

// Without a jar the run still keeps its cookies, in memory only.
TEST_F(RunCookiesTest, WithoutAJarTheSessionLastsTheRun) {
  server.Serve("/index.html", Answer{.headers = {"Set-Cookie: sid=1"}, .body = "start"});
  server.Serve("/next.html", Answer{.body = "next", .requiredCookie = "sid=1"});
  jar.clear();
  Start();
  Fetch("/index.html");
  Fetch("/next.html");
  EXPECT_EQ(OutcomeOf("/next.html"), orv::FetchOutcome::Saved);
  EXPECT_FALSE(std::filesystem::exists(h.Folder().Collection() + "orvef0.cookies"));
}

}  // namespace
