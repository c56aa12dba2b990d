#include "main/collection/help_compiler.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "common/text.h"
#include "main/collection/help_project.h"
#include "tests/common/temp_folder.h"

namespace orv::collection {
namespace {

using orv::testing::PutFileBytes;
using orv::testing::TempFolder;

std::string RunAndCapture(const std::string& command) {
  std::string out;
  if (std::FILE* p = ::popen(command.c_str(), "r")) {
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    ::pclose(p);
  }
  return out;
}

TEST(HelpCompiler, FullPathsBecomeRelativeAndMissingFilesAreDropped) {
  std::string project =
      "[Options]\r\nCompiled file =/c/out/x.chm\r\n\r\n[Files]\r\n"
      "/c/site/a.htm\r\n/c/site/gone.htm\r\n/elsewhere/b.htm\r\nrelative.htm\r\n";
  auto exists = [](const std::string& p) { return p != "/c/site/gone.htm"; };
  EXPECT_EQ(ProjectForChmcmd(project, "/c/", exists),
            "[Options]\r\nCompiled file =/c/out/x.chm\r\n\r\n[Files]\r\n"
            "site/a.htm\r\n../elsewhere/b.htm\r\nrelative.htm\r\n");
}

// The project the program writes, compiled by the hhc placed in the program folder.
TEST(HelpCompiler, HhcCompilesTheWrittenProjectIntoAHelpFileHoldingThePages) {
  TempFolder root;
  std::filesystem::create_directories(root / "site.ru/sub");
  PutFileBytes(root / "site.ru/index.html",
               Ru("<html><head><title>Главная</title></head><body><a href=\"sub/b.html\">b</a></body></html>"));
  PutFileBytes(root / "site.ru/sub/b.html", "<html><body>B</body></html>");
  SiteFiles site{"site.ru",
                 {{root / "site.ru/index.html", "index.html", 7}, {root / "site.ru/sub/b.html", "b.html", 7}}};
  ChmTarget target = ChmTargetOf(root / "out/help");
  std::filesystem::create_directories(root / "out");
  ASSERT_TRUE(WriteHelpProject(root.path(), target, {site}));

  std::string hhc = std::string(ORV_BIN_DIR) + "/hhc";
  std::string command = "cd '" + root.path() + "' && '" + hhc + "' '" + root.path() + "collection.hhp' >/dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0);
  ASSERT_TRUE(std::filesystem::exists(target.CompiledFile()));

  std::string listing = RunAndCapture("chmls list '" + target.CompiledFile() + "' 2>&1");
  EXPECT_NE(listing.find("/site.ru/index.html"), std::string::npos) << listing;
  EXPECT_NE(listing.find("/site.ru/sub/b.html"), std::string::npos) << listing;
  EXPECT_NE(listing.find("collection.hhc"), std::string::npos) << listing;
  // The project itself is left as written; the adapted copy is gone.
  int projects = 0;
  for (auto& e : std::filesystem::directory_iterator(root.path()))
    if (e.path().extension() == ".hhp") ++projects;
  EXPECT_EQ(projects, 1);
}

}  // namespace
}  // namespace orv::collection
