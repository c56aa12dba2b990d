#pragma once
// The collection page in the main window: the site tree pane and the browser pane installed
// into their frames, wired to the window (address box, caption, status line, folder chooser,
// keyboard commands) and to the program (lists, run control's channel list).

#include <functional>
#include <memory>
#include <string>

#include "main/collection/collection_tree.h"
#include "main/collection/tree_commands.h"
#include "main/ui/collection_ports.h"

namespace orv {

class OrvApp;
class OrvMainWindow;
class CollectionTreePane;
class BrowserPane;
class CollectionToolsUi;

// Declared before the window, so the tree outlives the panes that observe it.
struct CollectionPage {
  collection::CollectionTree tree;
  collection::CurrentNode current;
  CollectionTreePane* treePane = nullptr;  // owned by the window
  BrowserPane* browser = nullptr;          // owned by the window
  std::unique_ptr<CollectionToolsUi> tools;  // the "HtmlHelp [.chm]" submenu

  CollectionPage();
  ~CollectionPage();

  // What the search and bookmark side asks of the page; an unset one is reported (main/base/unwired.h).
  // Set before Install.
  std::function<void()> createBookmark;   // the tree's "Создать Закладку" (the current file)
  std::function<void()> interruptSearch;  // the browser's "Refresh"
  std::function<void(const std::string& localPath)> pageBookmark;  // the page popup's "Закладка"
  std::function<void(const std::string& root)> built;  // after every build of the first level
  std::function<void()> scriptChanged;    // an address was added to the current script's file
  std::function<bool()> webSearchOn;      // saved pages are filed under the search engine's folder

  // Builds both panes, installs them, registers the tree's keyboard commands, lets the channel
  // list file every new address into the tree and builds the first level. After start-up.
  void Install(OrvMainWindow& window, OrvApp& app);
  // The collection folder changed (or was chosen again): the tree is built from it.
  void Rebuild(const std::string& root);
  // "Войти на сайт…" (the tree's menu, the address box's menu): the browser comes forward and
  // opens the address on the live site; the login's cookies go to the current script's jar.
  void LogIn(OrvMainWindow& window, OrvApp& app, const std::string& address);
};

// The browser toolbar's layout buttons ("FullScreen", "Onleft") act on the window's panes.
void WireWindowLayout(CollectionPorts& ports, OrvMainWindow& window);

// Qt WebEngine wants shared GL contexts before the application object exists and, as root,
// its sandbox switched off.
void PrepareEmbeddedBrowser();

}  // namespace orv
