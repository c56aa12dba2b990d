#pragma once
// What the main window shows, as seen by the model: message boxes, the address box and its
// history, the five status panels, toolbar buttons, the script slot buttons, the option-page
// controls that start-up fills and shutdown reads back, and the window geometry. The model
// (scripts, run control, lists) talks to the window only through this class, so every
// sequence runs in tests against a recording fake and in batch mode without any widget.
// All text is Windows-1251 bytes.

#include <cstdint>
#include <string>
#include <vector>

#include "main/run/channel_table.h"

namespace orv {

// Title of every message box of the main program: the product word and seven blanks.
inline constexpr const char* kMessageTitle = "Orvanta       ";

enum class MessageIcon { None, Information, Warning, Error, Question };

class MainWindowView : public ChannelListView {
 public:
  virtual ~MainWindowView() = default;

  // Message boxes (title kMessageTitle).
  virtual void ShowMessage(const std::string& text, MessageIcon icon) = 0;
  // A Yes/No question; true on Yes.
  virtual bool AskYesNo(const std::string& text) = 0;

  // Status panels 1..5 of the status bar.
  virtual void SetStatusPanel(int panel, const std::string& text) = 0;
  virtual std::string StatusPanel(int panel) const = 0;

  // Lets the window process pending events during long work on its thread.
  virtual void ProcessPendingEvents() = 0;

  // Help windows opened by the program (closed at start and before saving settings).
  virtual void CloseHelpWindows() = 0;

  // Window state and geometry (twips, as stored).
  virtual void SetMaximized(bool maximized) = 0;
  virtual bool IsMaximized() const = 0;
  virtual void SetWindowSize(int widthTwips, int heightTwips) = 0;
  virtual int WindowWidth() const = 0;
  virtual int WindowHeight() const = 0;
  virtual void SetLowerSplitter(int twips) = 0;  // wespl
  virtual int LowerSplitter() const = 0;
  virtual void SetTreeSplitter(int twips) = 0;  // TRSPV
  virtual int TreeSplitter() const = 0;
  virtual void SetBrowserSplitter(int twips) = 0;  // BRSPH
  virtual int BrowserSplitter() const = 0;
  virtual void ArrangePanes() = 0;

  // Menu option "Активный Курсор".
  virtual void SetActiveCursorMenu(bool checked) = 0;
  virtual bool ActiveCursorMenu() const = 0;

  // The two size fields of the collection search (DFVX, DFVY).
  virtual void SetSearchSizeFields(const std::string& x, const std::string& y) = 0;
  virtual std::string SearchSizeFieldX() const = 0;
  virtual std::string SearchSizeFieldY() const = 0;

  // Script slot buttons "Сценарий № " + n. Button 0 always exists; 1..15 are created at start.
  virtual void CreateScriptSlotButtons(int first, int last) = 0;
  // Marks slot's button selected without triggering the slot-change reaction.
  virtual void SelectScriptSlotButton(int slot) = 0;

  // Script mode option buttons 0..3.
  virtual void SelectScriptModeButton(int mode) = 0;

  // User-Agent presets list: select a preset (its text goes into the User-Agent box).
  virtual void SelectUserAgentPreset(int index) = 0;

  // Page encoding selector 0..2.
  virtual void SelectEncoding(int index) = 0;

  // Address box InputUrl and its drop-down history (Combo2).
  virtual void SetAddressText(const std::string& text) = 0;
  virtual std::string AddressText() const = 0;
  virtual void SetAddressHistory(const std::vector<std::string>& entries) = 0;
  virtual std::vector<std::string> AddressHistory() const = 0;

  // Options page shown (the key stored under tbbtn) and the one shown now.
  virtual void ShowOptionsPage(const std::string& key) = 0;
  virtual std::string CurrentOptionsPage() const = 0;

  // Window-link handles: the main window (WHWND) and the hidden button COMEXCHENGE
  // (caption "orv") by which the console checks that the main program is alive.
  virtual std::uint32_t MainWindowHandle() const = 0;
  virtual std::uint32_t ExchangeButtonHandle() const = 0;

  // Option-page lists (categories, option lists 0..4) are rebuilt from the model.
  virtual void RefreshOptionLists() = 0;
  // --- Run control (defaults do nothing, so views without these controls need not care) ---

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
  // Connection indicator picture.
  virtual void SetConnectionIndicator(bool online) { (void)online; }
  // The script list panel and the saved-sets panel are hidden, the "scripts" button released.
  virtual void HideScriptPanels() {}
  // Status panel 4's tool tip ("Общая скорость" / "Средняя скорость").
  virtual void SetSpeedPanelToolTip(const std::string& text) { (void)text; }
  // A clicked status panel is disabled for a while.
  virtual void SetStatusPanelEnabled(int panel, bool enabled) { (void)panel, (void)enabled; }

  // The channel list ListCons shows the rows of run control's channel table.
  using ChannelRow = orv::ChannelRow;
};


}  // namespace orv
