#pragma once
// The collection tree pane: the site tree `TTree` over the collection model, its busy label
// while sites are read, the tree popup and the tree's keyboard commands. Opening a node shows
// it in the browser; a site opened the first time is read by a timer in steps of 100 entries.

#include <QWidget>
#include <QTimer>

#include <functional>
#include <vector>

#include "main/collection/collection_tree.h"
#include "main/collection/tree_commands.h"
#include "main/ui/collection_browser.h"
#include "main/ui/collection_ports.h"

class QLabel;
class QMenu;
class QPushButton;
class QStackedWidget;
class QTreeView;

namespace orv {

class CollectionTreeModel;

class CollectionTreePane : public QWidget {
 public:
  // tree and current outlive the pane.
  CollectionTreePane(collection::CollectionTree& tree, collection::CurrentNode& current,
                     CollectionPorts ports, QWidget* parent = nullptr);
  ~CollectionTreePane() override;

  void SetBrowser(CollectionBrowser* browser) { browser_ = browser; }
  // The help-project and conversion tools fill their submenu when the popup opens.
  void SetHtmlHelpMenu(std::function<void(QMenu*)> fill) { fillHtmlHelp_ = std::move(fill); }
  // "Активный Курсор": Enter, Space and keyboard moves open nodes while it is on.
  void SetActiveCursor(std::function<bool()> on) { activeCursor_ = std::move(on); }
  void SetMarkMode(bool on) { markMode_ = on; }
  void SetCompilerPresent(std::function<bool()> present) { compilerPresent_ = std::move(present); }
  void SetToolJobRunning(std::function<bool()> running) { ports_.toolJobRunning = std::move(running); }
  // Told after "Обновить Всю Структуру" has rebuilt the tree (bookmarks are reloaded then).
  void SetRebuilt(std::function<void()> rebuilt) { rebuilt_ = std::move(rebuilt); }

  // Builds the first level from root (start-up, another root, the folder chooser).
  void Build(const std::string& root);
  // The user's stop request (the busy panel's "Стоп", Esc, the window's stop): ends a running
  // scan or expand pass; what was read so far stays.
  void RequestStop();
  bool Busy() const;

  QTreeView* TreeView() const { return view_; }
  CollectionTreeModel& Model() { return *model_; }
  void Open(collection::NodeId id);
  // Selects and scrolls to a node without opening it.
  void Reveal(collection::NodeId id);

  // Tree commands, named after their popup items; each false when refused.
  bool RefreshNode();              // "Обновить"
  bool RebuildAll();               // "Обновить Всю Структуру"
  bool DeleteBranch();             // "Удалить"
  bool ShowProperties();           // "Свойства"
  bool CopyWebAddress();           // "Копировать" -> "Адрес URL"
  bool CopyLocalPath();            // "Полный Локальный Путь"
  bool CopyName();                 // "Только Имя "
  bool PutAddress(int where);      // 0 address bar, 1 track list, 2 exclusions
  bool RunExpansion(collection::ExpansionPass pass, bool everything);
  void CollapseOrExpandAll(bool expand);  // the browser's "Collapse" button

  // The tree's keyboard commands (Ctrl+letter) for the window's key dispatcher: each with the
  // popup's enable rule for the selected node and the command.
  struct KeyCommand {
    QChar letter;
    std::function<bool()> enabled;
    std::function<bool()> run;
  };
  std::vector<KeyCommand> KeyCommands();

  // The popup prepared for a node (the rules of the popup, with the ports' state).
  collection::TreePopup PopupFor(collection::NodeId id) const;
  QMenu* BuildPopup(collection::NodeId id);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;  // Esc while busy: the user's stop

 private:
  void StartScan();
  void ScanTick();
  void SetBusy(bool on);
  collection::NodeId Selected() const;
  std::string WebAddress(const std::string& localPath) const;

  collection::CollectionTree& tree_;
  collection::CurrentNode& current_;
  CollectionPorts ports_;
  CollectionTreeModel* model_;
  QStackedWidget* stack_;
  QTreeView* view_;
  QLabel* busyLabel_;
  QWidget* busyPanel_;
  QPushButton* stopButton_;
  QTimer scanTimer_;
  CollectionBrowser* browser_ = nullptr;
  std::function<void(QMenu*)> fillHtmlHelp_;
  std::function<bool()> compilerPresent_;
  std::function<bool()> activeCursor_;
  std::function<void()> rebuilt_;
  bool ActiveCursor() const { return activeCursor_ && activeCursor_(); }
  bool markMode_ = false;
  bool busy_ = false;
  bool stopRequested_ = false;
  collection::NodeId revealAfterScan_ = collection::kNoNode;
};

}  // namespace orv
