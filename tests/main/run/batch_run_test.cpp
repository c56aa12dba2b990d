// End-to-end runs: the real `orv --batch` and the real console download a loopback site
// into a private collection. Each test builds its own program, configuration and
// collection folders.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>

#include "common/local_path.h"
#include "common/text.h"
#include "main/scripts/script_model.h"
#include "platform/file_attributes.h"
#include "platform/process.h"
#include "platform/settings.h"
#include "tests/support/http_test_server.h"
#include "tests/support/program_folder.h"

namespace fs = std::filesystem;
using orvtest::Answer;
using orvtest::ChildProcess;
using orvtest::HttpTestServer;
using orvtest::ProgramFolder;

namespace {

Answer Html(std::string body) {
  Answer a;
  a.headers = {"Content-Type: text/html"};
  a.body = std::move(body);
  return a;
}

struct BatchRun {
  int status = -1;
  std::string output;
};

class BatchRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(fs::path(ORV_BIN_DIR) / "orv") || !fs::exists(fs::path(ORV_BIN_DIR) / "kuvet"))
      GTEST_SKIP() << "orv and kuvet are not built";
    // Localhost mode: the loopback site counts as on line without any network.
    orv::WriteSetting("MocConnect", "True");
    orv::WriteSetting("LanConnect", "False");
    orv::WriteSetting("PFOLD", prog_.Collection());
  }

  // Starts orv --batch; `during` runs while it works (it may interrupt it).
  BatchRun Run(const std::string& address, const std::function<void(ChildProcess&)>& during = {}) {
    const std::string out = prog_.Root() + "out.txt";
    ChildProcess child;
    const std::string cmd = "exec '" + prog_.Prog() + "orv' --batch '" + address + "' > '" + out + "' 2>&1";
    EXPECT_TRUE(child.Start("/bin/sh", {"-c", cmd}, prog_.Prog(),
                            {{"HOME", prog_.Root()},
                             {"XDG_CONFIG_HOME", prog_.Config()},
                             {"ASAN_OPTIONS", "detect_leaks=0"},
                             {"QT_QPA_PLATFORM", "offscreen"}}));
    if (during) during(child);
    BatchRun r;
    r.status = child.WaitExit(90000);
    r.output = orvtest::ReadWholeFile(out);
    return r;
  }

  std::string Local(const std::string& address) const {
    return orv::LocalNameOf(address, prog_.Collection()).path;
  }
  bool Saved(const std::string& address) const { return fs::exists(Local(address)); }

  // No console is left running: its single-instance lock is free.
  bool ConsoleGone() {
    auto lock = orv::SingleInstanceLock::AtPath(prog_.Exchange() + "kuvet.lock");
    return lock.Acquired();
  }

  std::vector<std::string> Script(int slot = 0) const {
    std::vector<std::string> list = orv::ReadScriptFile(orv::ScriptFileName(prog_.Collection(), slot));
    if (!list.empty()) list.erase(list.begin());
    return list;
  }

  // Every relative link of every saved page or style sheet names an existing local file,
  // except the local places of addresses the run did not fetch (given as local paths).
  std::vector<std::string> BrokenLocalLinks(const std::set<std::string>& notFetched = {}) const {
    std::vector<std::string> broken;
    const std::regex link(R"re((?:href|src)\s*=\s*"([^"]*)"|url\(\s*['"]?([^'")]+)['"]?\s*\))re",
                          std::regex::icase);
    for (const auto& e : fs::recursive_directory_iterator(prog_.Collection())) {
      if (!e.is_regular_file()) continue;
      const std::string ext = e.path().extension().string();
      if (ext != ".html" && ext != ".htm" && ext != ".css") continue;
      const std::string text = orvtest::ReadWholeFile(e.path());
      for (std::sregex_iterator it(text.begin(), text.end(), link), end; it != end; ++it) {
        std::string target = (*it)[1].matched ? (*it)[1].str() : (*it)[2].str();
        if (target.empty() || target.find(':') != std::string::npos || target[0] == '#') continue;
        target = target.substr(0, target.find('#'));
        fs::path p = e.path().parent_path() / target;
        if (!target.empty() && target.back() == '/') p /= "index.html";
        if (fs::exists(p)) continue;
        if (notFetched.count(fs::weakly_canonical(p).string()) != 0) continue;
        broken.push_back(e.path().string() + " -> " + target);
      }
    }
    return broken;
  }

  ProgramFolder prog_;
};

TEST_F(BatchRunTest, InvalidAddressStartsNothingAndFails) {
  const BatchRun r = Run("no-scheme-here");
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.output.find("Введен ошибочный адрес"), std::string::npos) << r.output;
  EXPECT_TRUE(ConsoleGone());
}

TEST_F(BatchRunTest, DownloadsAWholeSiteWithWorkingLocalLinks) {
  HttpTestServer site, other;
  other.Serve("/other.html", Html("<html>elsewhere</html>"));
  // A redirecting start page, with the usual body pointing at the new place.
  site.Serve("/", Answer{.status = 302,
                         .headers = {"Location: " + site.Url("/start/index.html"), "Content-Type: text/html"},
                         .body = "<html><body><a href=\"/start/index.html\">moved</a></body></html>"});
  site.Serve("/start/index.html",
             Html("<html><head><link rel=stylesheet href=\"style.css\"><script src=\"app.js\"></script></head>"
                  "<body><a href=\"../pages/one.html\">1</a> <a href=\"/pages/two/deep.html\">2</a>"
                  "<img src=\"img/logo.gif\"> <a href=\"frames.html\">f</a>"
                  "<a href=\"" + other.Url("/other.html") + "\">o</a> <a href=\"missing.html\">m</a>"
                  "<a href=\"files/big.zip\">big</a> <a href=\"files/cut.zip\">cut</a></body></html>"));
  site.Serve("/start/style.css", Answer{.headers = {"Content-Type: text/css"},
                                         .body = "body { background: url(img/bg.png) }"});
  site.Serve("/start/app.js", Answer{.body = "var a = 1;"});
  site.Serve("/start/img/logo.gif", Answer{.body = "GIF89a-logo"});
  site.Serve("/start/img/bg.png", Answer{.body = "PNG-bg"});
  site.Serve("/start/frames.html",
             Html("<html><frameset><frame src=\"../pages/framed.html\"></frameset></html>"));
  site.Serve("/pages/framed.html", Html("<html>framed <a href=\"one.html\">1</a></html>"));
  site.Serve("/pages/one.html", Html("<html><a href=\"two/deep.html\">deep</a><img src=\"../start/img/logo.gif\"></html>"));
  site.Serve("/pages/two/deep.html", Html("<html><a href=\"../one.html\">up</a></html>"));
  site.Serve("/start/files/big.zip", Answer{.generatedSize = 3 << 20});
  site.Serve("/start/files/cut.zip",
             std::vector<Answer>{Answer{.generatedSize = 300000, .acceptRanges = true, .truncateAfter = 100000},
                                 Answer{.generatedSize = 300000, .ranges = true, .acceptRanges = true}});

  const BatchRun r = Run(site.Url("/"));
  ASSERT_EQ(r.status, 0) << r.output;

  for (const char* path : {"/start/index.html", "/start/style.css", "/start/app.js", "/start/img/logo.gif",
                           "/start/img/bg.png", "/start/frames.html", "/pages/framed.html",
                           "/pages/one.html", "/pages/two/deep.html"})
    EXPECT_TRUE(Saved(site.Url(path))) << path << "\n" << r.output;
  EXPECT_EQ(fs::file_size(Local(site.Url("/start/files/big.zip"))), 3u << 20);
  // The truncated file was completed with a range request and left as a finished download.
  const std::string cut = Local(site.Url("/start/files/cut.zip"));
  ASSERT_TRUE(fs::exists(cut));
  EXPECT_EQ(orvtest::ReadWholeFile(cut), orvtest::PatternBody(300000));
  EXPECT_EQ(orv::GetFileAttributes(cut), 0);
  const auto cutRequests = site.Requests("/start/files/cut.zip");
  ASSERT_GE(cutRequests.size(), 2u);
  EXPECT_EQ(cutRequests[1].Header("range").value_or(""), "bytes=100000-");
  // The other host lies outside the site scope; the missing page is not saved.
  EXPECT_EQ(other.Requests().size(), 0u);
  EXPECT_FALSE(Saved(site.Url("/start/missing.html")));
  EXPECT_EQ(site.Count("/start/missing.html"), 1u);
  // Every file is fetched once (the redirect did not make the pages come twice).
  EXPECT_EQ(site.Count("/pages/one.html"), 1u);

  const std::set<std::string> notFetched{fs::weakly_canonical(Local(other.Url("/other.html"))).string(),
                                         fs::weakly_canonical(Local(site.Url("/start/missing.html"))).string()};
  const auto broken = BrokenLocalLinks(notFetched);
  EXPECT_TRUE(broken.empty()) << ::testing::PrintToString(broken);
  EXPECT_NE(r.output.find("panel 1: Готово"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("channel "), std::string::npos);
  EXPECT_TRUE(ConsoleGone());
}

}  // namespace
