// Results and bookmarks open their files through the site tree and the browser.
#include <QApplication>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include "main/collection/bookmark_file.h"
#include "main/ui/collection_browser.h"
#include "main/ui/collection_page.h"
#include "main/ui/collection_tree_model.h"
#include "main/ui/collection_tree_pane.h"
#include "main/ui/remark_list.h"
#include "main/ui/search_page.h"
#include "main/ui/search_pane.h"
#include "tests/support/temp_folder.h"

namespace orv {
namespace {

namespace fs = std::filesystem;

class ShownPaths : public CollectionBrowser {
 public:
  void ShowLocalPath(const std::string& path) override { shown.push_back(path); }
  void RefreshCurrent() override {}
  std::vector<std::string> shown;
};

class NoExchange : public ExchangeSink {
 public:
  void WriteRecord(int, const std::string&) override {}
};

bool WaitFor(const std::function<bool()>& done, int ms = 30000) {
  for (int waited = 0; waited < ms; waited += 20) {
    if (done()) return true;
    QTest::qWait(20);
  }
  return done();
}

TEST(SearchPageTest, AResultOrABookmarkInAnUnopenedSiteReadsItAndSelectsItsFile) {
  orvtest::TempFolder folder;
  const std::string root = folder.Dir();
  const std::string file = root + "site.ru/d/a.html";
  orvtest::WriteWholeFile(file, "<html>a</html>");
  orvtest::WriteWholeFile(root + "site.ru/index.html", "<html>i</html>");
  ASSERT_TRUE(SaveBookmarkFile(root, {{"", "category_0", "Cat", "", 0, 0}, {"category_0", file, "a.html", "", 7, 7}}));

  CollectionPage page;
  ShownPaths browser;
  auto treePane = std::make_unique<CollectionTreePane>(page.tree, page.current, CollectionPorts{});
  page.treePane = treePane.get();
  treePane->SetBrowser(&browser);
  treePane->show();
  SearchPage search(page);
  NoExchange exchange;
  search.BuildPanes(exchange);
  search.browser = &browser;
  std::unique_ptr<SearchPane> searchPane(search.searchPane);
  std::unique_ptr<RemarkList> remarks(search.remarkList);
  page.treePane->Build(root);
  search.TreeBuilt(root);
  ASSERT_NE(remarks->ItemOf(file), nullptr);

  // Nothing of the site is loaded: the search reads it from disk and finds the file; a click
  // on the result reads the site into the tree and selects and shows the file.
  searchPane->SearchText->setText("a.html");
  searchPane->StartSearch();
  ASSERT_TRUE(WaitFor([&] { return !search.search.Running(); }));
  ASSERT_EQ(searchPane->SearchList->count(), 1);
  EXPECT_FALSE(page.tree.Alive(page.tree.Find(file)));
  search.OpenResult(file);
  ASSERT_TRUE(WaitFor([&] { return !browser.shown.empty() && browser.shown.back() == file; }));
  collection::NodeId node = page.tree.Find(file);
  ASSERT_TRUE(page.tree.Alive(node));
  EXPECT_EQ(treePane->TreeView()->currentIndex(), treePane->Model().IndexOf(node));

  // The bookmark of the file opens it the same way.
  browser.shown.clear();
  remarks->show();
  QTreeWidgetItem* item = remarks->ItemOf(file);
  QTest::mouseClick(remarks->viewport(), Qt::LeftButton, {}, remarks->visualItemRect(item).center());
  ASSERT_TRUE(WaitFor([&] { return !browser.shown.empty() && browser.shown.back() == file; }));
  EXPECT_EQ(treePane->TreeView()->currentIndex(), treePane->Model().IndexOf(node));

  // "Обновить Всю Структуру" rebuilds the tree and the bookmarks are read again with it.
  const std::string index = root + "site.ru/index.html";
  treePane->SetRebuilt([&] { search.TreeBuilt(root); });
  ASSERT_TRUE(SaveBookmarkFile(root, {{"", "category_0", "Cat", "", 0, 0},
                                      {"category_0", file, "a.html", "", 7, 7},
                                      {"category_0", index, "index.html", "", 7, 7}}));
  EXPECT_EQ(remarks->ItemOf(index), nullptr);
  ASSERT_TRUE(treePane->RebuildAll());
  EXPECT_NE(remarks->ItemOf(index), nullptr);
}

}  // namespace
}  // namespace orv
