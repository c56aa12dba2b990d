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
  std::vector<std::string> log;
  int busyDepth = 0, events = 0;

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

TEST(CollectionTools, QuickCompileRunsTheProgramFolderCompilerBusyThenOpensTheHelpFile) {
  TempFolder root, program;
  FakePort port;
  port.chmPath = root / "help.chm";
  CollectionTools tools(port);
  EXPECT_FALSE(tools.QuickCompile(root.path(), "", program.path(), {}));  // no hhc: not offered
  EXPECT_TRUE(port.log.empty());
  PutFileBytes(program / "hhc", "#!/bin/sh\n");
  EXPECT_EQ(tools.QuickCompile(root.path(), "", program.path(), {}), 0);
  ASSERT_GE(port.log.size(), 2u);
  EXPECT_EQ(port.log[port.log.size() - 2],
            "run " + program.path() + "hhc " + root.path() + "collection.hhp in " + root.path() + " (busy)");
  EXPECT_EQ(port.log.back(), "open " + root.path() + "help.chm");
}

TEST(CollectionTools, ConversionRefusesTheRootAndAsksToOpenTheCopy) {
  TempFolder root, target;
  std::filesystem::create_directories(root / "s");
  PutFileBytes(root / "s/a,8,,x23Fb", "x");
  PutFileBytes(root / "s/ab", "y");
  FakePort port;
  CollectionTools tools(port);
  port.folder = root.path().substr(0, root.path().size() - 1);  // the root without its "/"
  tools.ConvertCollection(root.path(), {root / "s/a,8,,x23Fb"});
  EXPECT_EQ(port.log, (std::vector<std::string>{"chooser: conversion",
                                                 std::string("message: ") + kChooseAnotherFolderMessage}));

  for (bool open : {false, true}) {
    port.log.clear();
    port.folder = target.path();
    port.yes = open;
    tools.ConvertCollection(root.path(), {root / "s/a,8,,x23Fb", root / "s/ab"});
    std::vector<std::string> expected{"chooser: conversion",
                                      "status: Совпавшие после преобразования имена: 1 файл(ов) сохранено под "
                                      "номером, первый: s/ab(2)",
                                      std::string("question: ") + kConversionDoneQuestion};
    if (open) expected.push_back("root " + target.path());
    expected.push_back("rebuild");
    EXPECT_EQ(port.log, expected);
    EXPECT_EQ(FileBytes(target / "s/ab"), "x");
    EXPECT_EQ(FileBytes(target / "s/ab(2)"), "y");
  }
  EXPECT_EQ(port.events, 4);
  EXPECT_FALSE(tools.Busy());
}

}  // namespace
}  // namespace orv::collection
