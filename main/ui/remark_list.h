#pragma once
// The bookmark tree RemarkList: categories with their bookmarks, a popup ("Создать
// Категорию", "Создать Закладку", "Изменить", "Удалить"), names edited in place, and
// bookmarks dragged from one category to another. It shows the BookmarkModel and redraws
// whenever the model changes.
#include <QIcon>
#include <QMenu>
#include <QTreeWidget>

#include <functional>
#include <optional>
#include <string>

#include "main/collection/bookmarks.h"

namespace orv {

class RemarkList final : public QTreeWidget {
 public:
  struct Ports {
    // The file last opened in the site tree, if any since start-up.
    std::function<std::optional<BookmarkTarget>()> lastOpenedFile;
    // Open the bookmark's site (loading it when needed), select its file in the site tree
    // and show it in the current browser.
    std::function<void(const std::string& key)> openBookmark;
    std::function<QIcon(int image)> icon;
  };

  RemarkList(BookmarkModel& model, Ports ports, QWidget* parent = nullptr);
  ~RemarkList() override;

  // "Создать Категорию": the new category is selected with its name open for editing.
  void CreateCategory();
  // Bookmarks a file into the selected category (a new one when nothing is selected).
  bool CreateBookmark(const BookmarkTarget& file);
  // "Создать Закладку" of the popup: the file last opened in the site tree.
  bool CreateBookmarkOfLastFile();
  void EditSelected();
  void RemoveSelected();

  std::string SelectedKey() const;
  QTreeWidgetItem* ItemOf(const std::string& key) const;
  // The popup as it would open now (items enabled from the selection); owned by the list.
  QMenu* PreparedMenu();
  void Redraw();
  // A drop of the selected (dragged) bookmark on target: it moves into target's category.
  bool DropSelectedOn(QTreeWidgetItem* target);

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  static std::string KeyOf(const QTreeWidgetItem* item);
  void Select(const std::string& key);

  BookmarkModel& model_;
  Ports ports_;
  QMenu* menu_ = nullptr;
  QAction* createCategory_ = nullptr;
  QAction* createBookmark_ = nullptr;
  QAction* edit_ = nullptr;
  QAction* remove_ = nullptr;
  bool redrawing_ = false;
  bool renaming_ = false;
};

}  // namespace orv
