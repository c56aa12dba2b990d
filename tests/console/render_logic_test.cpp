// The rendering decisions and the framing between the console and orvrend, without the engine.
#include <gtest/gtest.h>

#include <string>

#include "render/render_policy.h"
#include "render/render_protocol.h"

namespace orv::render {
namespace {

RenderRequest SampleRequest() {
  RenderRequest r;
  r.id = 42;
  r.address = "http://127.0.0.1:8080/app/index.html";
  r.charset = "windows-1251";
  // A body holds anything: line ends, a NUL, a text that looks like a frame header.
  static constexpr char kBody[] = "<html>\r\n\xcf\xf0\xe8\xe2\xe5\xf2\0 page 5\n12\n";
  r.body.assign(kBody, sizeof kBody - 1);
  r.quietMs = 1500;
  r.maxMs = 9000;
  r.similarHosts = true;
  r.cookieJar = "/tmp/coll/orvef0.cookies";
  return r;
}

TEST(RenderProtocol, FramesSurviveAnySplitOfThePipeAndComeBackByteExact) {
  RenderReply reply;
  reply.id = 42;
  reply.outcome = RenderOutcome::Rendered;
  reply.html = "<!DOCTYPE html>\n<html><body>\xd0\xa2\xd0\xb5\xd0\xba\xd1\x81\xd1\x82</body></html>";
  reply.requested = {"http://127.0.0.1:8080/app/data.json", "http://127.0.0.1:8080/app/pic.png"};
  const std::string stream = EncodeFrame(ToFrame(SampleRequest())) + EncodeFrame(ToFrame(reply));

  // Byte by byte, as a slow pipe delivers, and in one piece holding both frames.
  for (std::size_t chunk : {std::size_t{1}, stream.size()}) {
    FrameReader reader;
    Frame frame;
    std::vector<Frame> frames;
    for (std::size_t at = 0; at < stream.size(); at += chunk) {
      reader.Feed(std::string_view(stream).substr(at, chunk));
      while (reader.Next(frame) == FrameReader::Status::Ready) frames.push_back(frame);
    }
    ASSERT_EQ(frames.size(), 2u) << "chunk " << chunk;
    EXPECT_EQ(reader.Next(frame), FrameReader::Status::NeedMore);
    const std::optional<RenderRequest> request = RequestFromFrame(frames[0]);
    ASSERT_TRUE(request);
    EXPECT_EQ(request->id, 42u);
    EXPECT_EQ(request->address, SampleRequest().address);
    EXPECT_EQ(request->charset, "windows-1251");
    EXPECT_EQ(request->body, SampleRequest().body);
    EXPECT_EQ(request->quietMs, 1500);
    EXPECT_EQ(request->maxMs, 9000);
    EXPECT_TRUE(request->similarHosts);
    EXPECT_EQ(request->cookieJar, "/tmp/coll/orvef0.cookies");
    EXPECT_FALSE(ReplyFromFrame(frames[0]));  // a request is no reply
    const std::optional<RenderReply> back = ReplyFromFrame(frames[1]);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->outcome, RenderOutcome::Rendered);
    EXPECT_EQ(back->html, reply.html);
    EXPECT_EQ(back->requested, reply.requested);
  }
}

TEST(RenderProtocol, AStreamOutOfFormatOrPastItsBoundsIsBrokenForGood) {
  Frame frame;
  for (const std::string& bad : {std::string("GET / HTTP/1.1\r\n"), std::string("page 99\n"),
                                 std::string("page 1\n") + std::to_string(kMaxFieldBytes + 1) + "\n",
                                 std::string("page 1\n-5\n"), std::string(100, 'x')}) {
    FrameReader reader;
    reader.Feed(bad);
    EXPECT_EQ(reader.Next(frame), FrameReader::Status::Broken) << bad.substr(0, 20);
    reader.Feed(EncodeFrame(ToFrame(SampleRequest())));  // nothing after a break is trusted
    EXPECT_EQ(reader.Next(frame), FrameReader::Status::Broken);
  }
  // A well-framed request with fields that are no values is refused, not half taken.
  Frame request = ToFrame(SampleRequest());
  request.fields[4] = "soon";
  EXPECT_FALSE(RequestFromFrame(request));
  request = ToFrame(SampleRequest());
  request.fields.pop_back();
  EXPECT_FALSE(RequestFromFrame(request));
}

TEST(RenderPolicy, OnlyHtmlDocumentsAreRendered) {
  EXPECT_TRUE(WorthRendering("text/html; charset=utf-8", "http://s/a.php?x=1", "<p>"));
  EXPECT_TRUE(WorthRendering("application/xhtml+xml", "http://s/a", "<?xml"));
  EXPECT_FALSE(WorthRendering("text/css", "http://s/a.html", "<html>"));
  EXPECT_FALSE(WorthRendering("application/javascript", "http://s/app.js", "document.write('<html>')"));
  EXPECT_FALSE(WorthRendering("text/plain", "http://s/readme", "<html>"));
  // No type named: the body's start decides, and for a fragment the address's ending.
  EXPECT_TRUE(WorthRendering("", "http://s/app.js", "\xef\xbb\xbf <!DOCTYPE html><html>"));
  EXPECT_TRUE(WorthRendering("", "http://s/page", "<div id=app></div>"));
  EXPECT_FALSE(WorthRendering("", "http://s/app.js", "<div id=app></div>"));
  EXPECT_FALSE(WorthRendering("", "http://s/page", "var x = 1;"));
  EXPECT_EQ(CharsetOfContentType("text/html; charset=\"windows-1251\""), "windows-1251");
  EXPECT_EQ(CharsetOfContentType("text/html;charset=utf-8; x=y"), "utf-8");
  EXPECT_EQ(CharsetOfContentType("text/html; charset=<script>"), "");
}

TEST(RenderPolicy, ScriptsReachThePagesOwnHostAndSimilarOnesOnlyWhenAllowed) {
  const std::string page = "https://user:pw@www.example.com:8443/app/";
  EXPECT_EQ(HostOfAddress(page), "www.example.com");
  EXPECT_TRUE(RequestAllowed("https://WWW.Example.com:8443/data.json", page, false));
  EXPECT_TRUE(RequestAllowed("http://www.example.com:8443/x", page, false));
  // Another port is another site (two servers on one machine); the default ports are one site.
  EXPECT_FALSE(RequestAllowed("https://www.example.com/x", page, false));
  EXPECT_TRUE(RequestAllowed("http://www.example.com/x", "https://www.example.com:443/", false));
  EXPECT_FALSE(RequestAllowed("http://127.0.0.1:8081/x", "http://127.0.0.1:8080/", false));
  EXPECT_FALSE(RequestAllowed("https://cdn.example.com/lib.js", page, false));
  EXPECT_TRUE(RequestAllowed("https://cdn.example.com/lib.js", page, true));
  EXPECT_FALSE(RequestAllowed("https://tracker.net/t.gif", page, true));
  EXPECT_FALSE(RequestAllowed("https://evil.net/?www.example.com", page, false));
  EXPECT_FALSE(RequestAllowed("https://www.example.com.evil.net@evil.net/", page, false));
  EXPECT_FALSE(RequestAllowed("ws://www.example.com/socket", page, false));
  EXPECT_FALSE(RequestAllowed("file:///etc/passwd", page, true));
}

TEST(RenderPolicy, APageSettlesWhenItsNetworkIsQuietOrItsTimeIsUp) {
  const RenderTimes times = RenderTimesFrom("2000", "15000");
  SettleWatch watch(times, 1000);
  EXPECT_EQ(watch.Check(5000), SettleWatch::Verdict::Waiting);  // not loaded yet: no quiet counts
  watch.LoadFinished(5000);
  watch.RequestBegan(6500);  // a script asks for its data
  EXPECT_EQ(watch.Check(8000), SettleWatch::Verdict::Waiting);
  EXPECT_EQ(watch.MsUntilNextCheck(8000), 500);
  EXPECT_EQ(watch.Check(8500), SettleWatch::Verdict::Quiet);

  // A page that keeps asking (a poll every second) is taken at its maximum.
  SettleWatch busy(times, 0);
  busy.LoadFinished(100);
  for (int64_t t = 1000; t < 15000; t += 1000) {
    busy.RequestBegan(t);
    EXPECT_EQ(busy.Check(t + 999), SettleWatch::Verdict::Waiting);
  }
  EXPECT_EQ(busy.Check(15000), SettleWatch::Verdict::TimedOut);

  // Settings out of range are brought into it; text that is no number gives the defaults.
  EXPECT_EQ(RenderTimesFrom("abc", "").quietMs, 2000);
  EXPECT_EQ(RenderTimesFrom("abc", "").maxMs, 15000);
  EXPECT_EQ(RenderTimesFrom("0", "99999999").quietMs, 100);
  EXPECT_EQ(RenderTimesFrom("0", "99999999").maxMs, 300000);
  EXPECT_EQ(RenderTimesFrom("9000", "3000").quietMs, 3000);  // never longer than the maximum
}

TEST(RenderPolicy, PagesAtOnceFollowTheIntensityAndAHungOrSwollenRendererIsReplaced) {
  EXPECT_EQ(RenderSlots(2), 1);  // low
  EXPECT_EQ(RenderSlots(1), 2);  // medium
  EXPECT_EQ(RenderSlots(0), 4);  // high
  EXPECT_EQ(RenderSlots(3), 4);  // maximum
  EXPECT_EQ(JudgeRenderer(15000 + kHangGraceMs, 15000, 300LL << 20), RendererHealth::Sound);
  EXPECT_EQ(JudgeRenderer(15001 + kHangGraceMs, 15000, 300LL << 20), RendererHealth::Hung);
  EXPECT_EQ(JudgeRenderer(0, 15000, kMemoryBoundBytes + 1), RendererHealth::TooLarge);
}

}  // namespace
}  // namespace orv::render
