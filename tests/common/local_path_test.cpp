#include "common/local_path.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "common/address_text.h"
#include "common/search_engine.h"
#include "common/text.h"
#include "tests/common/temp_folder.h"

namespace orv {
namespace {

using testing::PutFileBytes;
using testing::TempFolder;
using namespace std::string_literals;
namespace fs = std::filesystem;

const std::string kColl = "/home/u/orvcollections/";

std::string Rel(std::string_view address) {
  LocalName n = LocalNameOf(address, kColl);
  EXPECT_EQ(n.path.substr(0, kColl.size()), kColl);
  return n.path.substr(kColl.size());
}

TEST(LocalName, FoldersSitesAndTheIndexFile) {
  LocalName n = LocalNameOf("http://S/dir/", kColl);
  EXPECT_EQ(n.path, kColl + "S/dir/index.html");
  EXPECT_EQ(n.requestAddress, "http://S/dir/");
  n = LocalNameOf("http://S", kColl);
  EXPECT_EQ(n.path, kColl + "S/index.html");
  EXPECT_EQ(n.requestAddress, "http://S/");
  n = LocalNameOf("http://S/dir", kColl);
  EXPECT_EQ(n.path, kColl + "S/dir/index.html");
  EXPECT_EQ(n.requestAddress, "http://S/dir/");
  n = LocalNameOf("http://S/a.b/c", kColl);
  EXPECT_EQ(n.path, kColl + "S/a.b/c/index.html");
  n = LocalNameOf("http://S/dir/page.htm", kColl);
  EXPECT_EQ(n.path, kColl + "S/dir/page.htm");
  EXPECT_EQ(n.requestAddress, "http://S/dir/page.htm");
  n = LocalNameOf("http://S/", kColl);
  EXPECT_EQ(n.path, kColl + "S/index.html");
  EXPECT_EQ(n.requestAddress, "http://S/");
}

TEST(LocalName, QueryPartIsEscapedAndItsSlashesAreNotFolders) {
  LocalName n = LocalNameOf("http://S/a.php?x=1/2", kColl);
  EXPECT_EQ(n.path, kColl + "S/a.php,8,,x23Fx=1,8,,x25C2");
  EXPECT_EQ(n.requestAddress, "http://S/a.php?x=1/2");
  EXPECT_EQ(Rel("http://S/a?b"), "S/a,8,,x23Fb");
  EXPECT_EQ(Rel("http://S/q?a\\b?c"), "S/q,8,,x23Fa,8,,x25Cb,8,,x23Fc");
  EXPECT_EQ(Rel("http://S/a?x=/"), "S/a,8,,x23Fx=,8,,x25C");
  // Before the query a backslash separates folders, as "/" does.
  EXPECT_EQ(Rel("http://S/d\\f.htm"), "S/d/f.htm");
  // A last segment without a dot is a folder even when a query follows elsewhere.
  EXPECT_EQ(Rel("http://S/a.b/c"), "S/a.b/c/index.html");
  EXPECT_EQ(Rel("http://S/dir?x=1/2.htm"), "S/dir,8,,x23Fx=1,8,,x25C2.htm");
  // A query straight after the site name: its slashes do not make it a folder and the
  // request keeps the query as it was.
  n = LocalNameOf("http://S?a=/b.htm", kColl);
  EXPECT_EQ(n.path, kColl + "S,8,,x23Fa=,8,,x25Cb.htm");
  EXPECT_EQ(n.requestAddress, "http://S?a=/b.htm");
  EXPECT_EQ(LocalNameOf("http://S?a=/b", kColl).requestAddress, "http://S?a=/b");
  EXPECT_EQ(Rel("abcdefgh?x/y"), "h,8,,x23Fx,8,,x25Cy");
}

TEST(LocalName, CharactersThatFileNamesCannotHold) {
  EXPECT_EQ(Rel("http://S:8080/x.html"), "S,8,,x23A8080/x.html");
  EXPECT_EQ(Rel("http://S/a:b|c*d<e>f!g\"h.htm"),
            "S/a,8,,x23Ab,8,,x27Cc,8,,x22Ad,8,,x23Ce,8,,x23Ef,8,,x221g\"h.htm");
  EXPECT_EQ(NameEscape("a/b?c/d\\e:f"), "a/b,8,,x23Fc,8,,x22Fd,8,,x25Ce,8,,x23Af");
  EXPECT_EQ(NameEscape("plain/name.htm"), "plain/name.htm");
}

TEST(LocalName, LevelsBackToTheCollection) {
  LocalName n = LocalNameOf("http://S/", kColl);
  EXPECT_EQ(n.levels, 1);
  EXPECT_EQ(n.levelsUp, "../");
  n = LocalNameOf("http://S/a/b/c.gif", kColl);
  EXPECT_EQ(n.levels, 3);
  EXPECT_EQ(n.levelsUp, "../../../");
  n = LocalNameOf("http://S/a.php?x=1/2/3", kColl);  // query slashes are no folders
  EXPECT_EQ(n.levels, 1);
  n = LocalNameOf("http://S//a//b.htm", kColl);  // a run of "/" is one folder step
  EXPECT_EQ(n.levels, 2);
  EXPECT_EQ(LocalNameOf("http://S/x", "/c").path, "/c/S/x/index.html");
}

TEST(LocalName, DotSegmentsStayInsideTheCollection) {
  EXPECT_EQ(Rel("http://S/../x.htm"), "S/,8,,x22E,8,,x22E/x.htm");
  EXPECT_EQ(Rel("http://S/./a"), "S/,8,,x22E/a/index.html");
  EXPECT_EQ(Rel("http://S/..."), "S/,8,,x22E,8,,x22E,8,,x22E");
  EXPECT_EQ(Rel("http://.."), ",8,,x22E,8,,x22E/index.html");
  EXPECT_EQ(Rel("http://../../etc/passwd"), ",8,,x22E,8,,x22E/,8,,x22E,8,,x22E/etc/passwd/index.html");
  EXPECT_EQ(Rel("http://S\\..\\../x.htm"), "S/,8,,x22E,8,,x22E/,8,,x22E,8,,x22E/x.htm");
  // Other names with dots are unchanged.
  EXPECT_EQ(Rel("http://S/.hidden"), "S/.hidden");
  EXPECT_EQ(Rel("http://S/a..b/"), "S/a..b/index.html");
  EXPECT_EQ(Rel("http://S/..?x"), "S/..,8,,x23Fx");
  // A NUL would cut the name short for the system ("S/..\0x" reads as "S/..").
  EXPECT_EQ(Rel("http://S/..\0x/f.htm"s), "S/..,8,,x200x/f.htm");
}

// Whatever the address, once the link decoder has run: the name lies strictly
// below the collection folder, with no "." or ".." segment and no NUL.
TEST(LocalName, NoAddressMapsOutsideTheCollection) {
  const std::vector<std::string> pieces = {".", "..", "/", "\\", "%2e", "%2E", "%252e", "%2f",
                                           "%5c", "?", "a", ":", "%00", "\0"s, "%", "2e", "/./"};
  std::mt19937 gen(12345);
  std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1), len(0, 12);
  const fs::path coll("/srv/coll");
  for (int i = 0; i < 20000; ++i) {
    std::string tail;
    for (std::size_t k = len(gen); k > 0; --k) tail += pieces[pick(gen)];
    std::string address = "http://" + LinkPercentDecode(tail);
    LocalName n = LocalNameOf(address, "/srv/coll/");
    ASSERT_EQ(n.path.find('\0'), std::string::npos) << address;
    fs::path p(n.path);
    for (const auto& part : p) {
      ASSERT_NE(part, ".") << address << " -> " << n.path;
      ASSERT_NE(part, "..") << address << " -> " << n.path;
    }
    fs::path rel = p.lexically_normal().lexically_relative(coll);
    ASSERT_FALSE(rel.empty()) << address;
    ASSERT_NE(*rel.begin(), "..") << address << " -> " << n.path;
    ASSERT_NE(rel, ".") << address << " -> " << n.path;
    ASSERT_GE(n.levels, 0);
  }
}

TEST(LocalName, PreparingCreatesFoldersAndReplacesAFileInTheWay) {
  TempFolder dir;
  const std::string coll = dir / "coll/";
  LocalName n = PrepareLocalName("http://S/dir/x.htm", coll);
  EXPECT_EQ(n.path, coll + "S/dir/x.htm");
  EXPECT_TRUE(fs::is_directory(coll + "S/dir"));
  EXPECT_FALSE(fs::exists(n.path));  // only the folders are made
  // A downloaded file "S/dir/sub" stands where a folder is now needed.
  PutFileBytes(coll + "S/dir/sub", "old page");
  n = PrepareLocalName("http://S/dir/sub/y.gif", coll);
  EXPECT_TRUE(fs::is_directory(coll + "S/dir/sub"));
  PutFileBytes(n.path, "gif");
  EXPECT_TRUE(fs::exists(coll + "S/dir/sub/y.gif"));
}

TEST(LocalName, NamePartsTooLongForTheFileSystemAreShortenedAlike) {
  TempFolder tmp;
  const std::string coll = tmp / "coll/";
  std::string cyr;
  for (int i = 0; i < 150; ++i) cyr += "\xD0\xB4";  // 300 bytes of a Cyrillic letter in UTF-8
  const std::string longPage = "http://S/" + cyr + ".html";
  const std::string longQuery = "http://S/find.php?q=" + std::string(300, 'x');
  for (const std::string& address : {longPage, longQuery, longQuery + "y", "http://S/" + cyr + "/a.gif"}) {
    LocalName n = PrepareLocalName(address, coll);
    EXPECT_EQ(LocalNameOf(address, coll).path, n.path);  // the same name every time
    for (const auto& part : fs::path(n.path.substr(coll.size())))
      EXPECT_LE(part.string().size(), 255u) << address;
    std::ofstream(n.path) << "x";
    EXPECT_TRUE(fs::is_regular_file(n.path)) << n.path;
  }
  std::string page = LocalNameOf(longPage, coll).path;
  EXPECT_TRUE(page.ends_with(".html"));
  EXPECT_EQ(page.substr(coll.size() + 2, 40), cyr.substr(0, 40));  // a readable head
  EXPECT_EQ(fs::path(page).filename().string().find("\xD0~"), std::string::npos)
      << "cut inside a character";
  EXPECT_NE(LocalNameOf(longQuery, coll).path, LocalNameOf(longQuery + "y", coll).path);
  EXPECT_EQ(Rel("http://S/" + std::string(255, 'a')), "S/" + std::string(255, 'a') + "/index.html");
}

TEST(LocalName, PreparingNeverTouchesAnythingAboveTheCollection) {
  TempFolder dir;
  const std::string coll = dir / "coll/";
  fs::create_directories(coll);
  PutFileBytes(dir / "etc", "outside");
  PrepareLocalName("http://../etc/x.htm", coll);
  PrepareLocalName("http://%2e%2e/etc/x.htm", coll);
  PrepareLocalName("http://" + LinkPercentDecode("%2e%2e/%2e%2e/etc/x.htm"), coll);
  EXPECT_TRUE(fs::is_regular_file(dir / "etc"));
  EXPECT_EQ(testing::FileBytes(dir / "etc"), "outside");
  std::size_t entries = 0;
  for (const auto& e : fs::directory_iterator(dir.path())) {
    (void)e;
    ++entries;
  }
  EXPECT_EQ(entries, 2u);  // coll and etc

  // A name built by other means that climbs out with ".." has nothing deleted in its way.
  CreateFoldersOf(coll + "S/../../etc/x.htm", coll);
  CreateFoldersOf(coll + "./../etc/x.htm", coll);
  EXPECT_EQ(testing::FileBytes(dir / "etc"), "outside");
}

TEST(SearchModeName, ResultsAndCachedCopies) {
  EXPECT_EQ(SearchModeCandidate("http://yandex.ru/yandsearch?text=x", kColl, 12345.67f, 23.45678f),
            kColl + "yandex.ru/results/result_12345.6723.45678.htm");
  EXPECT_EQ(SearchModePrefix("http://hghltd.yandex.net/yandbtm?url=x", kColl),
            kColl + std::string(kSearchEngineHost) + "/previews/preview_");
  EXPECT_EQ(SearchModePrefix("http://a.ru/x/yandbtm", kColl), kColl + "yandex.ru/results/result_");
  EXPECT_EQ(kSearchEngineRoot, "http://" + std::string(kSearchEngineHost) + "/");
}

TEST(SearchModeName, DrawsAgainUntilTheNameIsFree) {
  TempFolder dir;
  const std::string coll = dir.path();
  std::vector<float> draws = {1.5f, 2.0f, 1.5f, 2.0f, 7.25f, 3.0f};
  std::size_t next = 0;
  std::vector<float> limits;
  RandomDraw scripted = [&](float limit) {
    limits.push_back(limit);
    return draws.at(next++);
  };
  fs::create_directories(coll + "yandex.ru/results");
  PutFileBytes(coll + "yandex.ru/results/result_1.52.htm", "taken");
  LocalName n = PrepareSearchLocalName("http://yandex.ru/yandsearch?text=a", coll, scripted);
  EXPECT_EQ(n.path, coll + "yandex.ru/results/result_7.253.htm");
  EXPECT_EQ(n.requestAddress, "http://yandex.ru/yandsearch?text=a");
  EXPECT_EQ(n.levelsUp, "../../");
  EXPECT_EQ(limits, (std::vector<float>{50000, 50, 50000, 50, 50000, 50}));

  LocalName p = PrepareSearchLocalName("http://hghltd.yandex.net/yandbtm?x", coll);
  EXPECT_EQ(p.path.rfind(coll + "yandex.ru/previews/preview_", 0), 0u) << p.path;
  EXPECT_TRUE(p.path.ends_with(".htm"));
  EXPECT_TRUE(fs::is_directory(coll + "yandex.ru/previews"));
  EXPECT_FALSE(fs::exists(p.path));
}

TEST(LinkDecoding, PercentEscapesAboveBlank) {
  EXPECT_EQ(LinkPercentDecode("a%20b"), "a%20b");
  EXPECT_EQ(LinkPercentDecode("%41"), "A");
  EXPECT_EQ(LinkPercentDecode("%2541"), "A");
  EXPECT_EQ(LinkPercentDecode("%252541"), "A");
  EXPECT_EQ(LinkPercentDecode("%c6%C6"), "\xC6\xC6");
  EXPECT_EQ(LinkPercentDecode("%zz"), "\xFF");  // not hexadecimal: 255
  EXPECT_EQ(LinkPercentDecode("%20%41%1F"), "%20A%1F");
  EXPECT_EQ(LinkPercentDecode("x%4"), "x%4");
  EXPECT_EQ(LinkPercentDecode("x%"), "x%");
  EXPECT_EQ(LinkPercentDecode("%2e%2E/"), "../");
}

TEST(LinkDecoding, NameEscapesWithTheSameRule) {
  EXPECT_EQ(NameEscapeDecode("a,8,,x23Fb"), "a?b");
  EXPECT_EQ(NameEscapeDecode(",8,,x220"), ",8,,x220");
  EXPECT_EQ(NameEscapeDecode(",8,,x2zz"), "\xFF");
  EXPECT_EQ(NameEscapeDecode(",8,,x,8,,x23241"), "A");  // a decoded "2" completes an earlier escape
  EXPECT_EQ(NameEscapeDecode("S,8,,x23A8080/a,8,,x22E"), "S:8080/a.");
  EXPECT_EQ(NameEscapeDecode(",8,,x2"), ",8,,x2");
}

TEST(HostAndParts, HostRuleOfLocalNames) {
  EXPECT_EQ(HostRule("http://S/x"), "S");
  EXPECT_EQ(HostRule("HTTP://Ab.Ru\\x/y"), "Ab.Ru");
  EXPECT_EQ(HostRule("http://a.ru/b\\c"), "a.ru/b");  // "\" is looked for first
  EXPECT_EQ(HostRule("http://abc"), "abc");
  EXPECT_EQ(HostRule("http:///x"), "");
  EXPECT_EQ(HostRule("http://"), std::nullopt);
  EXPECT_EQ(HostRule("ftp://a.ru/"), std::nullopt);
  EXPECT_EQ(AddressFolder("http://S/a/b.htm"), "http://S/a/");
  EXPECT_EQ(AddressFilePart("http://S/a/b.htm"), "b.htm");
  EXPECT_EQ(AddressFilePart("http://S/a/"), "");
  EXPECT_EQ(AddressFolder("noslash"), "noslash");
}

TEST(LocalName, AQueryAfterABrowsableEndingEndsInItOnceMore) {
  // A browser types a local file by its ending: the name ends in it again after the query.
  EXPECT_EQ(Rel("http://S/_static/theme.css?2022.1"), "S/_static/theme.css,8,,x23F2022.1.css");
  EXPECT_EQ(Rel("https://S/app.js?v=3"), "S/app.js,8,,x23Fv=3.js");
  EXPECT_EQ(Rel("http://S/Page.HTML?lang=en/x"), "S/Page.HTML,8,,x23Flang=en,8,,x25Cx.HTML");
  EXPECT_EQ(Rel("http://S/f/icons.woff2?#iefix"), "S/f/icons.woff2,8,,x23F#iefix.woff2");
  // Names that end right already, and endings a browser does not type by, keep their mapping.
  EXPECT_EQ(Rel("http://S/combo.js?a.js&b.JS"), "S/combo.js,8,,x23Fa.js&b.JS");
  EXPECT_EQ(Rel("http://S/a.php?x=1"), "S/a.php,8,,x23Fx=1");
  EXPECT_EQ(Rel("http://S.css?x=1"), "S.css,8,,x23Fx=1/index.html");
  LocalName n = LocalNameOf("http://S/t.css?v=2", kColl);
  EXPECT_EQ(n.requestAddress, "http://S/t.css?v=2");
  EXPECT_EQ(n.formerPath, kColl + "S/t.css,8,,x23Fv=2");
  EXPECT_EQ(LocalNameOf("http://S/t.css", kColl).formerPath, "");
  // A name too long for the file system keeps the ending through its shortening.
  std::string longQuery = "http://S/t.css?" + std::string(300, 'q');
  EXPECT_TRUE(LocalNameOf(longQuery, kColl).path.ends_with(".css"));

  // A collection saved before finds its file under the former name until a new copy exists.
  TempFolder tmp;
  const std::string coll = tmp.path();
  fs::create_directories(coll + "S");
  const LocalName t = LocalNameOf("http://S/t.css?v=2", coll);
  EXPECT_EQ(FoundLocalPath("http://S/t.css?v=2", coll), t.path);
  PutFileBytes(t.formerPath, "old");
  EXPECT_EQ(FoundLocalPath("http://S/t.css?v=2", coll), t.formerPath);
  PutFileBytes(t.path, "new");
  EXPECT_EQ(FoundLocalPath("http://S/t.css?v=2", coll), t.path);
}

TEST(LocalName, BothSpellingsOfANameAreOneFile) {
  const std::string raw = "http://S/d/\xD1\x81\xD1\x82\xD1\x80.html";
  for (const char* spelling : {"http://S/d/%D1%81%D1%82%D1%80.html", "http://S/d/%d1%81%D1%82%d1%80.html",
                               "http://S/%64/\xD1\x81%D1%82\xD1\x80.html"}) {
    const LocalName n = LocalNameOf(spelling, kColl);
    EXPECT_EQ(n.path, kColl + raw.substr(7)) << spelling;
    EXPECT_EQ(n.requestAddress, spelling);  // the request goes out as the page wrote it
    EXPECT_EQ(n.formerPath, kColl + std::string(spelling).substr(7));
  }
  // Escapes that change what an address names stay: blank, "/", "?", "#", "%", "&", ".".
  EXPECT_EQ(DecodeUnreservedEscapes("http://S/a%20b%2Fc%3Fd%23e%25%34%31%26%2E%7E%5F%2d%4"),
            "http://S/a%20b%2Fc%3Fd%23e%2541%26%2E~_-%4");
}

TEST(HostAndParts, LocalNameLeadsBackToItsAddress) {
  for (std::string a : {"http://S/dir/page.htm", "http://S:81/a!b.php?q=1", "http://S/a*b<c>.gif",
                        "http://S/x/", "http://S/x", "http://S/_static/theme.css?2022.1", "http://S/a.js?",
                        "http://S/combo.js?a.js&b.js", "http://S/p.html?a=b"}) {
    LocalName n = LocalNameOf(a, kColl);
    std::string back = LocalPathToAddress(n.path, kColl);
    std::string expected = n.requestAddress;
    if (expected.ends_with("/")) expected += "index.html";
    EXPECT_EQ(back, expected) << a;
  }
}

}  // namespace
}  // namespace orv
