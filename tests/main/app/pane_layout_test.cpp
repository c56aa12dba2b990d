// The window's pane rules without a window: each step is a button the user presses.
#include <gtest/gtest.h>

#include "main/app/pane_layout.h"

namespace orv {
namespace {

TEST(PaneLayoutTest, ScriptsAndBrowserTogglesShareTheSidePlace) {
  PaneLayout l;
  EXPECT_FALSE(l.Shown().scriptList);
  EXPECT_TRUE(l.Shown().optionPages);
  EXPECT_TRUE(l.Shown().lowerArea);

  l.PressScripts(true);
  EXPECT_TRUE(l.Shown().scriptsPressed);
  EXPECT_TRUE(l.Shown().scriptList);
  l.ToggleSets();
  EXPECT_TRUE(l.Shown().scriptSets);

  // Browsing takes the main area: script list, sets, option pages and the lower area go.
  l.PressBrows(true);
  EXPECT_TRUE(l.Shown().browser);
  EXPECT_FALSE(l.Shown().scriptList);
  EXPECT_FALSE(l.Shown().scriptSets);
  EXPECT_FALSE(l.Shown().optionPages);
  EXPECT_FALSE(l.Shown().lowerArea);
  EXPECT_TRUE(l.Shown().scriptsPressed);
  // A page button brings its page back beside the browser.
  l.PressPage(4);
  EXPECT_EQ(l.Shown().page, 4);
  EXPECT_TRUE(l.Shown().optionPages);
  EXPECT_TRUE(l.Shown().browser);

  // Browser off with "Сценарии" still pressed: the script list comes back, the sets do not.
  l.PressBrows(false);
  EXPECT_TRUE(l.Shown().scriptList);
  EXPECT_FALSE(l.Shown().scriptSets);
  EXPECT_TRUE(l.Shown().lowerArea);

  // "Сценарии" released: list and sets go; pressed beside the browser, it stays pressed alone.
  l.ToggleSets();
  l.PressScripts(false);
  EXPECT_FALSE(l.Shown().scriptList);
  EXPECT_FALSE(l.Shown().scriptSets);
  l.PressBrows(true);
  l.PressScripts(true);
  EXPECT_TRUE(l.Shown().scriptsPressed);
  EXPECT_FALSE(l.Shown().scriptList);
}

TEST(PaneLayoutTest, ABusyToolKeepsTheScriptListClosed) {
  PaneLayout l;
  l.PressScripts(true);
  l.PressBrows(true);
  l.SetToolBusy(true);
  l.PressBrows(false);
  EXPECT_FALSE(l.Shown().scriptsPressed);
  EXPECT_FALSE(l.Shown().scriptList);
  l.PressScripts(true);
  EXPECT_FALSE(l.Shown().scriptsPressed);
  l.ToggleSets();
  EXPECT_FALSE(l.Shown().scriptSets);
  l.SetToolBusy(false);
  l.PressScripts(true);
  EXPECT_TRUE(l.Shown().scriptList);
}

TEST(PaneLayoutTest, TheSetsButtonOpensTheSetsFromAnywhere) {
  PaneLayout l;
  // From nothing: the script list comes with the sets, "Сценарии" pressed.
  l.ToggleSets();
  EXPECT_TRUE(l.Shown().scriptsPressed);
  EXPECT_TRUE(l.Shown().scriptList);
  EXPECT_TRUE(l.Shown().scriptSets);
  l.ToggleSets();
  EXPECT_FALSE(l.Shown().scriptSets);
  EXPECT_TRUE(l.Shown().scriptList);
  // Not beside the browser.
  l.PressBrows(true);
  l.ToggleSets();
  EXPECT_FALSE(l.Shown().scriptSets);
  l.PressBrows(false);
  l.ToggleSets();
  EXPECT_TRUE(l.Shown().scriptSets);
  // A run's start hides both panels and releases "Сценарии".
  l.HideScriptPanels();
  EXPECT_FALSE(l.Shown().scriptList || l.Shown().scriptSets || l.Shown().scriptsPressed);
}

TEST(PaneLayoutTest, BrowserButtonsAndPageKeys) {
  PaneLayout l;
  l.FullScreen(true);
  EXPECT_FALSE(l.Shown().collectionColumn);
  l.FullScreen(false);
  EXPECT_TRUE(l.Shown().collectionColumn);
  l.Onleft(true);
  EXPECT_FALSE(l.Shown().optionPages);
  l.PressPage(2);
  EXPECT_TRUE(l.Shown().optionPages);
  EXPECT_EQ(l.Shown().page, 2);
  l.PressPage(PaneLayout::PageOfKey("brows"));  // not a page button: nothing changes
  EXPECT_EQ(l.Shown().page, 2);
}

}  // namespace
}  // namespace orv
