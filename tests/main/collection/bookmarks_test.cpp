#include "main/collection/bookmarks.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/text.h"
#include "main/collection/bookmark_file.h"
#include "tests/support/temp_folder.h"

namespace orv {
namespace {

namespace fs = std::filesystem;

// One stored field: two length bytes (little-endian), then the text.
std::string Field(const std::string& s) {
  return std::string{static_cast<char>(s.size() & 0xFF), static_cast<char>(s.size() >> 8)} + s;
}
std::string Record(const std::string& parent, const std::string& key, const std::string& text,
                   const std::string& tag, const std::string& image, const std::string& selected) {
  return Field(parent) + Field(key) + Field(text) + Field(tag) + Field(image) + Field(selected);
}

BookmarkTarget File(const std::string& root, const std::string& name, int image = 7) {
  return {root + "site.ru/" + name, name, image, image};
}

TEST(Bookmarks, FirstBookmarkMakesCategoryZeroAndIsWrittenAtOnceOnlyOnce) {
  orvtest::TempFolder root;
  BookmarkModel model;
  model.Load(root.Dir());
  int changes = 0;
  model.SetChangedHandler([&] { ++changes; });

  auto added = model.AddBookmark(File(root.Dir(), "a.html"), "");
  EXPECT_TRUE(added.added);
  EXPECT_TRUE(added.categoryCreated);  // the window opens its name for editing
  EXPECT_EQ(added.categoryKey, "category_0");
  EXPECT_GT(changes, 0);

  // Written at once: a fresh start shows it.
  BookmarkModel again;
  again.Load(root.Dir());
  ASSERT_EQ(again.Categories().size(), 1u);
  EXPECT_EQ(again.Categories()[0].node.text, "category_0");
  ASSERT_EQ(again.Categories()[0].bookmarks.size(), 1u);
  EXPECT_EQ(again.Categories()[0].bookmarks[0].key, root.Dir() + "site.ru/a.html");

  // The same file again, from anywhere: nothing added, nothing written.
  std::string before = orvtest::ReadWholeFile(root.Dir() + "orvrems.orr");
  EXPECT_FALSE(model.AddBookmark(File(root.Dir(), "a.html"), "").added);
  EXPECT_FALSE(model.AddBookmark(File(root.Dir(), "a.html"), "category_0").added);
  EXPECT_EQ(model.Categories().size(), 1u);
  EXPECT_EQ(orvtest::ReadWholeFile(root.Dir() + "orvrems.orr"), before);
}

TEST(Bookmarks, FileBytesAfterTwoCategoriesAndThreeBookmarks) {
  orvtest::TempFolder folder;
  const std::string root = folder.Dir();
  BookmarkModel model;
  model.Load(root);
  EXPECT_EQ(model.AddCategory(), "category_0");
  EXPECT_EQ(model.AddCategory(), "category_1");
  EXPECT_TRUE(model.Rename("category_1", Ru("Новости")));
  model.AddBookmark(File(root, "a.html"), "category_1");
  model.AddBookmark(File(root, "b.jpg", 8), "category_0");
  // A selected bookmark files the new one into its category.
  model.AddBookmark(File(root, "c.txt", 13), root + "site.ru/a.html");
  ASSERT_TRUE(model.Save());

  const std::string expected =
      Record("", "", "", "5", "", "") +
      Record("", "category_0", "category_0", "", "0", "0") +
      Record("category_0", root + "site.ru/b.jpg", "b.jpg", "", "8", "8") +
      Record("", "category_1", Ru("Новости"), "", "0", "0") +
      Record("category_1", root + "site.ru/a.html", "a.html", "", "7", "7") +
      Record("category_1", root + "site.ru/c.txt", "c.txt", "", "13", "13");
  EXPECT_EQ(orvtest::ReadWholeFile(root + "orvrems.orr"), expected);

  // Moving a bookmark onto another category's bookmark puts it into that category.
  EXPECT_TRUE(model.Move(root + "site.ru/b.jpg", root + "site.ru/c.txt"));
  EXPECT_FALSE(model.Move("category_0", "category_1"));  // categories stay on top
  ASSERT_TRUE(model.Save());
  BookmarkModel again;
  again.Load(root);
  ASSERT_EQ(again.Categories().size(), 2u);
  EXPECT_TRUE(again.Categories()[0].bookmarks.empty());
  ASSERT_EQ(again.Categories()[1].bookmarks.size(), 3u);
  EXPECT_EQ(again.Categories()[1].bookmarks[2].text, "b.jpg");
  EXPECT_EQ(again.Categories()[1].bookmarks[2].image, 8);
}

TEST(Bookmarks, LoadingSkipsWhatCannotBePlacedAndEachRootHasItsOwn) {
  orvtest::TempFolder one, two;
  orvtest::WriteWholeFile(one.Dir() + "orvrems.txt", "old");
  orvtest::WriteWholeFile(one.Dir() + "orvrems.orr",
                          Record("", "", "", "5", "", "") + Record("", "c1", "Cat", "t", "0", "0") +
                              Record("nowhere", "/x/lost.html", "lost", "", "7", "7") +
                              Record("c1", "/x/a.html", "a", "", "7", "7") +
                              Record("/x/a.html", "/x/grand.html", "g", "", "7", "7") +
                              Record("c1", "/x/a.html", "dup", "", "7", "7"));
  orvtest::WriteWholeFile(two.Dir() + "orvrems.orr",
                          Record("", "", "", "1", "", "") + Record("", "other", "Other", "", "", ""));

  BookmarkModel model;
  model.Load(one.Dir());
  EXPECT_FALSE(fs::exists(one.Dir() + "orvrems.txt"));
  ASSERT_EQ(model.Categories().size(), 1u);
  EXPECT_EQ(model.Categories()[0].node.tag, "t");
  ASSERT_EQ(model.Categories()[0].bookmarks.size(), 1u);
  EXPECT_EQ(model.Categories()[0].bookmarks[0].text, "a");

  model.Load(two.Dir());
  ASSERT_EQ(model.Categories().size(), 1u);
  EXPECT_EQ(model.Categories()[0].node.key, "other");

  // Ten bytes are too few to hold a bookmark.
  orvtest::WriteWholeFile(two.Dir() + "orvrems.orr", std::string(10, '\x01'));
  model.Load(two.Dir());
  EXPECT_TRUE(model.Categories().empty());
}

TEST(Bookmarks, CorruptFileLoadsTheWholeRecordsOnly) {
  const std::string head = Record("", "", "", "99999999999", "", "");
  const std::string whole = Record("", "c", "C", "", "0", "0") + Record("c", "/s/a.htm", "a", "", "7", "7");
  // A count far beyond the data, then a record whose last length points past the end.
  std::string data = head + whole + Field("c") + Field("/s/b.htm") + "\xFF\xFF" + "b";
  auto records = ParseBookmarkRecords(data);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[1].key, "/s/a.htm");
  // Every cut of the file gives a prefix of the whole records.
  for (std::size_t cut = 0; cut <= data.size(); ++cut) {
    auto part = ParseBookmarkRecords(std::string_view(data).substr(0, cut));
    ASSERT_LE(part.size(), records.size());
    for (std::size_t i = 0; i < part.size(); ++i) EXPECT_EQ(part[i], records[i]) << cut;
  }
}

// A damaged file is renamed before the next save could write over it, its whole records are
// kept, and the user is told once.
TEST(Bookmarks, DamagedFileIsSetAsideAndToldOnce) {
  orvtest::TempFolder dir;
  const std::string root = dir.Dir();
  const std::string data = Record("", "", "", "3", "", "") + Record("", "c", "C", "", "0", "0") +
                           Record("c", root + "site.ru/a.htm", "a", "", "7", "7") + Field("c") + "\x05";
  orvtest::WriteWholeFile(root + "orvrems.orr", data);
  std::vector<std::string> told;
  BookmarkModel model;
  model.SetSetAsideHandler([&](const std::string& message) { told.push_back(message); });
  model.Load(root);
  ASSERT_EQ(model.Categories().size(), 1u);
  EXPECT_EQ(model.Categories()[0].bookmarks.size(), 1u);
  ASSERT_EQ(told.size(), 1u);
  EXPECT_NE(told[0].find(root + "orvrems.orr.unreadable"), std::string::npos) << told[0];
  EXPECT_EQ(orvtest::ReadWholeFile(root + "orvrems.orr.unreadable"), data);

  model.AddBookmark(File(root, "b.htm"), "c");  // written at once, beside the kept file
  model.Load(root);
  EXPECT_EQ(told.size(), 1u);
  EXPECT_EQ(model.Categories()[0].bookmarks.size(), 2u);
  EXPECT_EQ(orvtest::ReadWholeFile(root + "orvrems.orr.unreadable"), data);
}

TEST(Bookmarks, RemovingLeavesNoStaleBookmarksBehind) {
  orvtest::TempFolder folder;
  const std::string root = folder.Dir();
  {
    BookmarkModel model;
    model.Load(root);
    auto first = model.AddBookmark(File(root, "a.html"), "");
    model.AddBookmark(File(root, "b.html"), first.categoryKey);
    auto other = model.AddBookmark(File(root, "c.html"), "");
    EXPECT_EQ(other.categoryKey, "category_1");
    EXPECT_TRUE(model.Remove("category_0"));  // with its two bookmarks
    EXPECT_FALSE(model.Contains(root + "site.ru/b.html"));
    model.Load(root);  // a rebuild of the site tree does not bring the removed ones back
    EXPECT_EQ(model.Categories().size(), 1u);
    BookmarkModel again;
    again.Load(root);
    ASSERT_EQ(again.Categories().size(), 1u);
    EXPECT_EQ(again.Categories()[0].bookmarks.size(), 1u);

    EXPECT_TRUE(model.Remove("category_1"));
    model.Save();  // at shutdown
  }
  EXPECT_FALSE(fs::exists(root + "orvrems.orr"));
  BookmarkModel restarted;
  restarted.Load(root);
  EXPECT_TRUE(restarted.Categories().empty());
}

TEST(Bookmarks, ChannelAddressBecomesTheConsolesLocalFile) {
  EXPECT_EQ(BookmarkPathOfAddress("http://a.r/", "/c/"), std::nullopt);  // 11 characters
  EXPECT_EQ(BookmarkPathOfAddress("http://site.ru/", "/c/"), "/c/site.ru/index.html");
  EXPECT_EQ(BookmarkPathOfAddress("http://site.ru/d/p.php?x=1", "/c/"), "/c/site.ru/d/p.php,8,,x23Fx=1");
}

}  // namespace
}  // namespace orv
