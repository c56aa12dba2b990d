#include "main/app/pane_layout.h"

namespace orv {

namespace {
const char* const kPageKeys[] = {"options", "kateg", "net", "lists"};
}

int PaneLayout::PageOfKey(const std::string& key) {
  for (int i = 0; i < 4; ++i)
    if (key == kPageKeys[i]) return i + 1;
  return 0;
}

std::string PaneLayout::KeyOfPage(int page) { return page >= 1 && page <= 4 ? kPageKeys[page - 1] : kPageKeys[0]; }

void PaneLayout::PressPage(int page) {
  if (page < 1 || page > 4) return;
  s_.page = page;
  s_.optionPages = true;
  Settle();
}

void PaneLayout::PressScripts(bool pressed) {
  if (!pressed) {
    s_.scriptsPressed = s_.scriptList = s_.scriptSets = false;
  } else if (toolBusy_) {
    s_.scriptsPressed = false;
  } else {
    s_.scriptsPressed = true;
    s_.scriptList = !s_.browser;
  }
  Settle();
}

void PaneLayout::PressBrows(bool pressed) {
  s_.browsPressed = pressed;
  s_.browser = pressed;
  if (pressed) {
    s_.scriptList = false;
    s_.optionPages = false;
  } else {
    s_.optionPages = true;
    if (s_.scriptsPressed) {
      if (toolBusy_) s_.scriptsPressed = false;
      s_.scriptList = s_.scriptsPressed;
    }
  }
  Settle();
}

void PaneLayout::ToggleSets() {
  if (s_.scriptSets) {
    CloseSets();
    return;
  }
  // The sets open under the script list, which the browser and a busy tool keep closed.
  if (toolBusy_ || s_.browser) return;
  s_.scriptsPressed = s_.scriptList = s_.scriptSets = true;
  Settle();
}

void PaneLayout::CloseSets() {
  s_.scriptSets = false;
  Settle();
}

void PaneLayout::FullScreen(bool on) {
  s_.collectionColumn = !on;
  Settle();
}

void PaneLayout::Onleft(bool on) {
  s_.optionPages = !on;
  Settle();
}

void PaneLayout::HideScriptPanels() {
  s_.scriptsPressed = s_.scriptList = s_.scriptSets = false;
  Settle();
}

void PaneLayout::Settle() {
  // The sets live under the script list; the browser takes their place and the lower area's.
  if (s_.browser || !s_.scriptList) s_.scriptSets = false;
  s_.lowerArea = !s_.browser;
}

}  // namespace orv
