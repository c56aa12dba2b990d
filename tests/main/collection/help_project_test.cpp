#include "main/collection/help_project.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "common/text.h"
#include "tests/common/temp_folder.h"

namespace orv::collection {
namespace {

using orv::testing::FileBytes;
using orv::testing::PutFileBytes;
using orv::testing::TempFolder;

std::string Crlf(std::string text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

// Two sites: the first with pages with and without a title and a single picture (no
// "Other" group), the second with one page and two other files (one group).
TEST(HelpProject, TwoSitesAreWrittenByteForByte) {
  TempFolder root;
  std::filesystem::create_directories(root / "site.ru/docs");
  std::filesystem::create_directories(root / "b,8,,x23Fc");
  PutFileBytes(root / "site.ru/index.html", Ru("<html><head><TiTlE>Главная</tItLe></head></html>"));
  PutFileBytes(root / "site.ru/docs/plain.htm", "<html><body>no title here</body></html>");
  // A title beyond the first 4096 bytes is not read.
  PutFileBytes(root / "site.ru/docs/late.asp", std::string(5000, ' ') + "<title>Late</title>");
  PutFileBytes(root / "site.ru/pic.jpg", "JPEG");
  PutFileBytes(root / "b,8,,x23Fc/page", "<title>Only page</title>");

  SiteFiles first{"site.ru",
                  {{root / "site.ru/index.html", "index.html", 7},
                   {root / "site.ru/docs/plain.htm", "plain.htm", 24},
                   {root / "site.ru/docs/late.asp", "late.asp", 7},
                   {root / "site.ru/pic.jpg", "pic.jpg", 8}}};
  SiteFiles second{"b,8,,x23Fc",
                   {{root / "b,8,,x23Fc/page", "page", 10},
                    {root / "b,8,,x23Fc/a.zip", "a.zip", 18},
                    {root / "b,8,,x23Fc/s.css", Ru("стиль.css"), 4}}};
  ChmTarget target = ChmTargetOf(root / "out/Help.CHM");
  ASSERT_TRUE(WriteHelpProject(root.path(), target, {first, second}));

  EXPECT_EQ(FileBytes(root / "collection.hhp"),
            Crlf("[Options]\n"
                 "Compatibility = 1.1 Or later\n"
                 "Compiled file =" + root.path() + "out/Help.chm\n"
                 "Contents file=collection.hhc\n"
                 "Enhanced decompilation=Yes\n"
                 "Full-text search=Yes\n" +
                 Ru("Language=0x419 Русский\n") +
                 "Display compile progress=No\n" +
                 Ru("Language=0x419 Русский\n") +
                 "\n"
                 "\n"
                 "[Files]\n" +
                 root.path() + "site.ru/index.html\n" +
                 root.path() + "site.ru/docs/plain.htm\n" +
                 root.path() + "site.ru/docs/late.asp\n" +
                 root.path() + "b,8,,x23Fc/page\n"));

  std::string header =
      "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML//EN\">\n"
      "<HTML><HEAD>\n"
      "<meta name=\"GENERATOR\" content=\"Microsoft&reg; HTML Help Workshop 4.1\">\n"
      "<META NAME=\"charset\" value=\"windows-1251\">\n"
      "<!-- Sitemap 1.0 -->\n"
      "</HEAD><BODY>\n"
      "<OBJECT type=\"text/site properties\">\n"
      "<param name=\"Window Styles\" value=\"0x800025\">\n"
      "<param name=\"ImageType\" value=\"Folder\">\n"
      "</OBJECT>\n";
  std::string firstBlock =
      "<UL>\n"
      "<LI> <OBJECT type=\"text/sitemap\">\n"
      "<param name=\"Name\" value=\"site.ru\" > \n"
      "<param name=\"ImageNumber\" value=\"1\"></OBJECT>\n"
      "\n"
      "<UL>\n"
      "<LI> <OBJECT type=\"text/sitemap\">\n" +
      Ru("<param name=\"Name\" value=\"Главная [index.html]\" > \n") +
      "<param name=\"Local\" value=\"site.ru/index.html\">\n"
      "<param name=\"ImageNumber\" value=\"11\"></OBJECT>\n"
      "\n"
      "<LI> <OBJECT type=\"text/sitemap\">\n"
      "<param name=\"Name\" value=\"plain.htm\" > \n"
      "<param name=\"Local\" value=\"site.ru/docs/plain.htm\">\n"
      "<param name=\"ImageNumber\" value=\"11\"></OBJECT>\n"
      "\n"
      "<LI> <OBJECT type=\"text/sitemap\">\n"
      "<param name=\"Name\" value=\"late.asp\" > \n"
      "<param name=\"Local\" value=\"site.ru/docs/late.asp\">\n"
      "<param name=\"ImageNumber\" value=\"11\"></OBJECT>\n"
      "\n"
      "</UL>\n"
      "</UL>\n"
      "\n"
      "</BODY></HTML>\n";
  std::string secondBlock =
      "<UL>\n"
      "<LI> <OBJECT type=\"text/sitemap\">\n"
      "<param name=\"Name\" value=\"b,8,,x23Fc\" > \n"
      "<param name=\"ImageNumber\" value=\"1\"></OBJECT>\n"
      "\n"
      "<UL>\n"
      "<LI> <OBJECT type=\"text/sitemap\">\n"
      "<param name=\"Name\" value=\"Only page [page]\" > \n"
      "<param name=\"Local\" value=\"b,8,,x23Fc/page\">\n"
      "<param name=\"ImageNumber\" value=\"11\"></OBJECT>\n"
      "\n"
      "</UL>\n"
      "<UL>\n"
      "<LI> <OBJECT type=\"text/sitemap\">\n"
      "<param name=\"Name\" value=\"Other\" > \n"
      "<param name=\"ImageNumber\" value=\"5\"></OBJECT>\n"
      "<UL>\n"
      "<LI> <OBJECT type=\"text/sitemap\">\n"
      "<param name=\"Name\" value=\"a.zip\" > \n"
      "<param name=\"Local\" value=\"b,8,,x23Fc/a.zip\">\n"
      "<param name=\"ImageNumber\" value=\"31\"></OBJECT>\n"
      "<LI> <OBJECT type=\"text/sitemap\">\n" +
      Ru("<param name=\"Name\" value=\"стиль.css\" > \n") +
      "<param name=\"Local\" value=\"b,8,,x23Fc/s.css\">\n"
      "<param name=\"ImageNumber\" value=\"31\"></OBJECT>\n"
      "</UL>\n"
      "</UL>\n"
      "</UL>\n"
      "\n"
      "</BODY></HTML>\n";
  EXPECT_EQ(FileBytes(root / "collection.hhc"), Crlf(header + firstBlock + secondBlock));

  // Written fresh each time: a second run for one site leaves nothing of the first.
  ASSERT_TRUE(WriteHelpProject(root.path(), target, {first}));
  EXPECT_EQ(FileBytes(root / "collection.hhc"), Crlf(header + firstBlock));
}

TEST(HelpProject, TargetNameWithOrWithoutExtensionGivesOneCompiledFile) {
  const std::string line = "Compiled file =/home/u/out/my.help.chm\r\n";
  for (const char* chosen : {"/home/u/out/my.help", "/home/u/out/my.help.chm", "/home/u/out/my.help.ChM"}) {
    ChmTarget t = ChmTargetOf(chosen);
    EXPECT_EQ(t.folder, "/home/u/out/") << chosen;
    EXPECT_EQ(t.baseName, "my.help") << chosen;
    EXPECT_NE(ProjectHead(t).find(line), std::string::npos) << chosen;
  }
}

TEST(HelpProject, TitleNeedsBothTagsInOrder) {
  EXPECT_EQ(TitleOf("<title>A</title>"), "A");
  EXPECT_EQ(TitleOf("</title><TITLE>B</TITLE>"), "B");
  EXPECT_EQ(TitleOf("<title>unclosed"), "");
  EXPECT_EQ(TitleOf("no tags </title>"), "");
}

// The contents file is Windows-1251 whatever charset each page came in.
TEST(HelpProject, TitlesAndNamesAreWrittenInWindows1251) {
  TempFolder root;
  std::filesystem::create_directories(root / "site.ru");
  const std::string site = root.path() + "site.ru/";
  PutFileBytes(site + "utf8.html", "<title>Глава 中</title>");  // detected: valid UTF-8
  PutFileBytes(site + "cp.html", Ru("<title>Глава</title>"));   // detected: not UTF-8
  PutFileBytes(site + "koi.html", "<meta charset=koi8-r><title>\xE7\xCC\xC1\xD7\xC1</title>");
  PutFileBytes(site + "bom.html", "\xEF\xBB\xBF<title>Глава</title>");
  PutFileBytes(site + "страница.html", "<p>без заголовка</p>");
  SiteFiles files{"site.ru",
                  {{site + "utf8.html", "utf8.html", 7},
                   {site + "cp.html", "cp.html", 7},
                   {site + "koi.html", "koi.html", 7},
                   {site + "bom.html", "bom.html", 7},
                   {site + "страница.html", "страница.html", 7}}};
  std::string contents = SiteBlockOf(root.path(), files).contents;
  auto named = [](const std::string& name) { return "<param name=\"Name\" value=\"" + name + "\" > \r\n"; };
  for (const char* page : {"cp.html", "koi.html", "bom.html"}) {
    EXPECT_NE(contents.find(named(Ru("Глава [") + page + "]")), std::string::npos) << page;
  }
  EXPECT_NE(contents.find(named(Ru("Глава &#20013; [utf8.html]"))), std::string::npos) << contents;
  EXPECT_NE(contents.find(named(Ru("страница.html"))), std::string::npos);
  // The file itself keeps its on-disk name.
  EXPECT_NE(contents.find("value=\"site.ru/страница.html\""), std::string::npos);
}

TEST(HelpProject, TargetProbeNeverEmptiesAnExistingFile) {
  TempFolder dir;
  PutFileBytes(dir / "old.chm", "keep me");
  EXPECT_TRUE(CanCreateFile(dir / "old.chm"));
  EXPECT_EQ(FileBytes(dir / "old.chm"), "keep me");
  EXPECT_TRUE(CanCreateFile(dir / "test.hhp"));
  EXPECT_FALSE(std::filesystem::exists(dir / "test.hhp"));
  EXPECT_FALSE(CanCreateFile(dir / "missing/test.hhp"));
}

}  // namespace
}  // namespace orv::collection
