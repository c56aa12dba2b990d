#include "main/run/classification.h"

#include <gtest/gtest.h>

#include "common/address_text.h"
#include "common/text.h"
#include "main/run/scope_table.h"
#include "tests/main/fake_main_window.h"

namespace orv {
namespace {

CategoryRules DefaultRules() {
  CategoryRules rules;
  const char* lists[kCategoryCount] = {".html.cgi.php.chm.shtm", ".gif.jpg.jfif.png.ipx.bmp",
                                       ".mp3.wav.midi",          ".vid.mov.mpeg.mpg",
                                       ".txt.doc",               ".class.swf",
                                       ".exe.zip.rar",           ""};
  for (int c = 1; c <= kCategoryCount; ++c) {
    rules.Of(c).extend = lists[c - 1];
    rules.Of(c).zone = ZoneSite();
  }
  return rules;
}

ScopeTable ScopeFor(const std::string& start) {
  ScopeTable scope;
  scope.RebuildFromStart(start, false);
  return scope;
}

// --- start address ---------------------------------------------------------------------------

struct Validation {
  bool ok;
  std::string box, pending, current;
  std::size_t messages;
};

Validation Validate(const std::string& text, bool lanOrLocalhostOnline = false) {
  testing::FakeMainWindow window;
  Validation v{false, text, "", "previous", 0};
  v.ok = ValidateStartAddress(v.box, lanOrLocalhostOnline, window, v.pending, v.current);
  v.messages = window.messages.size();
  if (!window.messages.empty()) {
    EXPECT_EQ(window.messages[0].text, Ru("Введен ошибочный адрес"));
    EXPECT_EQ(window.messages[0].icon, MessageIcon::Information);
  }
  return v;
}

TEST(ValidateStartAddressTest, TextWithoutTheSchemeIsRefusedWithTheMessage) {
  const Validation v = Validate("www.example.com/index.html");
  EXPECT_FALSE(v.ok);
  EXPECT_EQ(v.messages, 1u);
  EXPECT_EQ(v.current, "");
  EXPECT_EQ(v.pending, "");
}

TEST(ValidateStartAddressTest, HttpsAddressesAreAcceptedAsHttpOnes) {
  Validation v = Validate(" https://www.site.ru ");
  ASSERT_TRUE(v.ok);
  EXPECT_EQ(v.pending, "https://www.site.ru/");
  v = Validate("HTTPS://www.site.ru/docs/manual");
  ASSERT_TRUE(v.ok);
  EXPECT_EQ(v.pending, "HTTPS://www.site.ru/docs/manual/");
  v = Validate("https://www.site.ru/page.html");
  ASSERT_TRUE(v.ok);
  EXPECT_EQ(v.pending, "https://www.site.ru/page.html");
  EXPECT_FALSE(Validate("https:/www.site.ru/").ok);
  EXPECT_FALSE(Validate("ftp://www.site.ru/").ok);
}

TEST(ValidateStartAddressTest, EmptyTextIsRefusedSilently) {
  const Validation v = Validate("   ");
  EXPECT_FALSE(v.ok);
  EXPECT_EQ(v.messages, 0u);
  EXPECT_EQ(v.current, "previous");
}

TEST(ValidateStartAddressTest, FolderLikeAddressesGetATrailingSlash) {
  Validation v = Validate("  http://www.site.ru  ");
  ASSERT_TRUE(v.ok);
  EXPECT_EQ(v.pending, "http://www.site.ru/");
  EXPECT_EQ(v.box, "http://www.site.ru/");

  v = Validate("http://www.site.ru/docs/manual");
  ASSERT_TRUE(v.ok);
  EXPECT_EQ(v.pending, "http://www.site.ru/docs/manual/");

  for (const char* unchanged : {"http://www.site.ru/docs/page.html", "http://www.site.ru/find?q=1",
                                "http://www.site.ru/a%25b/c"}) {
    v = Validate(unchanged);
    ASSERT_TRUE(v.ok) << unchanged;
    EXPECT_EQ(v.pending, unchanged);
  }
}

TEST(ValidateStartAddressTest, ADotlessHostNeedsLanOrLocalhostWhileOnline) {
  EXPECT_FALSE(Validate("http://intranet/").ok);
  const Validation v = Validate("http://intranet/", true);
  ASSERT_TRUE(v.ok);
  EXPECT_EQ(v.pending, "http://intranet/");
}

// --- categories ------------------------------------------------------------------------------

TEST(CategoryTest, ExtensionIsTheLowerCasedEndingFromTheFirstDotOfTheLastSix) {
  EXPECT_EQ(ExtensionOf("http://h.ru/PIC.GIF"), ".gif");
  EXPECT_EQ(ExtensionOf("http://h.ru/a.b.jpg"), ".b.jpg");
  EXPECT_EQ(ExtensionOf("http://h.ru/long.jpeg"), ".jpeg");
  EXPECT_EQ(ExtensionOf("http://h.ru/abcdefgh"), ".htm");
}

TEST(CategoryTest, CategoryRuleFirstMatchWins) {
  CategoryRules rules = DefaultRules();
  EXPECT_EQ(CategoryOf("http://h.ru/dir/", rules), kHypertext);
  EXPECT_EQ(CategoryOf("http://h.ru/a.gif?x=1", rules), kOther);
  EXPECT_EQ(CategoryOf("http://h.ru/readme", rules), kOther);
  EXPECT_EQ(CategoryOf("http://h.ru/cgi/run.pl", rules), kHypertext);
  EXPECT_EQ(CategoryOf("http://h.ru/s.ASPX", rules), kHypertext);
  EXPECT_EQ(CategoryOf("http://h.ru/menu.js", rules), kApplets);
  EXPECT_EQ(CategoryOf("http://h.ru/PIC.GIF", rules), kImages);
  EXPECT_EQ(CategoryOf("http://h.ru/song.mp3", rules), kSounds);
  EXPECT_EQ(CategoryOf("http://h.ru/setup.zip", rules), kBinaries);
  EXPECT_EQ(CategoryOf("http://h.ru/data.xyz", rules), kOther);
  EXPECT_EQ(CategoryOf("http://h.ru/a..)(b.gif", rules), kOther);  // the marker anywhere
  EXPECT_EQ(CategoryOf("http://h.ru/f.html)ifra(", rules), kOther);
}

TEST(CategoryTest, IconCategoryKnowsNeitherMarkersNorPerlAndWbp) {
  const CategoryRules rules = DefaultRules();
  EXPECT_EQ(IconCategoryOf("http://h.ru/cgi/run.pl", rules), kOther);
  EXPECT_EQ(IconCategoryOf("http://h.ru/x.wbp", rules), kOther);
  EXPECT_EQ(IconCategoryOf("http://h.ru/a..)(b.gif", rules), kImages);
  EXPECT_EQ(IconCategoryOf("http://h.ru/page.htm", rules), kHypertext);
}

// --- admission -------------------------------------------------------------------------------

class AdmitTest : public ::testing::Test {
 protected:
  bool Admits(const std::string& address) {
    return Admit(address, rules, exclusions, tracks, scope, category);
  }
  CategoryRules rules = DefaultRules();
  std::vector<std::string> exclusions, tracks;
  ScopeTable scope = ScopeFor("http://www.site.ru/");
  int category = 0;
};

TEST_F(AdmitTest, PerlPageWithHypertextDisabledIsRejectedThoughOtherIsEnabled) {
  rules.Of(kHypertext).enabled = false;
  EXPECT_FALSE(Admits("http://www.site.ru/cgi/run.pl"));
  EXPECT_EQ(category, kHypertext);
  EXPECT_FALSE(Admits("http://www.site.ru/find?q=1"));  // dynamic addresses need hypertext too
  EXPECT_FALSE(Admits("http://www.site.ru/menu.js"));
  EXPECT_TRUE(Admits("http://www.site.ru/pic.gif"));
  EXPECT_EQ(category, kImages);
}

TEST_F(AdmitTest, CountLimitOfZeroAdmitsOneImagePerScopeRecord) {
  rules.Of(kImages).countLimit = true;
  rules.Of(kImages).counter = 0;
  EXPECT_TRUE(Admits("http://www.site.ru/1.gif"));
  EXPECT_FALSE(Admits("http://www.site.ru/2.gif"));
  EXPECT_TRUE(Admits("http://www.site.ru/page.html"));  // other categories are not limited

  scope.AddRecord("http://other.org/pics/", false);
  ASSERT_TRUE(InScope("http://other.org/pics/3.gif", kImages, rules, scope));
  EXPECT_EQ(scope.Index(), 1);
  EXPECT_TRUE(Admits("http://other.org/pics/3.gif"));
  EXPECT_FALSE(Admits("http://other.org/pics/4.gif"));
  EXPECT_EQ(scope.Record(0).counters[kImages], 1);
  EXPECT_EQ(scope.Record(1).counters[kImages], 1);
}

TEST_F(AdmitTest, LimitOfNAdmitsNPlusOne) {
  rules.Of(kHypertext).countLimit = true;
  rules.Of(kHypertext).counter = 2;
  int admitted = 0;
  for (int i = 0; i < 6; ++i) admitted += Admits("http://www.site.ru/p" + std::to_string(i) + ".htm") ? 1 : 0;
  EXPECT_EQ(admitted, 3);
}

TEST_F(AdmitTest, EndingsOfDisabledCategoriesAreNotFetchedAsOther) {
  rules.Of(kImages).enabled = false;
  EXPECT_FALSE(Admits("http://www.site.ru/pic.jpg"));
  EXPECT_TRUE(Admits("http://www.site.ru/file.xyz"));
  EXPECT_EQ(category, kOther);
  rules.Of(kOther).enabled = false;
  EXPECT_FALSE(Admits("http://www.site.ru/file.xyz"));
  // ".chm" is listed under hypertext but not recognised as such: with hypertext on it is
  // fetched as "other"; with hypertext off it belongs to a disabled category.
  rules.Of(kOther).enabled = true;
  EXPECT_TRUE(Admits("http://www.site.ru/help.chm"));
  EXPECT_EQ(category, kOther);
  rules.Of(kHypertext).enabled = false;
  EXPECT_FALSE(Admits("http://www.site.ru/help.chm"));
}

TEST_F(AdmitTest, MarkedAddressesSkipClassificationAndCountAsOther) {
  rules.Of(kHypertext).enabled = false;
  rules.Of(kOther).countLimit = true;
  rules.Of(kOther).counter = 0;
  EXPECT_TRUE(Admits("http://www.site.ru/frame.html..)(.."));
  EXPECT_EQ(category, kOther);
  EXPECT_FALSE(Admits("http://www.site.ru/frame2.html..)(.."));
}

TEST_F(AdmitTest, FrameLinksBypassClassificationOnlyWithFramesOn) {
  rules.Of(kHypertext).enabled = false;
  EXPECT_FALSE(Admits("http://www.site.ru/f.html)ifra("));  // "other" by the dynamic rule
  rules.frames = true;
  EXPECT_TRUE(Admits("http://www.site.ru/f.html)ifra("));
  EXPECT_EQ(category, kOther);
}

TEST_F(AdmitTest, ExclusionsAndTracksComeFirst) {
  exclusions = {"BANNER"};
  EXPECT_FALSE(Admits("http://www.site.ru/banner/top.gif"));
  EXPECT_EQ(category, kOther);
  EXPECT_EQ(scope.Record(0).counters[kOther], 0);

  tracks = {"news", "2024"};
  EXPECT_TRUE(Admits("http://www.site.ru/news/2024/a.htm"));
  EXPECT_FALSE(Admits("http://www.site.ru/news/2023/a.htm"));

  tracks = {"http://www.site.ru/docs/"};
  EXPECT_TRUE(Admits("http://www.site.ru/docs/a.htm"));
  EXPECT_FALSE(Admits("http://www.site.ru/blog/a.htm"));
  tracks = {"https://www.site.ru/docs/"};
  EXPECT_TRUE(Admits("https://www.site.ru/docs/b.htm"));
  EXPECT_FALSE(Admits("https://www.site.ru/blog/b.htm"));
}

// --- scope -----------------------------------------------------------------------------------

TEST(InScopeTest, BothSchemesOfTheStartSiteAreTheSite) {
  CategoryRules rules = DefaultRules();
  rules.Of(kImages).zone = ZoneFolder();
  ScopeTable scope = ScopeFor("https://www.site.ru/docs/start.html");
  EXPECT_EQ(scope.Record(0).siteBase, "http://www.site.ru/");
  EXPECT_EQ(scope.Record(0).folderBase, "https://www.site.ru/docs/");
  EXPECT_TRUE(InScope("https://www.site.ru/other.html", kHypertext, rules, scope));
  EXPECT_TRUE(InScope("http://www.site.ru/other.html", kHypertext, rules, scope));
  EXPECT_FALSE(InScope("https://www.other.ru/a.html", kHypertext, rules, scope));
  EXPECT_FALSE(InScope("https://xwww.site.ru/a.html", kHypertext, rules, scope));
  EXPECT_TRUE(InScope("http://www.site.ru/docs/a.gif", kImages, rules, scope));
  EXPECT_FALSE(InScope("https://www.site.ru/a.gif", kImages, rules, scope));

  // A start page that redirected from "http://" to "https://" keeps its site.
  scope = ScopeFor("http://www.site.ru/");
  scope.RebaseOnRedirect("www.site.ru", "https://www.site.ru/");
  EXPECT_EQ(scope.Record(0).siteBase, "http://www.site.ru/");
  EXPECT_TRUE(InScope("https://www.site.ru/a/b.html", kHypertext, rules, scope));
  EXPECT_TRUE(InScope("https://www.site.ru/a.gif", kImages, rules, scope));
}

TEST(InScopeTest, SiteZoneWithSimilarAddressesAdmitsASiblingHost) {
  CategoryRules rules = DefaultRules();
  ScopeTable scope = ScopeFor("http://www.site.ru/index.html");
  EXPECT_EQ(scope.Record(0).alternateBase, "site.");
  EXPECT_TRUE(InScope("http://WWW.SITE.RU/a.gif", kImages, rules, scope));
  EXPECT_FALSE(InScope("http://img.site.ru/a.gif", kImages, rules, scope));
  rules.analog = true;
  EXPECT_TRUE(InScope("http://img.site.ru/a.gif", kImages, rules, scope));
  EXPECT_FALSE(InScope("http://img.other.ru/a.gif", kImages, rules, scope));
}

TEST(InScopeTest, FolderAndNetZones) {
  CategoryRules rules = DefaultRules();
  rules.Of(kHypertext).zone = ZoneFolder();
  rules.Of(kImages).zone = ZoneNet();
  rules.Of(kSounds).zone = "?";
  ScopeTable scope = ScopeFor("http://www.site.ru/docs/start.html");
  EXPECT_EQ(scope.Record(0).folderBase, "http://www.site.ru/docs/");
  EXPECT_TRUE(InScope("http://www.site.ru/DOCS/more.html", kHypertext, rules, scope));
  EXPECT_FALSE(InScope("http://www.site.ru/other/more.html", kHypertext, rules, scope));
  EXPECT_TRUE(InScope("http://anywhere.com/x.gif", kImages, rules, scope));
  EXPECT_FALSE(InScope("http://www.site.ru/docs/a.mp3", kSounds, rules, scope));
  EXPECT_TRUE(InScope("http://elsewhere.com/f.htm)ifra(", kHypertext, rules, scope));
  EXPECT_TRUE(InScope(" http://elsewhere.com/f.htm..)(.. ", kHypertext, rules, scope));
}

TEST(InScopeTest, TheScopeIndexFollowsTheRecordWhoseSiteStartsTheAddress) {
  const CategoryRules rules = DefaultRules();
  ScopeTable scope = ScopeFor("http://www.site.ru/");
  scope.AddRecord("http://second.org/a/b.html", false);
  scope.AddRecord("http://third.org/x", false);
  EXPECT_TRUE(InScope("http://SECOND.org/a/c.html", kHypertext, rules, scope));
  EXPECT_EQ(scope.Index(), 1);
  EXPECT_TRUE(InScope("http://www.site.ru/q.html", kHypertext, rules, scope));
  EXPECT_EQ(scope.Index(), 0);
  EXPECT_FALSE(InScope("http://nowhere.org/q.html", kHypertext, rules, scope));
  EXPECT_EQ(scope.Index(), 2);  // no record matches: the last one
}

TEST(DepthTest, DepthThreeAgainstLimitsTwoAndThree) {
  EXPECT_TRUE(TooDeep("http://www.site.ru/a/b/file.html", 2));
  EXPECT_FALSE(TooDeep("http://www.site.ru/a/b/file.html", 3));
  EXPECT_FALSE(TooDeep("http://www.site.ru/", 1));
}

// --- scope table -----------------------------------------------------------------------------

TEST(ScopeTableTest, AlternateBaseIsTheSecondPieceOrTheOnlyOne) {
  EXPECT_EQ(AlternateBaseOf("www.site.ru"), "site.");
  EXPECT_EQ(AlternateBaseOf("site.ru"), "site.");
  EXPECT_EQ(AlternateBaseOf("a.b.c.d"), "b.");
  EXPECT_EQ(AlternateBaseOf("localhost"), "localhost");
}

TEST(ScopeTableTest, ResetRebuildAndRebase) {
  ScopeTable scope;
  scope.AddRecord("http://x.org/a/", false);
  scope.Record(0).counters[kImages] = 5;
  scope.Reset();
  ASSERT_EQ(scope.Size(), 1u);
  EXPECT_EQ(scope.Record(0).siteBase, "");
  EXPECT_EQ(scope.Record(0).counters[kImages], 0);

  // A redirect of the first address sets the site base before the table is rebuilt; the
  // rebuild keeps it.
  scope.RebaseOnRedirect("www.moved.ru", "http://www.moved.ru/new/");
  EXPECT_EQ(scope.Record(0).siteBase, "http://www.moved.ru/");
  scope.AddRecord("http://stale.org/a/", false);
  scope.SetIndex(1);
  scope.RebuildFromStart("http://www.site.ru/docs/index.html", false);
  ASSERT_EQ(scope.Size(), 1u);  // the run starts with record 0 alone
  EXPECT_EQ(scope.Index(), 0);
  EXPECT_EQ(scope.Record(0).siteBase, "http://www.moved.ru/");
  EXPECT_EQ(scope.Record(0).folderBase, "http://www.site.ru/docs/");
  EXPECT_EQ(scope.Record(0).alternateBase, "site.");

  scope.Record(0).counters[kHypertext] = 3;
  scope.RebaseOnNode("http://img.site.ru/pics/one.gif", false);
  EXPECT_EQ(scope.Record(0).siteBase, "http://img.site.ru/");
  EXPECT_EQ(scope.Record(0).folderBase, "http://img.site.ru/pics/");
  EXPECT_EQ(scope.Record(0).counters[kHypertext], 3);
  scope.ResetCounters();
  EXPECT_EQ(scope.Record(0).counters[kHypertext], 0);

  scope.RebaseOnRedirect("HTTP://Up.ru/", "");
  EXPECT_EQ(scope.Record(0).siteBase, "HTTP://Up.ru/");
}

TEST(ScopeTableTest, AddedRecordUsesTheSiteBaseForAShortFolder) {
  ScopeTable scope;
  scope.AddRecord("http://a.ru", false);  // folder part "http://" is under ten characters
  ASSERT_EQ(scope.Size(), 2u);
  EXPECT_EQ(scope.Record(1).siteBase, "http://a.ru/");
  EXPECT_EQ(scope.Record(1).folderBase, "http://a.ru/");
  scope.AddRecord("http://b.ru/x/y.html", false);
  EXPECT_EQ(scope.Record(2).folderBase, "http://b.ru/x/");
  EXPECT_EQ(scope.AlternateBases(), (std::vector<std::string>{"", "a.", "b."}));
}

}  // namespace
}  // namespace orv
