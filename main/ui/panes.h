#pragma once
// The places of the main window where a page or pane is installed, and the busy labels
// "работа..." that cover a pane while long work fills it.

namespace orv {

enum class Pane {
  OptionsPage1,    // "Настройки"
  OptionsPage2,    // "Категории"
  OptionsPage3,    // "Сеть"
  OptionsPage4,    // "Списки"
  ScriptList,      // the script list panel, shown by the "Сценарии" toggle
  ScriptSets,      // the saved script sets, beside the script list
  CollectionTree,  // first tab of the collection column
  Browser,         // the browser pane, shown by the "Браузер" toggle
  Search,          // second tab of the collection column
  Bookmarks,       // third tab of the collection column
};

enum class BusyLabel { CollectionTree, ScriptTree, BlendPanel };

}  // namespace orv
