// Real documentation trees from Debian documentation packages of different generators, served
// on loopback and mirrored by the real console with every found link fed back as the main
// program would: every page that links reach is saved, no link of a saved page that points
// inside the site is broken, every file `wget -m` fetches from the same server is fetched too,
// hardly a request asks for an address no page links, and the copy of a page draws in
// Chromium as the served page does.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QImage>

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
#include "tests/support/program_folder.h"
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

// A request target as the file name it asks for: percent escapes decoded.
std::string Decoded(const std::string& target) { return orvtest::AsBrowserReadsIt(target); }

// Runs a program through the shell with its output thrown away; its exit status, or -1 when
// it did not end within timeoutMs.
int RunQuietly(const std::string& command, int timeoutMs) {
  orvtest::ChildProcess child;
  if (!child.Start("/bin/sh", {"-c", "exec " + command + " >/dev/null 2>&1"}, "/")) return -1;
  const int status = child.WaitExit(timeoutMs);
  if (status == -1) child.Kill();
  return status;
}

// The files `wget -m` saved below folder, as the request targets that fetched them.
std::set<std::string> WgetMirror(const std::string& url, const fs::path& folder) {
  RunQuietly("wget -m -np -q -e robots=off -P '" + folder.string() + "' '" + url + "'", 90000);
  std::set<std::string> got;
  if (!fs::exists(folder)) return got;
  for (const auto& e : fs::recursive_directory_iterator(folder)) {
    if (!e.is_regular_file()) continue;
    const std::string rel = fs::relative(e.path(), folder).generic_string();
    got.insert(rel.substr(rel.find('/')));  // past the host folder
  }
  return got;
}

// A page drawn by headless Chromium into png; false when it could not be drawn.
bool Draw(const std::string& url, const fs::path& png, const fs::path& profile) {
  std::string command = "chromium --headless --disable-gpu --hide-scrollbars --window-size=1000,1500"
                        " --no-first-run --disable-background-networking --disable-component-update"
                        " --disable-sync --disable-extensions --virtual-time-budget=3000"
                        " --user-data-dir='" + profile.string() + "' --screenshot='" + png.string() + "'";
  // Chromium's sandbox refuses to run as root.
  if (::geteuid() == 0) command += " --no-sandbox";
  return RunQuietly(command + " '" + url + "'", 60000) == 0 && fs::exists(png);
}

// Share of the pixels of two drawings of one size that differ by more than anti-aliasing does.
double DifferingPixels(const QImage& a, const QImage& b) {
  if (a.size() != b.size() || a.isNull()) return 1.0;
  const QImage x = a.convertToFormat(QImage::Format_RGB32), y = b.convertToFormat(QImage::Format_RGB32);
  long differ = 0;
  for (int row = 0; row < x.height(); ++row) {
    const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
    const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
    for (int col = 0; col < x.width(); ++col)
      if (std::abs(qRed(p[col]) - qRed(q[col])) > 8 || std::abs(qGreen(p[col]) - qGreen(q[col])) > 8 ||
          std::abs(qBlue(p[col]) - qBlue(q[col])) > 8)
        ++differ;
  }
  return static_cast<double>(differ) / (static_cast<double>(x.width()) * x.height());
}

struct DocSite {
  const char* name;
  const char* tree;      // the package's HTML folder
  const char* package;
  std::size_t minPages;  // a mirror that finds fewer pages has lost its way
  bool draw;             // compare a page and its copy in Chromium
};

void PrintTo(const DocSite& doc, std::ostream* os) { *os << doc.package; }

class DocumentationMirror : public ::testing::TestWithParam<DocSite> {};

TEST_P(DocumentationMirror, TheCopyHoldsWhatTheSiteLinksAndNothingElse) {
  const DocSite& doc = GetParam();
  if (!fs::exists(std::string(ORV_BIN_DIR) + "/kuvet")) GTEST_SKIP() << "kuvet not built";
  const fs::path tree = doc.tree;
  const std::string start = "index.html";
  if (!fs::is_regular_file(tree / start)) GTEST_SKIP() << tree << " is not installed (package " << doc.package << ")";

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
  const std::vector<orvtest::Request> ours = server.Requests();

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

  // The mirror feeds the addresses below the tree's folder only: a link above it (a root path
  // into another package's documentation) names nothing the copy was meant to hold.
  const fs::path site = fs::path(h.LocalFile(root + start)).parent_path();
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
  EXPECT_GT(pages.size(), doc.minPages);
  EXPECT_EQ(broken, 0);

  // wget on the same server: what it fetches, the console fetched; an address the console asked
  // for that neither the tree holds nor wget asked for is one no page links.
  std::set<std::string> asked;
  for (const orvtest::Request& r : ours) asked.insert(Decoded(r.target));
  const orvtest::TempFolder scratch{"orvdoc"};
  const std::set<std::string> wgot = WgetMirror(root + start, scratch.Path() / "wget");
  std::set<std::string> wgetAsked;
  const std::vector<orvtest::Request> all = server.Requests();
  for (std::size_t k = ours.size(); k < all.size(); ++k) wgetAsked.insert(Decoded(all[k].target));
  std::size_t wgetOnly = 0;
  for (const std::string& target : wgot)
    if (asked.count(target) == 0) {
      ++wgetOnly;
      ADD_FAILURE() << "wget fetched " << target << ", the console did not";
    }
  std::size_t unlinked = 0;
  std::string examples;
  for (const orvtest::Request& r : ours) {
    const std::string target = Decoded(r.target);
    const std::string path = target.substr(0, target.find('?'));
    if (path.rfind("/doc/", 0) == 0 && fs::is_regular_file(tree / path.substr(5))) continue;
    if (wgetAsked.count(target) != 0) continue;
    if (++unlinked <= 12) examples += " " + target;
  }
  const double unlinkedShare = ours.empty() ? 0 : static_cast<double>(unlinked) / static_cast<double>(ours.size());
  std::printf("%s: %zu pages reachable, %zu addresses fed, %d links inside the site checked, %d broken; "
              "%zu requests, %zu for unlinked addresses (%.1f %%); wget fetched %zu files, %zu of them not "
              "fetched by the console\n",
              doc.name, pages.size(), fed.size(), checked, broken, ours.size(), unlinked, 100 * unlinkedShare,
              wgot.size(), wgetOnly);
  EXPECT_FALSE(wgot.empty()) << "wget fetched nothing (package wget)";
  EXPECT_LE(unlinkedShare, 0.02) << "asked for, linked by no page:" << examples;

  if (!doc.draw) return;
  if (RunQuietly("chromium --version", 30000) != 0) {
    std::printf("chromium is not installed (package chromium): the drawings are not compared\n");
    return;
  }
  const fs::path served = scratch.Path() / "served.png", copy = scratch.Path() / "copy.png";
  ASSERT_TRUE(Draw(root + start, served, scratch.Path() / "profile1"));
  ASSERT_TRUE(Draw("file://" + h.LocalFile(root + start), copy, scratch.Path() / "profile2"));
  const QImage drawn(QString::fromStdString(served.string()));
  QImage blank(drawn.size(), QImage::Format_RGB32);
  blank.fill(Qt::white);
  EXPECT_GT(DifferingPixels(drawn, blank), 0.02) << "the served page drew (almost) nothing";
  const double differ = DifferingPixels(QImage(QString::fromStdString(served.string())),
                                        QImage(QString::fromStdString(copy.string())));
  std::printf("%s: %.2f %% of the pixels of %s differ between the site and its copy\n", doc.name, 100 * differ,
              start.c_str());
  EXPECT_LE(differ, 0.01);
}

INSTANTIATE_TEST_SUITE_P(
    Packages, DocumentationMirror,
    ::testing::Values(DocSite{"git", "/usr/share/doc/git-doc", "git-doc", 100, false},
                      DocSite{"click", "/usr/share/doc/python-click-doc/html", "python-click-doc", 20, true}),
    [](const ::testing::TestParamInfo<DocSite>& info) { return std::string(info.param.name); });

}  // namespace
