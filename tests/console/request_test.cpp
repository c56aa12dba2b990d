#include "console/request.h"
#include "console/proxy_rotation.h"

#include <gtest/gtest.h>

#include <map>

#include "common/text.h"

namespace orv::console {
namespace {

TEST(ProxySpec, DirectConnections) {
  EXPECT_TRUE(ParseProxySpec("").host.empty());
  EXPECT_TRUE(ParseProxySpec("abc:8080").host.empty());        // shorter than 10
  EXPECT_TRUE(ParseProxySpec("abcd:8080").host.empty());       // 9 characters
  EXPECT_TRUE(ParseProxySpec("proxy.example.org:3128 NOTHING").host.empty());
  EXPECT_TRUE(ParseProxySpec("proxy.example.org").host.empty());  // no port separator
  // A colon before the 9th character is no port separator.
  EXPECT_TRUE(ParseProxySpec("abc:12345678").host.empty());
}

TEST(ProxySpec, HostPortAndCredentials) {
  ProxyParts p = ParseProxySpec("http://proxy.example.org:3128/");
  EXPECT_EQ(p.host, "proxy.example.org");
  EXPECT_EQ(p.port, 3128);
  EXPECT_TRUE(p.credentials.empty());

  p = ParseProxySpec("  10.0.0.1:8080 ");
  EXPECT_EQ(p.host, "10.0.0.1");
  EXPECT_EQ(p.port, 8080);

  p = ParseProxySpec("user:secret@@@@@cache.local:81");
  EXPECT_EQ(p.host, "cache.local");
  EXPECT_EQ(p.port, 81);
  EXPECT_EQ(p.credentials, "user:secret");
  EXPECT_EQ(ProxyAuthLine(p), "Proxy-Authorization: Basic dXNlcjpzZWNyZXQ=\r\n");
  EXPECT_EQ(ProxyAuthLine(ParseProxySpec("cache.local:81")), "");
}

TEST(ProxySpec, LineBreaksCannotInjectHeaders) {
  ProxyParts p = ParseProxySpec("us\r\ner:pw@@@@@cache.local:81");
  EXPECT_EQ(p.credentials, "user:pw");
  EXPECT_EQ(ProxyAuthLine(p).find('\n'), ProxyAuthLine(p).size() - 1);
}

TEST(Base64, Rfc4648VectorsAndCyrillicBytes) {
  EXPECT_EQ(Base64(""), "");
  EXPECT_EQ(Base64("f"), "Zg==");
  EXPECT_EQ(Base64("fo"), "Zm8=");
  EXPECT_EQ(Base64("foo"), "Zm9v");
  EXPECT_EQ(Base64("foob"), "Zm9vYg==");
  EXPECT_EQ(Base64("fooba"), "Zm9vYmE=");
  EXPECT_EQ(Base64("foobar"), "Zm9vYmFy");
  // "Ия" in Windows-1251 is C8 FF.
  EXPECT_EQ(Base64(orv::Ru("Ия")), "yP8=");
}

TEST(HeaderBlock, MinimalAndFullOrder) {
  HeaderLines l;
  l.userAgent = UserAgentLine("Agent/1.0");
  EXPECT_EQ(HeaderBlock(l), "Connection: close\r\nAccept: */*\r\nUser-Agent: Agent/1.0\r\n");

  l.auth = "A\r\n";
  l.proxyAuth = "P\r\n";
  l.range = RangeLine(500);
  l.charset = CharsetLine(1);
  l.condition = ConditionLine(784111777);
  EXPECT_EQ(HeaderBlock(l),
            "A\r\nP\r\nRange: bytes=500-\r\nAccept-Charset: windows-1251;q=1\r\n"
            "Connection: close\r\nAccept: */*\r\n"
            "If-Modified-Since: Sun, 06 Nov 1994 08:49:37 GMT\r\nUser-Agent: Agent/1.0\r\n");
}

TEST(HeaderBlock, PieceRules) {
  EXPECT_EQ(CharsetLine(2), "Accept-Charset: koi8-r;q=1\r\n");
  EXPECT_EQ(CharsetLine(7), "");
  EXPECT_EQ(CharsetLine(0), "");
  EXPECT_EQ(UserAgentLine("   "), "User-Agent: -\r\n");
  EXPECT_EQ(UserAgentLine("Bad\r\nX-Injected: 1"), "User-Agent: BadX-Injected: 1\r\n");
  // Sizes over 4 GiB are written in full.
  EXPECT_EQ(RangeLine(5000000000LL), "Range: bytes=5000000000-\r\n");
  EXPECT_EQ(HttpDate(0), "Thu, 01 Jan 1970 00:00:00 GMT");
}

TEST(Credentials, ParsingStopsAtFirstMalformedEntry) {
  auto c = ParseCredentials({"site.one\\\\ann**pw1", "two.org\\\\bob**pw2", "three.net\\\\carl-pw3",
                             "four.ru\\\\dan**pw4"});
  ASSERT_EQ(c.size(), 2u);
  EXPECT_EQ(c[1].site, "two.org");
  EXPECT_EQ(c[1].user, "bob");
  EXPECT_EQ(c[1].password, "pw2");
  EXPECT_TRUE(ParseCredentials({"site\\\\**pw"}).empty());  // empty user
  EXPECT_TRUE(ParseCredentials({"\\\\u**pw"}).empty());     // empty site
}

TEST(Credentials, FirstMatchingSiteWins) {
  auto c = ParseCredentials({"example.org\\\\ann**pw1", "org\\\\bob**pw2"});
  EXPECT_EQ(AuthorizationLine("http://WWW.Example.ORG/a", c),
            "Authorization: Basic " + Base64("ann:pw1") + "\r\n");
  EXPECT_EQ(AuthorizationLine("http://other.org/", c), "Authorization: Basic " + Base64("bob:pw2") + "\r\n");
  EXPECT_EQ(AuthorizationLine("http://other.net/", c), "");
}

TEST(Markers, FrameAndReferrer) {
  MarkedAddress m = SplitMarkers("http://s/a.html(((((http://s/dir/)ifra(");
  EXPECT_TRUE(m.frame);
  EXPECT_EQ(m.url, "http://s/a.html");
  EXPECT_EQ(m.referrerFolder, "http://s/dir/");
  // ")ifra(" anywhere cuts the last six characters, whatever they are.
  m = SplitMarkers("http://s/)ifra(/x/abcdef");
  EXPECT_TRUE(m.frame);
  EXPECT_EQ(m.url, "http://s/)ifra(/x/");
  m = SplitMarkers("  http://s/plain  ");
  EXPECT_FALSE(m.frame);
  EXPECT_EQ(m.url, "http://s/plain");
}

TEST(DropRules, ExclusionsAndTypes) {
  EXPECT_TRUE(DroppedByExclusions("http://s/Banner/x.gif", {"banner"}));
  EXPECT_FALSE(DroppedByExclusions("http://s/x.gif", {"", "ads"}));
  std::vector<std::string> types(9);
  types[3] = ".zip.rar";
  EXPECT_TRUE(DroppedByType("http://s/a/file.zip", types));
  EXPECT_FALSE(DroppedByType("http://s/a/file.ZIP", types));  // case-sensitive
  EXPECT_FALSE(DroppedByType("http://s/a/file.z", types));    // ending shorter than 3
  EXPECT_FALSE(DroppedByType("http://s/abcdefgh", types));    // no "." in the last 7
}

TEST(RequestTargetTest, EncodesWhatAUrlCannotHold) {
  EXPECT_EQ(RequestTarget("http://s/a b.html?x=1&y=%41"), "http://s/a%20b.html?x=1&y=%41");
  EXPECT_EQ(RequestTarget("http://s/" + orv::Ru("д") + "|{x}"), "http://s/%E4%7C%7Bx%7D");
  EXPECT_EQ(RequestTarget("http://s:81/~u/p.php;v?q#f"), "http://s:81/~u/p.php;v?q#f");
}

TEST(TakeIntervalTest, TimeoutStaysPositiveWhateverTheSetting) {
  EXPECT_EQ(TransferTimeout(120), 120);
  EXPECT_EQ(TransferTimeout(4294967296LL + 5), 86400);  // once narrowed to 5, or below 0
  EXPECT_EQ(TransferTimeout(3000000000LL), 86400);
  EXPECT_EQ(TransferTimeout(-3), 1);
  EXPECT_EQ(TransferTimeout(0), 1);
}

TEST(TakeIntervalTest, Substitutions) {
  EXPECT_DOUBLE_EQ(TakeInterval(0), 0.1);
  EXPECT_DOUBLE_EQ(TakeInterval(2), 4);
  EXPECT_DOUBLE_EQ(TakeInterval(3), 0);
  EXPECT_DOUBLE_EQ(TakeInterval(1.5), 1.5);
}

// A main program that writes the next address's proxy, agent and size bounds the moment it sees
// record 1 empty, as the feeding pass may.
class EagerMainProgram final : public ControlRecords {
 public:
  std::map<int, std::string> records;
  std::string Read(int record) override { return records[record]; }
  void Write(int record, const std::string& value) override {
    records[record] = value;
    if (record == 1 && value.empty())
      records = {{1, ""}, {8, "next.proxy.test:3128"}, {9, "Next/2"}, {16, "5"}, {17, "6"}};
  }
};

TEST(Mailbox, AnAddressKeepsTheSettingsWrittenWithItWhenTheNextOnesFollowAtOnce) {
  EagerMainProgram main;
  main.records = {{1, "http://a.test/"}, {8, "proxy.test:8080"}, {9, "Agent/1"}, {16, "100"}, {17, "2000"}};
  AddressSettings taken = TakeFromMailbox(main);
  EXPECT_EQ(taken.address, "http://a.test/");
  EXPECT_EQ(taken.proxySpec, "proxy.test:8080");
  EXPECT_EQ(taken.userAgent, "Agent/1");
  EXPECT_EQ(taken.minSize, "100");
  EXPECT_EQ(taken.maxSize, "2000");
  EXPECT_EQ(main.records[1], "");
  EXPECT_EQ(main.records[9], "Next/2");  // the next address's, untouched by the take

  // An empty mailbox is left alone: no write that would let the main program move on.
  main.records = {{1, ""}, {9, "Agent/1"}};
  EXPECT_EQ(TakeFromMailbox(main).address, "");
  EXPECT_EQ(main.records[9], "Agent/1");
}

// Alternation inside the console: a dead proxy's address goes on through the next proxy with
// that proxy's credentials, the dead one is left out for a while, and an address gets each
// proxy of the list once.
TEST(ProxyRotation, AFailingProxyHandsItsAddressOnAndIsLeftOutForAWhile) {
  ProxyRotation r;
  r.SetList({"dead.lan:3128", "nothing", "live.lan:8080@@@@@user:pw", "third.lan:81"});
  ASSERT_EQ(r.Size(), 3u);
  EXPECT_EQ(r.Choose("dead.lan:3128", 0).spec, "dead.lan:3128");

  std::optional<std::string> next = r.RetryThrough("http://s/a", "DEAD.lan:3128", true, 100);
  ASSERT_TRUE(next);
  EXPECT_EQ(ProxyAuthLine(ParseProxySpec(*next)), "Proxy-Authorization: Basic dXNlcjpwdw==\r\n");
  ProxyRotation::Choice c = r.Choose("dead.lan:3128", 100 + ProxyRotation::kSkipSeconds - 1);
  EXPECT_EQ(c.spec, *next);
  EXPECT_EQ(c.skipped, "dead.lan:3128");
  EXPECT_EQ(r.Choose("dead.lan:3128", 100 + ProxyRotation::kSkipSeconds + 1).spec, "dead.lan:3128");

  // A login refused: the next proxy, the refusing one stays in use for other addresses.
  next = r.RetryThrough("http://s/a", *next, false, 200);
  ASSERT_TRUE(next);
  EXPECT_EQ(*next, "third.lan:81");
  EXPECT_EQ(r.Choose("live.lan:8080", 200).skipped, "");
  EXPECT_FALSE(r.RetryThrough("http://s/a", "third.lan:81", true, 200));  // all three tried
  EXPECT_FALSE(r.RetryThrough("http://s/b", "elsewhere.lan:3128", true, 200));
}

}  // namespace
}  // namespace orv::console
