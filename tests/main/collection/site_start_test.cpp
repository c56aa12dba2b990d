// Where a site of the collection opens, and which program "Edit" starts for a saved page.
#include <gtest/gtest.h>

#include "main/collection/site_start.h"
#include "main/collection/text_editor.h"
#include "main/scripts/script_model.h"
#include "tests/main/scripts/scripts_test_support.h"

namespace orv::collection {
namespace {

using orv::testing::ScratchFolder;
using orv::testing::WriteBytes;

TEST(SiteStartTest, AScriptsStartPageComesBeforeTheIndexAndTheFolderIsTheLastResort) {
  ScratchFolder root;
  const std::string coll = root.Dir();
  const std::string site = coll + "example.ru/";
  WriteBytes(site + "index.htm", "<p>index</p>");
  WriteBytes(site + "docs/start.html", "<p>start</p>");
  // Slot 0 starts another site, slot 3 a page of this one.
  ASSERT_TRUE(WriteScriptFile(ScriptFileName(coll, 0), {"", "http://other.ru/"}));
  ASSERT_TRUE(WriteScriptFile(ScriptFileName(coll, 3), {"", "http://example.ru/docs/start.html", "http://example.ru/a"}));
  const std::vector<std::string> starts = ScriptStartAddresses(coll);
  ASSERT_EQ(starts, (std::vector<std::string>{"http://other.ru/", "http://example.ru/docs/start.html"}));
  EXPECT_EQ(SiteStartPage(site, coll, starts), site + "docs/start.html");

  // A start page never saved: the site's own index page.
  EXPECT_EQ(SiteStartPage(site, coll, {"http://example.ru/missing.html"}), site + "index.htm");
  WriteBytes(site + "index.html", "<p>index</p>");
  EXPECT_EQ(SiteStartPage(site, coll, {}), site + "index.html");
  EXPECT_EQ(SiteStartPage(coll + "bare.ru/", coll, starts), coll + "bare.ru/");
  EXPECT_EQ(StartPageOf("http://example.ru/", coll), site + "index.html");
}

TEST(TextEditorTest, TheUsersEditorFirstThenTheDesktopsPlainTextProgram) {
  const std::string entry =
      "[Desktop Entry]\nName=Text\nExec=gnome-text-editor --new-window %U\n[Desktop Action new]\nExec=other\n";
  const std::string exec = DesktopEntryExec(entry);
  EXPECT_EQ(exec, "gnome-text-editor --new-window %U");
  EXPECT_EQ(EditorCommand("", "", exec, "/c/a b.html"),
            (std::vector<std::string>{"gnome-text-editor", "--new-window", "/c/a b.html"}));
  EXPECT_EQ(EditorCommand("", "", "mousepad %i %c", "/c/x.html"), (std::vector<std::string>{"mousepad", "/c/x.html"}));
  EXPECT_EQ(EditorCommand("\"my edit\" -w", "vi", exec, "/c/x.html"),
            (std::vector<std::string>{"my edit", "-w", "/c/x.html"}));
  EXPECT_EQ(EditorCommand("", "vi", exec, "/c/x.html"), (std::vector<std::string>{"vi", "/c/x.html"}));
  EXPECT_EQ(EditorCommand("", "", "", "/c/x.html"), (std::vector<std::string>{"xdg-open", "/c/x.html"}));
  EXPECT_EQ(DesktopEntryExec("[Other]\nExec=no\n"), "");
}

}  // namespace
}  // namespace orv::collection
