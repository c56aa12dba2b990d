// End-to-end runs: the real `orv --batch` and the real console download a loopback site
// into a private collection. Each test builds its own program, configuration and
// collection folders.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <thread>

#include "common/fetch_outcome.h"
#include "common/local_path.h"
#include "common/string_list.h"
#include "common/text.h"
#include "main/scripts/script_model.h"
#include "platform/file_attributes.h"
#include "platform/process.h"
#include "platform/settings.h"
#include "tests/console/page/browser_link.h"
#include "tests/main/run/batch_run_fixture.h"

namespace fs = std::filesystem;
using orvtest::Answer;
using orvtest::BatchRun;
using orvtest::ChildProcess;
using orvtest::Html;
using orvtest::HttpTestServer;

namespace {

// Every file below folder (scripts and journals aside) with its bytes, by relative path.
std::map<std::string, std::string> CollectionFiles(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(folder)) {
    const std::string name = e.path().filename().string();
    if (!e.is_regular_file() || name.rfind("orvef", 0) == 0) continue;
    files[fs::relative(e.path(), folder).string()] = orvtest::ReadWholeFile(e.path());
  }
  return files;
}

class BatchRunTest : public orvtest::BatchRunFixture {
 protected:
  // The files one uninterrupted run of url leaves, in a collection of their own.
  std::map<std::string, std::string> ReferenceFiles(const std::string& url) {
    const std::string folder = prog_.Root() + "reference/";
    orv::WriteSetting("PFOLD", folder);
    const BatchRun r = Run(url);
    orv::WriteSetting("PFOLD", prog_.Collection());
    EXPECT_EQ(r.status, 0) << r.output;
    return CollectionFiles(folder);
  }

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
        target = orvtest::AsBrowserReadsIt(target.substr(0, target.find('#')));
        fs::path p = e.path().parent_path() / target;
        if (!target.empty() && target.back() == '/') p /= "index.html";
        if (fs::exists(p)) continue;
        if (notFetched.count(fs::weakly_canonical(p).string()) != 0) continue;
        broken.push_back(e.path().string() + " -> " + target);
      }
    }
    return broken;
  }
};

TEST_F(BatchRunTest, InvalidAddressStartsNothingAndFails) {
  const BatchRun r = Run("no-scheme-here");
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.output.find("Введен ошибочный адрес"), std::string::npos) << r.output;
  EXPECT_TRUE(ConsoleGone());
}

// The summary line and the exit status say how each run went: a fetched site, the same site
// again (all there already), a start address nobody answers.
TEST_F(BatchRunTest, SummaryAndExitStatusTellHowTheRunWent) {
  HttpTestServer site;
  site.Serve("/index.html", Html("<html><a href=\"a.html\">a</a><a href=\"gone.html\">g</a></html>"));
  site.Serve("/a.html", Html("<html>a</html>"));
  BatchRun r = Run(site.Url("/index.html"));
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("Итог: сохранено файлов 2 ("), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("не найдено 1,"), std::string::npos) << r.output;

  r = Run(site.Url("/index.html"));
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("сохранено файлов 0 (0 байт)"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("пропущено как уже полные 1,"), std::string::npos) << r.output;

  std::string closed;
  {
    HttpTestServer gone;
    closed = gone.Url("/index.html");
  }
  r = Run(closed);
  EXPECT_EQ(r.status, 5) << r.output;
  EXPECT_NE(r.output.find("отказ соединения 1,"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("orv: the start address could not be fetched"), std::string::npos) << r.output;
  EXPECT_TRUE(ConsoleGone());
}

// A body the disk cannot take (files limited to 256 kB for orv and the console it starts) is one
// failure in the summary, fetched once, whatever ways the console has to say so.
TEST_F(BatchRunTest, AFailedBodyWriteCountsAsOneFailure) {
  HttpTestServer site;
  site.Serve("/index.html", Html("<html><img src=\"big.gif\"><img src=\"small.gif\"></html>"));
  site.Serve("/big.gif", Answer{.headers = {"Content-Type: image/gif"}, .generatedSize = 400000});
  site.Serve("/small.gif", Answer{.headers = {"Content-Type: image/gif"}, .body = "GIF89a"});
  shellPrefix_ = "ulimit -f " + std::to_string(256 * 1024 / 512) + " && trap '' XFSZ && ";
  const BatchRun r = Run(site.Url("/index.html"));
  EXPECT_NE(r.output.find("Итог: сохранено файлов 2 ("), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("ошибок 1 ("), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("прочие 1)"), std::string::npos) << r.output;
  EXPECT_EQ(site.Count("/big.gif"), 1u);
  EXPECT_FALSE(Saved(site.Url("/big.gif")));
  // The start page was fetched, but the collection could not take a file: that is no success.
  EXPECT_EQ(r.status, 6) << r.output;
  EXPECT_NE(r.output.find("1 file(s) could not be written into the collection folder"), std::string::npos)
      << r.output;
}

// Namespaces of their own (mounts, network) need privileges a test machine may not grant.
bool CanUnshare(const std::string& flags) {
  return std::system(("unshare " + flags + " true >/dev/null 2>&1").c_str()) == 0;
}

TEST_F(BatchRunTest, UnwritableCollectionEndsAtOnceWithItsOwnStatus) {
  // A folder below a plain file can never be made, not even by root.
  const std::string file = prog_.Root() + "plain-file";
  orvtest::WriteWholeFile(file, "x");
  orv::WriteSetting("PFOLD", file + "/coll/");
  const BatchRun r = Run("http://127.0.0.1:9/");
  EXPECT_EQ(r.status, 6) << r.output;
  EXPECT_NE(r.output.find("cannot be written"), std::string::npos) << r.output;
}

// A collection on a read-only file system (root may write anywhere else) ends at once; one that
// fills up during the run ends with the same status although the start page was saved.
TEST_F(BatchRunTest, ReadOnlyOrFullCollectionEndsWithItsOwnStatus) {
  if (!CanUnshare("-m")) GTEST_SKIP() << "no mount namespace here";
  HttpTestServer site;
  site.Serve("/index.html", Html("<html><a href=\"big.bin\">big</a></html>"));
  site.Serve("/big.bin", Answer{.generatedSize = 2 << 20});
  const std::string coll = "'" + prog_.Collection() + "'";

  BatchRun r = RunWrapped("-m", {site.Url("/index.html")}, {},
                          "mount --bind " + coll + " " + coll + "\nmount -o remount,bind,ro " + coll);
  EXPECT_EQ(r.status, 6) << r.output;
  EXPECT_NE(r.output.find("cannot be written"), std::string::npos) << r.output;
  EXPECT_EQ(site.Count("/index.html"), 0u);

  r = RunWrapped("-m", {site.Url("/index.html")}, {}, "mount -t tmpfs -o size=512k tmpfs " + coll);
  EXPECT_EQ(r.status, 6) << r.output;
  EXPECT_NE(r.output.find("could not be written into the collection folder"), std::string::npos) << r.output;
  EXPECT_EQ(site.Count("/index.html"), 1u);
  EXPECT_GE(site.Count("/big.bin"), 1u);
  EXPECT_TRUE(ConsoleGone());
}

// A file the console cannot write ends the batch with the collection's status and counts as no
// saved file: a read-only folder inside the site copy, and a refresh into a read-only site folder,
// which leaves the copies there as they were.
TEST_F(BatchRunTest, FilesTheConsoleCannotWriteAreFailuresOfTheCollection) {
  if (!CanUnshare("-m")) GTEST_SKIP() << "no mount namespace here";
  HttpTestServer site;
  const std::string index = "<html><img src=\"ro/a.gif\"><img src=\"ro/b.gif\"><a href=\"p.html\">p</a></html>";
  site.Serve("/index.html", Html(index));
  site.Serve("/p.html", Html("<html>p</html>"));
  for (const char* gif : {"/ro/a.gif", "/ro/b.gif"})
    site.Serve(gif, Answer{.headers = {"Content-Type: image/gif"}, .body = "GIF89a"});
  const auto readOnly = [](const fs::path& folder) {
    fs::create_directories(folder);
    const std::string q = "'" + folder.string() + "'";
    return "mount --bind " + q + " " + q + "\nmount -o remount,bind,ro " + q;
  };

  BatchRun r = RunWrapped("-m", {site.Url("/index.html")}, {}, readOnly(fs::path(Local(site.Url("/ro/a.gif"))).parent_path()));
  EXPECT_EQ(r.status, 6) << r.output;
  EXPECT_NE(r.output.find("orv: 2 file(s) could not be written into the collection folder"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("Итог: сохранено файлов 2 ("), std::string::npos) << r.output;
  EXPECT_FALSE(Saved(site.Url("/ro/a.gif")));
  ASSERT_TRUE(Saved(site.Url("/p.html")));

  // Two days old: a refresh fetches the start page again.
  const std::string start = Local(site.Url("/index.html"));
  const std::string saved = orvtest::ReadWholeFile(start);
  fs::last_write_time(start, fs::file_time_type::clock::now() - std::chrono::hours(48));
  r = RunWrapped("-m", {"--set", "p_refresh=True", site.Url("/index.html")}, {}, readOnly(fs::path(start).parent_path()));
  EXPECT_EQ(r.status, 6) << r.output;
  EXPECT_NE(r.output.find("Итог: сохранено файлов 0 ("), std::string::npos) << r.output;
  EXPECT_EQ(site.Count("/index.html"), 2u) << "the complete start page was fetched again";
  bool unwritten = false;
  for (const orv::OutcomeRecord& o : orv::ReadOutcomes(prog_.Exchange()))
    unwritten = unwritten || (o.address == site.Url("/index.html") && o.outcome == orv::FetchOutcome::Unwritten);
  EXPECT_TRUE(unwritten) << "the refresh counts as a file that could not be written";
  EXPECT_EQ(orvtest::ReadWholeFile(start), saved);
  EXPECT_EQ(orv::GetFileAttributes(start), 0);
  EXPECT_TRUE(ConsoleGone());
}

// A password in the start address is used, but never becomes a folder name, and what the run
// leaves in the exchange folder (records, lists, outcome log, timelines) is the owner's alone.
TEST_F(BatchRunTest, APasswordInTheAddressStaysOutOfFolderNamesAndOtherUsersReach) {
  HttpTestServer site;
  site.Serve("/index.html", Html("<html><a href=\"b.html\">b</a></html>"));
  site.Serve("/b.html", Html("<html>b</html>"));
  extraEnv_["ORV_TIMELINE"] = "1";
  const BatchRun r = Run("http://user:secret@" + site.HostPort() + "/index.html");
  EXPECT_EQ(r.status, 0) << r.output;
  ASSERT_EQ(site.Count("/index.html"), 1u);
  EXPECT_EQ(site.Requests("/index.html")[0].Header("Authorization").value_or(""), "Basic dXNlcjpzZWNyZXQ=");
  EXPECT_TRUE(Saved(site.Url("/index.html")));
  EXPECT_TRUE(Saved(site.Url("/b.html")));
  for (const auto& e : fs::recursive_directory_iterator(prog_.Collection()))
    EXPECT_EQ(e.path().string().find("secret"), std::string::npos) << e.path();

  const auto othersMay = [](const fs::path& p) {
    return (fs::status(p).permissions() & (fs::perms::group_all | fs::perms::others_all)) != fs::perms::none;
  };
  EXPECT_FALSE(othersMay(prog_.Exchange()));
  std::set<std::string> seen;
  for (const auto& e : fs::directory_iterator(prog_.Exchange())) {
    seen.insert(e.path().filename().string());
    EXPECT_FALSE(othersMay(e.path())) << e.path();
  }
  for (const char* name : {"orvext", "orvint", "orvurl", "timeline-orv", "timeline-kuvet"})
    EXPECT_EQ(seen.count(name), 1u) << name;
}

// A settings file of random bytes is set aside and the user is told, once; the run goes on with
// the defaults (and the values given for it) instead of silently.
TEST_F(BatchRunTest, ASettingsFileThatCannotBeReadIsSetAsideAndSaid) {
  HttpTestServer site;
  site.Serve("/index.html", Html("<html>x</html>"));
  std::string noise(600, '\0');
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>((i * 151 + 7) % 256);
  orvtest::WriteWholeFile(orv::SettingsFilePath(), noise);
  const std::vector<std::string> args = {"--set", "MocConnect=True", "--set", "LanConnect=False",
                                         "--set", "PFOLD=" + prog_.Collection(), site.Url("/index.html")};
  BatchRun r = RunWrapped("", args);
  EXPECT_EQ(r.status, 0) << r.output;
  const std::string told = "Файл настроек " + orv::SettingsFilePath() + " не читается. Он сохранен как " +
                           orv::SettingsFilePath() + ".unreadable";
  EXPECT_NE(r.output.find(told), std::string::npos) << r.output;
  EXPECT_EQ(orvtest::ReadWholeFile(orv::SettingsFilePath() + ".unreadable"), noise);
  r = RunWrapped("", args);
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(r.output.find("Файл настроек"), std::string::npos) << "told once: " << r.output;
}

// Nothing starts, and the batch says why: another orv holds this program folder; the machine
// is off line (a network namespace of its own has no route) in the LAN connection mode.
TEST_F(BatchRunTest, NothingStartedSaysWhy) {
  {
    auto held = orv::SingleInstanceLock::AtPath(prog_.Exchange() + "orv.lock");
    ASSERT_TRUE(held.Acquired());
    const BatchRun r = Run("http://127.0.0.1:9/");
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("another orv is running"), std::string::npos) << r.output;
  }
  {
    // A start address longer than the console's mailbox holds could never be handed out.
    const auto before = std::chrono::steady_clock::now();
    const BatchRun r = Run("http://127.0.0.1:9/" + std::string(1010, 'x'));
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("Адрес слишком длинный"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("orv: the start address is longer than 1022 characters"), std::string::npos) << r.output;
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(20));
  }
  if (!CanUnshare("-n")) GTEST_SKIP() << "no network namespace here";
  orv::WriteSetting("MocConnect", "False");
  orv::WriteSetting("LanConnect", "True");
  const BatchRun r = RunWrapped("-n", {"http://example.org/"});
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_NE(r.output.find("not on line"), std::string::npos) << r.output;
  EXPECT_TRUE(ConsoleGone());
}

// A redirecting start page counts as fetched only when the page the redirects lead to was
// fetched, or was complete in the collection already.
TEST_F(BatchRunTest, RedirectedStartAddressIsFetchedOnlyWithItsTarget) {
  HttpTestServer site;
  const auto redirect = [&](const std::string& to) {
    return Answer{.status = 302, .headers = {"Location: " + site.Url(to), "Content-Type: text/html"},
                  .body = "<html>moved</html>"};
  };
  site.Serve("/to-missing.html", redirect("/missing.html"));
  site.Serve("/twice.html", redirect("/moved.html"));
  site.Serve("/moved.html", redirect("/final/gone.html"));
  site.Serve("/to-page.html", redirect("/final/page.html"));
  site.Serve("/final/page.html", Html("<html>here</html>"));

  BatchRun r = Run(site.Url("/to-missing.html"));
  EXPECT_EQ(r.status, 5) << r.output;
  EXPECT_NE(r.output.find("the start address could not be fetched"), std::string::npos) << r.output;
  EXPECT_EQ(site.Count("/missing.html"), 1u);

  r = Run(site.Url("/twice.html"));
  EXPECT_EQ(r.status, 5) << r.output;
  EXPECT_EQ(site.Count("/final/gone.html"), 1u);

  r = Run(site.Url("/to-page.html"));
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(Saved(site.Url("/final/page.html")));
  r = Run(site.Url("/to-page.html"));
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("пропущено как уже полные 1,"), std::string::npos) << r.output;
  EXPECT_EQ(site.Count("/final/page.html"), 1u);
}

TEST_F(BatchRunTest, OneRunSettingsReachTheConsoleAndAreNotStored) {
  HttpTestServer site;
  site.Serve("/index.html", Html("<html>one</html>"));
  const std::string elsewhere = prog_.Root() + "elsewhere/";
  const BatchRun r = RunAll({"--set", "PFOLD=" + elsewhere, site.Url("/index.html")});
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(fs::exists(orv::LocalNameOf(site.Url("/index.html"), elsewhere).path)) << r.output;
  EXPECT_FALSE(Saved(site.Url("/index.html")));
  EXPECT_EQ(orv::ReadSetting("PFOLD", ""), prog_.Collection());
}

TEST_F(BatchRunTest, HelpAndVersionNeedNoDisplay) {
  for (const char* arg : {"--help", "--version"}) {
    const std::string out = prog_.Root() + "help.txt";
    ChildProcess child;
    ASSERT_TRUE(child.Start("/bin/sh",
                            {"-c", "exec env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '" + prog_.Prog() +
                                       "orv' " + arg + " > '" + out + "' 2>&1"},
                            prog_.Prog(), {{"HOME", prog_.Root()}, {"XDG_CONFIG_HOME", prog_.Config()}}));
    EXPECT_EQ(child.WaitExit(30000), 0) << arg;
    EXPECT_NE(orvtest::ReadWholeFile(out).find(std::string(arg) == "--help" ? "--batch" : "Orvanta"),
              std::string::npos)
        << arg;
  }
}

// A display named but not there (no server behind it) is told like no display at all, not a
// crash of the window system's plugin.
TEST_F(BatchRunTest, ADisplayWithNothingBehindItIsToldLikeNone) {
  int n = 55;
  while (fs::exists("/tmp/.X11-unix/X" + std::to_string(n))) ++n;
  const std::string out = prog_.Root() + "window.txt";
  for (const std::string& display : {"DISPLAY=:" + std::to_string(n), std::string("-u DISPLAY")}) {
    ChildProcess child;
    ASSERT_TRUE(child.Start("/bin/sh",
                            {"-c", "exec env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + display + " '" +
                                       prog_.Prog() + "orv' > '" + out + "' 2>&1"},
                            prog_.Prog(), {{"HOME", prog_.Root()}, {"XDG_CONFIG_HOME", prog_.Config()}}));
    EXPECT_EQ(child.WaitExit(30000), 2) << display;
    EXPECT_EQ(orvtest::ReadWholeFile(out), "orv: no display to open the window on; use orv --batch ADDRESS\n") << display;
  }
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

// At "Низкая" the channels take an address every 4 s: a file cut short goes back to its retry slot
// for that long, and the run is not over while it waits there.
TEST_F(BatchRunTest, AFileWaitingForItsRetryKeepsASlowRunGoing) {
  HttpTestServer site;
  site.Serve("/index.html", Html("<html><body><a href=\"cut.zip\">cut</a></body></html>"));
  site.Serve("/cut.zip", std::vector<Answer>{Answer{.generatedSize = 300000, .acceptRanges = true, .truncateAfter = 100000},
                                             Answer{.generatedSize = 300000, .ranges = true, .acceptRanges = true}});
  const BatchRun r = RunAll({"--set", "intens=2", site.Url("/index.html")});
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(site.Count("/cut.zip"), 2u) << r.output;
  EXPECT_TRUE(orvtest::ReadWholeFile(Local(site.Url("/cut.zip"))) == orvtest::PatternBody(300000));
}

// A page links one Cyrillic name percent-encoded and raw, and a style sheet and an image with a
// query: one request and one readable file per name, and names a browser types by their ending.
TEST_F(BatchRunTest, OneFilePerNameUnderItsReadableNameAndEndingsThatTypeTheFile) {
  HttpTestServer site;
  const std::string raw = "страница.html";
  const std::string encoded = "%D1%81%D1%82%D1%80%D0%B0%D0%BD%D0%B8%D1%86%D0%B0.html";
  site.Serve("/index.html", Html("<html><head><link rel=stylesheet href=\"theme.css?v=2\"></head><body>"
                                 "<a href=\"" + encoded + "\">1</a> <a href=\"" + raw + "\">2</a></body></html>"));
  site.Serve("/" + encoded, Html("<html><a href=\"index.html\">back</a></html>"));
  site.Serve("/theme.css?v=2", Answer{.headers = {"Content-Type: text/css"},
                                      .body = "body{background:url(bg.png?1)}"});
  site.Serve("/bg.png?1", Answer{.body = "PNG"});

  const BatchRun r = Run(site.Url("/index.html"));
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(site.Count("/" + encoded), 1u);
  EXPECT_EQ(site.Count("/theme.css?v=2"), 1u);
  EXPECT_EQ(site.Count("/bg.png?1"), 1u);
  const fs::path folder = fs::path(Local(site.Url("/index.html"))).parent_path();
  EXPECT_TRUE(fs::is_regular_file(folder / raw));
  EXPECT_FALSE(fs::exists(folder / encoded));
  EXPECT_TRUE(fs::is_regular_file(folder / "theme.css,8,,x23Fv=2.css"));
  EXPECT_TRUE(fs::is_regular_file(folder / "bg.png,8,,x23F1.png"));
  const auto broken = BrokenLocalLinks();
  EXPECT_TRUE(broken.empty()) << ::testing::PrintToString(broken);
}

// A site of pages in two folders, for the scope and depth cases.
void ServeFolderSite(HttpTestServer& site, HttpTestServer& other) {
  other.Serve("/far.html", Html("<html>far</html>"));
  site.Serve("/docs/index.html",
             Html("<html><a href=\"a.html\">a</a> <a href=\"sub/c.html\">c</a> <a href=\"/other/b.html\">b</a>"
                  " <a href=\"" + other.Url("/far.html") + "\">far</a></html>"));
  site.Serve("/docs/a.html", Html("<html>a</html>"));
  site.Serve("/docs/sub/c.html", Html("<html>c</html>"));
  site.Serve("/other/b.html", Html("<html>b</html>"));
}

void SetZoneForAll(const std::string& zone) {
  for (int c = 1; c <= 8; ++c) orv::WriteSetting("k" + std::to_string(c) + "Zone", orv::Ru(zone));
}

TEST_F(BatchRunTest, FolderScopeAndDepthLimit) {
  HttpTestServer site, other;
  ServeFolderSite(site, other);
  SetZoneForAll("Папка");
  orv::WriteSetting("c3pc_urovn", "True");
  orv::WriteSetting("t3pc_urovn", "2");
  const BatchRun r = Run(site.Url("/docs/index.html"));
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(Saved(site.Url("/docs/a.html")));
  EXPECT_EQ(site.Count("/docs/sub/c.html"), 0u) << "depth 3 is deeper than the limit 2";
  EXPECT_EQ(site.Count("/other/b.html"), 0u) << "outside the start folder";
  EXPECT_EQ(other.Requests().size(), 0u);
  EXPECT_TRUE(ConsoleGone());
}

TEST_F(BatchRunTest, SiteScopeTakesOtherFoldersAndNetworkScopeOtherHosts) {
  HttpTestServer site, other;
  ServeFolderSite(site, other);
  SetZoneForAll("Сеть");
  const BatchRun r = Run(site.Url("/docs/index.html"));
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(Saved(site.Url("/docs/sub/c.html")));
  EXPECT_TRUE(Saved(site.Url("/other/b.html")));
  EXPECT_TRUE(Saved(other.Url("/far.html")));
}

// Forty pages of 4 KB behind one index page.
void ServeManyPages(HttpTestServer& site, int pages) {
  std::string index = "<html>";
  for (int i = 1; i <= pages; ++i) {
    index += "<a href=\"p" + std::to_string(i) + ".html\">" + std::to_string(i) + "</a> ";
    site.Serve("/p" + std::to_string(i) + ".html", Html("<html>" + std::string(4096, 'x') + "</html>"));
  }
  site.Serve("/index.html", Html(index + "</html>"));
}

int SavedPages(const BatchRunTest*, const std::function<bool(int)>& saved, int pages) {
  int n = 0;
  for (int i = 1; i <= pages; ++i) n += saved(i) ? 1 : 0;
  return n;
}

TEST_F(BatchRunTest, AddressLimitStopsTheRun) {
  HttpTestServer site;
  ServeManyPages(site, 40);
  orv::WriteSetting("c3pc_ssilk", "True");
  orv::WriteSetting("t3pc_ssilk", "2");
  const BatchRun r = Run(site.Url("/index.html"));
  ASSERT_EQ(r.status, 0) << r.output;
  const int saved = SavedPages(this, [&](int i) { return Saved(site.Url("/p" + std::to_string(i) + ".html")); }, 40);
  EXPECT_LT(saved, 12) << r.output;
  EXPECT_NE(r.output.find("panel 1: Готово"), std::string::npos);
  EXPECT_TRUE(ConsoleGone());
}

TEST_F(BatchRunTest, VolumeLimitStopsTheRun) {
  HttpTestServer site;
  ServeManyPages(site, 40);
  orv::WriteSetting("c3pc_values", "True");
  orv::WriteSetting("t3pc_values", "8");
  const BatchRun r = Run(site.Url("/index.html"));
  ASSERT_EQ(r.status, 0) << r.output;
  const int saved = SavedPages(this, [&](int i) { return Saved(site.Url("/p" + std::to_string(i) + ".html")); }, 40);
  EXPECT_GE(saved, 1);
  EXPECT_LT(saved, 25) << r.output;
  EXPECT_TRUE(ConsoleGone());
}

void ServeMixedSite(HttpTestServer& site) {
  site.Serve("/index.html", Html("<html><a href=\"p1.html\">1</a><a href=\"p2.html\">2</a><a href=\"p3.html\">3</a>"
                                 "<img src=\"i1.gif\"><img src=\"i2.gif\"></html>"));
  for (const char* p : {"/p1.html", "/p2.html", "/p3.html"}) site.Serve(p, Html("<html>page</html>"));
  for (const char* p : {"/i1.gif", "/i2.gif"}) site.Serve(p, Answer{.body = "GIF89a"});
}

// Position of the first request whose target ends with the suffix, in arrival order.
size_t FirstRequest(const HttpTestServer& site, const std::string& suffix) {
  const auto all = site.Requests();
  for (size_t i = 0; i < all.size(); ++i)
    if (all[i].target.size() >= suffix.size() &&
        all[i].target.compare(all[i].target.size() - suffix.size(), suffix.size(), suffix) == 0)
      return i;
  return all.size();
}

TEST_F(BatchRunTest, MediaFirstHandsOutImagesBeforeThePagesAboveThem) {
  HttpTestServer site;
  ServeMixedSite(site);
  orv::WriteSetting("p_media", "True");
  const BatchRun r = Run(site.Url("/index.html"));
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_LT(FirstRequest(site, ".gif"), FirstRequest(site, "p1.html"));
  // Handed out once only: the sequential pass skips what the media pass took.
  EXPECT_EQ(site.Count("/i1.gif"), 1u);
  EXPECT_EQ(site.Count("/i2.gif"), 1u);
}

TEST_F(BatchRunTest, WithoutMediaFirstThePagesComeInListOrder) {
  HttpTestServer site;
  ServeMixedSite(site);
  orv::WriteSetting("p_media", "False");
  const BatchRun r = Run(site.Url("/index.html"));
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_LT(FirstRequest(site, "p3.html"), FirstRequest(site, ".gif"));
}

bool Contains(const std::vector<std::string>& list, const std::string& s) {
  return std::find(list.begin(), list.end(), s) != list.end();
}

class ModeRun : public BatchRunTest {
 protected:
  BatchRun RunInMode(int mode) {
    ServeMixedSite(site);
    site.Serve("/extra.html", Html("<html>extra</html>"));
    orv::WriteSetting("scrmode", std::to_string(mode));
    orv::WriteSetting("p_media", "False");
    // The script already holds one address besides the pages the run will find.
    ASSERT_TRUE_OR(orv::WriteScriptFile(orv::ScriptFileName(prog_.Collection(), 0),
                                        {"", site.Url("/extra.html")}));
    return Run(site.Url("/index.html"));
  }
  static bool ASSERT_TRUE_OR(bool ok) {
    EXPECT_TRUE(ok);
    return ok;
  }
  HttpTestServer site;
};

TEST_F(ModeRun, NormalModeMergesAndDropsDownloadedAddresses) {
  const BatchRun r = RunInMode(0);
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(Saved(site.Url("/p2.html")));
  EXPECT_TRUE(Saved(site.Url("/extra.html")));
  const auto script = Script();
  EXPECT_FALSE(Contains(script, site.Url("/p2.html"))) << ::testing::PrintToString(script);
}

TEST_F(ModeRun, ExtendableModeKeepsDownloadedAddresses) {
  const BatchRun r = RunInMode(1);
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(Saved(site.Url("/p2.html")));
  const auto script = Script();
  EXPECT_TRUE(Contains(script, site.Url("/p2.html"))) << ::testing::PrintToString(script);
  EXPECT_TRUE(Contains(script, site.Url("/extra.html")));
}

TEST_F(ModeRun, NotExtendableModeAddsNothing) {
  const BatchRun r = RunInMode(2);
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(Saved(site.Url("/extra.html")));
  EXPECT_EQ(site.Count("/p1.html"), 0u) << "found links are not merged";
  EXPECT_FALSE(Contains(Script(), site.Url("/p1.html")));
}

TEST_F(ModeRun, UnchangeableModeNeitherAddsNorDropsAddresses) {
  const BatchRun r = RunInMode(3);
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(site.Count("/p1.html"), 0u) << "found links are not merged";
  EXPECT_TRUE(Saved(site.Url("/extra.html")));
  const auto script = Script();
  EXPECT_TRUE(Contains(script, site.Url("/extra.html"))) << "downloaded addresses stay";
  EXPECT_FALSE(Contains(script, site.Url("/p1.html")));
}

TEST_F(BatchRunTest, StoppedRunIsResumedWithARangeRequest) {
  HttpTestServer site;
  constexpr int64_t kSize = 2000000;
  site.Serve("/index.html", Html("<html><a href=\"big.zip\">big</a></html>"));
  site.Serve("/big.zip",
             std::vector<Answer>{Answer{.generatedSize = kSize, .acceptRanges = true, .stallAfter = 600000},
                                 Answer{.generatedSize = kSize, .ranges = true, .acceptRanges = true}});
  const std::string big = Local(site.Url("/big.zip"));
  const BatchRun first = Run(site.Url("/index.html"), [&](ChildProcess& child) {
    ASSERT_TRUE(site.WaitForCount("/big.zip", 1, 30000));
    for (int i = 0; i < 100 && (!fs::exists(big) || fs::file_size(big) < 600000); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ::kill(child.Pid(), SIGINT);
  });
  ASSERT_EQ(first.status, 0) << first.output;
  EXPECT_NE(first.output.find("stopping"), std::string::npos);
  EXPECT_NE(first.output.find("Итог: сохранено файлов 1 ("), std::string::npos)
      << "the file the stop cut is not counted as saved\n" << first.output;
  EXPECT_NE(first.output.find("прервано остановкой 1"), std::string::npos) << first.output;
  ASSERT_TRUE(fs::exists(big));
  EXPECT_LT(fs::file_size(big), static_cast<uintmax_t>(kSize));
  EXPECT_NE(orv::GetFileAttributes(big) & orv::kAttrSystem, 0) << "a partial download keeps its mark";
  EXPECT_TRUE(ConsoleGone());

  const BatchRun second = Run(site.Url("/index.html"));
  ASSERT_EQ(second.status, 0) << second.output;
  const auto requests = site.Requests("/big.zip");
  ASSERT_EQ(requests.size(), 2u);
  const std::string range = requests[1].Header("range").value_or("");
  EXPECT_EQ(range.rfind("bytes=", 0), 0u) << range;
  EXPECT_GT(std::stoll(range.substr(6)), 0);
  EXPECT_EQ(orvtest::ReadWholeFile(big), orvtest::PatternBody(kSize));
  EXPECT_EQ(orv::GetFileAttributes(big), 0);
}

// A site of pages two levels deep and a large file that comes slowly: a run of it lasts long
// enough to be cut in the middle.
void ServeDeepSite(HttpTestServer& site) {
  std::string index = "<html><a href=\"slow.bin\">slow</a>";
  for (int i = 0; i < 20; ++i) index += " <a href=\"p" + std::to_string(i) + ".html\">p</a>";
  site.Serve("/index.html", Html(index + "</html>"));
  for (int i = 0; i < 20; ++i) {
    const std::string n = std::to_string(i);
    site.Serve("/p" + n + ".html", Html("<html><a href=\"sub/q" + n + ".html\">q</a> page " + n + "</html>"));
    site.Serve("/sub/q" + n + ".html", Html("<html>leaf " + n + " <a href=\"../p0.html\">top</a></html>"));
  }
  site.Serve("/slow.bin", Answer{.generatedSize = 2 << 20, .ranges = true, .acceptRanges = true,
                                 .chunkDelayMs = 100, .chunkSize = 64 * 1024});
}

// kill -9 of orv in the middle of a run: the console it leaves ends itself within seconds, and
// the next run goes on from the run's journal and the pages already saved, resumes the file
// left partial and leaves the collection exactly as one uninterrupted run does.
TEST_F(BatchRunTest, RerunAfterTheMainProgramWasKilledCompletesTheSite) {
  HttpTestServer site;
  ServeDeepSite(site);
  const std::string url = site.Url("/index.html");
  const auto reference = ReferenceFiles(url);
  ASSERT_GE(reference.size(), 42u) << "the index, 40 pages and the large file";

  const std::string slow = Local(site.Url("/slow.bin"));
  const BatchRun killed = Run(url, [&](ChildProcess& child) {
    for (int i = 0; i < 400 && !(Saved(site.Url("/p3.html")) && fs::exists(slow) && fs::file_size(slow) > 0); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    ::kill(child.Pid(), SIGKILL);
  });
  EXPECT_EQ(killed.status, -1) << killed.output;
  for (int i = 0; i < 100 && !ConsoleGone(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_TRUE(ConsoleGone()) << "the orphaned console still runs 10 s after its main program died";
  ASSERT_LT(CollectionFiles(prog_.Collection()).size(), reference.size()) << "the kill came too late to cut the run";
  EXPECT_TRUE(fs::exists(prog_.Collection() + "orvef0.journal"));

  const BatchRun rerun = Run(url);
  EXPECT_EQ(rerun.status, 0) << rerun.output;
  EXPECT_TRUE(CollectionFiles(prog_.Collection()) == reference) << rerun.output;
  const auto requests = site.Requests("/slow.bin");
  ASSERT_GE(requests.size(), 3u);
  EXPECT_EQ(requests.back().Header("range").value_or("").rfind("bytes=", 0), 0u) << "the partial file is resumed";
  EXPECT_FALSE(fs::exists(prog_.Collection() + "orvef0.journal")) << "the finished run was written back";
}

// The collection fills up during a run: files and the script cannot be written, and the batch
// says so (exit 6) instead of ending well. Once space is freed, the next run finishes the site
// from the journal and the saved pages.
TEST_F(BatchRunTest, FullDiskIsReportedAndTheRunAfterFreeingSpaceFinishesTheSite) {
  if (!CanUnshare("-m")) GTEST_SKIP() << "no mount namespace here (a small file system is mounted for the collection)";
  HttpTestServer site;
  ServeDeepSite(site);
  const std::string url = site.Url("/index.html");
  const auto reference = ReferenceFiles(url);
  const std::string coll = prog_.Collection();
  const std::string p9 = Local(site.Url("/p9.html"));
  const std::string keep = prog_.Root() + "kept/";
  fs::create_directories(keep);
  // In a mount namespace of its own: a small file system for the collection, filled up while
  // the first run fetches the large file; freed; the second run; the collection is copied out.
  const std::string orv = "'" + prog_.Prog() + "orv' --batch '" + url + "'";
  const std::string script =
      "mount -t tmpfs -o size=8m tmpfs '" + coll + "'\n"
      "( for i in $(seq 400); do [ -e '" + p9 + "' ] && break; sleep 0.05; done;"
      " head -c 16m /dev/zero > '" + coll + "filler' 2>/dev/null ) &\n"
      + orv + " > '" + prog_.Root() + "out1.txt' 2>&1; echo $? > '" + prog_.Root() + "status1'\n"
      "wait\nrm -f '" + coll + "filler'\n"
      + orv + " > '" + prog_.Root() + "out2.txt' 2>&1; echo $? > '" + prog_.Root() + "status2'\n"
      "cp -a '" + coll + ".' '" + keep + "'\n";
  orvtest::WriteWholeFile(prog_.Root() + "full.sh", script);
  ChildProcess child;
  ASSERT_TRUE(child.Start("/bin/sh", {"-c", "exec unshare -m sh '" + prog_.Root() + "full.sh'"}, prog_.Prog(),
                          {{"HOME", prog_.Root()}, {"XDG_CONFIG_HOME", prog_.Config()},
                           {"ASAN_OPTIONS", "detect_leaks=0"}, {"QT_QPA_PLATFORM", "offscreen"}}));
  ASSERT_EQ(child.WaitExit(180000), 0);
  const std::string out1 = orvtest::ReadWholeFile(prog_.Root() + "out1.txt");
  const std::string out2 = orvtest::ReadWholeFile(prog_.Root() + "out2.txt");
  EXPECT_EQ(orvtest::ReadWholeFile(prog_.Root() + "status1"), "6\n") << out1;
  EXPECT_NE(out1.find("Сценарий не удалось записать"), std::string::npos) << out1;
  EXPECT_NE(out1.find("orv: the script could not be written back"), std::string::npos) << out1;
  EXPECT_EQ(orvtest::ReadWholeFile(prog_.Root() + "status2"), "0\n") << out2;
  EXPECT_TRUE(CollectionFiles(keep) == reference) << out1 << out2;
}

size_t Occurrences(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// A second run in the same program session starts from a clean state: its start page may
// redirect again, its links are fed, and it ends with the console gone like the first.
TEST_F(BatchRunTest, TwoRunsInARowFromOneProgramBothDownload) {
  HttpTestServer first, second;
  first.Serve("/index.html", Html("<html><a href=\"a.html\">a</a><img src=\"a.gif\"></html>"));
  first.Serve("/a.html", Html("<html>a</html>"));
  first.Serve("/a.gif", Answer{.body = "GIF89a"});
  second.Serve("/", Answer{.status = 302,
                           .headers = {"Location: " + second.Url("/in/index.html"), "Content-Type: text/html"},
                           .body = "<html>moved</html>"});
  second.Serve("/in/index.html", Html("<html><a href=\"b.html\">b</a><a href=\"c/d.html\">d</a></html>"));
  second.Serve("/in/b.html", Html("<html>b</html>"));
  second.Serve("/in/c/d.html", Html("<html>d</html>"));

  const BatchRun r = RunAll({first.Url("/index.html"), second.Url("/")});
  ASSERT_EQ(r.status, 0) << r.output;
  for (const char* p : {"/index.html", "/a.html", "/a.gif"}) EXPECT_TRUE(Saved(first.Url(p))) << p << r.output;
  for (const char* p : {"/in/index.html", "/in/b.html", "/in/c/d.html"})
    EXPECT_TRUE(Saved(second.Url(p))) << p << r.output;
  EXPECT_EQ(first.Count("/a.html"), 1u);
  EXPECT_EQ(second.Count("/in/b.html"), 1u);
  EXPECT_EQ(Occurrences(r.output, "panel 1: Готово"), 2u) << r.output;
  EXPECT_TRUE(ConsoleGone());
}

TEST_F(BatchRunTest, ProxyCarriesEveryRequest) {
  HttpTestServer site, proxy;
  // The proxy answers the absolute addresses; the site itself is never asked.
  proxy.Serve(site.Url("/index.html"), Html("<html><a href=\"page.html\">p</a></html>"));
  proxy.Serve(site.Url("/page.html"), Html("<html>page</html>"));
  orv::WriteSetting("p_Proxy", "True");
  orv::WriteSetting("MPRX", proxy.HostPort());
  const BatchRun r = Run(site.Url("/index.html"));
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(Saved(site.Url("/page.html")));
  EXPECT_EQ(site.Requests().size(), 0u);
  EXPECT_EQ(proxy.Count(site.Url("/page.html")), 1u);
}

// A proxy that asks for a login gets the one of its list entry with every request, also when the
// current proxy was typed into the configuration by hand; the login goes into no file others can
// read. A refused login is told in words and fails the run.
TEST_F(BatchRunTest, AProxyLoginGoesWithEveryRequestAndItsRefusalIsTold) {
  HttpTestServer site, proxy;
  site.Serve("/index.html", Html("<html><a href=\"page.html\">p</a></html>"));
  site.Serve("/page.html", Html("<html>page</html>"));
  site.Serve("/other.html", Html("<html>other</html>"));
  proxy.ForwardPlainRequests();
  proxy.RequireProxyLogin("puser", "psecret");
  ASSERT_TRUE(orv::WriteStringArrayFile(prog_.Prog() + "orvproxy", {"1", proxy.HostPort() + "@@@@@puser:psecret"}));
  orv::WriteSetting("p_Proxy", "True");
  orv::WriteSetting("MPRX", proxy.HostPort());
  BatchRun r = Run(site.Url("/index.html"));
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(Saved(site.Url("/page.html"))) << r.output;
  EXPECT_EQ(site.Count("/page.html"), 1u);  // passed on: the proxy took the login
  EXPECT_EQ(orvtest::ReadWholeFile(prog_.Config() + "belmor/orvanta.conf").find("psecret"), std::string::npos);
  const fs::perms exchangeRights = fs::status(prog_.Exchange() + "orvext").permissions();
  EXPECT_EQ(exchangeRights & (fs::perms::group_all | fs::perms::others_all), fs::perms::none);

  ASSERT_TRUE(orv::WriteStringArrayFile(prog_.Prog() + "orvproxy", {"1", proxy.HostPort() + "@@@@@puser:wrong"}));
  r = Run(site.Url("/other.html"));
  EXPECT_EQ(r.status, 5) << r.output;
  EXPECT_EQ(site.Count("/other.html"), 0u);
  EXPECT_NE(r.output.find("прокси отклонил вход 1, прочие 0)"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("the proxy refused the login"), std::string::npos) << r.output;
}

// With alternation on and the first proxy of the list dead, every address still arrives: the
// ones handed out with the dead proxy go through the next one, which is used in its place.
TEST_F(BatchRunTest, AlternationPastADeadProxyLosesNoAddress) {
  HttpTestServer site, live;
  std::string dead;
  {
    HttpTestServer gone;
    dead = gone.HostPort();
  }
  std::string links;
  for (int i = 0; i < 12; ++i) {
    const std::string name = "p" + std::to_string(i) + ".html";
    links += "<a href=\"" + name + "\">" + name + "</a>";
    site.Serve("/" + name, Html("<html>" + name + "</html>"));
  }
  site.Serve("/index.html", Html("<html>" + links + "</html>"));
  live.ForwardPlainRequests();
  live.RequireProxyLogin("puser", "psecret");
  ASSERT_TRUE(orv::WriteStringArrayFile(prog_.Prog() + "orvproxy",
                                        {"2", dead, live.HostPort() + "@@@@@puser:psecret"}));
  orv::WriteSetting("p_Proxy", "True");
  orv::WriteSetting("p_proxy2", "True");
  orv::WriteSetting("MPRX", dead);
  orv::WriteSetting("NPRX", "1");
  const BatchRun r = Run(site.Url("/index.html"));
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("сохранено файлов 13 ("), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("ошибок 0 ("), std::string::npos) << r.output;
  for (int i = 0; i < 12; ++i) EXPECT_EQ(site.Count("/p" + std::to_string(i) + ".html"), 1u) << i;
}

}  // namespace
