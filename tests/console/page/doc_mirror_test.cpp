// A real documentation tree from a Debian documentation package, served on loopback and
// mirrored by the real console with every found link fed back as the main program would:
// every page that links reach is saved, and no link of a saved page that points inside the
// site is broken.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/settings.h"
#include "tests/console/console_harness.h"
#include "tests/console/page/browser_link.h"
#include "tests/support/http_test_server.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& p) { return orvtest::ReadWholeFile(p); }

// The href and src values of a page's tags, in either quote: what the search for
// (?:href|src)\s*=\s*(?:"([^"]*)"|'([^']*)') (any case) finds inside a tag, scanned by hand, since
// a regular expression over some 400 pages in the sanitizer build cost more time than the mirror
// itself. Markup quoted in prose ("&lt;base href=...&gt;") links nothing.
std::vector<std::string> LinksOf(const std::string& page) {
  const std::size_t n = page.size();
  const auto wordAt = [&](std::size_t i, std::string_view word) {
    if (i + word.size() > n) return false;
    for (std::size_t k = 0; k < word.size(); ++k)
      if (std::tolower(static_cast<unsigned char>(page[i + k])) != word[k]) return false;
    return true;
  };
  const auto skipBlanks = [&](std::size_t j) {
    while (j < n && std::isspace(static_cast<unsigned char>(page[j]))) ++j;
    return j;
  };
  std::vector<std::string> links;
  for (std::size_t i = 0; i < n; ++i) {
    std::size_t j = wordAt(i, "href") ? i + 4 : wordAt(i, "src") ? i + 3 : std::string::npos;
    if (j == std::string::npos) continue;
    const std::size_t open = page.rfind('<', i), close = page.rfind('>', i);
    if (open == std::string::npos || (close != std::string::npos && close > open)) continue;
    j = skipBlanks(j);
    if (j >= n || page[j] != '=') continue;
    j = skipBlanks(j + 1);
    if (j >= n || (page[j] != '"' && page[j] != '\'')) continue;
    const std::size_t end = page.find(page[j], j + 1);
    if (end == std::string::npos) continue;
    links.push_back(page.substr(j + 1, end - j - 1));
    i = end;
  }
  return links;
}

bool IsPage(const fs::path& p) { return p.extension() == ".html" || p.extension() == ".htm"; }

// The pages of the tree that links reach from the start page, read from the tree itself.
std::set<std::string> ReachablePages(const fs::path& tree, const std::string& start) {
  std::set<std::string> seen{start};
  std::vector<std::string> todo{start};
  while (!todo.empty()) {
    std::string page = todo.back();
    todo.pop_back();
    for (const std::string& link : LinksOf(Read(tree / page))) {
      if (link.find("://") != std::string::npos || link.rfind("mailto:", 0) == 0) continue;
      std::string name = orvtest::AsBrowserReadsIt(link);
      name = name.substr(0, name.find_first_of("#?"));
      if (name.empty()) continue;
      fs::path target = (fs::path(page).parent_path() / name).lexically_normal();
      if (IsPage(target) && fs::is_regular_file(tree / target) && seen.insert(target.generic_string()).second)
        todo.push_back(target.generic_string());
    }
  }
  return seen;
}

TEST(DocumentationMirror, EveryReachablePageIsSavedAndNoLinkInsideTheSiteIsBroken) {
  if (!fs::exists(std::string(ORV_BIN_DIR) + "/kuvet")) GTEST_SKIP() << "kuvet not built";
  const char* env = std::getenv("ORV_DOC_TREE");
  const fs::path tree = env != nullptr ? env : "/usr/share/doc/git-doc";
  const std::string start = "index.html";
  if (!fs::is_regular_file(tree / start)) GTEST_SKIP() << tree << " is not installed (package git-doc)";

  orvtest::HttpTestServer server;
  server.ServeTree("/doc/", tree.string());
  orvtest::ConsoleHarness h;
  // The fastest intensity: no pause between takes beyond the channels' own tick, so the mirror
  // costs the time of its transfers, not 0.1 s per address, and every channel is put to work.
  orv::WriteSetting("intens", "3");
  h.PrepareRun();
  ASSERT_TRUE(h.Launch());
  const std::string root = server.Url("/doc/");
  std::set<std::string> fed{root + start};
  ASSERT_TRUE(h.Feed(root + start));
  std::size_t seen = 0;
  for (;;) {
    ASSERT_TRUE(h.WaitIdle(30000));
    std::vector<std::string> next;
    for (; seen < h.Reports().size(); ++seen) {
      const auto& list = h.Reports()[seen];
      for (std::size_t i = 1; i < list.size(); ++i) {
        std::string a = list[i].substr(0, list[i].find("((((("));
        for (const char* m : {")ifra(", "..)(.."})
          if (a.ends_with(m)) a.resize(a.size() - 6);
        if (a.starts_with(root) && fed.insert(a).second) next.push_back(a);
      }
    }
    if (next.empty()) break;
    for (const std::string& a : next) ASSERT_TRUE(h.Feed(a, 30000)) << a;
  }

  const std::set<std::string> pages = ReachablePages(tree, start);
  for (const std::string& page : pages) {
    EXPECT_EQ(server.Count("/doc/" + page), 1u) << page;
    EXPECT_TRUE(fs::is_regular_file(h.LocalFile(root + page))) << page;
  }
  // Addresses the server does not have are not the copy's fault.
  std::set<fs::path> missing;
  for (const std::string& a : fed)
    if (server.Count(a.substr(server.Url("").size())) > 0 && !fs::exists(tree / a.substr(root.size())))
      missing.insert(fs::path(h.LocalFile(a)).lexically_normal());

  const fs::path site = fs::path(h.LocalFile(root + start)).parent_path().parent_path();
  int checked = 0, broken = 0;
  for (const std::string& page : pages) {
    const fs::path local = h.LocalFile(root + page);
    const std::string text = Read(local);
    EXPECT_EQ(text.find(root), std::string::npos) << page << " still names the site";
    for (const std::string& link : LinksOf(text)) {
      if (link.find("://") != std::string::npos || link.rfind("mailto:", 0) == 0) continue;
      std::string name = orvtest::AsBrowserReadsIt(link);
      name = name.substr(0, name.find_first_of("#?"));
      if (name.empty()) continue;
      const fs::path target = (local.parent_path() / name).lexically_normal();
      if (target.string().rfind(site.string(), 0) != 0 || missing.count(target) > 0) continue;
      ++checked;
      if (!fs::is_regular_file(target)) {
        ++broken;
        ADD_FAILURE() << "link " << link << " in " << page << " opens nothing: " << target;
      }
    }
  }
  std::printf("%zu pages reachable, %zu addresses fed, %d links inside the site checked, %d broken\n",
              pages.size(), fed.size(), checked, broken);
  EXPECT_GT(pages.size(), 100u);
  EXPECT_EQ(broken, 0);
}

}  // namespace
