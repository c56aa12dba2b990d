#pragma once
// The saved script sets beside the script list: the set name field, the save and load buttons
// and the set list (name, date, number of scripts, size) with its context menu, label editing
// for renaming, sorting by a header click and import by dropping a folder onto the list.

#include <QWidget>

#include <functional>
#include <string>

#include "main/scripts/script_sets.h"

class QAction;
class QLineEdit;
class QMenu;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace orv {

// Yes/No questions and messages as message boxes titled "Orvanta       ".
class MessageBoxPrompts : public ScriptSetPrompts {
 public:
  explicit MessageBoxPrompts(QWidget* parent = nullptr) : parent_(parent) {}
  bool AskYesNo(const std::string& text) override;
  void ShowMessage(const std::string& text) override;

 private:
  QWidget* parent_;
};

struct ScriptSetsPorts {
  // Empties the address tree (after a save or a load).
  std::function<void()> clearAddressTree;
  // Asks for a folder with this caption; an empty path when none was chosen. A folder
  // chooser when empty.
  std::function<std::string(const std::string& caption)> chooseFolder;
};

class ScriptSetsPanel : public QWidget {
 public:
  ScriptSetsPanel(ScriptSets& sets, ScriptSetsPorts ports, QWidget* parent = nullptr);

  // FillScriptsW and shows the rows.
  void Refresh();
  void SaveBlock();
  void LoadSet();
  void DeleteSet();
  void StartRename();
  void SortBy(int column);
  void ExportSet();
  void ImportSet();
  void ImportFolder(const std::string& folder);

  QLineEdit* NameField() const { return name_; }
  QPushButton* SaveButton() const { return save_; }
  QPushButton* LoadButton() const { return load_; }
  QTreeWidget* List() const { return list_; }
  QMenu* ContextMenu() const { return menu_; }
  // Enables the menu entries as a right click does before opening it.
  void PrepareMenu();

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ShowRows();
  void SyncSelection();
  std::string ChooseFolder(const std::string& caption);
  void EditFinished(QTreeWidgetItem* item);

  ScriptSets& sets_;
  ScriptSetsPorts ports_;
  QLineEdit* name_ = nullptr;
  QPushButton* save_ = nullptr;
  QPushButton* load_ = nullptr;
  QTreeWidget* list_ = nullptr;
  QMenu* menu_ = nullptr;
  QAction* loadAction_ = nullptr;
  QAction* deleteAction_ = nullptr;
  QMenu* sortMenu_ = nullptr;
  QAction* exportAction_ = nullptr;
  QAction* importAction_ = nullptr;
  QAction* renameAction_ = nullptr;
  bool filling_ = false;
};

}  // namespace orv
