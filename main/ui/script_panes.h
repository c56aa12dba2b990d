#pragma once
// The script list panel and the script sets panel of the main window, built from the
// program's models and installed in their frames.

#include <functional>
#include <string>

#include "main/scripts/script_sets.h"
#include "main/ui/script_sets_panel.h"

namespace orv {

class OrvApp;
class OrvMainWindow;
class ScriptPanel;

class ScriptPanes {
 public:
  // Creates both panels and installs them (Pane::ScriptList, Pane::ScriptSets); the window
  // owns the widgets, this object the sets model.
  ScriptPanes(OrvMainWindow& window, OrvApp& app);

  // Marks a slot button without the slot-change reaction (start-up, AutoSelect).
  void SelectSlot(int slot);
  // The collection folder changed: the address tree is emptied.
  void CollectionFolderChanged();
  // Shows an address's local file in the collection browser ("Показывать файлы").
  void SetCollectionViewer(std::function<void(const std::string& localPath)> viewer) { viewer_ = std::move(viewer); }

  ScriptPanel& List() { return *list_; }
  ScriptSetsPanel& Sets() { return *setsPanel_; }

 private:
  MessageBoxPrompts prompts_;
  ScriptSets sets_;
  ScriptPanel* list_ = nullptr;
  ScriptSetsPanel* setsPanel_ = nullptr;
  std::function<void(const std::string&)> viewer_;
};

}  // namespace orv
