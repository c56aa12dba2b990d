// A small site downloaded by the real console, every link fed back as the main program would:
// each link of each saved page, read the way a browser reads it, must open a file that the
// console stored. This is what makes the copy browse offline.
#include "tests/console/page/browser_link.h"
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "tests/console/console_harness.h"
#include "tests/support/http_test_server.h"

namespace {

using orvtest::Answer;

// What a browser makes of a link in a saved page: the fragment and query are no part of the
// file's name, character references and "%" escapes are decoded.
std::string FileNameOfLink(const std::string& link) {
  return orvtest::AsBrowserReadsIt(link.substr(0, link.find_first_of("#?")));
}

// The values of href="..", src=".." and url(..) in a page.
std::vector<std::string> LinksOf(const std::string& page) {
  std::vector<std::string> links;
  for (const char* open : {"href=\"", "src=\"", "url("}) {
    const std::string o(open);
    const char close = o.back() == '(' ? ')' : '"';
    for (std::size_t k = page.find(o); k != std::string::npos; k = page.find(o, k + 1)) {
      std::size_t s = k + o.size();
      std::size_t e = page.find(close, s);
      if (e != std::string::npos) links.push_back(page.substr(s, e - s));
    }
  }
  return links;
}

std::string ReadFile(const std::filesystem::path& p) {
  std::string s;
  if (FILE* f = std::fopen(p.c_str(), "rb")) {
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) s.append(buf, n);
    std::fclose(f);
  }
  return s;
}

TEST(OfflineCopy, EveryLinkOfTheSavedPagesOpensAStoredFile) {
  if (!std::filesystem::exists(std::string(ORV_BIN_DIR) + "/kuvet")) GTEST_SKIP() << "kuvet not built";
  orvtest::HttpTestServer server;
  orvtest::HttpTestServer other;  // another port: another site of the collection
  orvtest::ConsoleHarness h;
  auto html = [](std::string body) {
    return Answer{.headers = {"Content-Type: text/html"}, .body = std::move(body)};
  };
  auto file = [](std::string body) { return Answer{.body = std::move(body)}; };

  // Folders with and without a closing "/", a file name with an escaped blank, queries with
  // "&amp;" and with "/", a style sheet, a script, images, fragments and a mail address.
  server.Serve("/site/index.html",
               html("<html><head><title>Home</title>\n"
                    "<style>body { background: url(img/bg.gif); }</style>\n"
                    "<script src=\"code.js\"></script></head><body>\n"
                    "<a href=\"about\">about</a> <a href=\"docs/guide.html#part\">guide</a>\n"
                    "<a href=\"../top.html\">top</a> <a href=\"My%20File.html\">file</a>\n"
                    "<a href=\"list.php?a=1&amp;b=2\">list</a> <a href=\"q.php?x=1/2\">q</a>\n"
                    "<img src=\"pic/one.gif\"> <a href=\"mailto:me@s.com\">m</a>\n"
                    "<a href=\"http.html\">http</a> <a href=\"https.html\">https</a>\n"
                    "<a href=\"find.php?q=" + std::string(300, 'w') + "\">long</a>\n"
                    "<a href=\"" + other.Url("/b/page.html") + "\">other</a>\n"
                    "</body></html>\n"));
  other.Serve("/b/page.html", html("<html><body><a href=\"" + server.Url("/site/about/") +
                                   "\">back</a> <img src=\"/b/i.gif\"></body></html>\n"));
  other.Serve("/b/i.gif", file("GIF89a-i"));
  server.Serve("/site/about/", html("<html><body><a href=\"../index.html\">home</a> "
                                    "<a href=\"/site/docs/guide.html\">guide</a></body></html>\n"));
  server.Serve("/site/docs/guide.html",
               html("<html><body><a href=\"../about/\">about</a> <img src=\"../pic/one.gif\"> "
                    "<a href=\"/site/q.php?x=1/2\">q</a></body></html>\n"));
  server.Serve("/top.html", html("<html><body><a href=\"site/index.html\">in</a></body></html>\n"));
  server.Serve("/site/My%20File.html", html("<html><body><a href=\"./\">here</a></body></html>\n"));
  server.Serve("/site/list.php?a=1&amp;b=2", html("<html><body>list</body></html>\n"));
  server.Serve("/site/q.php?x=1/2", html("<html><body><a href=\"about/\">a</a></body></html>\n"));
  server.Serve("/site/img/bg.gif", file("GIF89a-bg"));
  server.Serve("/site/pic/one.gif", file("GIF89a-one"));
  server.Serve("/site/code.js", file("var x = 1;\n"));
  // File names that begin like a scheme are names beside the page.
  server.Serve("/site/http.html", html("<html><body><a href=\"httpd.conf\">conf</a></body></html>\n"));
  server.Serve("/site/https.html", html("<html><body><a href=\"index.html\">home</a></body></html>\n"));
  server.Serve("/site/httpd.conf", file("Listen 80\n"));
  // A query longer than a file name may be: stored under a shortened name.
  const std::string longQuery = "/site/find.php?q=" + std::string(300, 'w');
  server.Serve(longQuery, html("<html><body><a href=\"http.html\">h</a></body></html>\n"));

  h.PrepareRun();
  ASSERT_TRUE(h.Launch());
  const std::string root = server.Url("/");
  std::set<std::string> fed{server.Url("/site/index.html")};
  ASSERT_TRUE(h.Feed(server.Url("/site/index.html")));
  for (int round = 0; round < 8; ++round) {
    ASSERT_TRUE(h.WaitIdle(8000));
    std::vector<std::string> next;
    for (const auto& list : h.Reports()) {
      for (std::size_t i = 1; i < list.size(); ++i) {
        std::string a = list[i].substr(0, list[i].find("((((("));
        for (const char* m : {")ifra(", "..)(.."}) {
          if (a.ends_with(m)) a.resize(a.size() - 6);
        }
        if ((a.starts_with(root) || a.starts_with(other.Url("/"))) && fed.insert(a).second) {
          next.push_back(a);
        }
      }
    }
    if (next.empty()) break;
    for (const std::string& a : next) ASSERT_TRUE(h.Feed(a)) << a;
  }
  // Every page of the site was reached through the links alone.
  for (const char* path : {"/site/about/", "/site/docs/guide.html", "/top.html", "/site/My%20File.html",
                           "/site/list.php?a=1&amp;b=2", "/site/q.php?x=1/2", "/site/img/bg.gif",
                           "/site/pic/one.gif", "/site/code.js", "/site/http.html", "/site/https.html",
                           "/site/httpd.conf", longQuery.c_str()}) {
    EXPECT_EQ(server.Count(path), 1u) << path;
  }
  EXPECT_EQ(other.Count("/b/page.html"), 1u);
  EXPECT_EQ(other.Count("/b/i.gif"), 1u);

  int checked = 0;
  for (const std::string& address : fed) {
    std::filesystem::path page = h.LocalFile(address);
    ASSERT_TRUE(std::filesystem::exists(page)) << address;
    if (page.extension() == ".gif" || page.extension() == ".js" || page.extension() == ".conf") continue;
    const std::string text = ReadFile(page);
    EXPECT_EQ(text.find("http://"), std::string::npos) << page << ": " << text;
    for (const std::string& link : LinksOf(text)) {
      if (link.starts_with("mailto:")) continue;
      std::filesystem::path target = (page.parent_path() / FileNameOfLink(link)).lexically_normal();
      EXPECT_TRUE(std::filesystem::is_regular_file(target))
          << "link " << link << " in " << page << " opens " << target;
      ++checked;
    }
  }
  EXPECT_GE(checked, 24);
}

}  // namespace
