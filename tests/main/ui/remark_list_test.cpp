// The bookmark tree driven as a user drives it: the popup, editing a new category's name,
// a click on a bookmark, and a bookmark dragged onto another category.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>

#include <QTest>

#include "common/text.h"
#include "main/ui/remark_list.h"
#include "tests/support/temp_folder.h"

namespace orv {
namespace {

struct RemarkFixture : ::testing::Test {
  RemarkFixture() {
    model.Load(folder.Dir());
    RemarkList::Ports ports;
    ports.lastOpenedFile = [this] { return lastFile; };
    ports.openBookmark = [this](const std::string& key) { opened.push_back(key); };
    list = std::make_unique<RemarkList>(model, ports);
    list->show();
    QApplication::setActiveWindow(list.get());
  }
  BookmarkTarget File(const std::string& name) { return {folder.Dir() + "s.ru/" + name, name, 7, 7}; }
  QAction* MenuItem(const char* caption) {
    for (QAction* a : list->PreparedMenu()->actions()) {
      if (a->text() == QString::fromUtf8(caption)) return a;
    }
    return nullptr;
  }
  void Click(QTreeWidgetItem* item) {
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
  }

  orvtest::TempFolder folder;
  BookmarkModel model;
  std::unique_ptr<RemarkList> list;
  std::optional<BookmarkTarget> lastFile;
  std::vector<std::string> opened;
};

TEST_F(RemarkFixture, FirstBookmarkOpensItsNewCategoryForNaming) {
  ASSERT_NE(MenuItem("Создать Закладку"), nullptr);
  EXPECT_FALSE(MenuItem("Создать Закладку")->isEnabled());  // no file opened yet
  EXPECT_FALSE(MenuItem("Удалить")->isEnabled());
  lastFile = File("a.html");
  ASSERT_TRUE(MenuItem("Создать Закладку")->isEnabled());
  MenuItem("Создать Закладку")->trigger();

  ASSERT_EQ(model.Categories().size(), 1u);
  EXPECT_EQ(model.Categories()[0].node.key, "category_0");
  EXPECT_EQ(list->SelectedKey(), folder.Dir() + "s.ru/a.html");
  auto* editor = list->findChild<QLineEdit*>();
  ASSERT_NE(editor, nullptr);  // the category's name is open for editing
  editor->setText(QString::fromUtf8("Статьи"));  // typed (QTest types ASCII only)
  QTest::keyClick(editor, Qt::Key_Return);
  QApplication::processEvents();  // the editor hands its text over through the event loop
  EXPECT_EQ(model.Categories()[0].node.text, Ru("Статьи"));
  EXPECT_EQ(list->topLevelItem(0)->text(0), QString::fromUtf8("Статьи"));

  // A click on the bookmark opens it; the list keeps the focus.
  Click(list->ItemOf(folder.Dir() + "s.ru/a.html"));
  EXPECT_EQ(opened, std::vector<std::string>{folder.Dir() + "s.ru/a.html"});
  EXPECT_TRUE(list->hasFocus());
  // A click on a category only selects it.
  Click(list->topLevelItem(0));
  EXPECT_EQ(opened.size(), 1u);
}

TEST_F(RemarkFixture, DroppedBookmarkMovesToTheTargetsCategory) {
  model.AddBookmark(File("a.html"), "");
  std::string second = model.AddCategory();
  model.AddBookmark(File("b.html"), second);
  list->Redraw();

  // A drag starts from the selected bookmark; synthetic drag events carry no drag source,
  // so the drop is handed to the list as its drop event does.
  list->setCurrentItem(list->ItemOf(folder.Dir() + "s.ru/a.html"));
  EXPECT_FALSE(list->DropSelectedOn(list->ItemOf(folder.Dir() + "s.ru/a.html")));
  ASSERT_TRUE(list->DropSelectedOn(list->ItemOf(folder.Dir() + "s.ru/b.html")));
  EXPECT_EQ(list->SelectedKey(), folder.Dir() + "s.ru/a.html");

  ASSERT_EQ(model.Categories().size(), 2u);
  EXPECT_TRUE(model.Categories()[0].bookmarks.empty());
  ASSERT_EQ(model.Categories()[1].bookmarks.size(), 2u);
  EXPECT_EQ(list->topLevelItem(1)->childCount(), 2);
  EXPECT_EQ(list->topLevelItem(0)->childCount(), 0);

  // "Удалить" on a category removes it with its bookmarks.
  list->setCurrentItem(list->topLevelItem(1));
  MenuItem("Удалить")->trigger();
  EXPECT_EQ(model.Categories().size(), 1u);
  EXPECT_FALSE(model.Contains(folder.Dir() + "s.ru/b.html"));
  EXPECT_EQ(list->topLevelItemCount(), 1);
}

}  // namespace
}  // namespace orv
