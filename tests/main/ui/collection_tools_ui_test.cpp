// The "HtmlHelp [.chm]" submenu of the site tree, used as a user uses it.
#include "main/ui/collection_tools_ui.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "tests/support/temp_folder.h"

namespace orv {
namespace {

QAction* Item(QMenu& menu, const char* name) { return menu.findChild<QAction*>(QString::fromUtf8(name)); }

void Put(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

struct ToolsMenuFixture : ::testing::Test {
  ToolsMenuFixture() {
    Put(root.Dir() + "a.ru/index.html", "<title>A</title>");
    Put(root.Dir() + "b.ru/b.html", "<title>B</title>");
    tree.BuildFirstLevel(root.Dir());
    for (collection::NodeId site : tree.Sites()) tree.QueueSiteLoad(site);
    while (tree.Step(100)) {
    }
    hooks.collectionRoot = [this] { return root.Dir(); };
    hooks.programFolder = program.Dir();
    hooks.defpath = [this] { return defpath; };
    hooks.saveDefpath = [this](const std::string& f) { defpath = f; };
    hooks.markModeChanged = [this](bool on) { markMode = on; };
    hooks.showMessage = [this](const QString& m) { messages << m; };
    hooks.askYesNo = [this](const QString& q) {
      messages << q;
      return false;
    };
    hooks.openWithDesktop = [this](const std::string& p) {
      opened.push_back(p);
      return collection::ToolsPort::OpenResult::Opened;
    };
  }
  orvtest::TempFolder root, program, out;
  collection::CollectionTree tree;
  collection::CurrentNode current;
  CollectionToolsUi::Hooks hooks;
  std::string defpath;
  bool markMode = false;
  QStringList messages;
  std::vector<std::string> opened;
};

TEST_F(ToolsMenuFixture, MarksChooseTheSitesOfTheProject) {
  hooks.askChmPath = [this](const std::string&) { return out.Dir() + "book"; };
  CollectionToolsUi tools(tree, current, nullptr, hooks);
  QMenu menu;
  tools.FillMenu(&menu);
  ASSERT_NE(Item(menu, "Создание и быстрая компиляция .chm"), nullptr);
  EXPECT_FALSE(Item(menu, "Создание и быстрая компиляция .chm")->isEnabled());  // no hhc in the program folder
  EXPECT_EQ(Item(menu, "Создание и быстрая компиляция .chm")->toolTip(), QString::fromUtf8(collection::kNoHhcReason));

  QAction* pointer = Item(menu, "Выбор указателем мыши");
  ASSERT_NE(pointer, nullptr);
  pointer->trigger();
  EXPECT_TRUE(markMode);
  QMenu again;
  tools.FillMenu(&again);
  EXPECT_TRUE(Item(again, "Выбор указателем мыши")->isChecked());

  // On the root the marked sites are written: all, then after inverting none but b.ru.
  current.set = false;
  Item(menu, "Выбрать все")->trigger();
  Item(menu, "Создать и открыть проект .hhp")->trigger();
  std::ifstream hhc(root.Dir() + "collection.hhc", std::ios::binary);
  std::string contents((std::istreambuf_iterator<char>(hhc)), std::istreambuf_iterator<char>());
  EXPECT_NE(contents.find("value=\"a.ru/index.html\""), std::string::npos);
  EXPECT_NE(contents.find("value=\"b.ru/b.html\""), std::string::npos);
  EXPECT_EQ(opened, std::vector<std::string>{root.Dir() + "collection.hhp"});
  EXPECT_EQ(defpath, out.Dir());

  Item(menu, "Снять все пометки")->trigger();
  tree.SetBold(tree.Find(root.Dir() + "a.ru/"), true);
  Item(menu, "Инвертировать пометки")->trigger();
  EXPECT_FALSE(tree.Node(tree.Find(root.Dir() + "a.ru/")).bold);
  EXPECT_TRUE(tree.Node(tree.Find(root.Dir() + "b.ru/")).bold);
}

// The whole quick compile: the program folder's hhc run in the collection folder while the
// tree is busy, then the compiled file handed to the desktop.
TEST_F(ToolsMenuFixture, QuickCompileMakesAHelpFileHoldingTheSitePages) {
  hooks.programFolder = std::string(ORV_BIN_DIR) + "/";
  hooks.askChmPath = [this](const std::string&) { return out.Dir() + "site.chm"; };
  std::vector<bool> busy;
  hooks.setBusy = [&](bool on) { busy.push_back(on); };
  CollectionToolsUi tools(tree, current, nullptr, hooks);
  current.set = true;
  current.id = tree.Find(root.Dir() + "b.ru/b.html");
  QMenu menu;
  tools.FillMenu(&menu);
  QAction* compile = Item(menu, "Создание и быстрая компиляция .chm");
  ASSERT_TRUE(compile->isEnabled());
  compile->trigger();
  EXPECT_EQ(opened, std::vector<std::string>{out.Dir() + "site.chm"});
  EXPECT_EQ(busy, (std::vector<bool>{true, false, true, false}));  // writing, then compiling
  std::string listing;
  if (FILE* p = ::popen(("chmls list '" + out.Dir() + "site.chm' 2>&1").c_str(), "r")) {
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) listing.append(buf, n);
    ::pclose(p);
  }
  EXPECT_NE(listing.find("/b.ru/b.html"), std::string::npos) << listing;
  EXPECT_EQ(listing.find("/a.ru/index.html"), std::string::npos) << listing;  // only the current site
}

TEST_F(ToolsMenuFixture, ConversionToTheRootIsRefused) {
  hooks.chooseFolder = [](collection::FolderChoiceMode mode, const std::string& start) -> std::optional<std::string> {
    EXPECT_EQ(mode, collection::FolderChoiceMode::ConversionTarget);
    return start;
  };
  CollectionToolsUi tools(tree, current, nullptr, hooks);
  QMenu menu;
  tools.FillMenu(&menu);
  Item(menu, "Преобразовать коллекцию")->trigger();
  EXPECT_EQ(messages, QStringList{QString::fromUtf8("Выберите другую папку")});
}

}  // namespace
}  // namespace orv
