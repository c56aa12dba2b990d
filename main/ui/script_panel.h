#pragma once
// The script list panel: the sixteen slot buttons "Сценарий № n" (SelScript), the delete-script
// button and the address tree ShowScriptList of the displayed script with its context menu.
// The tree is built step by step on a zero-interval timer, hidden under its busy text while it
// fills, so the window stays responsive.

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

#include "main/scripts/address_tree.h"

class QAction;
class QButtonGroup;
class QGridLayout;
class QLabel;
class QMenu;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QTreeWidget;
class QTreeWidgetItem;

namespace orv {

class ListsModel;
class ScriptModel;

// What the panel needs from the rest of the window. An unset member is reported as a wiring
// fault (main/base/unwired.h), except `ask` (a message box then) and `busyFinished`.
struct ScriptPanelPorts {
  // True while a run is active: choosing a slot then does not rebuild the tree.
  std::function<bool()> runActive;
  // The chosen slot is stored (configuration key n_script).
  std::function<void(int slot)> storeSlot;
  // The address field (InputUrl).
  std::function<void(const std::string& address)> setAddress;
  // Shows an address's file in the collection browser ("Показывать файлы").
  std::function<void(const std::string& address)> showInCollection;
  // Shows the lists page after an address went to a list.
  std::function<void()> showListsPage;
  // A Yes/No question (title "Orvanta       "); a message box when empty.
  std::function<bool(const std::string& text)> ask;
  // The busy label of the script tree and the tool-busy flag of the window.
  std::function<void(bool busy)> setBusy;
  // The tree is built and its busy label shows the closing words; `hide` takes them away
  // (the window's busy-label countdown calls it), unless another build has begun meanwhile.
  std::function<void(std::function<void()> hide)> busyFinished;
  // A line for the status line (UTF-8): what a command did.
  std::function<void(const std::string& text)> tell;
  // "Наборы сценариев": opens or closes the saved script sets under the list.
  std::function<void()> toggleScriptSets;
};

class ScriptPanel : public QWidget {
 public:
  ScriptPanel(ScriptModel& scripts, ListsModel& lists, AddressTreeBuilder::Categorize categorize,
              ScriptPanelPorts ports, QWidget* parent = nullptr);
  ~ScriptPanel() override;

  // Marks a slot's button chosen without the slot-change reaction (AutoSelect, start-up).
  void SelectSlotButton(int slot);
  // The user chooses a slot: stores it, loads the script for display and rebuilds the tree.
  void ChooseSlot(int slot);
  // BuildAddressTree: rebuilds the tree from the displayed script (reload command, after a
  // rewrite). onDone runs when the build has finished.
  void BuildAddressTree(std::function<void()> onDone = {});
  // Stops a build in progress (the user stops, the window closes).
  void StopBuild();
  // Empties the tree (a set was saved or loaded, the script was deleted).
  void ClearTree();
  bool Building() const { return builder_ != nullptr; }

  // The node commands, acting on the remembered node.
  void DeleteNode();
  void CopyKey();
  void ToTrackList();
  void ToExclusionList();
  void ExpandAll();
  void CollapseAll();
  void ChooseAddress();
  void DeleteScript();
  // "Забыть cookies": the current script's next run starts without the session or login its
  // cookie jar holds; the status line says what was done.
  void ForgetCookies();

  // The remembered node: its key, text and image (set by a click with either button).
  const std::string& NodeKey() const { return nodeKey_; }

  QTreeWidget* Tree() const { return tree_; }
  QLabel* BusyLabel() const { return busy_; }
  QRadioButton* SlotButton(int slot) const;
  QPushButton* DeleteScriptButton() const { return deleteScript_; }
  QPushButton* ScriptSetsButton() const { return sets_; }
  QMenu* ContextMenu() const { return menu_; }
  QAction* ShowFilesAction() const { return showFiles_; }
  QAction* ForgetCookiesAction() const { return forgetCookies_; }
  // Enables the menu entries for the remembered node, as a right click does before opening it.
  void PrepareMenu();
  // A left click on a node.
  void NodeClicked(QTreeWidgetItem* item);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void ArrangeSlotButtons(int columns);
  void Remember(QTreeWidgetItem* item);
  void BuildStep();
  void FillTreeFromBuilder();
  bool Ask(const std::string& text);
  void Tell(const std::string& text);

  ScriptModel& scripts_;
  ListsModel& lists_;
  AddressTreeBuilder::Categorize categorize_;
  ScriptPanelPorts ports_;

  QButtonGroup* slots_ = nullptr;
  QGridLayout* slotGrid_ = nullptr;
  QScrollArea* slotArea_ = nullptr;
  int slotColumns_ = 0;
  QPushButton* deleteScript_ = nullptr;
  QPushButton* sets_ = nullptr;
  QLabel* busy_ = nullptr;
  int builds_ = 0;  // builds begun, so a stale hide leaves a newer closing text alone
  QTreeWidget* tree_ = nullptr;
  QMenu* menu_ = nullptr;
  QAction* expand_ = nullptr;
  QAction* collapse_ = nullptr;
  QAction* copy_ = nullptr;
  QAction* choose_ = nullptr;
  QAction* toTrack_ = nullptr;
  QAction* toExclusions_ = nullptr;
  QAction* showFiles_ = nullptr;
  QAction* delete_ = nullptr;
  QAction* forgetCookies_ = nullptr;

  QTimer stepTimer_;
  std::unique_ptr<AddressTreeBuilder> builder_;
  std::function<void()> onBuilt_;
  std::string nodeKey_, nodeText_;
  int nodeImage_ = 0;
  bool nodeHasChildren_ = false;
};

}  // namespace orv
