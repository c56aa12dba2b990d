#include "main/collection/conversion.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

#include "tests/common/temp_folder.h"

namespace orv::collection {
namespace {

using orv::testing::FileBytes;
using orv::testing::PutFileBytes;
using orv::testing::TempFolder;

// The rule as stated: cut the first marker and two characters, search again from the start.
std::string RemoveByRestarting(std::string s) {
  for (std::size_t at; (at = s.find(",8,,x2")) != std::string::npos;) s.erase(at, 8);
  return s;
}

TEST(Conversion, RemovalMatchesTheWholeTextRule) {
  EXPECT_EQ(RemoveNameEscapes("a.php,8,,x23Fx=1,8,,x25C2"), "a.phpx=12");
  // A cut joins ",8,," and "x2.." into a new sequence, which goes too.
  EXPECT_EQ(RemoveNameEscapes(",8,,,8,,x2ABx2CDtail"), "tail");
  EXPECT_EQ(RemoveNameEscapes("end,8,,x2A"), "end");
  EXPECT_EQ(RemoveNameEscapes("end,8,,x2"), "end");
}

// Copying in small pieces, with cuts chaining back into bytes already written, gives the
// same bytes as the rule applied to the whole file.
TEST(Conversion, PieceWiseCopyGivesTheWholeFileResult) {
  TempFolder dir;
  std::mt19937 random(7);
  const std::string alphabet = ",8x2A,";
  for (int round = 0; round < 300; ++round) {
    std::string text;
    std::size_t length = random() % 200;
    for (std::size_t i = 0; i < length; ++i) text += alphabet[random() % alphabet.size()];
    if (round % 3 == 0) {  // deep chains: ",8,," x n then "x2AB" x n
      std::size_t n = 1 + random() % 40;
      std::string chain;
      for (std::size_t i = 0; i < n; ++i) chain += ",8,,";
      for (std::size_t i = 0; i < n; ++i) chain += "x2AB";
      text.insert(random() % (text.size() + 1), chain);
    }
    std::size_t piece = 1 + random() % 9;
    if (round % 10 == 0) {  // long runs without a "2", handed out straight from the piece
      for (int k = 0; k < 4; ++k) text.insert(random() % (text.size() + 1), std::string(3000 + random() % 6000, 'a'));
      piece = 1 + random() % 5000;
    }
    PutFileBytes(dir / "in", text);
    std::filesystem::remove(dir / "out");
    ASSERT_TRUE(CopyWithoutNameEscapes(dir / "in", dir / "out", piece));
    ASSERT_EQ(FileBytes(dir / "out"), RemoveByRestarting(text)) << "piece " << piece << " text " << text;
    ASSERT_EQ(RemoveNameEscapes(text), RemoveByRestarting(text)) << text;
  }
}

TEST(Conversion, CollectionIsCopiedWithPlainNamesAndLinks) {
  TempFolder root, target;
  std::filesystem::create_directories(root / "si,8,,x23Ate/docs");
  std::filesystem::create_directories(root / "si,8,,x23Ate/img");
  // A file named with an escaped "?" and a page linking to it.
  const std::string page = "<a href=\"docs/q.php,8,,x23Fid=1\">x</a>";
  PutFileBytes(root / "si,8,,x23Ate/index.html", page);
  PutFileBytes(root / "si,8,,x23Ate/docs/q.php,8,,x23Fid=1", "query page");
  // Two names that meet after conversion: both kept.
  PutFileBytes(root / "si,8,,x23Ate/docs/a,8,,x23Fb.htm", "first");
  PutFileBytes(root / "si,8,,x23Ate/docs/ab.htm", "second");
  PutFileBytes(root / "si,8,,x23Ate/empty.gif", "");
  // A file whose converted name is that of a folder.
  PutFileBytes(root / "si,8,,x23Ate/doc,8,,x23Fs", "file, not folder");
  // Files in the target that this run did not write are never replaced or deleted, not even
  // one standing where a folder is needed.
  std::filesystem::create_directories(target / "site/docs");
  PutFileBytes(target / "site/index.html", "old old old old old old old old old");
  PutFileBytes(target / "site/img", "a file, not the folder img/");
  PutFileBytes(root / "si,8,,x23Ate/img/logo.gif", "GIF");

  std::vector<std::string> files = {root / "si,8,,x23Ate/index.html", root / "si,8,,x23Ate/docs/q.php,8,,x23Fid=1",
                                    root / "si,8,,x23Ate/docs/a,8,,x23Fb.htm", root / "si,8,,x23Ate/docs/ab.htm",
                                    root / "si,8,,x23Ate/empty.gif", root / "si,8,,x23Ate/missing.gif",
                                    root / "si,8,,x23Ate/doc,8,,x23Fs", root / "si,8,,x23Ate/img/logo.gif"};
  CollectionConversion conversion(root.path(), target.path(), files);
  int steps = 0;
  while (conversion.Step()) ++steps;
  EXPECT_EQ(steps, 7);

  EXPECT_EQ(FileBytes(target / "site/index.html"), "old old old old old old old old old");
  EXPECT_EQ(FileBytes(target / "site/index(2).html"), "<a href=\"docs/q.phpid=1\">x</a>");
  EXPECT_EQ(FileBytes(target / "site/img"), "a file, not the folder img/");
  EXPECT_EQ(FileBytes(target / "site/img(2)/logo.gif"), "GIF");
  EXPECT_EQ(FileBytes(target / "site/docs/q.phpid=1"), "query page");
  EXPECT_EQ(FileBytes(target / "site/docs/ab.htm"), "first");
  EXPECT_EQ(FileBytes(target / "site/docs/ab(2).htm"), "second");
  EXPECT_FALSE(std::filesystem::exists(target / "site/empty.gif"));
  EXPECT_EQ(FileBytes(target / "site/docs(2)"), "file, not folder");
  EXPECT_EQ(conversion.Copied(), 6u);
  EXPECT_EQ(conversion.Skipped(), 2u);
  ASSERT_EQ(conversion.Renamed(), (std::vector<std::string>{"site/index(2).html", "site/docs/ab(2).htm",
                                                            "site/docs(2)", "site/img(2)/logo.gif"}));
  EXPECT_NE(conversion.RenamedStatus().find("site/index(2).html"), std::string::npos);
  // The source is left as it was.
  EXPECT_EQ(FileBytes(root / "si,8,,x23Ate/index.html"), page);
}

TEST(Conversion, NamesNeverVanishOrClimbOut) {
  EXPECT_EQ(ConvertedRelativePath("s/,8,,x22E,8,,x22E/f"), "s/,8,,x22E,8,,x22E/f");
  EXPECT_EQ(ConvertedRelativePath("s/,8,,x23F/a,8,,x23Fb"), "s/,8,,x23F/ab");
  EXPECT_EQ(NumberedName("s/a.b/c", 3), "s/a.b/c(3)");
  EXPECT_EQ(NumberedName("s/.hidden", 2), "s/.hidden(2)");
}

}  // namespace
}  // namespace orv::collection
