#include "main/collection/collection_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "common/exchange.h"
#include "common/text.h"
#include "main/collection/node_kinds.h"
#include "main/collection/search_criteria.h"
#include "main/collection/tree_search.h"
#include "main/collection/web_search.h"
#include "platform/file_attributes.h"
#include "tests/support/temp_folder.h"

namespace orv {
namespace {

using namespace std::chrono;

class Flag : public SearchInterrupt {
 public:
  bool Interrupted() const override { return on; }
  void Clear() override { on = false; }
  bool on = false;
};

// A collection on disk: site.ru with a folder, another site, and the root's own files.
class SearchFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    root = folder.Dir();
    site = root + "site.ru/";
    orvtest::WriteWholeFile(root + "orvef0", "news");  // a script: never a result
    std::filesystem::create_directories(site + "d/");
  }
  std::string Put(const std::string& name, const std::string& bytes) {
    orvtest::WriteWholeFile(site + name, bytes);
    return site + name;
  }
  std::vector<std::string> Run(const SearchCriteria& c, bool within = false, std::string top = {}) {
    EXPECT_TRUE(search.Start(c, within, {root, top.empty() ? root : top}));
    for (int steps = 0; search.Step(); ++steps) EXPECT_LT(steps, 10000);
    return Keys();
  }
  std::vector<std::string> Keys() const {
    std::vector<std::string> keys;
    for (const auto& e : search.Results()) keys.push_back(e.key);
    std::sort(keys.begin(), keys.end());  // a folder is read in the order the disk gives
    return keys;
  }
  static SearchCriteria By(SearchKind kind, const std::string& text) {
    SearchCriteria c;
    c.kind = kind;
    c.text = text;
    return c;
  }

  orvtest::TempFolder folder;
  std::string root, site;
  Flag interrupt;
  CollectionSearch search{interrupt};
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
  EXPECT_EQ(Run(c), (std::vector<std::string>{old, today}));
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
  std::string b = Put("d/news.jpg", "x");
  Put("d/other.html", "x");
  std::string partial = Put("partial_news.html", "x");
  ASSERT_TRUE(SetSystemMark(partial));
  std::filesystem::create_directories(site + "news/");  // a folder is never a result

  EXPECT_EQ(Run(By(SearchKind::Address, "NEWS")), (std::vector<std::string>{b, a, partial}));
  EXPECT_EQ(search.ProgressText(), "4/3");
  for (const SearchEntry& e : search.Results()) {
    EXPECT_EQ(collection::IsPartialImage(e.image), e.key == partial) << e.key;
    if (e.key == b) {
      EXPECT_EQ(e.text, "news.jpg");
    }
  }
  EXPECT_TRUE(search.CanSearchWithinFound());
  EXPECT_EQ(Run(By(SearchKind::Address, ".jpg"), true), std::vector<std::string>{b});
  EXPECT_TRUE(search.CanGoBack());
  EXPECT_TRUE(search.Back());
  EXPECT_EQ(Keys(), (std::vector<std::string>{b, a, partial}));
  EXPECT_FALSE(search.CanGoBack());

  // Nothing found: nothing to narrow, but the former results can come back.
  EXPECT_TRUE(Run(By(SearchKind::Address, "absent")).empty());
  EXPECT_FALSE(search.CanSearchWithinFound());
  EXPECT_TRUE(search.Back());
  EXPECT_EQ(Keys().size(), 3u);
}

// The chosen subtree is read from disk as the search goes, a few entries a step, with the
// results growing as they are found; a stop keeps them.
TEST_F(SearchFixture, TheChosenSubtreeIsReadStepByStepAndAStopKeepsWhatWasFound) {
  for (int i = 0; i < 40; ++i) Put("p" + std::to_string(i) + ".html", "x");
  std::string other = root + "other.ru/deep/er/page.html";
  orvtest::WriteWholeFile(other, "x");
  EXPECT_EQ(Run(By(SearchKind::Address, ".html")).size(), 41u);
  EXPECT_EQ(Run(By(SearchKind::Address, "page"), false, root + "other.ru/"), std::vector<std::string>{other});
  EXPECT_TRUE(Run(By(SearchKind::Address, "page"), false, site).empty());
  EXPECT_EQ(Run(By(SearchKind::Address, "page"), false, other), std::vector<std::string>{other});

  ASSERT_TRUE(search.Start(By(SearchKind::Address, ".html"), false, {root, site}));
  EXPECT_FALSE(search.Start(By(SearchKind::Address, "x"), false, {root, site}));  // one at a time
  ASSERT_TRUE(search.Step(10));  // the site's folder opened, nine of its entries read
  std::size_t soFar = search.Results().size();
  EXPECT_GE(soFar, 8u);  // one of the nine may be the folder d/
  EXPECT_LE(soFar, 9u);
  search.RequestStop();
  EXPECT_FALSE(search.Step());
  EXPECT_FALSE(search.Running());
  EXPECT_EQ(search.Results().size(), soFar);

  // A stop within the found results removes only the failures already looked at.
  Run(By(SearchKind::Address, ".html"), false, site);
  ASSERT_EQ(search.Results().size(), 40u);
  std::vector<SearchEntry> before = search.Results();
  ASSERT_TRUE(search.Start(By(SearchKind::Address, "absent"), true, {root, site}));
  ASSERT_TRUE(search.Step(4));
  search.RequestStop();
  search.Step();
  EXPECT_EQ(search.Results(), std::vector<SearchEntry>(before.begin() + 4, before.end()));
}

TEST(TreeSearch, SitesNeverOpenedAreSearchedAndARefreshEndsTheSearch) {
  orvtest::TempFolder folder;
  const std::string root = folder.Dir();
  for (std::string site : {"a.ru", "b.ru"}) {
    orvtest::WriteWholeFile(root + site + "/index.html", "x");
    orvtest::WriteWholeFile(root + site + "/d/page.html", "x");
  }
  collection::CollectionTree tree;
  tree.BuildFirstLevel(root);  // no site opened
  TreeInterrupt interrupt(tree);
  CollectionSearch search(interrupt);
  collection::CurrentNode current;
  SearchCriteria c;
  c.text = "page";
  auto run = [&] {
    EXPECT_TRUE(search.Start(c, false, SearchScopeOf(tree, current)));
    while (search.Step()) {
    }
    std::vector<std::string> keys;
    for (const auto& e : search.Results()) keys.push_back(e.key);
    std::sort(keys.begin(), keys.end());
    return keys;
  };
  tree.SetInterrupt(true);  // left over from an earlier refresh
  EXPECT_EQ(run(), (std::vector<std::string>{root + "a.ru/d/page.html", root + "b.ru/d/page.html"}));

  // A file chosen in the tree: its site is searched.
  ASSERT_TRUE(tree.QueueSiteLoad(tree.Find(root + "b.ru/")));
  while (tree.Step(100)) {
  }
  collection::SelectNode(tree, current, tree.Find(root + "b.ru/index.html"));
  EXPECT_EQ(run(), std::vector<std::string>{root + "b.ru/d/page.html"});

  ASSERT_TRUE(search.Start(c, false, SearchScopeOf(tree, current)));
  tree.SetInterrupt(true);  // the browser's refresh while searching
  EXPECT_FALSE(search.Step());
  EXPECT_TRUE(search.Results().empty());
}

// Pages come in many charsets; the text typed (Windows-1251) is found in each, letter case
// ignored, and names are matched as the user reads them.
TEST_F(SearchFixture, RussianIsFoundInEveryCharsetAndInUtf8Names) {
  std::string utf8 = Put("utf8.html", "<html><p>Скажи ПРИВЕТ</p>");
  std::string cp1251 = Put("cp.html", Ru("<html><p>Скажи ПРИВЕТ</p>"));
  std::string koi8 = Put("koi.html", "<meta charset=\"koi8-r\"><p>\xF0\xF2\xE9\xF7\xE5\xF4</p>");
  std::string utf16 = Put("wide.html", std::string("\xFF\xFE\x1F\x04\x40\x04\x38\x04\x32\x04\x35\x04\x42\x04", 14));
  // Declared as KOI8-R, the Windows-1251 bytes of the word are other letters.
  Put("declared.html", "<meta charset=koi8-r>" + Ru("привет"));
  std::string late = Put("late.html", std::string(300 * 1024, ' ') + "привет");  // in the second piece
  EXPECT_EQ(Run(By(SearchKind::Text, Ru("привет"))), (std::vector<std::string>{cp1251, koi8, late, utf8, utf16}));

  std::string named = Put("d/страница.html", "x");
  std::string named1251 = Put(Ru("Страница2.html"), "x");
  // Percent-escaped UTF-8, "р" (D1 80) included, whose escape the tree leaves as it is.
  std::string escaped = Put("e/%D0%A1%D1%82%D1%80%D0%B0%D0%BD%D0%B8%D1%86%D0%B03.html", "x");
  std::vector<std::string> names{named, named1251, escaped};
  std::sort(names.begin(), names.end());
  EXPECT_EQ(Run(By(SearchKind::Address, Ru("стран"))), names);
  for (const SearchEntry& e : search.Results()) {
    if (e.key == named) {
      EXPECT_EQ(e.text, "страница.html");
    }
  }
}

// Whatever the charset and wherever the pieces are cut, a match is what a search of the
// whole text as Windows-1251 finds.
TEST_F(SearchFixture, TextIsFoundAcrossPiecesWithoutLetterCase) {
  std::mt19937 random(15);
  // Letters whose Windows-1251 bytes never form UTF-8, so detection cannot mistake the page.
  const char* letters[] = {"a", "b", "A", "B", "Ж", "ж", "Я", "я"};
  for (int round = 0; round < 20; ++round) {
    // Past the head the matcher reads to learn the charset, so later pieces are decoded apart.
    std::string text(PageTextMatcher::kHeadBytes - 20 + random() % 40, 'x');
    for (int i = random() % 40; i > 0; --i) text += letters[random() % 8];
    std::string needle;
    for (int i = 1 + random() % 4; i > 0; --i) needle += letters[random() % 8];
    bool whole = FindNoCase(Utf8ToCp1251(text), Utf8ToCp1251(needle)) != std::string::npos;
    orvtest::WriteWholeFile(site + "u.html", text);
    orvtest::WriteWholeFile(site + "w.html", Utf8ToCp1251(text));
    for (std::size_t piece : {1u, 2u, 7u, 8192u}) {
      EXPECT_EQ(FileContainsText(site + "u.html", Utf8ToCp1251(needle), piece), whole) << text << " / " << needle;
      EXPECT_EQ(FileContainsText(site + "w.html", Utf8ToCp1251(needle), piece), whole) << text << " / " << needle;
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
