#pragma once
// The main window (Qt Widgets): the toolbar Toolbar1 with the run/stop button, the four page
// buttons, the "Сценарии" and "Браузер" toggles, "Папка" and "Справка"; the address box
// InputUrl with its history; the collection column (tab strip TabS1 over the frames GSpan:
// collection tree, search, bookmarks); the script list panel or the browser pane beside the
// four option pages; the channel list ListCons and the information frame below them; the
// five status panels. Pages and panes are built elsewhere and installed into their frames.
#include <QComboBox>
#include <QLabel>
#include <QMainWindow>
#include <QSplitter>
#include <QStackedWidget>
#include <QTabBar>
#include <QToolBar>
#include <QTreeWidget>

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "main/app/pane_layout.h"
#include "main/app/remembered_view_state.h"
#include "main/base/address_box.h"
#include "main/base/run_status.h"
#include "main/base/unwired.h"
#include "main/run/channel_table.h"
#include "main/run/run_controls_view.h"
#include "main/run/run_report.h"
#include "main/scripts/messages.h"
#include "main/ui/key_dispatcher.h"
#include "main/ui/panes.h"

class QAction;
class QActionGroup;
class QFrame;
class QHBoxLayout;
class QListWidget;
class QMenu;
class QPushButton;
class QTranslator;

namespace orv {

class OrvApp;
class ClickableLabel;

class OrvMainWindow final : public QMainWindow,
                            public RememberedViewState,
                            public MessageBoxes,
                            public StatusBarView,
                            public AddressBoxView,
                            public RunControlsView,
                            public ChannelListView {
 public:
  // What the window's own controls ask of the program. An unset member does nothing for the
  // user but is reported as a wiring fault (main/base/unwired.h), except where it says otherwise.
  struct Hooks {
    std::function<void(const std::string& key)> pageShown;       // tbbtn at once
    std::function<void()> userStop;  // the run/stop button pressed as "stop" (long work stops too)
    std::function<void(bool on)> previewChanged;                 // "Включая предпросмотр"
    std::function<void(bool on)> activeCursorChanged;            // "Активный Курсор"
    // The collection root chooser: the chosen folder, or nothing when cancelled. Unset: the
    // window's own folder chooser.
    std::function<std::optional<std::string>(const std::string& current)> chooseCollectionFolder;
    // The folder choice is carried out (PFOLD, address tree, collection tree).
    std::function<void(const std::string& folder)> collectionFolderChosen;
    std::function<std::string()> collectionFolder;
    std::function<void()> showHelp;
    // The channel list's menu: the row run control keeps for a channel (null when idle), and
    // what the menu does with it. An unset bookmark command leaves its item disabled (as an
    // unset openStartPage or logIn leaves theirs).
    std::function<const ChannelRow*(int channel)> channelRow;
    std::function<void(int channel)> closeChannel;
    std::function<void(const std::string& address)> bookmarkAddress;
    std::function<void(const std::string& address)> excludeAddress;
    std::function<void(const std::string& address)> trackAddress;
    // A script slot button is marked without the slot-change reaction (start-up, AutoSelect).
    std::function<void(int slot)> selectScriptSlot;
    // The report of the run that just ended (asked when the run is done).
    std::function<std::optional<RunReport>()> runReport;
    // The report's "Открыть сайт": the run's start page in the collection browser.
    std::function<void(const std::string& startAddress)> openStartPage;
    // "Войти на сайт…" of the address box's menu (the box's address, Windows-1251).
    std::function<void(const std::string& address)> logIn;
  };

  OrvMainWindow();
  ~OrvMainWindow() override;

  void Attach(OrvApp* app) { app_ = app; }
  void SetHooks(Hooks hooks) { hooks_ = std::move(hooks); }
  // The close sequence may close the window now.
  bool CloseForGood();

  // --- Pages and panes ---
  // Puts a pane into its frame (the frame's placeholder goes); the window owns it from now on.
  void InstallPane(Pane where, QWidget* pane);
  QWidget* InstalledPane(Pane where) const;
  // The address box's label with the web-search switch, placed before the address box.
  void InstallAddressSwitch(QWidget* control);
  void FocusAddressBox();
  // The address box's context menu (built anew each time; the caller deletes it).
  QMenu* BuildAddressMenu();
  // Whether the pane's frame is shown now (the window's toolbar rules decide).
  bool PaneVisible(Pane where) const;
  // The script-sets panel is opened by the script panel's commands and closed by the toolbar.
  void ShowScriptSets(bool visible);
  void ToggleScriptSets();
  // The collection browser's layout buttons: "FullScreen" hides the collection column (tab
  // strip, tree, search, bookmarks); "Onleft" lets the browser take the option pages' place,
  // and gives it back (as does showing an option page).
  void SetCollectionColumnHidden(bool hidden);
  void SetBrowserWide(bool wide);

  // --- Keyboard commands ---
  KeyDispatcher& Keys() { return keys_; }

  // --- Busy state ---
  void SetBusyLabel(BusyLabel which, bool visible);
  bool BusyLabelVisible(BusyLabel which) const;
  // Work behind a busy label ended and left its closing words on its pane ("работа
  // завершена."): the busy-label countdown takes them away through `hide`.
  void BusyWorkFinished(std::function<void()> hide);
  void SetToolBusy(bool busy) { layout_.SetToolBusy(busy); }
  bool ToolBusy() const { return layout_.ToolBusy(); }

  // --- Run report ---
  // Shown in place of the channel list when a run ends, until the next run starts.
  void ShowRunReport(const RunReport& report);
  QWidget* RunReportView() const { return report_; }

  // --- Toolbar ---
  // A click on the button `key`, or a call with its pressed state (toggles and page buttons).
  void PressToolbarButton(const std::string& key, bool pressed = true);
  bool ToolbarButtonPressed(const std::string& key) const;
  QAction* ToolbarAction(const std::string& key) const;
  // Key of the option page shown now ("options", "kateg", "net", "lists").
  std::string ShownPage() const;

  // MessageBoxes
  void ShowMessage(const std::string& text, MessageIcon icon) override;
  bool AskYesNo(const std::string& text) override;
  // StatusBarView
  void ShowStatusPanel(int panel, const std::string& text) override;
  void EnableStatusPanel(int panel, bool enabled) override;
  void ShowSpeedPanelToolTip(const std::string& text) override;
  void PhaseChanged(RunPhase phase) override;

  // WindowLayout (what RememberedViewState does not keep)
  void SetMaximized(bool m) override;
  bool IsMaximized() const override { return isMaximized(); }
  void SetWindowSize(int widthTwips, int heightTwips) override;
  int WindowWidth() const override;
  int WindowHeight() const override;
  void SetLowerSplitter(int twips) override;
  int LowerSplitter() const override;
  void SetTreeSplitter(int twips) override;
  int TreeSplitter() const override;
  void SetBrowserSplitter(int twips) override;
  int BrowserSplitter() const override;
  void ArrangePanes() override;
  void SetActiveCursorMenu(bool checked) override;
  bool ActiveCursorMenu() const override;
  void SetPreviewMenu(bool checked);
  bool PreviewMenu() const;
  // OptionControls
  void ShowOptionsPage(const std::string& key) override;
  // AddressBoxView
  void SetAddressText(const std::string& text) override;
  std::string AddressText() const override;
  void SetAddressHistory(const std::vector<std::string>& entries) override;
  std::vector<std::string> AddressHistory() const override;

  // RunControlsView
  void SetToolbarButtonEnabled(const std::string& key, bool enabled) override;
  void SetToolbarButtonPressed(const std::string& key, bool pressed) override;
  void SetRunStopButton(const std::string& key, const std::string& caption, int image,
                        const std::string& toolTip) override;
  void SetConnectionIndicator(bool online) override;
  void HideScriptPanels() override;
  void HideBusyLabels() override;
  // ScriptSlotButtons
  void SelectScriptSlotButton(int slot) override {
    CallPort(hooks_.selectScriptSlot, "selectScriptSlot", slot);
  }

  // ChannelListView
  void SetChannelRow(const ChannelRow& row) override;
  void RemoveChannelRow(const ChannelRow& row) override;

  // The context menu of channel `channel`'s row (nothing for an idle channel); the caller owns it.
  QMenu* ChannelMenu(int channel);

  static constexpr int kTwipsPerPixel = 15;
  // The stored size a first start reads (WI, mehey): the window then opens at a size that
  // suits the screen instead.
  static constexpr int kDefaultWidthTwips = 7500;
  static constexpr int kDefaultHeightTwips = 6300;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct PaneFrame {
    QFrame* frame = nullptr;
    QWidget* content = nullptr;  // the placeholder, then the installed pane
    QLabel* busy = nullptr;      // "работа..." over the content, when this frame has one
  };
  PaneFrame MakeFrame(QWidget* parent, const char* name, const char* placeholder);
  PaneFrame& Frame(Pane where) { return frames_[static_cast<int>(where)]; }
  const PaneFrame& Frame(Pane where) const { return frames_[static_cast<int>(where)]; }
  QLabel* BusyLabelOf(BusyLabel which) const;
  void BuildToolbar();
  void BuildMenu();
  void OnToolbarButton(const std::string& key, bool pressed);
  void OpenFolder();
  // Shows what the layout model says; the only place that hides or shows a pane.
  void ApplyLayout();
  void PlaceCollectionColumn(bool shown);
  void BuildRunReport(QWidget* parent);
  void ApplySplitters();
  void ResizeNormal(int widthTwips, int heightTwips);
  QSize NormalSize() const;
  bool DispatchKey(QObject* watched, QEvent* event);
  QTreeWidgetItem* RowItem(int channel) const;
  void OnRunStop();
  void ShowConnectionMenu();

  OrvApp* app_ = nullptr;
  Hooks hooks_;
  KeyDispatcher keys_;
  QToolBar* toolbar_ = nullptr;
  std::map<std::string, QAction*> actions_;
  QActionGroup* pageButtons_ = nullptr;
  QAction* runStop_ = nullptr;
  std::string runStopKey_ = "run";
  QAction* activeCursor_ = nullptr;
  QAction* preview_ = nullptr;
  QComboBox* InputUrl = nullptr;
  QHBoxLayout* addressRow_ = nullptr;
  QSplitter* treeSplit_ = nullptr;     // TRSPV: collection column | the rest
  QSplitter* lowerSplit_ = nullptr;    // wespl: pages above, channel list below
  QSplitter* browserSplit_ = nullptr;  // BRSPH: script list or browser | option pages
  QTabBar* TabS1 = nullptr;
  QStackedWidget* GSpan = nullptr;
  QStackedWidget* optionPages_ = nullptr;
  QWidget* collectionColumn_ = nullptr;
  QList<int> columnBrowserSizes_;  // BRSPH before "FullScreen" hid the collection column
  QWidget* lowerArea_ = nullptr;
  QFrame* channelFrame_ = nullptr;
  QFrame* infoFrame_ = nullptr;
  std::array<PaneFrame, 10> frames_{};
  QTreeWidget* ListCons = nullptr;
  ClickableLabel* connection_ = nullptr;
  std::array<ClickableLabel*, 6> panels_{};
  std::array<QIcon, 9> categoryIcons_;
  int lowerTwips_ = 4500, treeTwips_ = 1200, browserTwips_ = 800;
  bool splittersApplied_ = false;
  PaneLayout layout_;
  bool applyingLayout_ = false;
  bool keepBrowserSplit_ = false;  // "Onleft" only hides and shows the pages  // button states follow the model, not the other way round
  std::array<bool, 3> busy_{};   // the busy labels shown, by BusyLabel
  QFrame* report_ = nullptr;
  QLabel* reportHeading_ = nullptr;
  QListWidget* reportFailures_ = nullptr;
  QPushButton* reportOpen_ = nullptr;
  std::string reportStart_;
  std::vector<std::function<void()>> finishedBusy_;
  bool folderChoiceRunning_ = false;
  bool closeAllowed_ = false;
};

// Runs the program with its window; returns the exit status.
int RunWindow(int argc, char** argv);

// Qt's own texts (Yes/No, the file dialogs) in Russian, as the rest of the window: Qt's
// translation from the system's translations folder (Debian qt6-translations-l10n) installed
// into the application. False when it is not there (the dialogs then speak English).
bool LoadQtRussianTexts(QTranslator& translator);

}  // namespace orv
