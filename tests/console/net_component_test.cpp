#include "console/net_component.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <cerrno>
#include <sys/socket.h>
#include <netinet/in.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "console/response.h"
#include "platform/file_attributes.h"
#include "tests/support/event_loop.h"
#include "tests/support/http_test_server.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tls_authority.h"

namespace orv::console {
namespace {

using orvtest::Answer;
using orvtest::PumpUntil;

struct Recorder : NetListener {
  std::string headers;
  int64_t length = -2;
  std::vector<std::string> statuses;
  int64_t dataBytes = 0;
  int code = -1;
  bool complete = false;
  std::string target;
  int doneCount = 0;
  int events = 0;
  std::vector<std::string> order;
  std::function<void()> onHeaders;
  std::vector<std::string> moves;

  void HeadersReceived(const std::string& h, int64_t len) override {
    ++events;
    headers = h;
    length = len;
    order.push_back("headers");
    if (onHeaders) onHeaders();
  }
  void StatusMessage(const std::string& text, EventTime) override {
    ++events;
    statuses.push_back(text);
    if (text.rfind("++", 0) == 0) order.push_back("progress");
  }
  void DataReceived(int64_t bytes, EventTime) override {
    ++events;
    dataBytes += bytes;
    order.push_back("data");
  }
  void TransferDone(int c, bool comp, const std::string& t) override {
    ++events;
    code = c;
    complete = comp;
    target = t;
    ++doneCount;
    order.push_back("done");
  }
  void AddressMoved(const std::string& address) override {
    ++events;
    moves.push_back(address);
    order.push_back("moved");
  }
  bool HasStatus(const std::string& s) const {
    for (const auto& x : statuses)
      if (x == s) return true;
    return false;
  }
};

class NetComponentTest : public ::testing::Test {
 protected:
  void SetUp() override { orvtest::EnsureQtApp(); }

  FetchArgs Args(const std::string& path, const std::string& extraLines = "") {
    FetchArgs a;
    a.address = server.Url(path);
    a.headerBlock = extraLines + "Connection: close\r\nAccept: */*\r\nUser-Agent: test/1\r\n";
    a.localPath = tmp.Dir() + "file.bin";
    a.timeoutSeconds = 5;
    a.collection = tmp.Dir();
    return a;
  }
  bool RunToEnd(NetComponent& net, const FetchArgs& a, Recorder& r) {
    if (!net.Fetch(a)) return false;
    return PumpUntil([&] { return r.doneCount > 0; }, 5000);
  }
  std::string File() { return orvtest::ReadWholeFile(tmp.Dir() + "file.bin"); }
  bool FileExists() { return std::filesystem::exists(tmp.Dir() + "file.bin"); }

  orvtest::HttpTestServer server;
  orvtest::TempFolder tmp{"orvnet"};
};

TEST_F(NetComponentTest, SendsHeaderBlockAfterRequestLineAndHost) {
  server.Serve("/a", Answer{.body = "x"});
  Recorder r;
  NetComponent net(&r);
  FetchArgs a = Args("/a", "Range: bytes=0-\r\n");
  ASSERT_TRUE(RunToEnd(net, a, r));
  auto reqs = server.Requests("/a");
  ASSERT_EQ(reqs.size(), 1u);
  EXPECT_EQ(reqs[0].rawHead, "GET /a HTTP/1.1\r\nHost: " + server.HostPort() + "\r\n" + a.headerBlock + "\r\n");
}

TEST_F(NetComponentTest, BlanksAndEightBitBytesAreEncodedOnTheRequestLine) {
  server.Serve("/a%20b%E4.html", Answer{.body = "ok"});
  Recorder r;
  NetComponent net(&r);
  FetchArgs a = Args("/unused");
  a.address = server.Url("/a b\xE4.html");
  ASSERT_TRUE(RunToEnd(net, a, r));
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(File(), "ok");
}

TEST_F(NetComponentTest, FullBodyIsWrittenMarkedAndReportedInOrder) {
  std::string body = orvtest::PatternBody(300000);
  server.Serve("/f", Answer{.reason = "Fine", .body = body, .chunkSize = 40000});
  Recorder r;
  NetComponent net(&r);
  ASSERT_TRUE(RunToEnd(net, Args("/f"), r));
  EXPECT_EQ(r.code, 0);
  EXPECT_TRUE(r.complete);
  EXPECT_EQ(r.length, 300000);
  // The status line is normalised whatever phrase the server used.
  EXPECT_EQ(r.headers.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << r.headers;
  EXPECT_NE(r.headers.find("Content-Length: 300000\r\n"), std::string::npos);
  EXPECT_EQ(File(), body);
  EXPECT_EQ(r.dataBytes, 300000);
  EXPECT_TRUE(r.HasStatus("++300000"));
  // While written the file carries the system mark; clearing it is the channel's job.
  EXPECT_EQ(GetFileAttributes(tmp.Dir() + "file.bin") & kAttrSystem, kAttrSystem);
  ASSERT_FALSE(r.order.empty());
  EXPECT_EQ(r.order.front(), "headers");
  EXPECT_EQ(r.order.back(), "done");
}

TEST_F(NetComponentTest, TruncatedBodyEndsAsConnectionLostAndKeepsMarkedPart) {
  server.Serve("/t", Answer{.body = std::string(1000, 'x'), .acceptRanges = true, .truncateAfter = 500});
  Recorder r;
  NetComponent net(&r);
  ASSERT_TRUE(RunToEnd(net, Args("/t"), r));
  EXPECT_EQ(r.code, kDoneLost);
  EXPECT_FALSE(r.complete);
  // The error is the last status before the end, so the channel judges the end by it.
  ASSERT_FALSE(r.statuses.empty());
  EXPECT_EQ(r.statuses.back(), "Err:10054");
  EXPECT_EQ(r.dataBytes, 500);
  EXPECT_EQ(File(), std::string(500, 'x'));
  EXPECT_EQ(GetFileAttributes(tmp.Dir() + "file.bin") & kAttrSystem, kAttrSystem);
}

// A body cut by the server is 10054 (above); one this machine dropped, because the connection
// was aborted here or the network behind it went away, is 10053, which the channel takes for a
// lost line and never retries.
TEST(LostConnection, TheLineGoingDownIsTenThousandFiftyThree) {
  for (long e : {ECONNABORTED, ENETDOWN, ENETUNREACH, EHOSTUNREACH}) EXPECT_EQ(LostConnectionCode(e), kWsaAborted) << e;
  for (long e : {0L, long{ECONNRESET}, long{EPIPE}, long{ETIMEDOUT}}) EXPECT_EQ(LostConnectionCode(e), kWsaReset) << e;
}

TEST_F(NetComponentTest, ResumeAppendsAfterMatchingContentRange) {
  std::string full = orvtest::PatternBody(1000);
  orvtest::WriteWholeFile(tmp.Path() / "file.bin", full.substr(0, 500));
  server.Serve("/r", Answer{.body = full, .ranges = true});
  Recorder r;
  NetComponent net(&r);
  FetchArgs a = Args("/r", "Range: bytes=500-\r\n");
  a.exists = true;
  ASSERT_TRUE(RunToEnd(net, a, r));
  EXPECT_EQ(r.code, 0);
  EXPECT_TRUE(r.complete);
  EXPECT_EQ(r.headers.rfind("HTTP/1.1 206 Partial Content\r\n", 0), 0u);
  EXPECT_EQ(File(), full);
}

TEST_F(NetComponentTest, FullAnswerToRangeIsDeliveredBeforeAnyByteIsWritten) {
  orvtest::WriteWholeFile(tmp.Path() / "file.bin", std::string(500, 'O'));
  std::string fresh = orvtest::PatternBody(800);
  server.Serve("/n", Answer{.body = fresh});
  Recorder r;
  std::string atHeaders;
  r.onHeaders = [&] {
    atHeaders = File();
    // What the channel does on " 200 ok": the old copy goes.
    std::filesystem::remove(tmp.Dir() + "file.bin");
  };
  NetComponent net(&r);
  FetchArgs a = Args("/n", "Range: bytes=500-\r\n");
  a.exists = true;
  ASSERT_TRUE(RunToEnd(net, a, r));
  EXPECT_EQ(atHeaders, std::string(500, 'O'));
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(File(), fresh);
}

TEST_F(NetComponentTest, RangeThatDoesNotMatchIsNotWritten) {
  orvtest::WriteWholeFile(tmp.Path() / "file.bin", std::string(500, 'O'));
  server.Serve("/m", Answer{.status = 206, .headers = {"Content-Range: bytes 100-199/1000"},
                            .body = std::string(100, 'z')});
  Recorder r;
  NetComponent net(&r);
  ASSERT_TRUE(RunToEnd(net, Args("/m", "Range: bytes=500-\r\n"), r));
  EXPECT_EQ(r.code, kDoneFailed);
  EXPECT_EQ(File(), std::string(500, 'O'));
}

TEST_F(NetComponentTest, ErrorAnswersAreNeverSaved) {
  server.Serve("/gone", Answer{.status = 410, .body = "gone"});
  server.Serve("/err", Answer{.status = 500, .body = std::string(5000, 'e')});
  {
    Recorder r;
    NetComponent net(&r);
    ASSERT_TRUE(RunToEnd(net, Args("/missing"), r));
    EXPECT_EQ(r.code, kDoneNotFound);
    EXPECT_EQ(r.headers.rfind("HTTP/1.1 404 Not Found\r\n", 0), 0u);
  }
  {
    Recorder r;
    NetComponent net(&r);
    ASSERT_TRUE(RunToEnd(net, Args("/gone"), r));
    EXPECT_EQ(r.code, kDoneNotFound);
  }
  {
    Recorder r;
    NetComponent net(&r);
    ASSERT_TRUE(RunToEnd(net, Args("/err"), r));
    EXPECT_EQ(r.code, kDoneFailed);
  }
  EXPECT_FALSE(FileExists());
}

TEST_F(NetComponentTest, NotModifiedLeavesCopyAlone) {
  orvtest::WriteWholeFile(tmp.Path() / "file.bin", "old copy");
  server.Serve("/c", Answer{.body = "new copy", .notModified = true});
  Recorder r;
  NetComponent net(&r);
  FetchArgs a = Args("/c", "If-Modified-Since: Sun, 06 Nov 1994 08:49:37 GMT\r\n");
  a.exists = true;
  ASSERT_TRUE(RunToEnd(net, a, r));
  EXPECT_EQ(r.code, 0);
  EXPECT_FALSE(r.complete);
  EXPECT_EQ(File(), "old copy");
}

TEST_F(NetComponentTest, RedirectEndsWithAbsoluteTarget) {
  server.Serve("/old/page", Answer{.status = 302, .headers = {"Location: ../new/page.html"}, .body = "moved"});
  Recorder r;
  NetComponent net(&r);
  ASSERT_TRUE(RunToEnd(net, Args("/old/page"), r));
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.target, server.Url("/new/page.html"));
  EXPECT_FALSE(FileExists());
  EXPECT_EQ(server.Count("/new/page.html"), 0u);  // never followed
}

// text packed as gzip, as a server sends it with "Content-Encoding: gzip".
std::string Gzip(const std::string& text) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, 9, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY), Z_OK);
  std::string out(deflateBound(&z, text.size()) + 32, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  z.avail_in = static_cast<uInt>(text.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

TEST_F(NetComponentTest, AnEncodedBodyIsStoredDecodedAndJudgedByItsDecodedBytes) {
  std::string page;
  for (int i = 0; i < 400; ++i) page += "<p>line " + std::to_string(i) + " of a page that packs well</p>\n";
  const std::string packed = Gzip(page);
  ASSERT_LT(packed.size() * 4, page.size());
  const Answer encoded{.headers = {"Content-Encoding: gzip", "Content-Type: text/html"}, .body = packed};
  server.Serve("/p.html", encoded);
  {
    Recorder r;
    NetComponent net(&r);
    ASSERT_TRUE(RunToEnd(net, Args("/p.html"), r));
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.complete);
    EXPECT_EQ(File(), page);
    EXPECT_EQ(r.dataBytes, static_cast<int64_t>(page.size()));
    EXPECT_EQ(r.length, -1) << "the announced length counts the packed bytes";
    const std::string asked = server.Requests("/p.html").back().Header("Accept-Encoding").value_or("");
    EXPECT_NE(asked.find("gzip"), std::string::npos) << asked;
  }
  // The size bounds hold for the decoded file: over the maximum as it arrives, under the
  // minimum at its end, whatever the packed length.
  for (auto [lo, hi] : {std::pair<int64_t, int64_t>{0, static_cast<int64_t>(page.size()) / 2},
                        {static_cast<int64_t>(page.size()) + 1, static_cast<int64_t>(page.size()) * 2}}) {
    std::filesystem::remove(tmp.Dir() + "file.bin");
    Recorder r;
    NetComponent net(&r);
    FetchArgs a = Args("/p.html");
    a.minSize = lo;
    a.maxSize = hi;
    ASSERT_TRUE(RunToEnd(net, a, r));
    EXPECT_EQ(r.code, kDoneTooLarge) << lo << ".." << hi;
    EXPECT_FALSE(FileExists());
  }
  // A resume asks for no encoding, and an encoded piece is never appended to plain bytes.
  orvtest::WriteWholeFile(tmp.Path() / "file.bin", page.substr(0, 100));
  server.Serve("/p.html", Answer{.status = 206,
                                 .headers = {"Content-Encoding: gzip", "Content-Range: bytes 100-" +
                                                                           std::to_string(page.size() - 1) + "/" +
                                                                           std::to_string(page.size())},
                                 .body = Gzip(page.substr(100))});
  Recorder resumed;
  NetComponent net(&resumed);
  ASSERT_TRUE(RunToEnd(net, Args("/p.html", "Range: bytes=100-\r\n"), resumed));
  EXPECT_EQ(server.Requests("/p.html").back().Header("Accept-Encoding"), std::nullopt);
  EXPECT_EQ(resumed.code, kDoneFailed);
  EXPECT_EQ(File(), page.substr(0, 100));
  // A packed file is stored as the server has it, even one labelled with its own encoding.
  server.Serve("/a.tar.gz", encoded);
  std::filesystem::remove(tmp.Dir() + "file.bin");
  Recorder archive;
  NetComponent net2(&archive);
  ASSERT_TRUE(RunToEnd(net2, Args("/a.tar.gz"), archive));
  EXPECT_EQ(server.Requests("/a.tar.gz").back().Header("Accept-Encoding"), std::nullopt);
  EXPECT_EQ(File(), packed);
}

TEST_F(NetComponentTest, SizeBoundsRefuseWithoutWriting) {
  server.Serve("/big", Answer{.body = std::string(1000, 'b')});
  for (auto [lo, hi] : {std::pair<int64_t, int64_t>{0, 100}, {2000, 5000}}) {
    Recorder r;
    NetComponent net(&r);
    FetchArgs a = Args("/big");
    a.minSize = lo;
    a.maxSize = hi;
    ASSERT_TRUE(RunToEnd(net, a, r));
    EXPECT_EQ(r.code, kDoneTooLarge);
    EXPECT_FALSE(FileExists());
  }
  // Without a length the maximum holds for the bytes as they arrive.
  server.Serve("/endless", Answer{.endlessChunked = true});
  {
    Recorder r;
    NetComponent net(&r);
    FetchArgs a = Args("/endless");
    a.maxSize = 1000 * 1024;
    ASSERT_TRUE(RunToEnd(net, a, r));
    EXPECT_EQ(r.code, kDoneTooLarge);
    EXPECT_LE(r.dataBytes, a.maxSize);
    EXPECT_FALSE(FileExists());
  }
  Recorder r;
  NetComponent net(&r);
  FetchArgs a = Args("/big");
  a.minSize = 500;
  a.maxSize = 1000;
  ASSERT_TRUE(RunToEnd(net, a, r));
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(File().size(), 1000u);
}

TEST_F(NetComponentTest, AbortEndsStalledTransferPromptly) {
  server.Serve("/stall", Answer{.body = std::string(100000, 's'), .stallAfter = 1000});
  Recorder r;
  NetComponent net(&r);
  ASSERT_TRUE(net.Fetch(Args("/stall")));
  ASSERT_TRUE(PumpUntil([&] { return r.dataBytes >= 1000; }, 3000));
  auto t0 = std::chrono::steady_clock::now();
  net.Abort("Stopped", true);
  ASSERT_TRUE(PumpUntil([&] { return r.doneCount > 0; }, 2000));
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(900));
  EXPECT_EQ(r.code, kDoneStopped);
  EXPECT_TRUE(r.HasStatus("Stopped"));
}

TEST_F(NetComponentTest, AbortBeforeFetchDoesNotStopTheLaterTransfer) {
  server.Serve("/later", Answer{.body = "fine"});
  Recorder r;
  NetComponent net(&r);
  net.Abort("Stopped", true);
  ASSERT_TRUE(RunToEnd(net, Args("/later"), r));
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(File(), "fine");
}

TEST_F(NetComponentTest, NoEventArrivesAfterDestruction) {
  server.Serve("/slow", Answer{.body = std::string(200000, 'w'), .chunkDelayMs = 20, .chunkSize = 1000});
  Recorder r;
  {
    auto net = std::make_unique<NetComponent>(&r);
    ASSERT_TRUE(net->Fetch(Args("/slow")));
    ASSERT_TRUE(PumpUntil([&] { return r.dataBytes > 0; }, 3000));
    net.reset();
  }
  int seen = r.events;
  orvtest::PumpFor(300);
  EXPECT_EQ(r.events, seen);
  EXPECT_EQ(r.doneCount, 0);
}

// The event loop of all channels destroys components; a transfer stuck outside curl's reach
// (here an open of a FIFO nobody reads, elsewhere a slow name lookup) must not hold it.
TEST_F(NetComponentTest, DestructionNeverWaitsForAStuckTransfer) {
  server.Serve("/stuck", Answer{.body = "never written"});
  FetchArgs a = Args("/stuck");
  ASSERT_EQ(::mkfifo(a.localPath.c_str(), 0600), 0);
  Recorder r;
  auto net = std::make_unique<NetComponent>(&r);
  ASSERT_TRUE(net->Fetch(a));
  ASSERT_TRUE(PumpUntil([&] { return !r.headers.empty(); }, 3000));
  orvtest::PumpFor(100);  // the transfer thread now waits in the open
  const auto t0 = std::chrono::steady_clock::now();
  net.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(500));
  // Let the thread go: its open returns, it sees the end and writes nothing.
  int reader = ::open(a.localPath.c_str(), O_RDONLY | O_NONBLOCK);
  EXPECT_TRUE(NetComponent::WaitForWorkers(std::chrono::seconds(3)));
  if (reader >= 0) ::close(reader);
  EXPECT_EQ(r.doneCount, 0);
}

TEST_F(NetComponentTest, RefusedConnectionReportsWinsockNumber) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  int port = ntohs(addr.sin_port);
  ::close(fd);  // nothing listens there now
  Recorder r;
  NetComponent net(&r);
  FetchArgs a = Args("/x");
  a.address = "http://127.0.0.1:" + std::to_string(port) + "/x";
  ASSERT_TRUE(RunToEnd(net, a, r));
  EXPECT_EQ(r.code, kDoneFailed);
  EXPECT_TRUE(r.HasStatus("Err:10061"));
}

TEST_F(NetComponentTest, ProxyReceivesAbsoluteAddressAndCredentials) {
  server.Serve("http://site.invalid/p.html", Answer{.body = "via proxy"});
  Recorder r;
  NetComponent net(&r);
  FetchArgs a = Args("/unused", "Proxy-Authorization: Basic dTpw\r\n");
  a.address = "http://site.invalid/p.html";
  a.proxyHost = "127.0.0.1";
  a.proxyPort = server.Port();
  ASSERT_TRUE(RunToEnd(net, a, r));
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(File(), "via proxy");
  auto reqs = server.Requests("http://site.invalid/p.html");
  ASSERT_EQ(reqs.size(), 1u);
  // libcurl's own line, which asks for the encodings it can undo, stands before the block.
  const std::string encodings = "Accept-Encoding: " + reqs[0].Header("Accept-Encoding").value_or("?") + "\r\n";
  EXPECT_EQ(reqs[0].rawHead,
            "GET http://site.invalid/p.html HTTP/1.1\r\nHost: site.invalid\r\n" + encodings + a.headerBlock + "\r\n");
}

TEST_F(NetComponentTest, ResumesPastFourGibibytes) {
  const int64_t have = 5LL * 1024 * 1024 * 1024;  // sparse: takes no disk space
  {
    std::string p = tmp.Dir() + "file.bin";
    orvtest::WriteWholeFile(p, "");
    std::filesystem::resize_file(p, static_cast<std::uintmax_t>(have));
  }
  server.Serve("/huge", Answer{.generatedSize = have + 1000, .ranges = true});
  Recorder r;
  NetComponent net(&r);
  FetchArgs a = Args("/huge", "Range: bytes=" + std::to_string(have) + "-\r\n");
  a.exists = true;
  ASSERT_TRUE(RunToEnd(net, a, r));
  EXPECT_EQ(r.code, 0);
  EXPECT_TRUE(r.complete);
  EXPECT_EQ(r.length, 1000);
  EXPECT_NE(r.headers.find("Content-Range: bytes 5368709120-5368710119/5368710120"), std::string::npos);
  EXPECT_EQ(FileLength(tmp.Dir() + "file.bin"), have + 1000);
}

// SSL_CERT_FILE for the scope of one test.
class CertFileScope {
 public:
  explicit CertFileScope(const std::string& path) {
    const char* old = std::getenv("SSL_CERT_FILE");
    had_ = old != nullptr;
    if (had_) old_ = old;
    if (path.empty()) {
      unsetenv("SSL_CERT_FILE");
    } else {
      setenv("SSL_CERT_FILE", path.c_str(), 1);
    }
  }
  ~CertFileScope() {
    if (had_) {
      setenv("SSL_CERT_FILE", old_.c_str(), 1);
    } else {
      unsetenv("SSL_CERT_FILE");
    }
  }

 private:
  bool had_ = false;
  std::string old_;
};

class SecureFetchTest : public NetComponentTest {
 protected:
  void SetUp() override {
    NetComponentTest::SetUp();
    bundle = tmp.Dir() + "authority.pem";
    ASSERT_TRUE(authority.WriteBundle(bundle));
  }
  // Fetches path from a TLS server with this identity; the file's text, or "" when refused.
  std::string FetchFrom(const orvtest::TlsIdentity& id, bool verify, Recorder& r) {
    std::filesystem::remove(tmp.Dir() + "file.bin");
    orvtest::HttpTestServer tls;
    tls.EnableTls(id);
    tls.Serve("/s.html", Answer{.body = "secret page"});
    NetComponent net(&r);
    FetchArgs a = Args("/unused");
    a.address = tls.Url("/s.html");
    EXPECT_EQ(a.address.rfind("https://127.0.0.1:", 0), 0u);
    a.verifyCertificates = verify;
    EXPECT_TRUE(RunToEnd(net, a, r));
    return FileExists() ? File() : std::string();
  }
  orvtest::TestAuthority authority;
  std::string bundle;
};

TEST_F(SecureFetchTest, VerifiesAgainstTheBundleNamedBySslCertFile) {
  const orvtest::TlsIdentity id = authority.Issue({"localhost"}, {"127.0.0.1"});
  {
    CertFileScope scope("");  // the system's store does not know the test authority
    Recorder r;
    EXPECT_EQ(FetchFrom(id, true, r), "");
    EXPECT_EQ(r.code, kDoneFailed);
    EXPECT_TRUE(r.HasStatus("Err:12045"));
  }
  CertFileScope scope(bundle);
  Recorder r;
  EXPECT_EQ(FetchFrom(id, true, r), "secret page");
  EXPECT_EQ(r.code, kDoneOk);
  EXPECT_TRUE(r.complete);
  EXPECT_FALSE(r.HasStatus("Err:12045"));
}

TEST_F(SecureFetchTest, APageMovedToTheOtherSchemeIsFetchedThereOnceAndNoFurther) {
  CertFileScope scope(bundle);
  orvtest::HttpTestServer site;
  site.EnableTls(authority.Issue({"localhost"}, {"127.0.0.1"}), true);
  const std::string plain = "http://" + site.HostPort(), secure = "https://" + site.HostPort();
  site.Serve("http:/p.html", Answer{.status = 301, .headers = {"Location: " + secure + "/p.html"}, .body = "moved"});
  site.Serve("/p.html", Answer{.headers = {"Content-Type: text/html"}, .body = "the page"});
  // A server that sends each scheme to the other: the second move is an ordinary redirect.
  site.Serve("http:/loop.html", Answer{.status = 301, .headers = {"Location: " + secure + "/loop.html"}});
  site.Serve("/loop.html", Answer{.status = 301, .headers = {"Location: " + plain + "/loop.html"}});
  // Another path is a redirect the run decides on, not a move.
  site.Serve("http:/q.html", Answer{.status = 302, .headers = {"Location: " + secure + "/p.html"}});
  const auto fetch = [&](const std::string& address, Recorder& r) {
    std::filesystem::remove(tmp.Dir() + "file.bin");
    NetComponent net(&r);
    FetchArgs a = Args("/unused");
    a.address = address;
    EXPECT_TRUE(RunToEnd(net, a, r));
  };
  Recorder moved;
  fetch(plain + "/p.html", moved);
  EXPECT_EQ(moved.code, kDoneOk);
  EXPECT_TRUE(moved.complete);
  EXPECT_EQ(moved.target, "");
  EXPECT_EQ(File(), "the page");
  EXPECT_EQ(moved.moves, std::vector<std::string>{secure + "/p.html"});
  EXPECT_EQ(moved.order.front(), "moved") << "announced before the answer's own events";
  EXPECT_EQ(moved.headers.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);

  Recorder loop;
  fetch(plain + "/loop.html", loop);
  EXPECT_EQ(loop.moves, std::vector<std::string>{secure + "/loop.html"});
  EXPECT_EQ(loop.target, plain + "/loop.html");
  EXPECT_EQ(site.Count("/loop.html"), 2u);

  Recorder other;
  fetch(plain + "/q.html", other);
  EXPECT_TRUE(other.moves.empty());
  EXPECT_EQ(other.target, secure + "/p.html");
  EXPECT_FALSE(FileExists());
}

TEST_F(SecureFetchTest, WrongNameAndUnknownAuthorityAreRefusedUnlessTheCheckIsOff) {
  CertFileScope scope(bundle);
  const orvtest::TlsIdentity wrongName = authority.Issue({"other.test"}, {});
  const orvtest::TlsIdentity unknown = orvtest::TestAuthority::SelfSigned({"localhost"}, {"127.0.0.1"});
  for (const orvtest::TlsIdentity* id : {&wrongName, &unknown}) {
    Recorder refused;
    EXPECT_EQ(FetchFrom(*id, true, refused), "");
    EXPECT_EQ(refused.code, kDoneFailed);
    EXPECT_TRUE(refused.HasStatus("Err:12045"));
    Recorder accepted;
    EXPECT_EQ(FetchFrom(*id, false, accepted), "secret page");
    EXPECT_EQ(accepted.code, kDoneOk);
  }
}

TEST_F(SecureFetchTest, ThroughAProxyByConnectWithTheProxyCredentialsForTheProxyAlone) {
  CertFileScope scope(bundle);
  orvtest::HttpTestServer tls;
  tls.EnableTls(authority.Issue({"localhost"}, {"127.0.0.1"}));
  tls.Serve("/p.html", Answer{.body = "tunnelled"});
  Recorder r;
  NetComponent net(&r);
  FetchArgs a = Args("/unused", "Authorization: Basic YTpi\r\nProxy-Authorization: Basic dTpw\r\n");
  a.address = tls.Url("/p.html");
  a.proxyHost = "127.0.0.1";
  a.proxyPort = server.Port();  // the plain server is the proxy
  ASSERT_TRUE(RunToEnd(net, a, r));
  EXPECT_EQ(r.code, kDoneOk);
  EXPECT_EQ(File(), "tunnelled");
  const auto connects = server.Requests(tls.HostPort());
  ASSERT_EQ(connects.size(), 1u);
  EXPECT_EQ(connects[0].method, "CONNECT");
  EXPECT_EQ(connects[0].Header("Proxy-Authorization"), "Basic dTpw");
  EXPECT_EQ(connects[0].Header("Authorization"), std::nullopt);
  const auto got = tls.Requests("/p.html");
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].Header("Authorization"), "Basic YTpi");
  EXPECT_EQ(got[0].Header("Proxy-Authorization"), std::nullopt);

  // A proxy that refuses the tunnel: the address fails, nothing is written.
  server.Serve(tls.HostPort(), Answer{.status = 407, .body = "no"});
  std::filesystem::remove(tmp.Dir() + "file.bin");
  Recorder refused;
  NetComponent again(&refused);
  ASSERT_TRUE(RunToEnd(again, a, refused));
  EXPECT_NE(refused.code, kDoneOk);
  EXPECT_FALSE(FileExists());
}

}  // namespace
}  // namespace orv::console
