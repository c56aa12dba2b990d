#include "main/collection/collection_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "main/collection/tree_commands.h"
#include "platform/file_attributes.h"
#include "tests/support/temp_folder.h"

namespace orv::collection {
namespace {

namespace fs = std::filesystem;

void Put(const std::string& path, const std::string& bytes = "x") {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

void RunToEnd(CollectionTree& tree, int budget = 7) {
  for (int guard = 0; tree.Step(budget); ++guard) ASSERT_LT(guard, 100000);
}

// Every parent lists its children at the rows they believe they have, and every key is indexed.
void ExpectConsistent(const CollectionTree& tree) {
  std::size_t count = 0;
  tree.ForEachNode([&](NodeId id, const TreeNode& n) {
    ++count;
    EXPECT_EQ(tree.Find(n.key), id) << n.key;
    for (std::uint32_t r = 0; r < n.children.size(); ++r) {
      const TreeNode& c = tree.Node(n.children[r]);
      EXPECT_EQ(c.row, r) << c.key;
      EXPECT_EQ(c.parent, id) << c.key;
    }
  });
  EXPECT_EQ(count, tree.NodeCount());
}

std::vector<std::string> ChildTexts(const CollectionTree& tree, NodeId id) {
  std::vector<std::string> texts;
  for (NodeId c : tree.Node(id).children) texts.push_back(tree.Node(c).text);
  return texts;
}

TEST(FileKind, FirstMatchingRowOfTheLastSixCharactersWins) {
  EXPECT_EQ(FileKindImage("index.html"), 7);
  EXPECT_EQ(FileKindImage("PHOTO.JPG"), 8);
  EXPECT_EQ(FileKindImage("photo.jpeg"), 8);
  EXPECT_EQ(FileKindImage("README"), 10);
  EXPECT_EQ(FileKindImage("a.b.c.README"), 10);  // the dot lies before the last six
  EXPECT_EQ(FileKindImage("x.y"), 10);           // a dot, but no row matches
  EXPECT_EQ(FileKindImage("page.htm.gz"), 7);    // "ht" row comes before the archives
  EXPECT_EQ(FileKindImage("src.tar.gz"), 18);
  EXPECT_EQ(FileKindImage("style.css"), 4);
  EXPECT_EQ(FileKindImage("app.json"), 9);
  EXPECT_EQ(FileKindImage("a.pdf"), 19);
  EXPECT_EQ(FileImage("a.zip", true), 35);
  EXPECT_TRUE(IsPartialImage(35));
  EXPECT_EQ(KindOfImage(35), 18);
}

TEST(ShownNames, NameEscapeThenPercentEscapesAreDecoded) {
  EXPECT_EQ(ShownName("www.ex,8,,x23A8080"), "www.ex:8080");
  EXPECT_EQ(ShownName("a.php,8,,x23Fq=1,8,,x25C2"), "a.php?q=1\\2");
  EXPECT_EQ(ShownName("my%20page.html"), "my page.html");
  EXPECT_EQ(ShownName("plain"), "plain");
}

class CollectionTreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root = folder.Dir() + "coll/";
    site = root + "www.ex,8,,x23A8080/";
    Put(site + "index.html");
    Put(site + "a");
    Put(site + "sub/deep/x.JPG");
    Put(site + "sub/page.htm");
    Put(site + "img/logo.png");
    Put(site + "part.zip");
    ASSERT_TRUE(SetSystemMark(site + "part.zip"));
    Put(root + "Alpha.ru/index.html");
    Put(root + "beta.org/index.html");
    Put(root + "stray-file.txt");  // not a site
  }

  orvtest::TempFolder folder;
  std::string root, site;
  CollectionTree tree;
};

TEST_F(CollectionTreeTest, FirstLevelShowsSitesSortedByDecodedNameWithOnDiskKeys) {
  EXPECT_TRUE(tree.BuildFirstLevel(root));
  NodeId r = tree.RootNode();
  EXPECT_EQ(tree.Node(r).image, kImageRoot);
  EXPECT_EQ(tree.Node(r).key, root);
  EXPECT_EQ(tree.Node(r).text, root);
  EXPECT_EQ(ChildTexts(tree, r), (std::vector<std::string>{"Alpha.ru", "beta.org", "www.ex:8080"}));
  NodeId s = tree.Find(site);
  ASSERT_NE(s, kNoNode);
  EXPECT_EQ(tree.Node(s).image, kImageSite);
  EXPECT_EQ(tree.Node(s).text, "www.ex:8080");
  EXPECT_TRUE(tree.Node(s).children.empty());  // not read before it is opened
  EXPECT_EQ(tree.NodeCount(), 4u);

  // The same root again keeps the tree; a new site appears in its sorted place.
  Put(root + "aaa.net/x.html");
  EXPECT_FALSE(tree.BuildFirstLevel(root));
  EXPECT_EQ(tree.Find(site), s);
  EXPECT_EQ(tree.Node(tree.Node(r).children[0]).text, "aaa.net");
  ExpectConsistent(tree);
}

TEST_F(CollectionTreeTest, OpeningASiteReadsItsSubtreeOnceBreadthFirst) {
  tree.BuildFirstLevel(root);
  CurrentNode current;
  NodeId s = tree.Find(site);
  OpenResult opened = OpenNode(tree, current, s, false);
  EXPECT_EQ(opened.localPath, site);
  EXPECT_TRUE(opened.loadQueued);
  EXPECT_EQ(current.key, site);
  EXPECT_TRUE(tree.Busy());
  EXPECT_TRUE(tree.Step(1));  // one entry at a time: work remains
  RunToEnd(tree);
  EXPECT_FALSE(tree.Busy());
  EXPECT_EQ(tree.EntriesRead(), 9u);  // 4 files + sub, img at the top; deep, page.htm; x.JPG

  // Folders stand above the files; the files keep reading order.
  const auto& kids = tree.Node(s).children;
  ASSERT_EQ(kids.size(), 5u);
  EXPECT_EQ(tree.Node(kids[0]).image, kImageFolder);
  EXPECT_EQ(tree.Node(kids[0]).selectedImage, kImageFolderSelected);
  EXPECT_EQ(tree.Node(kids[1]).image, kImageFolder);
  NodeId one = tree.Find(site + "a");
  ASSERT_NE(one, kNoNode);
  EXPECT_EQ(tree.Node(one).text, "a");
  EXPECT_EQ(tree.Node(one).image, 10);
  EXPECT_EQ(tree.Node(tree.Find(site + "sub/deep/x.JPG")).image, 8);
  EXPECT_EQ(tree.Node(tree.Find(site + "part.zip")).image, 18 + kPartialOffset);
  EXPECT_EQ(tree.Node(tree.Find(site + "sub/")).text, "sub");
  EXPECT_EQ(tree.LoadedSites(), std::vector<std::string>{site});
  ExpectConsistent(tree);

  // A second click only shows the site.
  std::size_t count = tree.NodeCount();
  std::uint64_t read = tree.EntriesRead();
  EXPECT_FALSE(OpenNode(tree, current, s, false).loadQueued);
  RunToEnd(tree);
  EXPECT_EQ(tree.NodeCount(), count);
  EXPECT_EQ(tree.EntriesRead(), read);
}

TEST_F(CollectionTreeTest, RefreshShowsCompletedFilesAndDropsVanishedOnes) {
  tree.BuildFirstLevel(root);
  NodeId s = tree.Find(site);
  tree.QueueSiteLoad(s);
  RunToEnd(tree);
  ASSERT_TRUE(SetNormalAttributes(site + "part.zip"));
  fs::remove_all(site + "img");
  Put(site + "new/n.txt");

  NodeId partial = tree.Find(site + "part.zip");
  EXPECT_TRUE(tree.RefreshSite(s));
  RunToEnd(tree);
  EXPECT_EQ(tree.Find(site + "part.zip"), partial);  // the same node, its look changed
  EXPECT_EQ(tree.Node(partial).image, 18);
  EXPECT_EQ(tree.Find(site + "img/"), kNoNode);
  EXPECT_EQ(tree.Find(site + "img/logo.png"), kNoNode);
  EXPECT_NE(tree.Find(site + "new/n.txt"), kNoNode);
  EXPECT_EQ(tree.LoadedSites(), std::vector<std::string>{site});
  ExpectConsistent(tree);
}

TEST_F(CollectionTreeTest, StopRequestAndInterruptEndTheScan) {
  tree.BuildFirstLevel(root);
  tree.RequestStop();  // nothing runs: not kept to end the next scan
  tree.QueueSiteLoad(tree.Find(site));
  EXPECT_TRUE(tree.Step(2));
  ASSERT_EQ(tree.EntriesRead(), 2u);
  tree.RequestStop();
  EXPECT_FALSE(tree.Step(100));
  EXPECT_FALSE(tree.Busy());
  EXPECT_EQ(tree.Find(site + "sub/deep/x.JPG"), kNoNode);
  EXPECT_TRUE(tree.IsLoaded(site));  // as far as read; a refresh reads it again

  tree.ForgetLoadedBelow(root);
  EXPECT_TRUE(tree.LoadedSites().empty());
  tree.SetInterrupt(true);
  tree.QueueSiteLoad(tree.Find(site));
  EXPECT_FALSE(tree.Step(100));
  EXPECT_EQ(tree.EntriesRead(), 2u);
  // Opening a node clears the flag, so the scan goes on.
  CurrentNode current;
  tree.ForgetLoadedBelow(site);
  OpenNode(tree, current, tree.Find(site), false);
  RunToEnd(tree);
  EXPECT_NE(tree.Find(site + "sub/deep/x.JPG"), kNoNode);
}

TEST_F(CollectionTreeTest, RebuildAllReadsEverySite) {
  tree.BuildFirstLevel(root);
  tree.RebuildAll();
  RunToEnd(tree);
  EXPECT_EQ(tree.LoadedSites().size(), 3u);
  EXPECT_NE(tree.Find(root + "Alpha.ru/index.html"), kNoNode);
  EXPECT_NE(tree.Find(site + "sub/deep/x.JPG"), kNoNode);
  // Another root starts afresh.
  Put(folder.Dir() + "other/one.org/i.html");
  EXPECT_TRUE(tree.BuildFirstLevel(folder.Dir() + "other"));
  EXPECT_EQ(tree.NodeCount(), 2u);
  EXPECT_TRUE(tree.LoadedSites().empty());
}

TEST_F(CollectionTreeTest, SavedAddressesGrowTheTreeOnceEach) {
  tree.BuildFirstLevel(root);
  std::size_t before = tree.NodeCount();
  NodeId file = tree.AddSavedAddress("http://www.ex:8080/docs/guide/p.php?id=1");
  ASSERT_NE(file, kNoNode);
  EXPECT_EQ(tree.Node(file).key, site + "docs/guide/p.php,8,,x23Fid=1");
  EXPECT_EQ(tree.Node(file).text, "p.php?id=1");
  EXPECT_EQ(tree.Node(file).image, 10);  // the query leaves no dot in the last six
  NodeId docs = tree.Find(site + "docs/");
  ASSERT_NE(docs, kNoNode);
  EXPECT_EQ(tree.Node(docs).image, kImageFolder);
  EXPECT_EQ(tree.NodeCount(), before + 3);

  // Again, and over the other scheme: the same folder, nothing added.
  EXPECT_EQ(tree.AddSavedAddress("https://www.ex:8080/docs/guide/p.php?id=1"), file);
  EXPECT_EQ(tree.NodeCount(), before + 3);

  // A new site in its sorted place; a bare site name is its index page.
  NodeId index = tree.AddSavedAddress("http://Gamma.com");
  ASSERT_NE(index, kNoNode);
  EXPECT_EQ(tree.Node(index).key, root + "Gamma.com/index.html");
  EXPECT_EQ(ChildTexts(tree, tree.RootNode()),
            (std::vector<std::string>{"Alpha.ru", "beta.org", "Gamma.com", "www.ex:8080"}));
  EXPECT_EQ(tree.Node(tree.Node(index).parent).image, kImageSite);

  // A partial file shows so.
  Put(root + "beta.org/big.zip");
  ASSERT_TRUE(SetSystemMark(root + "beta.org/big.zip"));
  EXPECT_EQ(tree.Node(tree.AddSavedAddress("http://beta.org/big.zip")).image, 35);

  EXPECT_EQ(tree.AddSavedAddress("ftp://x.org/a"), kNoNode);
  NodeId results = tree.AddSavedAddress("http://yandex.ru/yandsearch?text=x", true);
  ASSERT_NE(results, kNoNode);
  EXPECT_EQ(tree.Node(results).key, root + "yandex.ru/results/");

  // Opening a site that grew during the run reads the rest and duplicates nothing.
  tree.QueueSiteLoad(tree.Find(site));
  RunToEnd(tree);
  EXPECT_EQ(tree.Find(site + "docs/guide/p.php,8,,x23Fid=1"), file);
  ExpectConsistent(tree);
}

// After a fetch the tree shows what the disk holds: an arrived file, a partial one as partial,
// and nothing of a fetch that failed for good, not even the folders it had made.
TEST_F(CollectionTreeTest, AFinishedFetchLeavesTheTreeAsTheDiskIs) {
  tree.BuildFirstLevel(root);
  Put(root + "new.org/a/page.html");
  const NodeId page = tree.ShowFetched("http://new.org/a/page.html");
  ASSERT_NE(page, kNoNode);
  EXPECT_EQ(tree.Node(page).image, 7);
  Put(root + "new.org/a/big.zip");
  ASSERT_TRUE(SetSystemMark(root + "new.org/a/big.zip"));
  EXPECT_EQ(tree.Node(tree.ShowFetched("https://new.org/a/big.zip")).image, 35);
  const std::size_t filed = tree.NodeCount();
  EXPECT_EQ(tree.ShowFetched("http://new.org/a/missing.html"), kNoNode);
  EXPECT_EQ(tree.ShowFetched("http://new.org/x/y/missing.html"), kNoNode);
  EXPECT_EQ(tree.NodeCount(), filed);

  // A copy that went during its fetch (a full answer replaced it, then failed): its node goes,
  // and the folders above that went from disk with it.
  Put(root + "new.org/b/c/gone.html");
  ASSERT_NE(tree.ShowFetched("http://new.org/b/c/gone.html"), kNoNode);
  fs::remove_all(root + "new.org/b");
  EXPECT_EQ(tree.ShowFetched("http://new.org/b/c/gone.html"), kNoNode);
  EXPECT_EQ(tree.Find(root + "new.org/b/"), kNoNode);
  EXPECT_EQ(tree.NodeCount(), filed);
  // A site whose one file went is gone from the tree too.
  Put(root + "lost.org/x.html");
  ASSERT_NE(tree.ShowFetched("http://lost.org/x.html"), kNoNode);
  fs::remove_all(root + "lost.org");
  tree.ShowFetched("http://lost.org/x.html");
  EXPECT_EQ(tree.Find(root + "lost.org/"), kNoNode);
  EXPECT_NE(tree.Find(root + "new.org/a/page.html"), kNoNode);
  ExpectConsistent(tree);
}

TEST_F(CollectionTreeTest, ExpandAndCollapseCommands) {
  tree.BuildFirstLevel(root);
  tree.RebuildAll();
  RunToEnd(tree);
  auto apply = [&](const ExpansionPass& pass) {
    for (NodeId id : pass.nodes) tree.SetExpanded(id, pass.expand);
  };
  NodeId sub = tree.Find(site + "sub/");
  NodeId deep = tree.Find(site + "sub/deep/");
  NodeId img = tree.Find(site + "img/");
  NodeId s = tree.Find(site);
  NodeId alpha = tree.Find(root + "Alpha.ru/");

  ExpansionPass folder = tree.ExpandFolder(sub);
  EXPECT_EQ(folder.nodes, (std::vector<NodeId>{sub, deep}));
  apply(tree.ExpandAll());
  for (NodeId id : {tree.RootNode(), s, sub, deep, img, alpha}) EXPECT_TRUE(tree.Node(id).expanded);
  EXPECT_TRUE(tree.ExpandAll().nodes.empty());

  // On a file: its folder chain stays open, every other branch closes.
  ExpansionPass others = tree.CollapseOthers(tree.Find(site + "sub/deep/x.JPG"));
  EXPECT_FALSE(others.expand);
  apply(others);
  for (NodeId id : {tree.RootNode(), s, sub, deep}) EXPECT_TRUE(tree.Node(id).expanded);
  EXPECT_FALSE(tree.Node(img).expanded);
  EXPECT_FALSE(tree.Node(alpha).expanded);

  // The site commands reach the whole site from any node below it.
  apply(tree.CollapseSite(deep));
  for (NodeId id : {s, sub, deep}) EXPECT_FALSE(tree.Node(id).expanded);
  EXPECT_TRUE(tree.Node(tree.RootNode()).expanded);
  std::vector<NodeId> whole = tree.ExpandSite(tree.Find(site + "a")).nodes;
  std::sort(whole.begin(), whole.end());
  std::vector<NodeId> expected{s, sub, deep, img};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(whole, expected);
  EXPECT_TRUE(tree.ExpandSite(tree.RootNode()).nodes.empty());
}

TEST(TreePopup, EnableRulesAndCaptionsFollowTheNodeKind) {
  TreePopup root = PrepareTreePopup(kImageRoot, true, false, false);
  EXPECT_EQ(root.refreshCaption, "Обновить Папку");
  EXPECT_EQ(root.collapseOthersCaption, "Свернуть Узлы");
  EXPECT_TRUE(root.rebuildAll && root.chooseFolder && root.htmlHelp);
  EXPECT_FALSE(root.nodeCommands || root.bookmark || root.expandSite || root.expandFolder ||
               root.collapseSite);
  EXPECT_FALSE(PrepareTreePopup(kImageRoot, true, true, false).chooseFolder);

  TreePopup bareSite = PrepareTreePopup(kImageSite, false, false, true);
  EXPECT_EQ(bareSite.refreshCaption, "Обновить Папку Сайта");
  EXPECT_EQ(bareSite.collapseOthersCaption, "Свернуть Прочие");
  EXPECT_TRUE(bareSite.nodeCommands && bareSite.quickCompile);
  EXPECT_FALSE(bareSite.expandSite || bareSite.expandFolder || bareSite.collapseSite ||
               bareSite.bookmark || bareSite.rebuildAll || bareSite.chooseFolder);
  EXPECT_TRUE(PrepareTreePopup(kImageSite, true, false, false).expandSite);

  TreePopup folder = PrepareTreePopup(kImageFolder, false, true, false);
  EXPECT_EQ(folder.refreshCaption, "Обновить Папку");
  EXPECT_TRUE(folder.expandFolder && folder.nodeCommands);
  EXPECT_FALSE(folder.bookmark || folder.htmlHelp);

  for (int image : {7, 10, 19, 7 + kPartialOffset}) {
    TreePopup file = PrepareTreePopup(image, false, false, false);
    EXPECT_EQ(file.refreshCaption, "Обновить Окно") << image;
    EXPECT_TRUE(file.bookmark && file.nodeCommands) << image;
  }
}

TEST(WebAddresses, LocalPathsReadAsTheAddressesTheyCameFrom) {
  const std::string root = "/home/u/orvcollections/";
  EXPECT_EQ(WebAddressOf(root + "host.ru/folder/file.html", root), "http://host.ru/folder/file.html");
  EXPECT_EQ(WebAddressOf(root + "h,8,,x23A81/a.php,8,,x23Fx=1,8,,x25C2", root),
            "http://h:81/a.php?x=1\\2");
  EXPECT_EQ(WebAddressOf(root + "host.ru/a.html", root, true), "https://host.ru/a.html");
  EXPECT_EQ(WebAddressOf("/elsewhere/a.html", root), "/elsewhere/a.html");

  PageLoaded start = AfterPageLoaded("file:///prog/bmrorv-1.htm", "Браузер 2", false, root);
  EXPECT_EQ(start.caption, "Браузер 2");
  EXPECT_FALSE(start.setAddressBar);
  EXPECT_EQ(AfterPageLoaded("file:///prog/BMRORV-0.HTM", std::string(300, 't'), false, root)
                .caption.size(),
            254u);

  PageLoaded page =
      AfterPageLoaded("file://" + root + "host.ru/my%2520doc.html", "Doc", false, root);
  EXPECT_EQ(page.caption, "ORVANTA  (Doc)");
  EXPECT_TRUE(page.setAddressBar);
  EXPECT_EQ(page.addressBar, "http://host.ru/my%20doc.html");
  PageLoaded atRoot = AfterPageLoaded("file://" + root, "Index of", true, root);
  EXPECT_TRUE(atRoot.setAddressBar);
  EXPECT_EQ(atRoot.addressBar, "");

  EXPECT_EQ(HoverStatus("file://" + root + "h,8,,x23A81/my%2520doc.html", root),
            "    http://h:81/my doc.html");
  EXPECT_EQ(HoverStatus("file:///tmp/x.html", root), "");
  EXPECT_EQ(HoverStatus("http://host.ru/", root), "");
}

}  // namespace
}  // namespace orv::collection
