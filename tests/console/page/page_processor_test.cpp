#include "tests/console/page/browser_link.h"
#include "console/page/page_processor.h"

#include <gtest/gtest.h>

#include <cctype>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/local_path.h"
#include "common/search_engine.h"
#include "console/page/page_links.h"

namespace orv::page {
namespace {

using Links = std::vector<std::string>;

// The channel values for a page at `url`, the way the channel derives them.
PageJob PageAt(const std::string& url) {
  PageJob job;
  job.url = url;
  job.page_folder_url = url.substr(0, url.rfind('/') + 1);
  const std::size_t scheme = url.find("://") + 3;
  std::size_t siteEnd = url.find('/', scheme);
  std::string site = url.substr(scheme, siteEnd == std::string::npos ? std::string::npos : siteEnd - scheme);
  job.site_root = url.substr(0, scheme) + site + "/";
  job.site_root_prefix = "../" + site + "/";
  job.levels_up = LocalNameOf(url, "/c/").levelsUp;
  job.collection = "/c/";
  return job;
}

struct Outcome {
  std::string text;
  Links links;  // without the count element
  PageResult result;
};

Outcome Process(const std::string& text, const PageJob& job, int pages = 2,
                StartRedirectSink* redirect = nullptr) {
  StringSink sink;
  Outcome o;
  o.result = ProcessPage(text, job, sink, pages, redirect);
  o.text = sink.text;
  EXPECT_FALSE(o.result.found_links.empty());
  if (!o.result.found_links.empty()) {
    EXPECT_EQ(o.result.found_links[0], std::to_string(o.result.found_links.size() - 1));
    o.links.assign(o.result.found_links.begin() + 1, o.result.found_links.end());
  }
  return o;
}

const std::string kPage = "http://s.com/dir/page.html";

TEST(PageProcessor, ChannelValuesOfTheFixture) {
  PageJob job = PageAt(kPage);
  EXPECT_EQ(job.page_folder_url, "http://s.com/dir/");
  EXPECT_EQ(job.site_root, "http://s.com/");
  EXPECT_EQ(job.site_root_prefix, "../s.com/");
  EXPECT_EQ(job.levels_up, "../../");
}

TEST(PageProcessor, EqualsAndDotAnchorsReportAndRewrite) {
  Outcome o = Process(
      "<a href=\"/top.html\">t</a><img src=pic.gif><script>x='img/b.gif';</script>"
      "<a href=\"other.html\">o</a>",
      PageAt(kPage));
  EXPECT_EQ(o.text,
            "<a href=\"../top.html\">t</a><img src=pic.gif><script>x='img/b.gif';</script>"
            "<a href=\"other.html\">o</a>");
  EXPECT_EQ(o.links, (Links{"http://s.com/top.html", "http://s.com/dir/pic.gif",
                            "http://s.com/dir/img/b.gif", "http://s.com/dir/other.html"}));
  EXPECT_TRUE(o.result.written);
}

TEST(PageProcessor, EmptyValuesAndFragmentsAreSkipped) {
  const std::string page = "<a href=\"\">e</a><a href=\"#x\">f</a><a href=#y>g</a>";
  Outcome o = Process(page, PageAt(kPage));
  EXPECT_EQ(o.text, page);
  EXPECT_TRUE(o.links.empty());
}

TEST(PageProcessor, StyleUrlNotation) {
  // With ";" after it the value ends at ")"; without, the ")" is cleaned off the link but
  // stays in the page.
  Outcome o = Process("<style>p{background:url(/img/bg.gif);} q{background:url(/i/a.gif) x}",
                      PageAt(kPage));
  EXPECT_EQ(o.text, "<style>p{background:url(../img/bg.gif);} q{background:url(../i/a.gif) x}");
  EXPECT_EQ(o.links, (Links{"http://s.com/img/bg.gif", "http://s.com/i/a.gif"}));
}

TEST(PageProcessor, ScriptAndFrameMarkers) {
  PageJob job = PageAt(kPage);
  job.frame_mode = true;
  Outcome o = Process(
      "<head><title>x</title></head>\n<script src=\"js/app.js\"></script>\n"
      "<iframe src=\"ad.html\"></iframe>\n<p>a paragraph</p><a href=\"b.html\">b</a>",
      job);
  EXPECT_EQ(o.links, (Links{"http://s.com/dir/js/app.js(((((http://s.com/dir/",
                            "http://s.com/dir/ad.html)ifra(", "http://s.com/dir/b.html"}));

  // Without frame mode the iframe gets no marker; a page taken as a frame marks every link.
  job.frame_mode = false;
  job.frame_flag = true;
  o = Process("<p>some text here</p><iframe src=\"ad.html\"></iframe>", job);
  EXPECT_EQ(o.links, (Links{"http://s.com/dir/ad.html..)(.."}));
}

TEST(PageProcessor, ScriptMarkerCarriesTheReferrerFolder) {
  PageJob job = PageAt(kPage);
  job.referrer_folder = "http://r.net/from/";
  Outcome o = Process("<a href=\"x.vbs\">v</a>", job);
  EXPECT_EQ(o.links, (Links{"http://r.net/from/x.vbs(((((http://r.net/from/"}));
  EXPECT_EQ(o.text, "<a href=\"../../r.net/from/x.vbs\">v</a>");
}

TEST(PageProcessor, MailtoAndOtherSchemesAreLeftAlone) {
  const std::string page =
      "<a href=\"mailto:me@s.com\">m</a> <a href=\"ftp://f.org/a.zip\">f</a> "
      "<a href=\"news://x.org/g.html\">n</a> <a href=\"javascript:go()\">j</a>";
  Outcome o = Process(page, PageAt(kPage));
  EXPECT_EQ(o.text, page);
  EXPECT_TRUE(o.links.empty());
}

TEST(PageProcessor, SecureAddressesAreReportedAndRewrittenLikePlainOnes) {
  // An "https://" copy is stored where the "http://" one is: the saved page points at it.
  Outcome o = Process("<a href=\"https://secure.org/x.html\">s</a><img src=\"HTTPS://s.com/i.gif\">"
                      "<a href=\"https://secure.org\">r</a>",
                      PageAt(kPage));
  EXPECT_EQ(o.text, "<a href=\"../../secure.org/x.html\">s</a><img src=\"../i.gif\">"
                    "<a href=\"../../secure.org/index.html\">r</a>");
  EXPECT_EQ(o.links, (Links{"https://secure.org/x.html", "HTTPS://s.com/i.gif", "https://secure.org/"}));
}

TEST(PageProcessor, OnASecurePageRelativeLinksAndMarkersKeepItsScheme) {
  const std::string page = "https://s.com/dir/page.html";
  EXPECT_EQ(PageAt(page).site_root, "https://s.com/");
  Outcome o = Process(
      "<a href=\"/top.html\">t</a><a href=\"../up/a.html\">u</a><img src=pic.gif>"
      "<script src=\"js/m.js\"></script><a href=\"http://s.com/dir/b.html\">b</a>"
      "<a href=\"../s.com/old.html\">o</a><a href=\"sub\">f</a>",
      PageAt(page));
  EXPECT_EQ(o.links, (Links{"https://s.com/top.html", "https://s.com/up/a.html",
                            "https://s.com/dir/pic.gif", "https://s.com/dir/js/m.js(((((https://s.com/dir/",
                            "http://s.com/dir/b.html", "https://s.com/old.html", "https://s.com/dir/sub/"}));
  EXPECT_EQ(o.text,
            "<a href=\"../top.html\">t</a><a href=\"../up/a.html\">u</a><img src=pic.gif>"
            "<script src=\"js/m.js\"></script><a href=\"b.html\">b</a>"
            "<a href=\"../old.html\">o</a><a href=\"sub/index.html\">f</a>");
}

TEST(PageProcessor, OtherSiteFromOneLevelBelowTheSiteFolder) {
  Outcome o = Process("<a href=\"http://t.org/x/y.html\">t</a>", PageAt(kPage));
  EXPECT_EQ(o.text, "<a href=\"../../t.org/x/y.html\">t</a>");
  EXPECT_EQ(o.links, (Links{"http://t.org/x/y.html"}));
}

TEST(PageProcessor, FolderAddressesGetTheirIndexFile) {
  // A link without a dot near its end names a folder: "/" is added to the address and the
  // rewritten link names the folder's index.html.
  // "t.org/docs" has a dot within its last ten characters: the address stays as it is, the
  // local copy is still the folder's index.html.
  Outcome o = Process(
      "<a href=\"http://t.org/documents\">d</a> <a href=\"http://t.org/docs\">e</a> "
      "<a href=\"../\">up</a>",
      PageAt("http://s.com/dir/sub/page.html"));
  EXPECT_EQ(o.text,
            "<a href=\"../../../t.org/documents/index.html\">d</a> "
            "<a href=\"../../../t.org/docs/index.html\">e</a> <a href=\"../index.html\">up</a>");
  EXPECT_EQ(o.links, (Links{"http://t.org/documents/", "http://t.org/docs", "http://s.com/dir/"}));
}

TEST(PageProcessor, ValueRunningToTheEndStopsTheScan) {
  Outcome o = Process("<a href=\"/a.html\">x</a><img src=\"b.gif", PageAt(kPage));
  EXPECT_EQ(o.text, "<a href=\"../a.html\">x</a><img src=\"b.gif");
  EXPECT_EQ(o.links, (Links{"http://s.com/a.html"}));
  EXPECT_TRUE(o.result.truncated_scan);
}

TEST(PageProcessor, FileNamesInProseAreTakenOnlyWithTheOption) {
  const std::string prose = "Version 1.5 of file.gif's size. See logo.gif here or www.t.org now.";
  PageJob job = PageAt(kPage);
  Outcome o = Process(prose, job);
  EXPECT_EQ(o.text, prose);
  EXPECT_TRUE(o.links.empty());
  // The old rule: a version number is no anchor; ".gif's" picks the "s" group and fails the
  // test; a plain file name and a bare www. address are found through the dot.
  job.file_names_in_text = true;
  o = Process(prose, job);
  EXPECT_EQ(o.text,
            "Version 1.5 of file.gif's size. See logo.gif here or ../../www.t.org/index.html now.");
  EXPECT_EQ(o.links, (Links{"http://s.com/dir/logo.gif", "http://www.t.org/"}));
}

TEST(PageProcessor, OnlyWhatABrowserFollowsIsTaken) {
  // Words of prose and code samples that look like file names, as real documentation has them.
  const std::string samples =
      "<p>Call document.documentElement.classList.toggle or http.client.HTTPResponse, read\n"
      "zipfile.ZipInfo.file_size, run hello.js or see www.example.org and t.css.map.</p>\n"
      "<pre>new Worker(&#39;./worker_pool.js&#39;); &lt;a href=&quot;x.html&quot;&gt; src=y.gif</pre>\n"
      "<div title=\"see a.html\" data-x=\"a.js b\"><!-- old.gif --></div>\n";
  Outcome o = Process(samples, PageAt(kPage));
  EXPECT_EQ(o.text, samples);
  EXPECT_TRUE(o.links.empty()) << o.links.front();

  // What a browser does follow: link attributes, whole values, script strings (quotes written
  // as references too), "javascript:" values, style attributes and elements, conditional markup.
  const std::string page =
      "<object data=\"m.swf\"><param name=movie value=m2.swf></object><video poster='p.jpg'>\n"
      "<a href=\"#\" onclick=\"open(&quot;pop.html&quot;); x.classList.add('on')\">o</a>\n"
      "<a href=\"javascript:show('big.jpg')\">j</a><div style=\"background:url( 'bg.png' )\">\n"
      "<script>var a = \"lib/x.min.js?v=2\", b = 'https://cdn.org/y', c = \"see t.js now\";\n"
      "if (a.href=b) load(`tpl.html#top`);</script><style>@import \"s.css\"; i{src:url(f.woff2?#x)}</style>\n"
      "<!--[if lt IE 9]><script src=\"shiv.js\"></script><![endif]-->";
  o = Process(page, PageAt(kPage));
  EXPECT_EQ(o.links, (Links{"http://s.com/dir/m.swf", "http://s.com/dir/m2.swf", "http://s.com/dir/p.jpg",
                            "http://s.com/dir/pop.html", "http://s.com/dir/big.jpg", "http://s.com/dir/bg.png",
                            "http://s.com/dir/lib/x.min.js?v=2", "https://cdn.org/y",
                            "http://s.com/dir/tpl.html", "http://s.com/dir/s.css",
                            "http://s.com/dir/f.woff2", "http://s.com/dir/shiv.js(((((http://s.com/dir/"}));
  EXPECT_NE(o.text.find("onclick=\"open(&quot;pop.html&quot;); x.classList"), std::string::npos) << o.text;
  EXPECT_NE(o.text.find("\"lib/x.min.js,8,,x23Fv=2.js\""), std::string::npos) << o.text;

  // A style sheet or script file is all style or script: the answer's type says so, else the
  // address's ending.
  const std::string sheet = "a.nav{x:url(i/a.cur)} /* see b.png */ @import 'c.css'; b{y:url(z.png?1)}";
  o = Process(sheet, PageAt("http://s.com/dir/s.css?v=1"));
  EXPECT_EQ(o.links, (Links{"http://s.com/dir/i/a.cur", "http://s.com/dir/c.css", "http://s.com/dir/z.png?1"}));
  EXPECT_TRUE(o.text.ends_with("url(z.png,8,,x23F1.png)}")) << o.text;
  PageJob typed = PageAt("http://s.com/dir/style");
  typed.content_type = "text/css; charset=utf-8";
  EXPECT_EQ(Process(sheet, typed).links, o.links);
  const std::string script = "// uses old.gif\nload('m/a.js'); x.href = \"p.html\"; y = 'b.c.d';";
  o = Process(script, PageAt("http://s.com/dir/app.js"));
  EXPECT_EQ(o.links, (Links{"http://s.com/dir/m/a.js(((((http://s.com/dir/", "http://s.com/dir/p.html"}));
}

TEST(PageProcessor, ElementContentNeighboursAndTrailingPunctuation) {
  // A link's visible text is no link; a value followed closely by another attribute's "="
  // is skipped; a full stop after a file name in prose (taken with the option) stays in the page.
  PageJob job = PageAt(kPage);
  job.file_names_in_text = true;
  Outcome o = Process(
      "<a href=\"/x.html\">see.html</a> <img src=a.gif b=c> Read /a.html. Next",
      job);
  EXPECT_EQ(o.text, "<a href=\"../x.html\">see.html</a> <img src=a.gif b=c> Read ../a.html. Next");
  EXPECT_EQ(o.links, (Links{"http://s.com/x.html", "http://s.com/a.html"}));
}

TEST(PageProcessor, BaseElement) {
  // Only the element is taken: "database " in prose is left alone.
  Outcome o = Process(
      "<p>The database is big</p><base href=\"http://b.org/sub/\"><a href=\"x.html\">x</a>",
      PageAt(kPage));
  EXPECT_EQ(o.text,
            "<p>The database is big</p><b! e href=\"../../b.org/sub/index.html\">"
            "<a href=\"../../b.org/sub/x.html\">x</a>");
  EXPECT_EQ(o.links, (Links{"http://b.org/sub/", "http://b.org/sub/x.html"}));
}

TEST(PageProcessor, RelativeBaseElementIsRelativeToThePage) {
  Outcome o = Process("<base href=\"/sub/\"><a href=\"x.html\">x</a>", PageAt(kPage));
  EXPECT_EQ(o.text, "<b! e href=\"../sub/index.html\"><a href=\"../sub/x.html\">x</a>");
  EXPECT_EQ(o.links, (Links{"http://s.com/sub/", "http://s.com/sub/x.html"}));
}

TEST(PageProcessor, LinksAnEarlierSaveWroteThroughTheCollection) {
  // "../" + site + "/" inside a link: back to the site's own address, whatever the depth.
  Outcome o = Process("<a href=\"../../s.com/other/p.html\">o</a>", PageAt(kPage));
  EXPECT_EQ(o.links, (Links{"http://s.com/other/p.html"}));
  EXPECT_EQ(o.text, "<a href=\"../other/p.html\">o</a>");
  o = Process("<a href=\"../s.com/x.html\">o</a>", PageAt("http://s.com/page.html"));
  EXPECT_EQ(o.links, (Links{"http://s.com/x.html"}));
  EXPECT_EQ(o.text, "<a href=\"x.html\">o</a>");
  // Another site's copy: LevelsUp leads to the collection folder, then the site folder.
  o = Process("<img src=\"../../t.org,8,,x23A81/a.gif\">", PageAt(kPage));
  EXPECT_EQ(o.links, (Links{"http://t.org:81/a.gif"}));
  EXPECT_EQ(o.text, "<img src=\"../../t.org,8,,x23A81/a.gif\">");
}

TEST(PageProcessor, SavedFromComment) {
  const std::string page = "<!-- saved from url=(0022)http://s.com/dir/x.htm -->\n<p>hi</p>";
  Outcome o = Process(page, PageAt(kPage));
  std::string expected = page;
  expected[5] = ' ';
  EXPECT_EQ(o.text, expected);
  EXPECT_TRUE(o.links.empty());
}

TEST(PageProcessor, QuerySlashNamesTheStoredFile) {
  // The rewritten link names exactly the file the console stores for the address.
  Outcome o = Process("<a href=\"/a.php?x=1/2\">q</a>", PageAt("http://s.com/page.html"));
  ASSERT_EQ(o.links, (Links{"http://s.com/a.php?x=1/2"}));
  std::string stored = LocalNameOf("http://s.com/a.php?x=1/2", "/c/").path.substr(3);
  EXPECT_EQ(stored.find(",8,,x22F"), std::string::npos);
  EXPECT_EQ(o.text, "<a href=\"" + stored.substr(stored.find('/') + 1) + "\">q</a>");
}

TEST(PageProcessor, PageWithASlashInItsQueryResolvesAgainstItsPath) {
  // The channel's folder of "a.php?x=1/2" ends inside the query; links resolve as a browser
  // resolves them, against the folder of "a.php".
  PageJob job = PageAt("http://s.com/dir/a.php?x=1/2");
  ASSERT_EQ(job.page_folder_url, "http://s.com/dir/a.php?x=1/");
  Outcome o = Process("<a href=\"b.html\">b</a><script src=\"js/x.js\"></script>"
                      "<a href=\"../up.html\">u</a>",
                      job);
  EXPECT_EQ(o.links, (Links{"http://s.com/dir/b.html", "http://s.com/dir/js/x.js(((((http://s.com/dir/",
                            "http://s.com/up.html"}));
  EXPECT_EQ(o.text, "<a href=\"b.html\">b</a><script src=\"js/x.js\"></script>"
                    "<a href=\"../up.html\">u</a>");
}

TEST(PageProcessor, PercentAndNameEscapesAreDecodedForFolderLinks) {
  Outcome o = Process("<a href=\"http://t.org/%41b%20c\">p</a>", PageAt("http://s.com/page.html"));
  EXPECT_EQ(o.links, (Links{"http://t.org/Ab%20c/"}));
  // The stored folder is named "Ab%20c": the link says so to a browser, which decodes "%".
  EXPECT_EQ(o.text, "<a href=\"../t.org/Ab%2520c/index.html\">p</a>");
}

using orvtest::AsBrowserReadsIt;

// The file a browser opens for `link` on a page in the local folder `folder` ("/c/s.com/dir/").
std::string OpenedBy(const std::string& folder, const std::string& link) {
  std::string path = folder;
  std::string rest = link.substr(0, link.find('?'));  // a query is no part of a file's name
  rest = AsBrowserReadsIt(rest);
  while (rest.starts_with("../")) {
    path.erase(path.rfind('/', path.size() - 2) + 1);
    rest.erase(0, 3);
  }
  return path + rest;
}

TEST(PageProcessor, LinksOfEveryShapeOpenTheirStoredFiles) {
  // Queries with slashes (also on a bare site name), dot-only segments, ports, escapes,
  // folders without a closing "/", same site and other sites.
  const std::vector<std::string> addresses = {
      "http://t.org/a.php?x=1/2",  "http://t.org?q=a/b",          "http://t.org/a/../b.html",
      "http://s.com/dir/sub",      "http://s.com/x.html?a=/b/c",  "http://t.org:81/p.gif",
      "http://s.com/dir/a%20b.gif", "http://t.org/",              "http://s.com/dir/q?",
      "http://s.com/y/z.html",     "http://t.org/a.b/c",          "http://s.com/dir/i.gif?v=2",
      "http://s.com/_static/theme.css?2022.1", "http://s.com/dir/%D1%81.html"};
  for (const std::string& a : addresses) {
    Outcome o = Process("<a href=\"" + a + "\">x</a>", PageAt(kPage));
    ASSERT_EQ(o.links.size(), 1u) << a;
    ASSERT_TRUE(o.text.starts_with("<a href=\"") && o.text.ends_with("\">x</a>")) << o.text;
    std::string link = o.text.substr(9, o.text.size() - 9 - 7);
    EXPECT_EQ(OpenedBy("/c/s.com/dir/", link), LocalNameOf(o.links[0], "/c/").path)
        << a << " -> " << link;
  }
}

TEST(PageProcessor, BrowserOpensTheStoredNamesOfRewrittenLinks) {
  // Stored names keep "%", "&", quotes and the page's own bytes; the links encode them so a
  // browser neither decodes an escape, nor a character reference, nor ends the attribute.
  Outcome o = Process(
      "<a href=\"My%20File.pdf\">1</a><a href=\"list.php?a=1&amp;b=2\">2</a>"
      "<a href=\"/q?a=%22b\">3</a><img src=\"\xCF\xF0.gif\"><a href=\"/a%23b\">5</a>",
      PageAt(kPage));
  EXPECT_EQ(o.text,
            "<a href=\"My%2520File.pdf\">1</a><a href=\"list.php,8,,x23Fa=1%26amp;b=2\">2</a>"
            "<a href=\"../q,8,,x23Fa=%22b\">3</a><img src=\"%CF%F0.gif\">"
            "<a href=\"../a%2523b/index.html\">5</a>");
  ASSERT_EQ(o.links, (Links{"http://s.com/dir/My%20File.pdf", "http://s.com/dir/list.php?a=1&amp;b=2",
                            "http://s.com/q?a=\"b", "http://s.com/dir/\xCF\xF0.gif",
                            "http://s.com/a%23b"}));
  // Each link, as the browser reads it from the page's folder, is the file the console stores.
  std::size_t at = 0;
  for (const std::string& address : o.links) {
    at = o.text.find('"', at) + 1;
    std::size_t end = o.text.find('"', at);
    std::string link = AsBrowserReadsIt(o.text.substr(at, end - at));
    at = end + 1;
    std::string stored = LocalNameOf(address, "/c/").path;
    std::string opened = "/c/s.com/dir/" + link;
    if (link.starts_with("../")) opened = "/c/s.com/" + link.substr(3);
    EXPECT_EQ(opened, stored) << address;
  }

  // Another site's copy read a second time gives the same address and the same link.
  o = Process("<a href=\"http://t.org/A%20b.pdf\">t</a>", PageAt(kPage));
  EXPECT_EQ(o.text, "<a href=\"../../t.org/A%2520b.pdf\">t</a>");
  Outcome again = Process(o.text, PageAt(kPage));
  EXPECT_EQ(again.text, o.text);
  EXPECT_EQ(again.links, o.links);
}

TEST(PageProcessor, BothSpellingsOfANameAreOneAddressAndOneLink) {
  Outcome o = Process("<a href=\"%D1%81%D1%82.html\">1</a><a href=\"\xD1\x81\xD1\x82.html\">2</a>"
                      "<a href=\"http://s.com/dir/%d1%81%D1%82.html\">3</a>",
                      PageAt(kPage));
  const std::string name = "\xD1\x81\xD1\x82.html";
  EXPECT_EQ(o.links, (Links{"http://s.com/dir/" + name, "http://s.com/dir/" + name, "http://s.com/dir/" + name}));
  EXPECT_EQ(o.text, "<a href=\"%D1%81%D1%82.html\">1</a><a href=\"%D1%81%D1%82.html\">2</a>"
                    "<a href=\"%D1%81%D1%82.html\">3</a>");
}

TEST(PageProcessor, PortIsEscapedInTheRewrittenLink) {
  Outcome o = Process("<img src=\"http://t.org:8080/p.gif\">", PageAt("http://s.com/page.html"));
  EXPECT_EQ(o.links, (Links{"http://t.org:8080/p.gif"}));
  EXPECT_EQ(o.text, "<img src=\"../t.org,8,,x23A8080/p.gif\">");
}

TEST(PageProcessor, MetaRefreshOnTheFirstPageIsReportedOnce) {
  struct Recorder : StartRedirectSink {
    std::vector<std::string> calls;
    void StartRedirect(const std::string& h, const std::string& f, const std::string& a) override {
      calls.push_back(h + "|" + f + "|" + a);
    }
  } rec;
  const std::string page =
      "<head><meta http-equiv=\"refresh\" content=\"5; url=http://t.org/a/start.html\">"
      "<meta http-equiv=\"refresh\" content=\"5; url=http://u.org/b.html\"></head>";
  PageJob job = PageAt(kPage);
  int pages = 1;
  StringSink sink;
  PageResult r = ProcessPage(page, job, sink, pages, &rec);
  EXPECT_EQ(pages, 3);
  EXPECT_EQ(rec.calls, (Links{"t.org|http://t.org/a/|http://t.org/a/start.html"}));
  EXPECT_EQ(r.found_links,
            (Links{"2", "http://t.org/a/start.html", "http://u.org/b.html"}));

  // Not the first page of the run: nothing is told.
  rec.calls.clear();
  pages = 2;
  ProcessPage(page, job, sink, pages, &rec);
  EXPECT_EQ(pages, 2);
  EXPECT_TRUE(rec.calls.empty());
}

TEST(PageProcessor, EmbeddedModeAndAppletClasses) {
  PageJob job = PageAt(kPage);
  job.embedded_mode = true;
  const std::string page =
      "<applet codebase=c/ code=Main.class width=10></applet> <a href=\"/y.html\">";
  Outcome o = Process(page, job);
  // The class is fetched from its codebase and keeps a plain file name in the page: the
  // applet finds it through the codebase. Every link of the page is marked as embedded.
  EXPECT_EQ(o.links,
            (Links{"http://s.com/dir/c/Main.class..)(..", "http://s.com/y.html..)(.."}));
  EXPECT_EQ(o.text,
            "<applet codebase=c/ code=Main.class width=10></applet> <a href=\"../y.html\">");
}

TEST(PageProcessor, ShortAddressesAreNotReported) {
  Outcome o = Process("<a href=\"http://a/\">a</a>", PageAt("http://s.com/page.html"));
  EXPECT_TRUE(o.links.empty());
  EXPECT_EQ(o.text, "<a href=\"../a/index.html\">a</a>");
}

TEST(PageProcessor, SearchModeReportsOnlyResultAndCachedCopyLinks) {
  const std::string root(kSearchEngineRoot);  // "http://" + engine host + "/"
  PageJob job = PageAt(root + "yandpage?q=abc");
  job.search_mode = true;
  job.preview = true;
  const std::string list =
      "<!-- Web Search Results --><a href=\"" + root + "yandpage?q=abc&p=1\">next</a> "
      "<a href=\"http://other.com/page.html\">r</a> <a href=\"/yandbtm?url=x\">c</a>\n";
  const std::string page = "junk <a href=\"http://s.com/a.html\">x</a>\n" + list +
                           "<HR size=\"1\" noshade=\"noshade\"><hr size=\"1\" noshade=\"noshade\"> tail "
                           "<a href=\"" + root + "yandpage?q=zzz\">z</a>";
  // Cut to the result list, links kept as found, the engine's base element in front.
  Outcome o = Process(page, job);
  EXPECT_EQ(o.text, "<base href=\"" + root + "\">\r\n" + list);
  EXPECT_EQ(o.links, (Links{root + "yandpage?q=abc&p=1", root + "yandbtm?url=x"}));

  // Without preview the cached copy is not wanted; a cached copy gets no base element.
  job.preview = false;
  job.url = root + "yandbtm?url=x";
  o = Process(page, job);
  EXPECT_EQ(o.text, list);
  EXPECT_EQ(o.links, (Links{root + "yandpage?q=abc&p=1"}));
}

// A page with most of what a real site has, checked byte for byte.
const char* const kRealistic =
    "<html><head><title>Home. Page</title>\n"
    "<base href=\"http://s.com/dir/\">\n"
    "<meta http-equiv=\"refresh\" content=\"30; url=http://s.com/dir/news.html\">\n"
    "<link rel=\"stylesheet\" href=\"/css/main.css\">\n"
    "<style>body { background: url(img/bg.gif); }</style>\n"
    "<script src=\"js/app.js\"></script>\n"
    "<script>var pics = ['a.jpg', \"/pics/b.png\"]; var v = 2.5;</script>\n"
    "</head><body>\n"
    "<frameset><frame src=\"menu.html\"></frameset>\n"
    "<iframe src=\"/ads/ad.html\"></iframe>\n"
    "<img src=logo.gif alt=x> <img src=\"../up.jpg\">\n"
    "<a href=\"http://t.org/x/y.html\">t</a>\n"
    "<a href=\"mailto:me@s.com\">m</a> <a href=\"ftp://f.s.com/file.zip\">f</a>\n"
    "<a href=\"#top\">top</a> <a href=\"page.html#part\">part</a>\n"
    "<a href=\"search.php?q=a/b\">q</a>\n"
    "</body></html>\n";

const char* const kRealisticSaved =
    "<html><head><title>Home. Page</title>\n"
    "<b! e href=\"index.html\">\n"
    "<meta http-equiv=\"refresh\" content=\"30; url=news.html\">\n"
    "<link rel=\"stylesheet\" href=\"../css/main.css\">\n"
    "<style>body { background: url(img/bg.gif); }</style>\n"
    "<script src=\"js/app.js\"></script>\n"
    "<script>var pics = ['a.jpg', \"../pics/b.png\"]; var v = 2.5;</script>\n"
    "</head><body>\n"
    "<frameset><frame src=\"menu.html\"></frameset>\n"
    "<iframe src=\"../ads/ad.html\"></iframe>\n"
    "<img src=logo.gif alt=x> <img src=\"../up.jpg\">\n"
    "<a href=\"../../t.org/x/y.html\">t</a>\n"
    "<a href=\"mailto:me@s.com\">m</a> <a href=\"ftp://f.s.com/file.zip\">f</a>\n"
    "<a href=\"#top\">top</a> <a href=\"page.html#part\">part</a>\n"
    "<a href=\"search.php,8,,x23Fq=a,8,,x25Cb\">q</a>\n"
    "</body></html>\n";

TEST(PageProcessor, RealisticPageByteForByte) {
  PageJob job = PageAt(kPage);
  job.frame_mode = true;
  Outcome o = Process(kRealistic, job);
  EXPECT_EQ(o.text, kRealisticSaved);
  EXPECT_EQ(o.links, (Links{
                         "http://s.com/dir/",
                         "http://s.com/dir/news.html",
                         "http://s.com/css/main.css",
                         "http://s.com/dir/img/bg.gif",
                         "http://s.com/dir/js/app.js(((((http://s.com/dir/",
                         "http://s.com/dir/a.jpg",
                         "http://s.com/pics/b.png",
                         "http://s.com/dir/menu.html",
                         "http://s.com/ads/ad.html)ifra(",
                         "http://s.com/dir/logo.gif)ifra(",
                         "http://s.com/up.jpg",
                         "http://t.org/x/y.html",
                         "http://s.com/dir/page.html",
                         "http://s.com/dir/search.php?q=a/b",
                     }));
}

TEST(PageProcessor, SecondRewriteGivesTheSameCopy) {
  PageJob job = PageAt(kPage);
  Outcome first = Process(kRealistic, job);
  Outcome second = Process(first.text, job);
  EXPECT_EQ(second.text, first.text);
  // The links map back to the same local files (a folder's address comes back as the
  // address of its index.html), most to the very same addresses.
  ASSERT_EQ(second.links.size(), first.links.size());
  EXPECT_EQ(second.links[13], "http://s.com/dir/search.php?q=a/b");
  EXPECT_EQ(second.links[11], "http://t.org/x/y.html");
  for (std::size_t i = 0; i < first.links.size(); ++i) {
    std::string a = first.links[i].substr(0, first.links[i].find("((((("));
    std::string b = second.links[i].substr(0, second.links[i].find("((((("));
    EXPECT_EQ(LocalNameOf(b, "/c/").path, LocalNameOf(a, "/c/").path) << a << " vs " << b;
  }
}

void ExpectCopiedUnchanged(const std::vector<std::string>& texts) {
  PageJob job = PageAt(kPage);
  for (bool namesInText : {false, true}) {
    job.file_names_in_text = namesInText;
    for (const std::string& t : texts) {
      Outcome o = Process(t, job);
      EXPECT_EQ(o.text.size(), t.size());
      EXPECT_TRUE(o.text == t);
      EXPECT_TRUE(o.links.empty());
    }
  }
}

TEST(PageProcessor, DegenerateTextsAreCopiedUnchanged) {
  ExpectCopiedUnchanged({
      "",
      "=",
      ".",
      "<a href=\"abc",
      "<a href='abc.html",
      std::string(1 << 20, 'a') + "=",
  });

  // NUL bytes end a value like any control character; the scan goes on after them, and only
  // the old rule takes the rest of the value for a file name.
  const std::string nul("<a href=\"x\0y.html\">\0</a>", 23);
  PageJob job = PageAt(kPage);
  Outcome o = Process(nul, job);
  EXPECT_EQ(o.text, nul);
  EXPECT_TRUE(o.links.empty());
  job.file_names_in_text = true;
  o = Process(nul, job);
  EXPECT_EQ(o.text, nul);
  EXPECT_EQ(o.links, (Links{"http://s.com/dir/y.html"}));
}

TEST(PageProcessor, TenMegabytesOfDotsOrEquals) {
  ExpectCopiedUnchanged({std::string(10 << 20, '.')});
  ExpectCopiedUnchanged({std::string(4 << 20, '=')});  // the benchmark covers larger texts
}

TEST(PageProcessor, TextsThatWouldMakeAScanQuadratic) {
  // Dotted words without a delimiter; file names after a "#" that ends the token's value
  // early; many "base " that open no element; a long run of one letter.
  std::string words, afterHash, bases;
  for (int i = 0; i < 200000; ++i) words += "ab.cd";
  afterHash = " " + std::string(1 << 20, 'a') + "#";
  for (int i = 0; i < 200000; ++i) afterHash += ".gif";
  for (int i = 0; i < 200000; ++i) bases += "database ";
  ExpectCopiedUnchanged({words, afterHash, bases, std::string(4 << 20, 'b')});

  // Applet classes in elements that never end: the codebase lookup is bounded.
  std::string classes;
  for (int i = 0; i < 20000; ++i) classes += "<x =A.class ";
  PageJob job = PageAt(kPage);
  job.file_names_in_text = true;
  Outcome o = Process(classes, job);
  EXPECT_EQ(o.links.size(), 20000u);
  EXPECT_EQ(o.links.back(), "http://s.com/dir/A.class..)(..");
}

TEST(PageProcessor, WritesTheLocalFileAndRemovesItWhenUnwritable) {
  std::filesystem::path dir = std::filesystem::temp_directory_path() /
                              ("orv_page_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                               "_" + std::to_string(reinterpret_cast<std::uintptr_t>(&dir)));
  std::filesystem::create_directories(dir);
  PageJob job = PageAt(kPage);
  job.local_path = (dir / "page.html").string();
  int pages = 2;
  PageResult r = ProcessPageFile("<a href=\"/a.html\">a</a>", job, pages, nullptr);
  EXPECT_TRUE(r.written);
  std::ifstream in(job.local_path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  EXPECT_EQ(ss.str(), "<a href=\"../a.html\">a</a>");

  // A large page goes out in many pieces; the file holds exactly what the pieces say.
  std::string big;
  for (int i = 0; i < 300; ++i) big += kRealistic;  // well past the file buffer
  StringSink expected;
  int morePages = 2;
  ProcessPage(big, job, expected, morePages, nullptr);
  r = ProcessPageFile(big, job, pages, nullptr);
  EXPECT_TRUE(r.written);
  std::ifstream again(job.local_path, std::ios::binary);
  std::stringstream all;
  all << again.rdbuf();
  EXPECT_TRUE(all.str() == expected.text);
  EXPECT_GT(all.str().size(), big.size() / 2);

  job.local_path = (dir / "missing" / "page.html").string();
  r = ProcessPageFile("<a href=\"/a.html\">a</a>", job, pages, nullptr);
  EXPECT_FALSE(r.written);
  EXPECT_EQ(r.found_links, (Links{"1", "http://s.com/a.html"}));
  EXPECT_FALSE(std::filesystem::exists(job.local_path));
  std::filesystem::remove_all(dir);
}

TEST(PageProcessor, NamesWrittenWithCharacterReferencesAreTheNamesTheBrowserReads) {
  // Generated documentation writes "--" in names as "&#45;&#45;".
  Outcome o = Process("<a href=\"git-web&#45;&#45;browse.html\">x</a> <a href=\"a&#x2D;b.html#s\">y</a>"
                      " <a href=\"q.php?a=1&#38;b=2\">z</a>",
                      PageAt(kPage));
  EXPECT_EQ(o.links, (Links{"http://s.com/dir/git-web--browse.html", "http://s.com/dir/a-b.html",
                            "http://s.com/dir/q.php?a=1&b=2"}));
  EXPECT_EQ(o.text, "<a href=\"git-web--browse.html\">x</a> <a href=\"a-b.html#s\">y</a>"
                    " <a href=\"q.php,8,,x23Fa=1%26b=2\">z</a>");
}

TEST(PageLinks, ExtensionTest) {
  EXPECT_TRUE(ExtensionTestPasses(".html\">"));
  EXPECT_TRUE(ExtensionTestPasses(".SHTML"));
  EXPECT_TRUE(ExtensionTestPasses(".php3"));
  EXPECT_TRUE(ExtensionTestPasses(".jpeg"));
  EXPECT_TRUE(ExtensionTestPasses(".class"));
  EXPECT_TRUE(ExtensionTestPasses(".js"));
  EXPECT_FALSE(ExtensionTestPasses(".gif's"));  // "s" group wins
  EXPECT_FALSE(ExtensionTestPasses(".mpg"));    // "m" group has no .mpg
  EXPECT_FALSE(ExtensionTestPasses(".com/a"));  // "m" group again
  EXPECT_FALSE(ExtensionTestPasses(".txt"));
  EXPECT_FALSE(ExtensionTestPasses(""));
  // The formats of today, each in the group its letters select.
  for (const char* e : {".webp\"", ".avif)", ".svg\">", ".ico\"", ".woff2", ".woff'", ".ttf\")", ".otf",
                        ".eot?#", ".mp4\"", ".webm", ".ogg\"", ".pdf\">", ".json"}) {
    EXPECT_TRUE(ExtensionTestPasses(e)) << e;
  }
  EXPECT_FALSE(ExtensionTestPasses(".webps"));  // the "s" group has no .webp
}

TEST(PageProcessor, SrcsetCandidatesAreEachReportedAndRewrittenKeepingTheirDescriptors) {
  Outcome o = Process(
      "<img src=\"a.jpg\" srcset=\"a.jpg 1x, /big/a-2x 2x,https://cdn.org/a3.avif 3x\" alt=\"x\">"
      "<picture><source type=\"image/webp\" SRCSET='w/s.webp 320w,w/m.webp 640w'></picture>"
      "<link rel=preload as=image imagesrcset=\"p.png?v=1 1x, p2.png\" href=\"p.png\">",
      PageAt(kPage));
  EXPECT_EQ(o.text,
            "<img src=\"a.jpg\" srcset=\"a.jpg 1x, ../big/a-2x/index.html 2x,../../cdn.org/a3.avif 3x\" alt=\"x\">"
            "<picture><source type=\"image/webp\" SRCSET='w/s.webp 320w,w/m.webp 640w'></picture>"
            "<link rel=preload as=image imagesrcset=\"p.png,8,,x23Fv=1.png 1x, p2.png\" href=\"p.png\">");
  EXPECT_EQ(o.links, (Links{"http://s.com/dir/a.jpg", "http://s.com/dir/a.jpg", "http://s.com/big/a-2x/",
                            "https://cdn.org/a3.avif", "http://s.com/dir/w/s.webp", "http://s.com/dir/w/m.webp",
                            "http://s.com/dir/p.png?v=1", "http://s.com/dir/p2.png", "http://s.com/dir/p.png"}));
  // An unclosed candidate list is no list: the scan goes on from there.
  o = Process("<img srcset=\"a.png 1x", PageAt(kPage));
  EXPECT_EQ(o.text, "<img srcset=\"a.png 1x");
}

TEST(PageProcessor, CssImportStringsAreLinks) {
  Outcome o = Process("@import \"more.css\";\n@import 'print.css?v=2' print;\n"
                      "@import \"https://fonts.org/css2.css\";\nbody{background:url(i/bg.svg);}\n",
                      PageAt("https://s.com/dir/site.css"));
  EXPECT_EQ(o.text, "@import \"more.css\";\n@import 'print.css,8,,x23Fv=2.css' print;\n"
                    "@import \"../../fonts.org/css2.css\";\nbody{background:url(i/bg.svg);}\n");
  EXPECT_EQ(o.links, (Links{"https://s.com/dir/more.css", "https://s.com/dir/print.css?v=2",
                            "https://fonts.org/css2.css", "https://s.com/dir/i/bg.svg"}));
}

TEST(PageLinks, ResolveRelative) {
  const std::string root = "http://s.com/";
  EXPECT_EQ(ResolveRelative("/a/b.html", "http://s.com/x/", root), "http://s.com/a/b.html");
  EXPECT_EQ(ResolveRelative("./b.html", "http://s.com/x/", root), "http://s.com/x/b.html");
  EXPECT_EQ(ResolveRelative("./../b.html", "http://s.com/x/y/", root), "http://s.com/x/b.html");
  EXPECT_EQ(ResolveRelative("../../b.html", "http://s.com/x/y/", root), "http://s.com/b.html");
  // Never above the site.
  EXPECT_EQ(ResolveRelative("../../../b.html", "http://s.com/x/", root), "http://s.com/b.html");
  EXPECT_EQ(ResolveRelative("b.html", "http://s.com/x", root), "http://s.com/x/b.html");
  EXPECT_EQ(ResolveRelative(".hidden", "http://s.com/x/", root), "");
  EXPECT_EQ(ResolveRelative("./.x", "http://s.com/x/", root), "");
  EXPECT_EQ(ResolveRelative("../.x", "http://s.com/x/y/", root), "http://s.com/x/.x");
}

TEST(PageLinks, RelativeLocalPath) {
  EXPECT_EQ(RelativeLocalPath("s.com/a/", "s.com/a/x.html"), "x.html");
  EXPECT_EQ(RelativeLocalPath("s.com/a/b/", "s.com/x.html"), "../../x.html");
  EXPECT_EQ(RelativeLocalPath("s.com/a/", "s.com/ab/x.html"), "../ab/x.html");
  EXPECT_EQ(RelativeLocalPath("s.com/", "s.com/a/index.html"), "a/index.html");
  EXPECT_EQ(RelativeLocalPath("s.com/a/", "t.org/a/x.html"), std::nullopt);
  EXPECT_EQ(RelativeLocalPath("s.com/a/", "s.com.ru/a/x.html"), std::nullopt);
}

}  // namespace
}  // namespace orv::page
