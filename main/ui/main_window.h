#pragma once
// The main window (Qt Widgets): toolbar with the run/stop button, the address box
// InputUrl with its history, the page area (option pages, lists, collection come in
// their own places), the channel list ListCons and the five status panels.
#include <QComboBox>
#include <QLabel>
#include <QMainWindow>
#include <QStackedWidget>
#include <QToolBar>
#include <QTreeWidget>

#include <array>
#include <map>
#include <memory>

#include "main/ui/main_window_view.h"

namespace orv {

class OrvApp;

class OrvMainWindow final : public QMainWindow, public MainWindowView {
 public:
  OrvMainWindow();
  ~OrvMainWindow() override;

  void Attach(OrvApp* app) { app_ = app; }
  // The close sequence may close the window now.
  bool CloseForGood();

  // MainWindowView
  void ShowMessage(const std::string& text, MessageIcon icon) override;
  bool AskYesNo(const std::string& text) override;
  void SetStatusPanel(int panel, const std::string& text) override;
  std::string StatusPanel(int panel) const override;
  void ProcessPendingEvents() override;
  void CloseHelpWindows() override {}
  void SetMaximized(bool m) override;
  bool IsMaximized() const override { return isMaximized(); }
  void SetWindowSize(int widthTwips, int heightTwips) override;
  int WindowWidth() const override { return width() * 15; }
  int WindowHeight() const override { return height() * 15; }
  void SetLowerSplitter(int t) override { lower_ = t; }
  int LowerSplitter() const override { return lower_; }
  void SetTreeSplitter(int t) override { tree_ = t; }
  int TreeSplitter() const override { return tree_; }
  void SetBrowserSplitter(int t) override { browser_ = t; }
  int BrowserSplitter() const override { return browser_; }
  void ArrangePanes() override {}
  void SetActiveCursorMenu(bool c) override { activeCursor_ = c; }
  bool ActiveCursorMenu() const override { return activeCursor_; }
  void SetSearchSizeFields(const std::string& x, const std::string& y) override { x_ = x, y_ = y; }
  std::string SearchSizeFieldX() const override { return x_; }
  std::string SearchSizeFieldY() const override { return y_; }
  void CreateScriptSlotButtons(int, int) override {}
  void SelectScriptSlotButton(int) override {}
  void SelectScriptModeButton(int) override {}
  void SelectUserAgentPreset(int) override {}
  void SelectEncoding(int) override {}
  void SetAddressText(const std::string& text) override;
  std::string AddressText() const override;
  void SetAddressHistory(const std::vector<std::string>& entries) override;
  std::vector<std::string> AddressHistory() const override;
  void ShowOptionsPage(const std::string& key) override { page_ = key; }
  std::string CurrentOptionsPage() const override { return page_; }
  std::uint32_t MainWindowHandle() const override { return mainHandle_; }
  std::uint32_t ExchangeButtonHandle() const override { return exchangeHandle_; }
  void RefreshOptionLists() override {}

  void SetToolbarButtonEnabled(const std::string& key, bool enabled) override;
  void SetToolbarButtonPressed(const std::string& key, bool pressed) override;
  void SetRunStopButton(const std::string& key, const std::string& caption, int image,
                        const std::string& toolTip) override;
  void SetConnectionIndicator(bool online) override;
  void SetSpeedPanelToolTip(const std::string& text) override;
  void SetStatusPanelEnabled(int panel, bool enabled) override;

  bool FindChannelRow(int channel, ChannelRow& row) const override;
  void SetChannelRow(const ChannelRow& row) override;
  void RemoveChannelRow(int channel) override;
  void ClearChannelList() override;
  int ChannelRowCount() const override { return ListCons->topLevelItemCount(); }

  void SetHandles(std::uint32_t mainHandle, std::uint32_t exchangeHandle) {
    mainHandle_ = mainHandle;
    exchangeHandle_ = exchangeHandle;
  }

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QTreeWidgetItem* RowItem(int channel) const;
  void OnRunStop();
  void ShowConnectionMenu();

  OrvApp* app_ = nullptr;
  QToolBar* toolbar_ = nullptr;
  std::map<std::string, QAction*> actions_;
  QAction* runStop_ = nullptr;
  std::string runStopKey_ = "run";
  QComboBox* InputUrl = nullptr;
  QStackedWidget* pages_ = nullptr;
  QTreeWidget* ListCons = nullptr;
  QLabel* connection_ = nullptr;
  std::array<QLabel*, 6> panels_{};
  std::array<QIcon, 9> categoryIcons_;
  bool closeAllowed_ = false;
  bool activeCursor_ = false;
  int lower_ = 0, tree_ = 0, browser_ = 0;
  std::string x_, y_, page_;
  std::uint32_t mainHandle_ = 0, exchangeHandle_ = 0;
};

// Runs the program with its window; returns the exit status.
int RunWindow(int argc, char** argv);

}  // namespace orv
