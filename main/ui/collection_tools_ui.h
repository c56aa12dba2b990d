#pragma once
// The site tree's compiled-help and conversion tools in the window: the "HtmlHelp [.chm]"
// submenu with its "Пометки" submenu, and the dialogs, questions and programs the tools use.
// The sequence itself is collection::CollectionTools.

#include <QString>
#include <functional>
#include <optional>
#include <string>

#include "main/collection/collection_tools.h"
#include "main/collection/collection_tree.h"
#include "main/collection/tree_commands.h"

class QMenu;
class QWidget;

namespace orv {

class CollectionToolsUi final : public collection::ToolsPort {
 public:
  struct Hooks {
    std::function<std::string()> collectionRoot;  // ends with "/"
    std::string programFolder;                     // ends with "/"
    std::function<std::string()> defpath;
    std::function<void(const std::string&)> saveDefpath;
    std::function<void(const std::string&)> useCollectionRoot;  // PFOLD, orvurl, tree
    std::function<void()> rebuildFirstLevel;
    std::function<void(bool)> setBusy;          // busy label over the tree and the tool flag
    std::function<void(const QString&)> setStatus;
    std::function<void(bool)> markModeChanged;  // the tree toggles marks on click, special pointer
    // The dialogs and the desktop; left empty, the usual Qt dialogs and xdg tools are used.
    std::function<std::optional<std::string>(const std::string& startFolder)> askChmPath;
    std::function<std::optional<std::string>(collection::FolderChoiceMode, const std::string& start)> chooseFolder;
    std::function<bool(const QString&)> askYesNo;
    std::function<void(const QString&)> showMessage;
    std::function<OpenResult(const std::string&)> openWithDesktop;
  };

  CollectionToolsUi(collection::CollectionTree& tree, collection::CurrentNode& current, QWidget* window, Hooks hooks);

  // Fills the "HtmlHelp [.chm]" submenu as the popup opens.
  void FillMenu(QMenu* help);
  bool Busy() const { return tools_.Busy(); }
  // Whether the quick compile can run, and why not (the menu item's tooltip).
  std::string QuickCompileUnavailable() const { return tools_.QuickCompileUnavailable(hooks_.programFolder); }
  bool CompilerPresent() const { return QuickCompileUnavailable().empty(); }
  bool MarkMode() const { return markMode_; }
  void SetMarkMode(bool on);

  // The menu's commands.
  void MakeAndOpenProject();
  void QuickCompile();
  void ConvertCollection();

  // ToolsPort.
  std::optional<std::string> AskChmPath(const std::string& startFolder) override;
  std::optional<std::string> ChooseFolder(collection::FolderChoiceMode mode) override;
  void ShowMessage(const std::string& text) override;
  bool AskYesNo(const std::string& text) override;
  void ShowStatus(const std::string& text) override;
  void SetBusy(bool on) override;
  void SetWaitCursor(bool on) override;
  void ProcessEvents() override;
  OpenResult OpenWithDesktop(const std::string& path) override;
  void OpenWebPage(const std::string& address) override;
  int RunAndWait(const std::string& program, const std::string& argument, const std::string& workingFolder) override;
  void SaveDefaultProjectFolder(const std::string& folder) override;
  void UseCollectionRoot(const std::string& root) override;
  void RebuildFirstLevel() override;

 private:
  collection::NodeId CurrentOrRoot() const;

  collection::CollectionTree& tree_;
  collection::CurrentNode& current_;
  QWidget* window_;
  Hooks hooks_;
  collection::CollectionTools tools_;
  bool markMode_ = false;
};

}  // namespace orv
