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

#include "main/ui/remembered_view_state.h"

namespace orv {

class OrvApp;

class OrvMainWindow final : public QMainWindow, public RememberedViewState {
 public:
  OrvMainWindow();
  ~OrvMainWindow() override;

  void Attach(OrvApp* app) { app_ = app; }
  // The close sequence may close the window now.
  bool CloseForGood();

  // MainWindowView (what RememberedViewState does not keep)
  void ShowMessage(const std::string& text, MessageIcon icon) override;
  bool AskYesNo(const std::string& text) override;
  void SetStatusPanel(int panel, const std::string& text) override;
  std::string StatusPanel(int panel) const override;
  void ProcessPendingEvents() override;
  void SetMaximized(bool m) override;
  bool IsMaximized() const override { return isMaximized(); }
  void SetWindowSize(int widthTwips, int heightTwips) override;
  int WindowWidth() const override { return width() * 15; }
  int WindowHeight() const override { return height() * 15; }
  void SetAddressText(const std::string& text) override;
  std::string AddressText() const override;
  void SetAddressHistory(const std::vector<std::string>& entries) override;
  std::vector<std::string> AddressHistory() const override;

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

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
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
};

// Runs the program with its window; returns the exit status.
int RunWindow(int argc, char** argv);

}  // namespace orv
