#include "main/collection/collection_tools.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/common/temp_folder.h"

namespace orv::collection {
namespace {

using orv::testing::FileBytes;
using orv::testing::PutFileBytes;
using orv::testing::TempFolder;

// Records what the tools show; answers as the test tells it.
struct FakePort final : ToolsPort {
  std::optional<std::string> chmPath, folder;
  bool yes = false;
  OpenResult openResult = OpenResult::Opened;
  int exitCode = 0;
  bool compiles = false;  // the compiler run writes the help file named by chmPath
  std::vector<std::string> log;
  int busyDepth = 0, events = 0, compiled = 0;

  std::optional<std::string> AskChmPath(const std::string& start) override {
    log.push_back("save dialog in " + start);
    return chmPath;
  }
  std::optional<std::string> ChooseFolder(FolderChoiceMode mode) override {
    log.push_back(mode == FolderChoiceMode::ConversionTarget ? "chooser: conversion" : "chooser: root");
    return folder;
  }
  void ShowMessage(const std::string& text) override { log.push_back("message: " + text); }
  bool AskYesNo(const std::string& text) override {
    log.push_back("question: " + text);
    return yes;
  }
  void ShowStatus(const std::string& text) override { log.push_back("status: " + text); }
  void SetBusy(bool on) override { busyDepth += on ? 1 : -1; }
  void SetWaitCursor(bool) override {}
  void ProcessEvents() override { ++events; }
  OpenResult OpenWithDesktop(const std::string& path) override {
    log.push_back("open " + path);
    return openResult;
  }
  void OpenWebPage(const std::string& address) override { log.push_back("web " + address); }
  int RunAndWait(const std::string& program, const std::string& argument, const std::string& folder) override {
    log.push_back("run " + program + " " + argument + " in " + folder + (busyDepth > 0 ? " (busy)" : ""));
    if (compiles && chmPath) PutFileBytes(*chmPath, "ITSF" + std::to_string(++compiled));
    return exitCode;
  }
  void SaveDefaultProjectFolder(const std::string& f) override { log.push_back("defpath " + f); }
  void UseCollectionRoot(const std::string& root) override { log.push_back("root " + root); }
  void RebuildFirstLevel() override { log.push_back("rebuild"); }
};

TEST(CollectionTools, ProjectWithoutADesktopProgramOffersTheCompilerDownload) {
  TempFolder root, out;
  std::filesystem::create_directories(root / "s");
  PutFileBytes(root / "s/index.html", "<title>T</title>");
  FakePort port;
  port.chmPath = out / "book";
  port.openResult = ToolsPort::OpenResult::NoProgram;
  port.yes = true;
  CollectionTools tools(port);
  // A start folder that no longer exists falls back to the collection root.
  tools.MakeAndOpenProject(root.path(), "/no/such/folder/", {{"s", {{root / "s/index.html", "index.html", 7}}}});
  EXPECT_EQ(port.log, (std::vector<std::string>{"save dialog in " + root.path(), "defpath " + out.path(),
                                                 "open " + root.path() + "collection.hhp",
                                                 std::string("question: ") + kNoProjectProgramQuestion,
                                                 std::string("web ") + kHelpCompilerDownloadPage}));
  EXPECT_NE(FileBytes(root / "collection.hhp").find("Compiled file =" + out.path() + "book.chm\r\n"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(root / "test.hhp"));
  EXPECT_EQ(port.busyDepth, 0);
}

TEST(CollectionTools, TargetChecksStopWithTheirMessages) {
  TempFolder root;
  FakePort port;
  port.chmPath = root / "missing-folder/book.chm";
  CollectionTools tools(port);
  EXPECT_FALSE(tools.ChooseTarget(root.path(), root.path()));
  EXPECT_EQ(port.log.back(), std::string("message: ") + kTargetNotWritableMessage);
  port.log.clear();
  EXPECT_FALSE(tools.ChooseTarget(root / "gone/", root.path()));
  EXPECT_EQ(port.log, std::vector<std::string>{std::string("message: ") + kRootNotWritableMessage});
}

// Quick compile is offered only with both programs there, and opens only a help file the
// compiler has just written.
TEST(CollectionTools, QuickCompileOpensOnlyTheFileItJustCompiled) {
  TempFolder root, program, bin;
  FakePort port;
  port.chmPath = root / "help.chm";
  CollectionTools noChmcmd(port, bin.path());
  EXPECT_EQ(noChmcmd.QuickCompileUnavailable(program.path()), kNoHhcReason);
  PutFileBytes(program / "hhc", "#!/bin/sh\n");
  EXPECT_EQ(noChmcmd.QuickCompileUnavailable(program.path()), kNoChmcmdReason);
  EXPECT_FALSE(noChmcmd.QuickCompile(root.path(), "", program.path(), {}));  // not offered
  EXPECT_TRUE(port.log.empty());

  PutFileBytes(bin / "chmcmd", "");
  std::filesystem::permissions(bin / "chmcmd", std::filesystem::perms::owner_exec, std::filesystem::perm_options::add);
  CollectionTools tools(port, "/no/such/folder::" + bin.path());
  EXPECT_EQ(tools.QuickCompileUnavailable(program.path()), "");
  const std::string run = "run " + program.path() + "hhc " + root.path() + "collection.hhp in " + root.path() + " (busy)";
  const std::string failed = std::string(kCompileFailedMessage) + root.path() + "help.chm (hhc: ";

  port.compiles = true;
  EXPECT_EQ(tools.QuickCompile(root.path(), "", program.path(), {}), 0);
  ASSERT_GE(port.log.size(), 2u);
  EXPECT_EQ(port.log[port.log.size() - 2], run);
  EXPECT_EQ(port.log.back(), "open " + root.path() + "help.chm");

  // The compiler fails, or ends well without writing: the old file is not shown as the result.
  for (int code : {127, 0}) {
    port.log.clear();
    port.compiles = false;
    port.exitCode = code;
    EXPECT_EQ(tools.QuickCompile(root.path(), "", program.path(), {}), code);
    std::string failure = failed + std::to_string(code) + ")";
    ASSERT_GE(port.log.size(), 3u);
    EXPECT_EQ((std::vector<std::string>(port.log.end() - 3, port.log.end())),
              (std::vector<std::string>{run, "status: " + failure, "message: " + failure}));
  }
}

// The conversion never writes into the collection and never touches a file it did not write.
TEST(CollectionTools, ConversionGoesOnlyIntoAnEmptyOrNewFolderOutsideTheCollection) {
  TempFolder root, target;
  std::filesystem::create_directories(root / "s");
  PutFileBytes(root / "s/a,8,,x23Fb", "x");
  PutFileBytes(root / "s/ab", "y");
  FakePort port;
  CollectionTools tools(port);
  const std::vector<std::string> files{root / "s/a,8,,x23Fb", root / "s/ab"};
  for (const std::string& inside : {root.path().substr(0, root.path().size() - 1), root / "s/../s"}) {
    port.log.clear();
    port.folder = inside;
    tools.ConvertCollection(root.path(), files);
    std::string refusal = inside == root / "s/../s" ? kInsideCollectionMessage : kChooseAnotherFolderMessage;
    EXPECT_EQ(port.log, (std::vector<std::string>{"chooser: conversion", "message: " + refusal}));
  }
  auto entries = std::filesystem::directory_iterator(root / "s/");
  EXPECT_EQ(std::distance(std::filesystem::begin(entries), std::filesystem::end(entries)), 2);  // nothing written

  // Empty: the copy goes there. Then it holds files: each further copy goes into a new folder.
  const std::string renamed = "Совпавшие после преобразования имена: 1 файл(ов) сохранено под номером, первый: s/ab(2)";
  const std::vector<std::string> into{target.path(), target / "converted-collection/",
                                      target / "converted-collection-2/"};
  for (std::size_t run = 0; run < into.size(); ++run) {
    port.log.clear();
    port.folder = target.path();
    port.yes = run == 1;
    tools.ConvertCollection(root.path(), files);
    std::string status = run == 0 ? renamed : kNewFolderStatus + into[run] + "; " + renamed;
    std::vector<std::string> expected{"chooser: conversion", "status: " + status,
                                      std::string("question: ") + kConversionDoneQuestion};
    if (run == 1) expected.push_back("root " + into[run]);
    expected.push_back("rebuild");
    EXPECT_EQ(port.log, expected);
    EXPECT_EQ(FileBytes(into[run] + "s/ab"), "x");
    EXPECT_EQ(FileBytes(into[run] + "s/ab(2)"), "y");
  }
  EXPECT_EQ(FileBytes(target / "s/ab"), "x");  // the first copy is untouched by the others
  EXPECT_FALSE(std::filesystem::exists(target / "s/ab(3)"));
  EXPECT_EQ(port.events, 6);
  EXPECT_FALSE(tools.Busy());
}

}  // namespace
}  // namespace orv::collection
