#include "main/collection/site_marks.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/common/temp_folder.h"

namespace orv::collection {
namespace {

using orv::testing::PutFileBytes;
using orv::testing::TempFolder;

TEST(SiteMarks, ToolsTakeMarkedLoadedSitesOnTheRootAndTheCurrentSiteElsewhere) {
  TempFolder root;
  for (const char* folder : {"a.ru/sub", "b.ru", "c.ru"}) std::filesystem::create_directories(root / folder);
  PutFileBytes(root / "a.ru/index.html", "x");
  PutFileBytes(root / "a.ru/pic.bmp", "x");
  PutFileBytes(root / "a.ru/sub/s.css", "x");
  PutFileBytes(root / "b.ru/b.htm", "x");
  CollectionTree tree;
  tree.BuildFirstLevel(root.path());
  NodeId a = tree.Find(root / "a.ru/"), b = tree.Find(root / "b.ru/"), c = tree.Find(root / "c.ru/");
  tree.QueueSiteLoad(a);
  while (tree.Step(100)) {
  }

  MarkAllSites(tree);
  // c.ru is marked but was never loaded: it has no child nodes and is left out.
  EXPECT_EQ(SitesToProcess(tree, tree.RootNode()), std::vector<NodeId>{a});
  InvertSiteMarks(tree);
  EXPECT_TRUE(SitesToProcess(tree, tree.RootNode()).empty());
  tree.SetBold(b, true);
  InvertSiteMarks(tree);
  EXPECT_TRUE(tree.Node(a).bold && !tree.Node(b).bold && tree.Node(c).bold);
  ClearAllMarks(tree);
  EXPECT_FALSE(tree.Node(a).bold || tree.Node(b).bold || tree.Node(c).bold);

  NodeId css = tree.Find(root / "a.ru/sub/s.css");
  ASSERT_NE(css, kNoNode);
  EXPECT_EQ(SitesToProcess(tree, css), std::vector<NodeId>{a});

  // Files in the order shown (sub-folders above files); folders and the bitmap kind left out
  // of the conversion, the bitmap kept out of the project.
  SiteFiles files = SiteFilesOf(tree, a);
  EXPECT_EQ(files.folderName, "a.ru");
  std::vector<std::string> keys;
  for (const SiteFileEntry& f : files.files) keys.push_back(f.path);
  EXPECT_EQ(keys, (std::vector<std::string>{root / "a.ru/sub/s.css", root / "a.ru/index.html"}));
  EXPECT_EQ(ConversionFiles(tree), keys);
}

}  // namespace
}  // namespace orv::collection
