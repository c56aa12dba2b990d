#pragma once
// Which panes of the main window are shown, decided without a window: the toolbar's page
// buttons and its "Сценарии" and "Браузер" toggles, the sets button of the script list, the
// browser's own "FullScreen" and "Onleft", and run control hiding the script panels. Each
// operation is named after the button that calls it; the window applies Shown() after every
// one and decides nothing from its widgets.
#include <string>

namespace orv {

// What the window shows.
struct PaneShown {
  int page = 1;                  // option page in front: 1 "Настройки" .. 4 "Списки"
  bool optionPages = true;       // the option pages beside the script list or the browser
  bool scriptsPressed = false;   // "Сценарии"
  bool browsPressed = false;     // "Браузер"
  bool scriptList = false;
  bool scriptSets = false;
  bool browser = false;
  bool collectionColumn = true;  // tab strip with tree, search and bookmarks
  bool lowerArea = true;         // channel list and information frame
  bool operator==(const PaneShown&) const = default;
};

class PaneLayout {
 public:
  // Option page number of a page button's key ("options", "kateg", "net", "lists"); 0 for any
  // other key.
  static int PageOfKey(const std::string& key);
  static std::string KeyOfPage(int page);

  // A page button: that page comes to the front, beside the browser too.
  void PressPage(int page);
  // "Сценарии" pressed or released. Pressed while a tool is busy, it springs back.
  void PressScripts(bool pressed);
  // "Браузер" pressed or released. Pressed, browsing takes the main area: the script list,
  // the sets and the option pages step aside until a page button brings a page back.
  void PressBrows(bool pressed);
  // The script list's "Наборы сценариев": shows or hides the sets panel under the script list
  // (showing it presses "Сценарии" too). Not beside the browser, nor while a tool is busy.
  void ToggleSets();
  void CloseSets();
  // The browser's "FullScreen" (the collection column goes) and "Onleft" (the option pages go).
  void FullScreen(bool on);
  void Onleft(bool on);
  // Run control hides the script panels at a run's start.
  void HideScriptPanels();
  // A collection tool works: "Сценарии" cannot be pressed meanwhile.
  void SetToolBusy(bool busy) { toolBusy_ = busy; }
  bool ToolBusy() const { return toolBusy_; }

  const PaneShown& Shown() const { return s_; }

 private:
  void Settle();

  PaneShown s_;
  bool toolBusy_ = false;
};

}  // namespace orv
