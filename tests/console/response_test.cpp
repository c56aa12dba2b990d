#include "console/response.h"

#include <gtest/gtest.h>

namespace orv::console {
namespace {

TEST(ProgressTexts, SizeAndPercent) {
  EXPECT_EQ(SizeText(0), " 0 b");
  EXPECT_EQ(SizeText(1024), " 1024 b");
  EXPECT_EQ(SizeText(1536), " 1.5 kb");
  EXPECT_EQ(SizeText(2048), " 2 kb");
  EXPECT_EQ(PercentText(500, 1000), " 50%");
  EXPECT_EQ(PercentText(0, 1000), " 0%");
  EXPECT_EQ(PercentText(2000, 1000), " 100%");
  EXPECT_EQ(PercentText(50, 0), " 0%");
  // 64-bit sizes do not overflow the percentage.
  EXPECT_EQ(PercentText(3000000000LL, 6000000000LL), " 50%");
  EXPECT_EQ(ProgressText(300, -1), " 300 b");
  EXPECT_EQ(ProgressText(300, 600), " 50%");
}

TEST(HeaderFactsTest, RangesAndFullBody) {
  HeaderFacts f = AnalyseHeaders("http/1.1 206 partial content\r\ncontent-range: bytes 500-999/1000\r\n", 500);
  EXPECT_TRUE(f.rangeAccepted);
  EXPECT_FALSE(f.acceptsRanges);
  EXPECT_FALSE(f.fullBody);
  f = AnalyseHeaders("http/1.1 206 partial content\r\ncontent-range: bytes 0-999/1000\r\n", 500);
  EXPECT_FALSE(f.rangeAccepted);
  f = AnalyseHeaders("http/1.1 200 ok\r\naccept-ranges: bytes\r\ncontent-range: bytes 500-1/2\r\n", 500);
  EXPECT_TRUE(f.fullBody);
  EXPECT_TRUE(f.acceptsRanges);
  EXPECT_FALSE(f.rangeAccepted);
  f = AnalyseHeaders("http/1.1 206 partial content\r\ncontent-range: bytes 3221225472-3221226471/3221226472\r\n",
                     3221225472LL);
  EXPECT_TRUE(f.rangeAccepted);
}

TEST(WatchState, FromLengthAndSize) {
  EXPECT_EQ(StateFromSize(0, 1000, 999), kStateOk);
  EXPECT_EQ(StateFromSize(0, 1000, 500), kStateShort);
  EXPECT_EQ(StateFromSize(0, -1, 0), kStateFailed);
  EXPECT_EQ(StateFromSize(0, -1, 10), kStateOk);
  EXPECT_EQ(StateFromSize(999, 0, 0), kStateOk);
  EXPECT_EQ(StateFromSize(895, 1000, 0), 895);  // positive length, empty file: unchanged
  EXPECT_EQ(StateFromSize(777, 1000, 500), kStateNotFound);
  EXPECT_EQ(StateFromSize(0, 5000000000LL, 4999999999LL), kStateOk);
  EXPECT_TRUE(TimedOut(120.0, 120));
  EXPECT_FALSE(TimedOut(119.9, 120));
}

TEST(Marking, AfterTransfer) {
  EXPECT_EQ(MarkingAfterTransfer(1000, 999, false, false, false).marking, Marking::Normal);
  MarkingDecision d = MarkingAfterTransfer(1000, 500, false, true, false);
  EXPECT_EQ(d.marking, Marking::System);
  EXPECT_TRUE(d.shortFile);
  d = MarkingAfterTransfer(1000, 500, false, false, false);
  EXPECT_EQ(d.marking, Marking::Normal);
  EXPECT_TRUE(d.shortFile);
  EXPECT_EQ(MarkingAfterTransfer(-1, 500, false, false, true).marking, Marking::Keep);
  EXPECT_EQ(MarkingAfterTransfer(-1, 500, false, false, false).marking, Marking::Normal);
  EXPECT_EQ(MarkingAfterTransfer(1000, 0, true, true, false).marking, Marking::Keep);
}

TEST(TextSniff, Rules) {
  EXPECT_TRUE(LooksLikeText("http://s/a.css", "", false, ""));
  EXPECT_TRUE(LooksLikeText("http://s/a.bin", "content-type: text/plain", false, ""));
  EXPECT_TRUE(LooksLikeText("http://s/a.bin", "", true, ""));
  std::string page = "<HTML><body>" + std::string(60, 'x');
  EXPECT_TRUE(LooksLikeText("http://s/a.bin", "content-type: application/octet-stream", false, page));
  // Sniffing needs 51 characters.
  EXPECT_FALSE(LooksLikeText("http://s/a.bin", "", false, "<html><body>" + std::string(28, 'x')));
  // The marker must lie in the first 50 characters.
  EXPECT_FALSE(LooksLikeText("http://s/a.bin", "", false, std::string(60, 'x') + "<html>"));
}

TEST(TextSniff, OnlyTheContentTypeValueNamesTheType) {
  const std::string policy = "http/1.1 200 ok\r\ncontent-security-policy: script-src 'self'\r\n"
                             "link: </a.css>; type=\"text/css\"\r\n";
  EXPECT_FALSE(LooksLikeText("http://s/a.pdf", policy + "content-type: application/pdf\r\n", false, ""));
  EXPECT_TRUE(LooksLikeText("http://s/a", policy + "content-type: application/javascript\r\n", false, ""));
  EXPECT_EQ(HeaderValue("http/1.1 200 ok\r\nx-type: a\r\ntype:  text/html \r\n", "type"), "text/html");
}

TEST(BusyServer, WaitsWhatItAsksWithinTheTimeoutElseBacksOff) {
  const std::string h = "http/1.1 429 too many requests\r\nretry-after: 2\r\n";
  EXPECT_EQ(StatusCodeOf(h), 429);
  EXPECT_EQ(RetryWaitSeconds(h, 1, 120, 0), 2);
  EXPECT_EQ(RetryWaitSeconds("http/1.1 503 x\r\nretry-after: 3600\r\n", 1, 120, 0), 120);
  // An HTTP date: the seconds until then.
  const time_t now = 1445412480;  // Wed, 21 Oct 2015 07:28:00 GMT
  EXPECT_EQ(RetryWaitSeconds("http/1.1 503 x\r\nretry-after: wed, 21 oct 2015 07:28:30 gmt\r\n", 1, 120, now), 30);
  // None given: the wait doubles with the failures.
  EXPECT_EQ(RetryWaitSeconds("http/1.1 503 x\r\n", 1, 120, now), 2);
  EXPECT_EQ(RetryWaitSeconds("http/1.1 503 x\r\n", 3, 120, now), 8);
  EXPECT_EQ(RetryWaitSeconds("http/1.1 503 x\r\n", 40, 30, now), 30);
}

TEST(Retries, LimitZeroMeansTwoFetches) {
  RetryTable t;
  int state = 0;
  // First failure: entered with counter 0 and requeued; the second check of the same failure
  // (the watch) uses the allowance; the second fetch's failures end it.
  EXPECT_TRUE(t.ShouldRequeue("http://s/a", 0, false, state));
  EXPECT_TRUE(t.ShouldRequeue("http://s/a", 0, false, state));
  EXPECT_FALSE(t.ShouldRequeue("http://s/a", 0, false, state));
  EXPECT_EQ(state, kStateFailed);
  state = 0;
  EXPECT_FALSE(t.ShouldRequeue("http://s/a", 5, false, state));  // blocked for good
  EXPECT_EQ(state, kStateFailed);
}

TEST(Retries, LimitTwoAndNoRetry) {
  RetryTable t;
  int state = 0;
  int requeues = 0;
  for (int i = 0; i < 10; ++i) requeues += t.ShouldRequeue("http://s/b", 2, false, state) ? 1 : 0;
  // Entered with 0, then raised to 1, 2, 3 while the limit allows it.
  EXPECT_EQ(requeues, 4);
  state = 0;
  EXPECT_FALSE(t.ShouldRequeue("http://s/c", 2, true, state));
  EXPECT_FALSE(t.ShouldRequeue("http://s/c", 2, false, state));
  EXPECT_EQ(state, kStateFailed);
}

TEST(Reason, StandardPhrases) {
  EXPECT_STREQ(ReasonPhrase(200), "OK");
  EXPECT_STREQ(ReasonPhrase(404), "Not Found");
  EXPECT_STREQ(ReasonPhrase(206), "Partial Content");
}

}  // namespace
}  // namespace orv::console
