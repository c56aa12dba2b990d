// The script's address tree: which nodes a script shows against the collection's files, the
// step-wise build, and pruning the script under a node.

#include <gtest/gtest.h>

#include <filesystem>

#include "common/text.h"
#include "main/scripts/address_tree.h"
#include "main/scripts/script_model.h"
#include "platform/file_attributes.h"
#include "tests/main/scripts/scripts_test_support.h"

namespace orv {
namespace {

using testing::ScratchFolder;
using testing::WriteBytes;

struct Shown {
  std::string key, text, parentKey;
  int image;
  bool operator==(const Shown&) const = default;
};

std::vector<Shown> Build(const std::vector<std::string>& displayed, const std::string& collection) {
  AddressTreeBuilder b(
      displayed, [](std::string_view a) { return a.ends_with(".zip") ? 7 : 2; },
      [&](const std::string& a) { return AddressFileState(a, collection); });
  b.Finish();
  std::vector<Shown> out;
  for (const auto& n : b.Nodes())
    out.push_back({n.key, n.text, n.parent < 0 ? "" : b.Nodes()[static_cast<std::size_t>(n.parent)].key, n.image});
  return out;
}

TEST(AddressTree, ShowsWhatIsLeftToFetchAgainstTheCollection) {
  ScratchFolder dir;
  const std::string col = dir.Dir();
  // Complete: not shown at all. Partial: every segment it adds, file included, gets category + 8.
  WriteBytes(col + "done.org/sub/page.html", "x");
  WriteBytes(col + "h.com/pics/archive.zip", "x");
  ASSERT_TRUE(SetSystemMark(col + "h.com/pics/archive.zip"));
  const std::vector<std::string> script{
      "a07",
      "http://done.org/sub/page.html",
      "http://h.com/docs/readme.html",   // missing: host and folder, no file node
      "http://h.com/docs/intro.html",    // shares both nodes
      "http://h.com/pics/archive.zip",   // partial
      "ftp://h.com/other/file.txt",      // not http: not shown
      "",
      "http://h.com/images/a.gif",       // the file name is short: the folder is not shown
  };
  const std::vector<Shown> expected{
      {"http://h.com/", "h.com", "", kFolderImage},
      {"http://h.com/docs/", "docs", "http://h.com/", kFolderImage},
      {"http://h.com/pics/", "pics", "http://h.com/", 7 + 8},
      {"http://h.com/pics/archive.zip", "archive.zip", "http://h.com/pics/", 7 + 8},
  };
  EXPECT_EQ(Build(script, col), expected);

  // The complete download deleted: the next build shows its host and folder again.
  std::filesystem::remove(col + "done.org/sub/page.html");
  const std::vector<Shown> again = Build(script, col);
  ASSERT_EQ(again.size(), 6u);
  EXPECT_EQ(again[0], (Shown{"http://done.org/", "done.org", "", kFolderImage}));
  EXPECT_EQ(again[1], (Shown{"http://done.org/sub/", "sub", "http://done.org/", kFolderImage}));

  // A folder address maps to its index.html; a partial one shows the folder with its category.
  WriteBytes(col + "f.net/dir/index.html", "x");
  ASSERT_TRUE(SetSystemMark(col + "f.net/dir/index.html"));
  const std::vector<Shown> folder = Build({"a01", "http://f.net/dir/"}, col);
  EXPECT_EQ(folder, (std::vector<Shown>{{"http://f.net/", "f.net", "", kFolderImage},
                                        {"http://f.net/dir/", "dir", "http://f.net/", 2 + 8}}));
}

TEST(AddressTree, HttpsAddressesAreShownUnderTheirHost) {
  ScratchFolder dir;
  const std::vector<Shown> shown = Build({"a02", "https://s.org/manual/chapter-one.html"}, dir.Dir());
  EXPECT_EQ(shown, (std::vector<Shown>{{"https://s.org/", "s.org", "", kFolderImage},
                                       {"https://s.org/manual/", "manual", "https://s.org/", kFolderImage}}));
}

TEST(AddressTree, YieldsEvery101AddressesAndStopsOnRequest) {
  std::vector<std::string> script{"a0250"};
  for (int k = 1; k <= 250; ++k) script.push_back("http://site" + std::to_string(k % 7) + ".ru/folder/page" + std::to_string(k) + ".html");
  auto none = [](const std::string&) { return FileState::Missing; };

  AddressTreeBuilder b(script, {}, none);
  EXPECT_EQ(b.BusyText(), Ru("  работа...") + "\n");
  ASSERT_TRUE(b.Step());
  EXPECT_EQ(b.Processed(), 101);
  // The counter, then the recent addresses, long ones cut to "..." and their text from the 19th
  // character on.
  EXPECT_EQ(b.BusyText().substr(0, b.BusyText().find('\n')), Ru("  работа...[101]"));
  EXPECT_NE(b.BusyText().find("\n...lder/page101.html"), std::string::npos) << b.BusyText();
  ASSERT_TRUE(b.Step());
  EXPECT_FALSE(b.Step());
  EXPECT_TRUE(b.Done());
  EXPECT_EQ(b.BusyText(), Ru(" работа завершена.") + "\n" + Ru(" адресов: ") + "250");
  EXPECT_EQ(b.Nodes().size(), 14u);  // seven hosts, each with its folder
  EXPECT_EQ(b.Nodes()[static_cast<std::size_t>(b.Find("http://site1.ru/"))].children, 1);

  AddressTreeBuilder stopped(script, {}, none);
  ASSERT_TRUE(stopped.Step());
  stopped.Stop();
  EXPECT_FALSE(stopped.Step());
  EXPECT_EQ(stopped.Processed(), 101);
  EXPECT_EQ(stopped.BusyText(), Ru(" работа завершена.") + "\n" + Ru(" адресов: ") + "101");
}

TEST(AddressTree, DeletingANodeRewritesTheScriptWithoutEverythingUnderIt) {
  ScratchFolder dir;
  ScriptModel model;
  model.collectionFolder = dir.Dir();
  const std::vector<std::string> script{
      "a06",
      "http://h.com/",
      "http://h.com/a/x.html",
      "http://other.org/h.com/",
      "http://h.com.evil.net/a/",
      "http://h.com/a/x.html?page=2",
      "http://h.com/b/y.html",
  };
  ASSERT_TRUE(model.RewriteScript(3, script));
  ASSERT_EQ(model.displayed, script);

  // A leaf: exactly the addresses that begin with it.
  ASSERT_TRUE(model.RewriteScript(3, WithoutAddressesUnder(model.displayed, "http://h.com/a/x.html")));
  EXPECT_EQ(ReadScriptFile(model.FileOf(3)),
            (std::vector<std::string>{"a04", "http://h.com/", "http://other.org/h.com/", "http://h.com.evil.net/a/",
                                      "http://h.com/b/y.html"}));
  // A host: every address of that host, and nothing of a host that merely begins alike.
  ASSERT_TRUE(model.RewriteScript(3, WithoutAddressesUnder(model.displayed, "http://h.com/")));
  EXPECT_EQ(model.displayed,
            (std::vector<std::string>{"a02", "http://other.org/h.com/", "http://h.com.evil.net/a/"}));
  EXPECT_EQ(ReadScriptFile(model.FileOf(3)), model.displayed);
}

}  // namespace
}  // namespace orv
