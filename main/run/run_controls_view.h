#pragma once
// The controls run control switches during a run: toolbar buttons, the run/stop button, the
// button array, the limit rows that show figures, the connection indicator. Defaults do
// nothing, so a front end without these controls need not care.

#include <string>

namespace orv {

class RunControlsView {
 public:
  virtual ~RunControlsView() = default;
  // Toolbar buttons by key ("openfolder", "scripts", ...).
  virtual void SetToolbarButtonEnabled(const std::string& key, bool enabled) { (void)key, (void)enabled; }
  virtual void SetToolbarButtonPressed(const std::string& key, bool pressed) { (void)key, (void)pressed; }
  // The run/stop toolbar button: its key ("run"/"stop"), caption, image and tool tip.
  virtual void SetRunStopButton(const std::string& key, const std::string& caption, int image,
                                const std::string& toolTip) {
    (void)key, (void)caption, (void)image, (void)toolTip;
  }
  // The button array by index (0 stop and exit, 2 run, 3 stop, 7 delete script) and the
  // reload button Command8.
  virtual void SetArrayButtonEnabled(int index, bool enabled) { (void)index, (void)enabled; }
  virtual void SetReloadButtonEnabled(bool enabled) { (void)enabled; }
  // Rows of the limits list that show figures during a run (pc_ssilk, pc_values, pc_inline).
  virtual void SetLimitRowText(const std::string& key, const std::string& text) { (void)key, (void)text; }
  virtual void SetConnectionIndicator(bool online) { (void)online; }
  // The script list panel and the saved-sets panel are hidden, the "scripts" button released.
  virtual void HideScriptPanels() {}
  // The busy-label countdown ran out: the closing words finished work left on its busy label
  // ("работа завершена.") go.
  virtual void HideBusyLabels() {}
};

}  // namespace orv
