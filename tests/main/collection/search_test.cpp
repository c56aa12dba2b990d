#include "main/collection/collection_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "common/exchange.h"
#include "common/text.h"
#include "main/collection/search_criteria.h"
#include "main/collection/tree_search_source.h"
#include "main/collection/web_search.h"
#include "platform/file_attributes.h"
#include "tests/support/temp_folder.h"

namespace orv {
namespace {

using namespace std::chrono;

// The loaded part of a site tree, in tree order.
class FakeTree : public SearchableTree {
 public:
  std::size_t NodeCount() const override { return nodes.size(); }
  SearchNode NodeAt(std::size_t i) const override {
    return {nodes[i].key, nodes[i].text, nodes[i].image};
  }
  void Add(const std::string& key, const std::string& text, int image) {
    nodes.push_back({key, text, image});
  }
  std::vector<SearchEntry> nodes;
};

// A site folder with files; the tree holds the root, the site, a folder and the files.
class SearchFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    root = folder.Dir();
    site = root + "site.ru/";
    tree.Add(root, root, 45);
    tree.Add(site, "site.ru", 46);
    tree.Add(site + "d/", "d", 1);
  }
  std::string Put(const std::string& name, const std::string& bytes, int image = 7) {
    std::string path = site + name;
    orvtest::WriteWholeFile(path, bytes);
    tree.Add(path, name, image);
    return path;
  }
  std::vector<std::string> Run(const SearchCriteria& c, bool within = false) {
    EXPECT_TRUE(search.Start(c, within));
    int steps = 0;
    while (search.Step()) ++steps;
    EXPECT_LE(steps * CollectionSearch::kCandidatesPerStep, tree.nodes.size() + 5);
    return Keys();
  }
  std::vector<std::string> Keys() const {
    std::vector<std::string> keys;
    for (const auto& e : search.Results()) keys.push_back(e.key);
    return keys;
  }
  static SearchCriteria ByAddress(const std::string& text) {
    SearchCriteria c;
    c.text = text;
    return c;
  }

  orvtest::TempFolder folder;
  std::string root, site;
  FakeTree tree;
  CollectionSearch search{tree};
};

TEST_F(SearchFixture, DatesAreStrictAndMayComeReversed) {
  std::string today = Put("today.html", "x");
  std::string old = Put("old.html", "x");
  ASSERT_TRUE(SetModifiedTime(old, system_clock::now() - days(10)));
  SearchCriteria c;
  c.kind = SearchKind::Date;
  c.dateFrom = c.dateTo = Today();
  EXPECT_TRUE(Run(c).empty());
  c.dateFrom = Today() - days(1);
  c.dateTo = Today() + days(1);
  EXPECT_EQ(Run(c), std::vector<std::string>{today});
  std::swap(c.dateFrom, c.dateTo);
  EXPECT_EQ(Run(c), std::vector<std::string>{today});
  c.dateFrom = Today() - days(11);
  c.dateTo = Today() + days(1);
  EXPECT_EQ(Run(c), (std::vector<std::string>{today, old}));
}

TEST_F(SearchFixture, SizeBoundsAreStrictAndEmptyFilesAreSkipped) {
  Put("empty.html", "");
  std::string small = Put("small.html", std::string(1023, 'a'));
  std::string one = Put("one.html", std::string(1024, 'a'));
  std::string big = Put("big.html", std::string(1025, 'a'));
  SearchCriteria c;
  c.kind = SearchKind::Size;
  c.sizeFrom = 0;
  c.sizeTo = 1;
  EXPECT_EQ(Run(c), std::vector<std::string>{small});
  c.sizeFrom = 1;
  c.sizeTo = 2;
  EXPECT_EQ(Run(c), std::vector<std::string>{big});
}

TEST_F(SearchFixture, WithinFoundNarrowsAndBackRestores) {
  std::string a = Put("news.html", "x");
  std::string b = Put("d/news.jpg", "x", 8);
  Put("d/other.html", "x");
  Put("partial_news.html", "x", 7 + 17);  // unfinished files are files too
  std::string partial = site + "partial_news.html";
  tree.Add(site + "news/", "news", 1);  // a folder is never a result

  EXPECT_EQ(Run(ByAddress("NEWS")), (std::vector<std::string>{a, b, partial}));
  EXPECT_EQ(search.ProgressText(), "4/3");
  EXPECT_TRUE(search.CanSearchWithinFound());
  EXPECT_EQ(Run(ByAddress(".jpg"), true), std::vector<std::string>{b});
  EXPECT_TRUE(search.CanGoBack());
  EXPECT_TRUE(search.Back());
  EXPECT_EQ(Keys(), (std::vector<std::string>{a, b, partial}));
  EXPECT_FALSE(search.CanGoBack());

  // Nothing found: nothing to narrow, but the former results can come back.
  EXPECT_TRUE(Run(ByAddress("absent")).empty());
  EXPECT_FALSE(search.CanSearchWithinFound());
  EXPECT_TRUE(search.Back());
  EXPECT_EQ(Keys().size(), 3u);
}

TEST_F(SearchFixture, SitesNeverOpenedAreNotSearchedAndStopKeepsWhatWasFound) {
  orvtest::WriteWholeFile(root + "unopened.html", "x");  // on disk, not in the tree
  for (int i = 0; i < 40; ++i) Put("p" + std::to_string(i) + ".html", "x");
  ASSERT_TRUE(search.Start(ByAddress(".html"), false));
  EXPECT_FALSE(search.Start(ByAddress("x"), false));  // one search at a time
  ASSERT_TRUE(search.Step());
  ASSERT_TRUE(search.Step());
  std::size_t soFar = search.Results().size();
  EXPECT_EQ(soFar, 7u);  // ten candidates: root, site, folder, seven files
  search.RequestStop();
  EXPECT_FALSE(search.Step());
  EXPECT_FALSE(search.Running());
  EXPECT_EQ(search.Results().size(), soFar);

  // The whole tree: every file of the opened site, and nothing else.
  auto all = Run(ByAddress(".html"));
  EXPECT_EQ(all.size(), 40u);

  // A stop within the found results removes only the failures already looked at.
  ASSERT_TRUE(search.Start(ByAddress("p1"), true));
  ASSERT_TRUE(search.Step());
  search.RequestStop();
  search.Step();
  EXPECT_EQ(search.Results().size(), 40u - 4u);  // p0, p2, p3, p4 looked at and failed
}

TEST(TreeSearch, OnlyOpenedSitesAreSearchedAndARefreshEndsTheSearch) {
  orvtest::TempFolder folder;
  const std::string root = folder.Dir();
  for (std::string site : {"a.ru", "b.ru"}) {
    orvtest::WriteWholeFile(root + site + "/index.html", "x");
    orvtest::WriteWholeFile(root + site + "/d/page.html", "x");
  }
  collection::CollectionTree tree;
  tree.BuildFirstLevel(root);
  ASSERT_TRUE(tree.QueueSiteLoad(tree.Find(root + "a.ru/")));
  while (tree.Step(100)) {
  }
  TreeSearchSource source(tree);
  CollectionSearch search(source);
  SearchCriteria c;
  c.text = ".html";
  tree.SetInterrupt(true);  // left over from an earlier refresh
  ASSERT_TRUE(search.Start(c, false));
  while (search.Step()) {
  }
  std::vector<std::string> keys;
  for (const auto& e : search.Results()) keys.push_back(e.key);
  std::sort(keys.begin(), keys.end());
  EXPECT_EQ(keys, (std::vector<std::string>{root + "a.ru/d/page.html", root + "a.ru/index.html"}));

  ASSERT_TRUE(search.Start(c, false));
  tree.SetInterrupt(true);  // the browser's refresh while searching
  EXPECT_FALSE(search.Step());
  EXPECT_TRUE(search.Results().empty());
}

TEST_F(SearchFixture, TextIsFoundAcrossPiecesWithoutLetterCase) {
  std::string hit = Put("hit.html", std::string(5000, 'a') + Ru("Привет, Мир") + std::string(10, 'b'));
  Put("miss.html", std::string(5000, 'a'));
  SearchCriteria c;
  c.kind = SearchKind::Text;
  c.text = Ru("привет, мир");
  EXPECT_EQ(Run(c), std::vector<std::string>{hit});

  // Whatever the piece size, the answer is the one a whole-file search gives.
  std::mt19937 random(15);
  for (int round = 0; round < 60; ++round) {
    std::string data(random() % 300, 'a');
    for (char& ch : data) ch = "abAB\xC0\xE0"[random() % 6];
    std::string needle(1 + random() % 5, 'a');
    for (char& ch : needle) ch = "abAB\xC0\xE0"[random() % 6];
    orvtest::WriteWholeFile(site + "r.bin", data);
    bool whole = FindNoCase(data, needle) != std::string::npos;
    for (std::size_t piece : {1u, 2u, 3u, 7u, 64u}) {
      EXPECT_EQ(FileContainsText(site + "r.bin", needle, piece), whole) << data << " / " << needle;
    }
  }
  EXPECT_EQ(FileContainsText(site + "missing", "a"), std::nullopt);
}

TEST(SizeField, LettersGoAndLargeNumbersStopAt32767) {
  EXPECT_EQ(CleanSizeField("12a").text, "12");
  EXPECT_EQ(CleanSizeField("12a").value, 12);
  EXPECT_EQ(CleanSizeField("40000").text, "32767");
  EXPECT_EQ(CleanSizeField("99999999999999999999").value, 32767);
  EXPECT_EQ(CleanSizeField("-5").text, "5");
  EXPECT_EQ(CleanSizeField("7.9").text, "7");
  EXPECT_EQ(CleanSizeField("ab").text, "0");
  EXPECT_EQ(CleanSizeField("").text, "0");
}

class RecordedExchange : public ExchangeSink {
 public:
  void WriteRecord(int record, const std::string& value) override {
    writes.push_back(std::to_string(record) + "=" + value);
  }
  std::vector<std::string> writes;
};

TEST(WebSearch, SwitchTellsTheConsoleAndPagesAreFiledUnderTheEngine) {
  RecordedExchange exchange;
  WebSearchMode mode(exchange);
  mode.Set(true);
  mode.Set(false);
  EXPECT_EQ(exchange.writes, (std::vector<std::string>{"28=1", "28=0"}));
  EXPECT_EQ(WebSearchLookFor(true).label, "Поиск:");
  EXPECT_TRUE(WebSearchLookFor(true).blue);
  EXPECT_EQ(WebSearchLookFor(true).tooltip, "Отключить поиск через Yandex");
  EXPECT_EQ(WebSearchLookFor(false).label, "Адрес:");
  EXPECT_EQ(WebSearchLookFor(false).tooltip, "Включить поиск через Yandex");

  EXPECT_EQ(WebSearchFilingFolder("http://yandex.ru/yandsearch?text=x", "/c/"), "/c/yandex.ru/results/");
  EXPECT_EQ(WebSearchFilingFolder("http://hghltd.yandex.net/yandbtm?url=x", "/c/"),
            "/c/yandex.ru/previews/");
  EXPECT_EQ(WebSearchFilingFolder("http://a.ru/x/yandsearch", "/c/"), "/c/yandex.ru/previews/");
}

}  // namespace
}  // namespace orv
