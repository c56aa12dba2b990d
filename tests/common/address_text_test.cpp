#include "common/address_text.h"

#include <gtest/gtest.h>

#include "common/text.h"

namespace orv {
namespace {

using namespace std::string_literals;

TEST(TooDeep, DepthCountsSlashesFromTheNinthCharacter) {
  EXPECT_FALSE(TooDeep("http://S/", 1));  // site root: depth 1
  EXPECT_FALSE(TooDeep("http://S", 1));   // no slash still counts as 1
  EXPECT_TRUE(TooDeep("http://S", 0));
  EXPECT_TRUE(TooDeep("http://site.ru/a/b/f.gif", 2));
  EXPECT_FALSE(TooDeep("http://site.ru/a/b/f.gif", 3));
  EXPECT_TRUE(TooDeep("http://S/a/b/c/", 3));
  EXPECT_FALSE(TooDeep("http://S/a/b/c/", 4));
  // The "/" at position 8 (just after "http://") is not counted.
  EXPECT_TRUE(TooDeep("http://///", 1));
  EXPECT_FALSE(TooDeep("http://///", 2));
  EXPECT_FALSE(TooDeep("http://S/a/b/c/d/e/f.gif..)(..", 0));  // embedded marks are never too deep
}

TEST(FolderOf, LastSegmentWithoutDotIsAFolder) {
  EXPECT_EQ(FolderOf("http://S/a/"), "http://S/a/");
  EXPECT_EQ(FolderOf("http://S/a/b.htm"), "http://S/a/");
  EXPECT_EQ(FolderOf("http://S/a/b"), "http://S/a/b/");
  EXPECT_EQ(FolderOf("http://S/a/b?x"), "http://S/a/");
  EXPECT_EQ(FolderOf("http://site.ru"), "http://site.ru/");
  EXPECT_EQ(FolderOf("http://S"), "http://S/");
}

TEST(HostOf, TrimsInPlaceAndKeepsCase) {
  std::string a = "  http://Www.Site.Ru/dir/  ";
  EXPECT_EQ(HostOf(a, false), "Www.Site.Ru");
  EXPECT_EQ(a, "http://Www.Site.Ru/dir/");
  a = "HTTP://a.ru\\x/y";
  EXPECT_EQ(HostOf(a, false), "a.ru");
  a = "http://a.ru";
  EXPECT_EQ(HostOf(a, false), "a.ru");
  a = "http:///x.ru/";
  EXPECT_EQ(HostOf(a, true), "");
  a = "site.ru/page.htm";  // no scheme: no host, even for a reachable site
  EXPECT_EQ(HostOf(a, true), "");
}

TEST(HostOf, LengthBoundary) {
  std::string a = "http://ab";  // 9 characters: too short
  EXPECT_EQ(HostOf(a, true), "");
  a = "http://a.b";  // 10 characters
  EXPECT_EQ(HostOf(a, false), "a.b");
  a = " http://ab ";  // trimmed first, then 9 characters
  EXPECT_EQ(HostOf(a, true), "");
}

TEST(HostOf, DotlessHostNeedsLanOrLocalhostOnline) {
  std::string a = "http://intranet/x";
  EXPECT_EQ(HostOf(a, false), "");
  EXPECT_EQ(HostOf(a, true), "intranet");
  a = "http://localhost:8080/";
  EXPECT_EQ(HostOf(a, true), "localhost:8080");
}

TEST(PercentDecodeHighAndControl, DecodesHighBytesAndControlsOnly) {
  auto dec = [](std::string s) {
    PercentDecodeHighAndControl(s);
    return s;
  };
  EXPECT_EQ(dec("%41"), "%41");
  EXPECT_EQ(dec("a%20b"), "a b");
  EXPECT_EQ(dec("%C6%c6"), "\xC6\xC6");
  EXPECT_EQ(dec("%80"), "%80");  // 128 stays
  EXPECT_EQ(dec("%81"), "\x81");
  EXPECT_EQ(dec("%21"), "%21");  // 33 stays
  EXPECT_EQ(dec("%0A%09"), "\n\t");
  EXPECT_EQ(dec("%00"), "%00");
  EXPECT_EQ(dec("%zz%4"), "%zz%4");
  EXPECT_EQ(dec("%2520"), "%2520");  // no second pass
  EXPECT_EQ(dec("%%20"), "% ");
  EXPECT_EQ(dec("100%"), "100%");
}

TEST(PercentEncode, ControlsBlankAndHighBytes) {
  EXPECT_EQ(PercentEncode("a b"), "a%20b");
  EXPECT_EQ(PercentEncode("\t"), "%9");
  EXPECT_EQ(PercentEncode(Ru("Ж")), "%C6");
  EXPECT_EQ(PercentEncode("\0"s), "%0");
  EXPECT_EQ(PercentEncode("!~\x7F"), "!~\x7F");
  EXPECT_EQ(PercentEncode("\x80\xFF"), "%80%FF");
  std::string round = PercentEncode("x y\xC6");
  PercentDecodeHighAndControl(round);
  EXPECT_EQ(round, "x y\xC6");
}

TEST(DomainWord, NameBetweenDots) {
  EXPECT_EQ(DomainWord("www.name.ru"), ".name.");
  EXPECT_EQ(DomainWord("http://www.name.ru/"), ".name.");
  EXPECT_EQ(DomainWord("http://name.ru/"), "name.");
  EXPECT_EQ(DomainWord("name.ru"), ".name.");
  EXPECT_EQ(DomainWord("localhost"), ".");
  EXPECT_EQ(DomainWord("http://localhost/"), "");
}

TEST(LocalPathToAddress, InsideAndOutsideTheCollection) {
  const std::string coll = "/home/u/orvcollections/";
  EXPECT_EQ(LocalPathToAddress(coll + "S,8,,x23A8080/a,8,,x23Fb", coll), "http://S:8080/a?b");
  EXPECT_EQ(LocalPathToAddress("/HOME/U/OrvCollections/S/x.htm", coll), "http://S/x.htm");
  EXPECT_EQ(LocalPathToAddress("/tmp/x\\y.htm", coll), "/tmp/x/y.htm");
  EXPECT_EQ(LocalPathToAddress(coll + "S/,8,,x22E,8,,x22E/f.htm", coll), "http://S/../f.htm");
  EXPECT_EQ(LocalPathToAddress("/a/b", ""), "/a/b");
  // A collection folder given without its closing "/" is the same folder.
  EXPECT_EQ(LocalPathToAddress("/home/u/orvcollections/S/x.htm", "/home/u/orvcollections"), "http://S/x.htm");
}

TEST(NameUnescape, EveryEscapeIsUndone) {
  auto un = [](std::string s) {
    NameUnescape(s);
    return s;
  };
  EXPECT_EQ(un(",8,,x23F"), "?");
  EXPECT_EQ(un(",8,,x23A"), ":");
  EXPECT_EQ(un("a,8,,x220b"), "a b");  // no blank rule here
  EXPECT_EQ(un(",8,,x,8,,x23241"), "A");
  // Sequences that are not escapes are left and do not stall the loop.
  EXPECT_EQ(un(",8,,x2zz,8,,x23F"), ",8,,x2zz?");
  EXPECT_EQ(un(",8,,x200"), ",8,,x200");
  EXPECT_EQ(un("x,8,,x2"), "x,8,,x2");
}

}  // namespace
}  // namespace orv
