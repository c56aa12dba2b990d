// Pages whose content and links a script builds, copied by a real `orv --batch` run with the
// page renderer (orvrend) beside the console, and left as received without it.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "common/local_path.h"
#include "platform/settings.h"
#include "tests/main/run/batch_run_fixture.h"

namespace fs = std::filesystem;
using orvtest::Answer;
using orvtest::BatchRun;
using orvtest::Html;
using orvtest::HttpTestServer;

namespace {

// Whether the browser engine can run here at all (it needs no display and no GPU, but a
// machine may lack the engine's own files).
bool EngineRuns() {
  static const bool runs = [] {
    const fs::path renderer = fs::path(ORV_BIN_DIR) / "orvrend";
    if (!fs::exists(renderer)) return false;
    orvtest::ChildProcess check;
    if (!check.Start(renderer.string(), {"--selftest"}, "/", {{"ASAN_OPTIONS", "detect_leaks=0"}})) return false;
    return check.WaitExit(60000) == 0;
  }();
  return runs;
}

// A page that is an empty shell: its heading and its links come from a JSON file its script
// fetches, and it asks another site (on another port) for a script. Addresses are put
// together, so no link can be read from the received text.
std::string ScriptBuiltCatalog(int foreignPort) {
  return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>shell</title></head><body>"
         "<h1 id=\"title\"></h1><ul id=\"list\"></ul><script>\n"
         "fetch('data/' + 'catalog' + '.json').then(r => r.json()).then(d => {\n"
         "  document.getElementById('title').textContent = d.title;\n"
         "  for (const p of d.pages) {\n"
         "    const a = document.createElement('a');\n"
         "    a.href = p.href; a.textContent = p.name;\n"
         "    document.getElementById('list').appendChild(document.createElement('li')).appendChild(a);\n"
         "  }\n"
         "  fetch('http://' + location.hostname + ':' + " + std::to_string(foreignPort) + " + '/track.js').catch(() => {});\n"
         "});\n</script></body></html>";
}

class RenderRunTest : public orvtest::BatchRunFixture {
 protected:
  void SetUp() override {
    BatchRunFixture::SetUp();
    if (IsSkipped()) return;
    if (!EngineRuns()) GTEST_SKIP() << "the browser engine cannot start here (orvrend --selftest failed)";
  }
  std::string LocalIn(const std::string& collection, const std::string& address) const {
    return orv::LocalNameOf(address, collection).path;
  }
};

TEST_F(RenderRunTest, AScriptBuiltSiteIsCopiedWholeWithTheSwitchOnAndAsReceivedWithItOff) {
  HttpTestServer site, foreign;
  foreign.Serve("/track.js", Answer{.body = "1"});
  site.Serve("/index.html", Html(ScriptBuiltCatalog(foreign.Port())));
  site.Serve("/data/catalog.json",
             Answer{.headers = {"Content-Type: application/json"},
                    .body = "{\"title\": \"Каталог из скрипта\", \"pages\": ["
                            "{\"href\": \"pages/one.html\", \"name\": \"Первая\"},"
                            "{\"href\": \"pages/two.html\", \"name\": \"Вторая\"}]}"});
  site.Serve("/pages/one.html", Html("<html><body>one</body></html>"));
  site.Serve("/pages/two.html", Html("<html><body>two</body></html>"));

  // Off (the default): the shell is saved as it came and nothing behind it is known.
  BatchRun r = Run(site.Url("/index.html"));
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(orvtest::ReadWholeFile(Local(site.Url("/index.html"))).find("Каталог из скрипта"), std::string::npos);
  EXPECT_EQ(site.Count("/pages/one.html"), 0u);
  EXPECT_EQ(site.Count("/data/catalog.json"), 0u);

  // On, for this run only, into a collection of its own.
  const std::string rendered = prog_.Root() + "rendered/";
  orv::WriteSetting("PFOLD", rendered);
  const auto began = std::chrono::steady_clock::now();
  r = RunAll({"--set", "RenderPages=True", "--set", "RenderQuietMs=500", site.Url("/index.html")});
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_LT(seconds, 60) << r.output;  // four small pages, each settled well before its maximum
  // The linked pages were fetched, and what the script loaded is saved with the site.
  EXPECT_TRUE(fs::exists(LocalIn(rendered, site.Url("/pages/one.html")))) << r.output;
  EXPECT_TRUE(fs::exists(LocalIn(rendered, site.Url("/pages/two.html")))) << r.output;
  EXPECT_TRUE(fs::exists(LocalIn(rendered, site.Url("/data/catalog.json")))) << r.output;
  // The saved page holds what the script wrote, with its links rewritten to the local copies,
  // and reads offline without running anything.
  const std::string page = orvtest::ReadWholeFile(LocalIn(rendered, site.Url("/index.html")));
  EXPECT_NE(page.find("<h1 id=\"title\">Каталог из скрипта</h1>"), std::string::npos) << page;
  EXPECT_NE(page.find("href=\"pages/one.html\">Первая</a>"), std::string::npos) << page;
  EXPECT_EQ(page.rfind("<!DOCTYPE html>", 0), 0u) << page;
  EXPECT_NE(page.find("charset=\"utf-8\""), std::string::npos) << page;
  // Its script ran once, in the rendering: kept as text, it cannot fill the list a second time.
  EXPECT_EQ(page.find("<script>"), std::string::npos) << page;
  EXPECT_NE(page.find("<script type=\"text/plain\">"), std::string::npos) << page;
  // The page came once (the renderer took the received body) and no other host was reached.
  EXPECT_EQ(site.Count("/index.html"), 2u);  // once per run
  EXPECT_EQ(foreign.Requests().size(), 0u);
  EXPECT_EQ(r.output.find("без выполнения скриптов"), std::string::npos) << r.output;
  // The switch was for that run only.
  EXPECT_EQ(orv::ReadSetting("RenderPages", "absent"), "absent");

  // A page complete in the collection is not rendered again: its script's data is not asked for.
  const std::size_t dataAsked = site.Count("/data/catalog.json");
  r = RunAll({"--set", "RenderPages=True", "--set", "RenderQuietMs=500", site.Url("/index.html")});
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(site.Count("/data/catalog.json"), dataAsked);
  EXPECT_EQ(orvtest::ReadWholeFile(LocalIn(rendered, site.Url("/index.html"))), page);
}

TEST_F(RenderRunTest, ThePagesScriptsSendTheCookiesOfTheRunsJar) {
  HttpTestServer site;
  // The page's data answers only with the session cookie of the run's jar.
  site.Serve("/index.html", Html("<html><body><p id=\"out\"></p><script>"
                                 "fetch('acc' + 'ount.json').then(r => r.ok ? r.json() : {who: 'refused'})"
                                 ".then(d => { document.getElementById('out').textContent = d.who; });"
                                 "</script></body></html>"));
  site.Serve("/account.json", Answer{.headers = {"Content-Type: application/json"},
                                     .body = "{\"who\": \"signed-in-reader\"}", .requiredCookie = "sid=s3cr3t"});
  const std::string cookies = prog_.Root() + "cookies.txt";
  orvtest::WriteWholeFile(cookies, "# Netscape HTTP Cookie File\n127.0.0.1\tFALSE\t/\tFALSE\t0\tsid\ts3cr3t\n");

  const BatchRun r = RunAll({"--set", "RenderPages=True", "--set", "RenderQuietMs=300", "--cookies", cookies,
                             site.Url("/index.html")});
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(orvtest::ReadWholeFile(Local(site.Url("/index.html"))).find("<p id=\"out\">signed-in-reader</p>"),
            std::string::npos);
}

TEST_F(RenderRunTest, APageThatHangsTheRendererIsSavedAsReceivedAndTheNextPageStillRenders) {
  HttpTestServer site;
  // A script that never ends: the document can never be read. Its plain link still counts.
  site.Serve("/index.html", Html("<html><body><a href=\"next.html\">next</a>"
                                 "<script>for (;;) {}</script></body></html>"));
  site.Serve("/next.html", Html("<html><body><script>const a = document.createElement('a');"
                                "a.href = 'made' + '.html'; a.textContent = 'made'; document.body.appendChild(a);"
                                "</script></body></html>"));
  site.Serve("/made.html", Html("<html><body>made by a script</body></html>"));

  const auto began = std::chrono::steady_clock::now();
  const BatchRun r = RunAll({"--set", "RenderPages=True", "--set", "RenderQuietMs=300", "--set", "RenderMaxMs=1000",
                             "--set", "intens=2", site.Url("/index.html")});
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  ASSERT_EQ(r.status, 0) << r.output;
  // The hung renderer was killed after the page's maximum and its grace, not left to hang.
  EXPECT_LT(seconds, 45) << r.output;
  EXPECT_NE(orvtest::ReadWholeFile(Local(site.Url("/index.html"))).find("for (;;) {}"), std::string::npos);
  EXPECT_NE(r.output.find("сохранено без выполнения скриптов 1"), std::string::npos) << r.output;
  // A renderer started anew rendered the next page: the link its script made was followed.
  EXPECT_TRUE(Saved(site.Url("/next.html"))) << r.output;
  EXPECT_TRUE(Saved(site.Url("/made.html"))) << r.output;
}

}  // namespace
