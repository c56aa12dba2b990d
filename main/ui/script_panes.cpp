#include "main/ui/script_panes.h"

#include "common/local_path.h"
#include "common/text.h"
#include "main/run/classification.h"
#include "main/ui/main_window.h"
#include "main/app/orv_app.h"
#include "main/ui/script_panel.h"

namespace orv {

ScriptPanes::ScriptPanes(OrvMainWindow& window, OrvApp& app)
    : prompts_(&window), sets_([&app] { return app.Program().CollectionFolder(); }, prompts_) {
  ProgramModel& program = app.Program();
  ScriptPanelPorts ports;
  ports.runActive = [&app] { return app.Run().State().running; };
  ports.storeSlot = [&program](int slot) { program.ChooseScriptSlot(slot); };
  ports.setAddress = [&window](const std::string& address) { window.SetAddressText(address); };
  ports.showInCollection = [this, &program](const std::string& address) {
    if (!viewer_) return;
    std::string path = FoundLocalPath(address, program.CollectionFolder());
    if (!path.empty() && path.back() == '/') path += "index.html";
    viewer_(path);
  };
  ports.showListsPage = [&window] { window.PressToolbarButton("lists"); };
  ports.toggleScriptSets = [&window] { window.ToggleScriptSets(); };
  // Panel 5, the status line the collection page speaks in too.
  ports.tell = [&app](const std::string& text) { app.Status().Show(5, Utf8ToCp1251(text)); };
  ports.setBusy = [&window](bool busy) { window.SetBusyLabel(BusyLabel::ScriptTree, busy); };
  ports.busyFinished = [&window](std::function<void()> hide) { window.BusyWorkFinished(std::move(hide)); };
  list_ = new ScriptPanel(
      program.Scripts(), app.Lists(),
      [&program](std::string_view address) { return CategoryOf(address, CategoryRules::From(program.Parameters())); },
      std::move(ports));
  window.InstallPane(Pane::ScriptList, list_);

  ScriptSetsPorts setPorts;
  setPorts.clearAddressTree = [this] { list_->ClearTree(); };
  setsPanel_ = new ScriptSetsPanel(sets_, std::move(setPorts));
  window.InstallPane(Pane::ScriptSets, setsPanel_);
}

void ScriptPanes::SelectSlot(int slot) { list_->SelectSlotButton(slot); }

void ScriptPanes::CollectionFolderChanged() {
  list_->ClearTree();
  setsPanel_->Refresh();
}

}  // namespace orv
