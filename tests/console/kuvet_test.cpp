// The real kuvet executable in a private program folder, driven as the main program drives it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>
#include <set>
#include <string>

#include "common/fetch_outcome.h"
#include "common/string_list.h"
#include "common/text.h"
#include "platform/connection.h"
#include "platform/file_attributes.h"
#include "platform/settings.h"
#include "platform/window_link.h"
#include "tests/console/console_harness.h"
#include "tests/support/event_loop.h"
#include "tests/support/http_test_server.h"

namespace {

using orvtest::Answer;
using orvtest::ConsoleHarness;

class KuvetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(std::string(ORV_BIN_DIR) + "/kuvet")) GTEST_SKIP() << "kuvet not built";
  }
  void Start(int retryLimit = 0) {
    h.PrepareRun(retryLimit);
    ASSERT_TRUE(h.Launch());
  }
  std::string Head(const std::string& path, size_t i = 0) {
    auto r = server.Requests(path);
    return i < r.size() ? r[i].rawHead : std::string();
  }
  // The line libcurl puts after Host to ask for the encodings it can undo.
  static std::string EncodingsLine(const orvtest::Request& r) {
    return "Accept-Encoding: " + r.Header("Accept-Encoding").value_or("(none)") + "\r\n";
  }

  orvtest::HttpTestServer server;
  ConsoleHarness h;
};

TEST_F(KuvetTest, StartPublishesHandlesAndTwentyRecords) {
  Start();
  orv::WindowLink& link = orv::WindowLink::Instance();
  EXPECT_EQ(link.ReadText(h.Handle("MHWND")), " Orvanta  Console ");
  EXPECT_EQ(link.ReadText(h.Handle("LRES")), "LRESET");
  EXPECT_TRUE(link.Exists(h.Handle("UBOL")));
  EXPECT_TRUE(link.Exists(static_cast<orv::WindowHandle>(h.Ex().ReadExtNumber(orv::StopAllButton))));
  std::set<int> handles;
  for (int n = 1; n <= 20; ++n) {
    orv::ChannelRecord rec = h.Ex().ReadChannel(n);
    EXPECT_TRUE(link.Exists(rec.stopButton)) << n;
    EXPECT_TRUE(rec.url.empty());
    handles.insert(rec.stopButton);
  }
  EXPECT_EQ(handles.size(), 20u);
  EXPECT_TRUE(h.WaitUntil([&] { return h.Ex().ReadExt(orv::BusyChannels) == "0"; }, 2000));
}

TEST_F(KuvetTest, SecondConsoleEndsAtOnceAndFirstKeepsRunning) {
  Start();
  orvtest::ChildProcess second;
  ASSERT_TRUE(second.Start(h.Folder().Prog() + "kuvet", {}, h.Folder().Prog(),
                           {{"XDG_CONFIG_HOME", h.Folder().Config()}}));
  EXPECT_EQ(second.WaitExit(3000), 0);
  EXPECT_TRUE(h.Process().Running());
}

TEST(KuvetAlone, EndsWithoutTheMainProgramBesideIt) {
  if (!std::filesystem::exists(std::string(ORV_BIN_DIR) + "/kuvet")) GTEST_SKIP() << "kuvet not built";
  orvtest::ProgramFolder folder(false);
  orvtest::WriteWholeFile(std::filesystem::path(folder.Prog()) / "orv", std::string(999, 'x'));
  orvtest::ChildProcess kuvet;
  ASSERT_TRUE(kuvet.Start(folder.Prog() + "kuvet", {}, folder.Prog(), {{"XDG_CONFIG_HOME", folder.Config()}}));
  EXPECT_EQ(kuvet.WaitExit(3000), 0);
  EXPECT_FALSE(std::filesystem::exists(folder.Exchange() + "orvext"));
}

TEST_F(KuvetTest, SendsTheExactHeaderBlockAndSavesTheFile) {
  server.Serve("/dir/file.bin", Answer{.body = std::string(3000, 'q')});
  Start();
  h.Ex().WriteExt(orv::CharsetMode, "2");
  ASSERT_TRUE(h.Feed(server.Url("/dir/file.bin")));
  ASSERT_TRUE(h.WaitIdle(5000));
  ASSERT_EQ(server.Count("/dir/file.bin"), 1u);
  EXPECT_EQ(Head("/dir/file.bin"), "GET /dir/file.bin HTTP/1.1\r\nHost: " + server.HostPort() + "\r\n" +
                                       EncodingsLine(server.Requests("/dir/file.bin")[0]) +
                                       "Accept-Charset: koi8-r;q=1\r\nConnection: close\r\n"
                                       "Accept: */*\r\nUser-Agent: Harness/1.0\r\n\r\n");
  std::string local = h.LocalFile(server.Url("/dir/file.bin"));
  EXPECT_EQ(orvtest::ReadWholeFile(local), std::string(3000, 'q'));
  EXPECT_EQ(orv::GetFileAttributes(local), 0);
}

TEST_F(KuvetTest, BinaryFilesUnderAScriptPolicyAreStoredByteForByte) {
  // Bytes a page rewrite would change: an attribute value naming a folder and a file name.
  static const char kInner[] = "\0\x01\xff href=\"sub/\" src=img.gif \0";
  const std::string inner(kInner, sizeof kInner - 1);
  const std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + inner + orvtest::PatternBody(200);
  const std::string pdf = "%PDF-1.4\n%\xe2\xe3\xcf\xd3\n" + inner + orvtest::PatternBody(200);
  const std::vector<std::string> policy = {"Content-Security-Policy: script-src 'self'; object-src 'none'",
                                           "X-Note: text/html"};
  server.Serve("/i/pic.png", Answer{.headers = {"Content-Type: image/png", policy[0], policy[1]}, .body = png});
  server.Serve("/d/doc.pdf", Answer{.headers = {"Content-Type: application/pdf", policy[0], policy[1]}, .body = pdf});
  Start();
  ASSERT_TRUE(h.Feed(server.Url("/i/pic.png")));
  ASSERT_TRUE(h.Feed(server.Url("/d/doc.pdf")));
  ASSERT_TRUE(h.WaitIdle(5000));
  EXPECT_EQ(orvtest::ReadWholeFile(h.LocalFile(server.Url("/i/pic.png"))), png);
  EXPECT_EQ(orvtest::ReadWholeFile(h.LocalFile(server.Url("/d/doc.pdf"))), pdf);
  EXPECT_TRUE(h.Reports().empty());
}

TEST_F(KuvetTest, FullDiskKeepsTheDownloadedPageAndFailsTheCutFiles) {
  constexpr long long kLimit = 256 * 1024;
  // A page that fits, whose rewrite does not: each "d/" link grows by "index.html".
  std::string page = "<html><body>\n";
  for (int i = 0; i < 150; ++i) page += "<a href=\"d/\">x</a>\n";
  page += std::string(kLimit - 1000 - page.size(), 'w') + "</body></html>\n";
  server.Serve("/s/page.html", Answer{.headers = {"Content-Type: text/html"}, .body = page});
  server.Serve("/s/resumable.bin", Answer{.generatedSize = 400000, .acceptRanges = true});
  server.Serve("/s/plain.bin", Answer{.generatedSize = 400000});
  h.PrepareRun();
  ASSERT_TRUE(h.LaunchWithFileSizeLimit(kLimit));
  for (const char* p : {"/s/page.html", "/s/resumable.bin", "/s/plain.bin"}) ASSERT_TRUE(h.Feed(server.Url(p)));
  ASSERT_TRUE(h.WaitIdle(10000));

  const std::string local = h.LocalFile(server.Url("/s/page.html"));
  EXPECT_EQ(orvtest::ReadWholeFile(local), page);  // not rewritten, but whole
  EXPECT_EQ(orv::GetFileAttributes(local), 0);
  EXPECT_TRUE(h.HasReportElement(server.Url("/s/d/")));
  for (const auto& e : std::filesystem::directory_iterator(std::filesystem::path(local).parent_path()))
    EXPECT_TRUE(e.path().filename() != "page.html" || e.path() == local) << "left beside it: " << e.path();
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(std::filesystem::path(local).parent_path()),
                          std::filesystem::directory_iterator()), 2) << "the page and the resumable copy";
  // A body cut by the full disk is a failed fetch: kept for a resume where the server offers
  // ranges, gone where it does not, and logged once as unwritten, the main program's one signal.
  const std::string resumable = h.LocalFile(server.Url("/s/resumable.bin"));
  EXPECT_EQ(orv::GetFileAttributes(resumable), orv::kAttrSystem);
  EXPECT_EQ(orvtest::ReadWholeFile(resumable), orvtest::PatternBody(kLimit));
  EXPECT_FALSE(std::filesystem::exists(h.LocalFile(server.Url("/s/plain.bin"))));
  const std::vector<orv::OutcomeRecord> log = orv::ReadOutcomes(h.Folder().Exchange());
  for (const char* p : {"/s/resumable.bin", "/s/plain.bin"}) {
    std::vector<orv::FetchOutcome> outcomes;
    for (const orv::OutcomeRecord& r : log)
      if (r.address == server.Url(p)) outcomes.push_back(r.outcome);
    EXPECT_EQ(outcomes, std::vector<orv::FetchOutcome>{orv::FetchOutcome::Unwritten}) << p;
  }
}

TEST_F(KuvetTest, BusyServerIsAskedAgainAfterTheTimeItNames) {
  server.Serve("/busy.html", std::vector<Answer>{{.status = 429, .headers = {"Retry-After: 2"}, .body = "later"},
                                                 {.body = "done"}});
  Start(1);
  ASSERT_TRUE(h.Feed(server.Url("/busy.html")));
  ASSERT_TRUE(server.WaitForCount("/busy.html", 1, 5000));
  const auto first = std::chrono::steady_clock::now();
  bool shown = false;
  ASSERT_TRUE(h.WaitUntil([&] {
    for (int n = 1; n <= 20 && !shown; ++n) shown = h.Ex().ReadChannel(n).statusText == orv::Ru("Повтор через 2 с");
    return server.Count("/busy.html") >= 2;
  }, 6000));
  const auto waited = std::chrono::steady_clock::now() - first;
  EXPECT_GE(waited, std::chrono::milliseconds(1900));
  EXPECT_LT(waited, std::chrono::milliseconds(3500));
  EXPECT_TRUE(shown) << "the row says why the channel waits";
  ASSERT_TRUE(h.WaitIdle(5000));
  EXPECT_EQ(orvtest::ReadWholeFile(h.LocalFile(server.Url("/busy.html"))), "done");
}

// Puts bytes into orvext at a record's start, as a writer caught halfway would leave them.
void PutRecordBytes(const std::string& exchangeFolder, int record, const std::string& bytes) {
  std::fstream f(exchangeFolder + "orvext", std::ios::in | std::ios::out | std::ios::binary);
  f.seekp((record - 1) * 1024);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

TEST_F(KuvetTest, AListTheMainProgramHasNotReadIsNeverOverwritten) {
  server.Serve("/p.html", Answer{.headers = {"Content-Type: text/html"}, .body = "<a href=\"x.html\">x</a>"});
  Start();
  const std::vector<std::string> unread{"1", "http://unread.test/"};
  ASSERT_TRUE(h.Ex().WriteUrlList(unread));
  PutRecordBytes(h.Folder().Exchange(), orv::ReportReady, "\xff\xff");  // unreadable: being written
  ASSERT_TRUE(h.Feed(server.Url("/p.html")));
  // The channel waits for the slot and its row says so. No pumping: the main program is busy.
  bool waiting = false;
  for (int i = 0; i < 300 && !waiting; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    for (int n = 1; n <= 20; ++n) waiting = waiting || h.Ex().ReadChannel(n).statusText == orv::Ru("Обмен...");
  }
  EXPECT_TRUE(waiting);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(h.Ex().ReadUrlList(), unread);
  // Quitting while the list is still unread leaves it alone too.
  ASSERT_TRUE(h.Ex().WriteExt(orv::ReportReady, "A"));
  ASSERT_TRUE(h.PressQuit());
  EXPECT_EQ(h.Process().WaitExit(3000), 0);
  EXPECT_EQ(h.Ex().ReadUrlList(), unread);
}

// Whether a row of the status table shows status for address while the console takes it up. The
// take writes the text as it applies and the status table replaces it within 100 ms, so the
// table is read as fast as it can be, for one address after another until one is seen.
bool SeenInTheStatusTable(ConsoleHarness& h, const std::vector<std::string>& addresses, const std::string& status) {
  for (const std::string& address : addresses) {
    if (!h.Feed(address)) return false;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (std::chrono::steady_clock::now() < end) {
      for (int n = 1; n <= 20; ++n) {
        const orv::ChannelRecord r = h.Ex().ReadChannel(n);
        if (r.url == address && r.statusText == status) return true;
      }
    }
  }
  return false;
}

TEST_F(KuvetTest, TheStatusTableShowsTheAnalysisAndTheResumeAsTheyApply) {
  std::vector<std::string> fresh, partial;
  for (int i = 0; i < 4; ++i) {
    const std::string n = std::to_string(i);
    server.Serve("/fresh" + n + ".bin", Answer{.generatedSize = 2000});
    server.Serve("/part" + n + ".bin", Answer{.generatedSize = 2000, .ranges = true});
    fresh.push_back(server.Url("/fresh" + n + ".bin"));
    partial.push_back(server.Url("/part" + n + ".bin"));
    const std::string local = h.LocalFile(partial.back());
    std::filesystem::create_directories(std::filesystem::path(local).parent_path());
    orvtest::WriteWholeFile(local, orvtest::PatternBody(500));
    ASSERT_TRUE(orv::SetSystemMark(local));
  }
  Start();
  EXPECT_TRUE(SeenInTheStatusTable(h, fresh, orv::Ru("Анализ...")));
  EXPECT_TRUE(SeenInTheStatusTable(h, partial, orv::Ru("Докачка...")));
  ASSERT_TRUE(h.WaitIdle(5000));
  // The resumes went on from the partial copies.
  for (const std::string& a : partial) {
    if (server.Count(a.substr(server.Url("").size())) == 0) continue;  // not fed: seen before it
    EXPECT_EQ(orvtest::ReadWholeFile(h.LocalFile(a)), orvtest::PatternBody(2000)) << a;
    EXPECT_EQ(server.Requests(a.substr(server.Url("").size()))[0].Header("range"), "bytes=500-") << a;
  }
}

// The line goes down in the middle of a body (the console's view of the machine has no default
// route, so record 29 alone keeps it on line): the transfer ends as lost, is not asked again, and
// its copy stays marked for a resume; an address taken while off line is dropped unasked.
TEST_F(KuvetTest, ALostLineEndsTheTransferWithoutRetryAndDropsWhatIsTakenWhileOffLine) {
  const std::string routes = h.Folder().Root() + "routes";
  std::filesystem::create_directories(routes);
  orvtest::WriteWholeFile(routes + "/route", "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\n");
  orvtest::WriteWholeFile(routes + "/ipv6_route", "");
  h.SetConsoleEnvironment(orv::kRouteFolderVariable, routes);
  server.Serve("/big.bin", std::vector<Answer>{{.generatedSize = 200000, .acceptRanges = true, .stallAfter = 50000},
                                               {.generatedSize = 200000, .ranges = true}});
  server.Serve("/later.bin", Answer{.body = "later"});
  Start(3);
  const std::string big = server.Url("/big.bin");
  const std::string local = h.LocalFile(big);
  ASSERT_TRUE(h.Feed(big));
  ASSERT_TRUE(h.WaitUntil([&] { return orv::FileLength(local) == 50000; }, 5000));
  ASSERT_TRUE(h.Ex().WriteExt(orv::AssumeOnline, ""));
  ASSERT_TRUE(h.WaitUntil([&] { return h.Busy() == 0; }, 5000)) << "the 2 s check sees the line down";
  EXPECT_EQ(orv::GetFileAttributes(local), orv::kAttrSystem);

  ASSERT_TRUE(h.Feed(server.Url("/later.bin")));
  ASSERT_TRUE(h.WaitUntil([&] { return h.Ex().ReadExt(orv::NextUrl).empty(); }, 2000));
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));  // time for a retry, were there one
  EXPECT_EQ(server.Count("/big.bin"), 1u);
  EXPECT_EQ(server.Count("/later.bin"), 0u);

  // Back on line, the copy is resumed where the line went down.
  ASSERT_TRUE(h.Ex().WriteExt(orv::AssumeOnline, "1"));
  ASSERT_TRUE(h.Feed(big));
  ASSERT_TRUE(h.WaitIdle(5000));
  ASSERT_EQ(server.Count("/big.bin"), 2u);
  EXPECT_EQ(server.Requests("/big.bin")[1].Header("range"), "bytes=50000-");
  EXPECT_EQ(orvtest::ReadWholeFile(local), orvtest::PatternBody(200000));
  EXPECT_EQ(orv::GetFileAttributes(local), 0);
}

// A hostile page's base address makes a script link longer than a list element can hold: that
// one is left out, the others arrive with the handshake, and no list before it is read twice.
TEST_F(KuvetTest, ALinkTooLongForTheListIsLeftOutAndTheRestArrive) {
  const std::string base = "http://far.test/" + std::string(70000, 'd') + "/";
  server.Serve("/hostile.html",
               Answer{.headers = {"Content-Type: text/html"},
                      .body = "<html><head><base href=\"" + base + "\"></head><body><script src=\"s.js\"></script>"
                              "<a href=\"http://near.test/ok.html\">ok</a></body></html>"});
  Start();
  const std::vector<std::string> before{"1", "http://read.before.test/"};
  ASSERT_TRUE(h.Ex().WriteUrlList(before));
  ASSERT_TRUE(h.Feed(server.Url("/hostile.html")));
  ASSERT_TRUE(h.WaitIdle(5000));
  ASSERT_EQ(h.Reports().size(), 1u);
  const std::vector<std::string>& list = h.Reports()[0];
  EXPECT_NE(list, before);
  EXPECT_EQ(list[0], std::to_string(list.size() - 1));
  EXPECT_NE(std::find(list.begin(), list.end(), "http://near.test/ok.html"), list.end());
  for (const std::string& e : list) EXPECT_LE(e.size(), 65535u);
}

TEST_F(KuvetTest, UnreadableFrameRecordCountsAsOn) {
  server.Serve("/f.html", Answer{.headers = {"Content-Type: text/html"},
                                 .body = "<html><body><iframe src=\"inner.html\"></iframe></body></html>"});
  Start();
  PutRecordBytes(h.Folder().Exchange(), orv::FrameMark, "\xff\xff");
  ASSERT_TRUE(h.Feed(server.Url("/f.html")));
  ASSERT_TRUE(h.WaitIdle(5000));
  EXPECT_TRUE(h.HasReportElement(server.Url("/inner.html") + ")ifra(")) << "frame links keep their mark";
}

TEST_F(KuvetTest, AMissingPageLeavesNoEmptyFolders) {
  server.Serve("/kept/here.html", Answer{.body = "here"});
  Start();
  ASSERT_TRUE(h.Feed(server.Url("/gone/deeper/missing.html")));
  ASSERT_TRUE(h.Feed(server.Url("/kept/deeper/missing.html")));
  ASSERT_TRUE(h.Feed(server.Url("/kept/here.html")));
  ASSERT_TRUE(h.WaitIdle(5000));
  const std::filesystem::path site = std::filesystem::path(h.LocalFile(server.Url("/kept/here.html"))).parent_path().parent_path();
  EXPECT_FALSE(std::filesystem::exists(site / "gone"));
  EXPECT_FALSE(std::filesystem::exists(site / "kept" / "deeper"));
  EXPECT_TRUE(std::filesystem::exists(site / "kept" / "here.html"));
}

TEST_F(KuvetTest, APageTooLargeToScanIsSavedAsItCame) {
  const std::string page = "<html><a href=\"d/\">d</a>" + std::string((64 << 20) + 1, 'x') + "</html>";
  server.Serve("/huge.html", Answer{.headers = {"Content-Type: text/html"}, .body = page});
  Start();
  ASSERT_TRUE(h.Feed(server.Url("/huge.html")));
  bool told = false;
  ASSERT_TRUE(h.WaitUntil([&] {
    for (int n = 1; n <= 20 && !told; ++n)
      told = h.Ex().ReadChannel(n).statusText == orv::Ru("Больше 64 МБ: сохранено без обработки");
    return told;
  }, 20000));
  ASSERT_TRUE(h.WaitIdle(5000));
  const std::string local = h.LocalFile(server.Url("/huge.html"));
  EXPECT_EQ(std::filesystem::file_size(local), page.size());
  std::ifstream in(local, std::ios::binary);
  std::string head(40, '\0');
  in.read(head.data(), 40);
  EXPECT_EQ(head, page.substr(0, 40));
  EXPECT_EQ(orv::GetFileAttributes(local), 0);
  EXPECT_TRUE(h.Reports().empty());
}

TEST_F(KuvetTest, ResumesAfterTruncatedBody) {
  std::string body = orvtest::PatternBody(1000);
  server.Serve("/cut.bin", std::vector<Answer>{{.body = body, .acceptRanges = true, .truncateAfter = 500},
                                               {.body = body, .ranges = true}});
  Start(2);
  ASSERT_TRUE(h.Feed(server.Url("/cut.bin")));
  ASSERT_TRUE(server.WaitForCount("/cut.bin", 2, 5000));
  ASSERT_TRUE(h.WaitIdle(5000));
  auto reqs = server.Requests("/cut.bin");
  ASSERT_EQ(reqs.size(), 2u);
  EXPECT_FALSE(reqs[0].Header("Range"));
  EXPECT_EQ(reqs[1].Header("Range").value_or(""), "bytes=500-");
  std::string local = h.LocalFile(server.Url("/cut.bin"));
  EXPECT_EQ(orvtest::ReadWholeFile(local), body);
  EXPECT_EQ(orv::GetFileAttributes(local), 0);
}

// A finished copy fetched again is replaced only by a whole new body: a body the server cuts and
// one a full disk cuts leave the copy exactly as it was and count as no saved file; a whole one
// replaces it. Nothing is left beside the copies.
TEST_F(KuvetTest, AFinishedCopyIsReplacedOnlyByAWholeNewBody) {
  constexpr long long kLimit = 100 * 1024;
  std::string page = "<html><body>" + std::string(200000, 'n') + "</body></html>";
  server.Serve("/s/cut.html", Answer{.headers = {"Content-Type: text/html"}, .body = page, .truncateAfter = 50000});
  server.Serve("/s/huge.bin", Answer{.generatedSize = 300000});
  server.Serve("/s/whole.bin", Answer{.body = "the new body"});
  const std::vector<std::string> paths = {"/s/cut.html", "/s/huge.bin", "/s/whole.bin"};
  for (const std::string& p : paths) orvtest::WriteWholeFile(h.LocalFile(server.Url(p)), "the old copy of " + p);
  h.PrepareRun(0);
  h.Ex().WriteExt(orv::RefetchExisting, "1");
  ASSERT_TRUE(h.LaunchWithFileSizeLimit(kLimit));
  for (const std::string& p : paths) ASSERT_TRUE(h.Feed(server.Url(p)));
  ASSERT_TRUE(h.WaitIdle(15000));

  for (const std::string p : {"/s/cut.html", "/s/huge.bin"}) {
    const std::string local = h.LocalFile(server.Url(p));
    EXPECT_EQ(orvtest::ReadWholeFile(local), "the old copy of " + p);
    EXPECT_EQ(orv::GetFileAttributes(local), 0) << p;
  }
  EXPECT_GE(server.Count("/s/cut.html"), 2u) << "a cut body is asked again like any short one";
  const std::string whole = h.LocalFile(server.Url("/s/whole.bin"));
  EXPECT_EQ(orvtest::ReadWholeFile(whole), "the new body");
  EXPECT_EQ(orv::GetFileAttributes(whole), 0);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(std::filesystem::path(whole).parent_path()),
                          std::filesystem::directory_iterator()), 3);

  std::map<std::string, std::vector<orv::FetchOutcome>> outcomes;
  for (const orv::OutcomeRecord& r : orv::ReadOutcomes(h.Folder().Exchange())) outcomes[r.address].push_back(r.outcome);
  using O = orv::FetchOutcome;
  EXPECT_EQ(outcomes[server.Url("/s/cut.html")], std::vector<O>{O::Failed});
  EXPECT_EQ(outcomes[server.Url("/s/huge.bin")], std::vector<O>{O::Unwritten});
  EXPECT_EQ(outcomes[server.Url("/s/whole.bin")], std::vector<O>{O::Saved});
}

TEST_F(KuvetTest, FullAnswerToResumeReplacesThePartialFile) {
  std::string fresh = orvtest::PatternBody(800);
  server.Serve("/p.bin", Answer{.body = fresh});
  std::string local = h.LocalFile(server.Url("/p.bin"));
  orvtest::WriteWholeFile(local, std::string(500, 'O'));
  ASSERT_TRUE(orv::SetSystemMark(local));
  Start();
  ASSERT_TRUE(h.Feed(server.Url("/p.bin")));
  ASSERT_TRUE(h.WaitIdle(5000));
  EXPECT_EQ(server.Requests("/p.bin").at(0).Header("Range").value_or(""), "bytes=500-");
  EXPECT_EQ(orvtest::ReadWholeFile(local), fresh);
  EXPECT_EQ(orv::GetFileAttributes(local), 0);
}

TEST_F(KuvetTest, RetryLimitZeroFetchesTwice) {
  server.Serve("/bad.bin", Answer{.body = std::string(1000, 'b'), .acceptRanges = true, .truncateAfter = 500});
  Start(0);
  ASSERT_TRUE(h.Feed(server.Url("/bad.bin")));
  ASSERT_TRUE(server.WaitForCount("/bad.bin", 2, 5000));
  ASSERT_TRUE(h.WaitIdle(5000));
  (void)h.WaitUntil([] { return false; }, 700);  // room for a wrong third fetch to show up
  EXPECT_EQ(server.Count("/bad.bin"), 2u);
  // The part stays marked for a later run to resume.
  std::string local = h.LocalFile(server.Url("/bad.bin"));
  EXPECT_EQ(orv::FileLength(local), 500);
  EXPECT_EQ(orv::GetFileAttributes(local) & orv::kAttrSystem, orv::kAttrSystem);
}

// A failure that only the end of the transfer judges (nothing written) or only the watch judges
// (a stall it times out) counts as far as a short body does: limit 0 still means two fetches.
TEST_F(KuvetTest, RetryLimitZeroHoldsForAResetBeforeAnyAnswer) {
  server.Serve("/reset.bin", Answer{.resetBeforeAnswer = true});
  Start(0);
  ASSERT_TRUE(h.Feed(server.Url("/reset.bin")));
  ASSERT_TRUE(server.WaitForCount("/reset.bin", 2, 5000));
  ASSERT_TRUE(h.WaitIdle(5000));
  (void)h.WaitUntil([] { return false; }, 700);
  EXPECT_EQ(server.Count("/reset.bin"), 2u);
  EXPECT_FALSE(std::filesystem::exists(h.LocalFile(server.Url("/reset.bin"))));
}

TEST_F(KuvetTest, RetryLimitZeroHoldsForAStallTheWatchTimesOut) {
  server.Serve("/stuck.bin", Answer{.body = std::string(1000, 'k'), .acceptRanges = true, .stallAfter = 500});
  orv::WriteSetting("RQQM", "2");
  Start(0);
  ASSERT_TRUE(h.Feed(server.Url("/stuck.bin")));
  ASSERT_TRUE(server.WaitForCount("/stuck.bin", 2, 8000));
  ASSERT_TRUE(h.WaitIdle(8000));
  (void)h.WaitUntil([] { return false; }, 700);
  EXPECT_EQ(server.Count("/stuck.bin"), 2u);
}

TEST_F(KuvetTest, BodyWithoutLengthEndsUnmarkedAndAnEmptyOneIsDeleted) {
  std::string body(3000, '\x01');
  server.Serve("/nolen.bin", Answer{.body = body, .omitLength = true});
  server.Serve("/empty.bin", Answer{.body = "", .omitLength = true});
  Start();
  ASSERT_TRUE(h.Feed(server.Url("/nolen.bin")));
  ASSERT_TRUE(h.Feed(server.Url("/empty.bin")));
  ASSERT_TRUE(h.WaitIdle(5000));
  ASSERT_EQ(server.Count("/empty.bin"), 1u);
  std::string local = h.LocalFile(server.Url("/nolen.bin"));
  EXPECT_EQ(orvtest::ReadWholeFile(local), body);
  // Complete: a later run must not take it for an unfinished download and ask for a range.
  EXPECT_EQ(orv::GetFileAttributes(local), 0);
  EXPECT_FALSE(std::filesystem::exists(h.LocalFile(server.Url("/empty.bin"))));
}

TEST_F(KuvetTest, FinishedDotFileIsTreatedLikeAnyFinishedFile) {
  server.Serve("/.hidden.txt", std::vector<Answer>{{.body = "old"}, {.body = "new"}});
  server.Serve("/plain.txt", std::vector<Answer>{{.body = "old"}, {.body = "new"}});
  Start();
  for (const char* path : {"/.hidden.txt", "/plain.txt"}) {
    ASSERT_TRUE(h.Feed(server.Url(path)));
    ASSERT_TRUE(h.WaitIdle(5000));
    ASSERT_TRUE(h.Feed(server.Url(path)));
    ASSERT_TRUE(h.WaitIdle(5000));
    EXPECT_EQ(server.Count(path), 2u) << path;
    std::string local = h.LocalFile(server.Url(path));
    EXPECT_EQ(orvtest::ReadWholeFile(local), "new") << path;
    EXPECT_EQ(orv::GetFileAttributes(local) & orv::kAttrSystem, 0) << path;
  }
}

TEST_F(KuvetTest, RedirectAtRunStartFillsRecordsAndSendsMarkers) {
  server.Serve("/start.html", Answer{.status = 301, .headers = {"Location: /moved/index.html"}});
  Start();
  h.Ex().WriteExt(orv::StartPending, "a");
  ASSERT_TRUE(h.Feed(server.Url("/start.html")));
  ASSERT_TRUE(h.WaitIdle(5000));
  std::string target = server.Url("/moved/index.html");
  EXPECT_EQ(h.Ex().ReadExt(orv::RedirectHost), server.HostPort());
  EXPECT_EQ(h.Ex().ReadExt(orv::RedirectFolder), server.Url("/moved/"));
  EXPECT_EQ(h.Ex().ReadExt(orv::RedirectTarget), target);
  EXPECT_EQ(h.Ex().ReadExt(orv::StartPending), "");
  ASSERT_GE(h.Reports().size(), 2u);
  EXPECT_EQ(h.Reports()[0].at(0), " 2");
  EXPECT_EQ(h.Reports()[0].at(1), "orv_redir:" + target);
  EXPECT_EQ(h.Reports()[1].at(1), "orv_notfn:" + server.Url("/start.html"));
}

TEST_F(KuvetTest, RedirectLaterInTheRunLeavesRecordsAlone) {
  server.Serve("/later.html", Answer{.status = 302, .headers = {"Location: http://elsewhere.invalid/x.html"}});
  Start();
  for (int r : {11, 12, 27}) h.Ex().WriteExt(r, "keep");
  ASSERT_TRUE(h.Feed(server.Url("/later.html")));
  ASSERT_TRUE(h.WaitIdle(5000));
  for (int r : {11, 12, 27}) EXPECT_EQ(h.Ex().ReadExt(r), "keep") << r;
  EXPECT_TRUE(h.HasReportElement("orv_redir:http://elsewhere.invalid/x.html"));
  EXPECT_TRUE(h.HasReportElement("orv_notfn:" + server.Url("/later.html")));
}

TEST_F(KuvetTest, MissingPageIsReported) {
  Start();
  ASSERT_TRUE(h.Feed(server.Url("/nothing.html")));
  ASSERT_TRUE(h.WaitIdle(5000));
  EXPECT_TRUE(h.HasReportElement("orv_notfn:" + server.Url("/nothing.html")));
  EXPECT_FALSE(std::filesystem::exists(h.LocalFile(server.Url("/nothing.html"))));
}

TEST_F(KuvetTest, PageLinksArriveWithTheHandshake) {
  std::string page = "<html><head><title>t</title></head><body>\n"
                     "<a href=\"second.html\">next</a> <img src=\"pic/one.gif\">\n"
                     "<script src=\"code.js\"></script>\n<iframe src=\"inner.html\"></iframe>\n</body></html>\n";
  server.Serve("/site/index.html", Answer{.headers = {"Content-Type: text/html"}, .body = page});
  Start();
  h.Ex().WriteExt(orv::FrameMark, "1");
  ASSERT_TRUE(h.Feed(server.Url("/site/index.html")));
  ASSERT_TRUE(h.WaitIdle(5000));
  ASSERT_EQ(h.Reports().size(), 1u);
  const auto& list = h.Reports()[0];
  EXPECT_EQ(list.at(0), std::to_string(list.size() - 1));
  bool second = false, pic = false;
  for (size_t i = 1; i < list.size(); ++i) {
    second = second || list[i].rfind(server.Url("/site/second.html"), 0) == 0;
    pic = pic || list[i].rfind(server.Url("/site/pic/one.gif"), 0) == 0;
  }
  EXPECT_TRUE(second);
  EXPECT_TRUE(pic);
  // A script carries the folder its page lies in; a frame its marker.
  EXPECT_TRUE(h.HasReportElement(server.Url("/site/code.js") + "(((((" + server.Url("/site/")));
  EXPECT_TRUE(h.HasReportElement(server.Url("/site/inner.html") + ")ifra("));
  std::string local = h.LocalFile(server.Url("/site/index.html"));
  EXPECT_TRUE(std::filesystem::exists(local));
  EXPECT_EQ(orv::GetFileAttributes(local), 0);
  // The speed log records the processing.
  std::string log = orvtest::ReadWholeFile(h.Folder().Exchange() + "testspeed.txt");
  EXPECT_NE(log.find(orv::Ru("Начало обработки")), std::string::npos);
  EXPECT_NE(log.find(orv::Ru("Конец обработки")), std::string::npos);
}

TEST_F(KuvetTest, StopButtonAbortsOneChannel) {
  server.Serve("/stall.bin", Answer{.body = std::string(100000, 's'), .stallAfter = 2000});
  Start();
  ASSERT_TRUE(h.Feed(server.Url("/stall.bin")));
  int channel = 0;
  ASSERT_TRUE(h.WaitUntil([&] {
    for (int n = 1; n <= 20; ++n)
      if (h.Ex().ReadChannel(n).url == server.Url("/stall.bin")) channel = n;
    return channel != 0 && h.Ex().ReadChannel(channel).statusText.find('%') != std::string::npos;
  }, 5000));
  EXPECT_EQ(h.Busy(), 1);
  ASSERT_TRUE(h.PressStop(channel));
  ASSERT_TRUE(h.WaitIdle(3000));
  EXPECT_EQ(server.Count("/stall.bin"), 1u);  // stopped is never retried
  std::string local = h.LocalFile(server.Url("/stall.bin"));
  EXPECT_EQ(orv::FileLength(local), 2000);
  EXPECT_EQ(orv::GetFileAttributes(local) & orv::kAttrSystem, orv::kAttrSystem);
}

TEST_F(KuvetTest, StopAllRepeatsEveryTwoSeconds) {
  server.Serve("/s1.bin", Answer{.body = std::string(100000, 's'), .stallAfter = 100});
  server.Serve("/s2.bin", Answer{.body = std::string(100000, 's'), .stallAfter = 100});
  server.Serve("/s3.bin", Answer{.body = std::string(100000, 's'), .stallAfter = 100});
  Start();
  ASSERT_TRUE(h.Feed(server.Url("/s1.bin")));
  ASSERT_TRUE(h.Feed(server.Url("/s2.bin")));
  ASSERT_TRUE(h.WaitUntil([&] { return h.Busy() == 2; }, 5000));
  ASSERT_TRUE(h.PressStopAll());
  ASSERT_TRUE(h.WaitUntil([&] { return h.Busy() == 0; }, 3000));
  ASSERT_TRUE(h.Feed(server.Url("/s3.bin")));
  ASSERT_TRUE(server.WaitForCount("/s3.bin", 1, 3000));
  // The next repetition aborts the new transfer too.
  EXPECT_TRUE(h.WaitIdle(4000));
}

TEST_F(KuvetTest, CounterWindowAndReset) {
  server.Serve("/a.bin", Answer{.body = std::string(1000, 'a')});
  server.Serve("/b.bin", Answer{.body = std::string(300, 'b')});
  Start();
  ASSERT_TRUE(h.Feed(server.Url("/a.bin")));
  ASSERT_TRUE(h.WaitUntil([&] { return h.CounterText() == "1000"; }, 5000)) << h.CounterText();
  ASSERT_TRUE(h.WaitIdle(3000));
  ASSERT_TRUE(h.PressReset());
  // The next two-second tick shows the reset total.
  ASSERT_TRUE(h.WaitUntil([&] { return h.CounterText() == "0"; }, 3000)) << h.CounterText();
  ASSERT_TRUE(h.Feed(server.Url("/b.bin")));
  EXPECT_TRUE(h.WaitUntil([&] { return h.CounterText() == "300"; }, 5000)) << h.CounterText();
}

TEST_F(KuvetTest, ClosingIsRefusedAndTheQuitButtonEndsTheConsole) {
  Start();
  ASSERT_TRUE(orv::WindowLink::Instance().Close(h.Handle("MHWND")));
  EXPECT_EQ(h.Process().WaitExit(700), -1);
  ASSERT_TRUE(h.PressQuit());
  EXPECT_EQ(h.Process().WaitExit(3000), 0);
}

TEST_F(KuvetTest, EndsAfterGracePeriodOnceMainWindowIsGone) {
  // Taken before the launch: the console's grace period begins later than this, never earlier,
  // however long its start-up takes on a loaded machine.
  auto started = std::chrono::steady_clock::now();
  Start();
  h.DropMainWindow();
  // Never during the first seconds...
  auto beforeGraceEnds = started + std::chrono::seconds(13) - std::chrono::steady_clock::now();
  EXPECT_EQ(h.Process().WaitExit(static_cast<int>(
                std::chrono::duration_cast<std::chrono::milliseconds>(beforeGraceEnds).count())),
            -1);
  // ...but soon after the 14-second grace.
  EXPECT_EQ(h.Process().WaitExit(9000), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(19));
}

TEST_F(KuvetTest, ProxyAndServerCredentials) {
  orv::WriteStringArrayFile(h.Folder().Prog() + "httpauten",
                            {"2", "nomatch.example\\\\x**y", "site.invalid\\\\ann**secret"});
  server.Serve("http://site.invalid/p/doc.bin", Answer{.body = "via proxy"});
  Start();
  h.Ex().WriteExt(orv::ProxySpec, "puser:ppw@@@@@http://" + server.HostPort() + "/");
  ASSERT_TRUE(h.Feed("http://site.invalid/p/doc.bin"));
  ASSERT_TRUE(h.WaitIdle(5000));
  auto reqs = server.Requests("http://site.invalid/p/doc.bin");
  ASSERT_EQ(reqs.size(), 1u);
  EXPECT_EQ(reqs[0].rawHead,
            "GET http://site.invalid/p/doc.bin HTTP/1.1\r\nHost: site.invalid\r\n" + EncodingsLine(reqs[0]) +
            "Authorization: Basic YW5uOnNlY3JldA==\r\nProxy-Authorization: Basic cHVzZXI6cHB3\r\n"
            "Connection: close\r\nAccept: */*\r\nUser-Agent: Harness/1.0\r\n\r\n");
  EXPECT_EQ(orvtest::ReadWholeFile(h.LocalFile("http://site.invalid/p/doc.bin")), "via proxy");
}

// With alternation on, an address whose proxy refuses connections goes through the next proxy
// of the list, and the channel row names the proxy left out.
TEST_F(KuvetTest, ADeadProxysAddressGoesThroughTheNextProxyAndTheRowSaysSo) {
  std::string dead;
  {
    orvtest::HttpTestServer gone;
    dead = gone.HostPort();
  }
  server.Serve("http://site.invalid/a.bin", Answer{.body = "via the second"});
  ASSERT_TRUE(orv::WriteStringArrayFile(h.Folder().Prog() + "orvproxy", {"2", dead, server.HostPort()}));
  Start();
  h.Ex().WriteExt(orv::ProxyAlternates, "1");
  h.Ex().WriteExt(orv::ProxySpec, dead);
  ASSERT_TRUE(h.Feed("http://site.invalid/a.bin"));
  const std::string local = h.LocalFile("http://site.invalid/a.bin");
  bool said = false;
  for (int i = 0; i < 500 && (!said || !std::filesystem::exists(local)); ++i) {
    for (int n = 1; n <= orv::ExchangeFiles::kChannels && !said; ++n)
      said = orv::Cp1251ToUtf8(h.Ex().ReadChannel(n).statusText).find("Прокси " + dead + " не отвечает") != std::string::npos;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(said);
  ASSERT_TRUE(h.WaitIdle(5000));
  EXPECT_EQ(orvtest::ReadWholeFile(local), "via the second");
  EXPECT_EQ(server.Count("http://site.invalid/a.bin"), 1u);
}

TEST_F(KuvetTest, RevalidationAsksSinceTheModificationTime) {
  server.Serve("/keep.html", Answer{.body = "changed", .notModified = true});
  std::string local = h.LocalFile(server.Url("/keep.html"));
  orvtest::WriteWholeFile(local, "saved copy");
  // Modified long ago, read just now: the request must name the modification time.
  timespec times[2] = {{1700000000, 0}, {784111777, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, local.c_str(), times, 0), 0);
  ASSERT_TRUE(orv::SetFileAttributes(local, orv::kAttrReadOnly));  // a complete copy that is not plain
  Start();
  h.Ex().WriteExt(orv::RefetchExisting, "1");
  ASSERT_TRUE(h.Feed(server.Url("/keep.html")));
  ASSERT_TRUE(h.WaitIdle(5000));
  auto reqs = server.Requests("/keep.html");
  ASSERT_EQ(reqs.size(), 1u);
  EXPECT_EQ(reqs[0].Header("If-Modified-Since").value_or(""), "Sun, 06 Nov 1994 08:49:37 GMT");
  EXPECT_EQ(orvtest::ReadWholeFile(local), "saved copy");
  orv::SetNormalAttributes(local);
}

TEST_F(KuvetTest, CompleteCopyIsSkippedWithoutRefetch) {
  server.Serve("/have.html", Answer{.body = "x"});
  std::string local = h.LocalFile(server.Url("/have.html"));
  orvtest::WriteWholeFile(local, "saved copy");
  ASSERT_TRUE(orv::SetFileAttributes(local, orv::kAttrReadOnly));
  Start();
  h.Ex().WriteExt(orv::StartPending, "a");
  ASSERT_TRUE(h.Feed(server.Url("/have.html")));
  ASSERT_TRUE(h.WaitIdle(3000));
  EXPECT_EQ(server.Count("/have.html"), 0u);
  EXPECT_EQ(h.Ex().ReadExt(orv::StartPending), "");
  orv::SetNormalAttributes(local);
}

TEST_F(KuvetTest, RetriedAddressIsDroppedByTheExclusionList) {
  server.Serve("/drop/me.bin", Answer{.body = std::string(1000, 'd'), .acceptRanges = true, .truncateAfter = 500});
  Start(5);
  ASSERT_TRUE(orv::WriteStringArrayFile(h.Folder().Exchange() + "torvcess", {"1", "DROP/"}));
  orvtest::PumpFor(1200);  // the console reloads the list every second
  ASSERT_TRUE(h.Feed(server.Url("/drop/me.bin")));
  ASSERT_TRUE(h.WaitIdle(5000));
  (void)h.WaitUntil([] { return false; }, 500);
  EXPECT_EQ(server.Count("/drop/me.bin"), 1u);
}

TEST_F(KuvetTest, RetriedAddressIsDroppedByItsTypeEnding) {
  server.Serve("/arch/pack.zip", Answer{.body = std::string(1000, 'z'), .acceptRanges = true, .truncateAfter = 500});
  server.Serve("/arch/pack.rar", Answer{.body = std::string(1000, 'r'), .acceptRanges = true, .truncateAfter = 500});
  Start(5);
  // Nine counted strings from the start of the file; the second entry names the zip ending.
  std::string entries;
  for (const char* e : {"", ".arj .zip", "", "", "", "", "", "", ""}) orv::AppendCountedString(entries, e);
  orvtest::WriteWholeFile(h.Folder().Exchange() + "torvany", entries);
  orvtest::PumpFor(1200);  // reloaded every second
  ASSERT_TRUE(h.Feed(server.Url("/arch/pack.zip")));
  ASSERT_TRUE(h.WaitIdle(5000));
  (void)h.WaitUntil([] { return false; }, 500);
  EXPECT_EQ(server.Count("/arch/pack.zip"), 1u);
  // An ending no entry names is retried as usual.
  ASSERT_TRUE(h.Feed(server.Url("/arch/pack.rar")));
  EXPECT_TRUE(server.WaitForCount("/arch/pack.rar", 2, 5000));
}

TEST_F(KuvetTest, SearchModeTakesAnAddressOnlyOnce) {
  server.Serve("/q.html", Answer{.body = std::string(100, 'r')});
  h.PrepareRun(0);
  h.Ex().WriteExt(orv::SearchMode, "2");  // any value but 0 means search mode
  ASSERT_TRUE(h.Launch());
  ASSERT_TRUE(h.Feed(server.Url("/q.html")));
  ASSERT_TRUE(h.WaitIdle(5000));
  ASSERT_TRUE(h.Feed(server.Url("/q.html")));
  ASSERT_TRUE(h.WaitIdle(3000));
  EXPECT_EQ(server.Count("/q.html"), 1u);
}

TEST_F(KuvetTest, TakeIntervalSpacesTheTakes) {
  server.Serve("/one.bin", Answer{.body = "1"});
  server.Serve("/two.bin", Answer{.body = "2"});
  orv::WriteSetting("intens", "1");
  Start();
  ASSERT_TRUE(h.Feed(server.Url("/one.bin")));
  ASSERT_TRUE(server.WaitForCount("/one.bin", 1, 3000));
  auto first = std::chrono::steady_clock::now();
  ASSERT_TRUE(h.Feed(server.Url("/two.bin")));
  ASSERT_TRUE(server.WaitForCount("/two.bin", 1, 3000));
  EXPECT_GE(std::chrono::steady_clock::now() - first, std::chrono::milliseconds(850));
}

// Each address is fed as the main program feeds it: its agent and size bounds first, then the
// mailbox. At "Максимальная" the next address's records are written the moment the mailbox is
// empty, so a console that read them after emptying the mailbox would fetch with the wrong ones.
TEST_F(KuvetTest, AtFullPaceEveryAddressKeepsItsOwnRecords) {
  constexpr int kAddresses = 40;
  for (int i = 0; i < kAddresses; ++i) server.Serve("/f" + std::to_string(i) + ".bin", Answer{.body = std::string(100, 'x')});
  orv::WriteSetting("intens", "3");
  Start();
  for (int i = 0; i < kAddresses; ++i) {
    ASSERT_TRUE(h.WaitUntil([&] { return h.Ex().ReadExt(orv::NextUrl).empty(); }, 5000)) << i;
    h.Ex().WriteExt(orv::UserAgent, "Agent-" + std::to_string(i));
    h.Ex().WriteExt(orv::MaxSize, i % 2 == 0 ? "0" : "10");  // odd ones are refused as too large
    h.Ex().WriteExt(orv::NextUrl, server.Url("/f" + std::to_string(i) + ".bin"));
  }
  ASSERT_TRUE(h.WaitIdle(20000));
  for (int i = 0; i < kAddresses; ++i) {
    const std::string path = "/f" + std::to_string(i) + ".bin";
    const auto requests = server.Requests(path);
    ASSERT_EQ(requests.size(), 1u) << path;
    EXPECT_EQ(requests[0].Header("User-Agent").value_or(""), "Agent-" + std::to_string(i)) << path;
    EXPECT_EQ(orv::GetFileAttributes(h.LocalFile(server.Url(path))) >= 0, i % 2 == 0) << path;
  }
}

// The default intensity: addresses waiting one after another are taken a tenth of a second
// apart, however the twenty channels' ticks fall, and never closer.
TEST_F(KuvetTest, TakesAtTheDefaultIntensityAreNeverCloserThanATenthOfASecond) {
  constexpr int kAddresses = 8;
  for (int i = 0; i < kAddresses; ++i) server.Serve("/g" + std::to_string(i) + ".bin", Answer{.body = "g"});
  orv::WriteSetting("intens", "0");
  Start();
  for (int i = 0; i < kAddresses; ++i) ASSERT_TRUE(h.Feed(server.Url("/g" + std::to_string(i) + ".bin")));
  ASSERT_TRUE(h.WaitIdle(10000));
  std::vector<orv::OutcomeRecord> log = orv::ReadOutcomes(h.Folder().Exchange());
  ASSERT_EQ(log.size(), static_cast<size_t>(kAddresses));
  std::sort(log.begin(), log.end(), [](const auto& a, const auto& b) { return a.takenMs < b.takenMs; });
  for (size_t k = 1; k < log.size(); ++k) {
    // The outcome log notes the take in whole milliseconds, a little after the take itself.
    EXPECT_GE(log[k].takenMs - log[k - 1].takenMs, 90) << k;
  }
}

TEST_F(KuvetTest, TwentyTransfersAtOnce) {
  for (int i = 0; i < 20; ++i)
    server.Serve("/t" + std::to_string(i) + ".bin",
                 Answer{.body = std::string(40000, static_cast<char>('a' + i)), .chunkDelayMs = 200, .chunkSize = 2000});
  Start();
  for (int i = 0; i < 20; ++i) ASSERT_TRUE(h.Feed(server.Url("/t" + std::to_string(i) + ".bin")));
  EXPECT_TRUE(h.WaitUntil([&] { return h.Busy() == 20; }, 5000)) << h.Busy();
  EXPECT_GE(server.Active(), 15);
  ASSERT_TRUE(h.WaitIdle(10000));
  for (int i = 0; i < 20; ++i) {
    std::string local = h.LocalFile(server.Url("/t" + std::to_string(i) + ".bin"));
    EXPECT_EQ(orvtest::ReadWholeFile(local), std::string(40000, static_cast<char>('a' + i))) << i;
    EXPECT_EQ(orv::GetFileAttributes(local), 0);
  }
}

}  // namespace
