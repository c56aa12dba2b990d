#pragma once
// The run's phase and the five status panels of the main window. Every writer of a panel
// (run control and its statistics, the script write-back, start-up and the close sequence,
// the collection tools) writes here; the view is only told what changed. Whether the
// statistics run is asked of the phase, never of a panel's text.
//
// Panel 1 shows the phase: empty at start, " Адреса:" and the count while addresses are
// handed out, " Завершение" while the run or the program ends, " Анализ" / " Сортировка ..."
// while the script is written back, " Готово" once the run is over. Panels 2 to 5 carry
// figures and messages. All text is Windows-1251.

#include <array>
#include <string>

namespace orv {

enum class RunPhase {
  Idle,        // nothing said yet
  HandingOut,  // addresses go to the console
  Ending,      // the run or the program is ending
  WriteBack,   // the script is analysed and sorted
  Done,        // the run is over
};

// What the status bar shows.
class StatusBarView {
 public:
  virtual ~StatusBarView() = default;
  virtual void ShowStatusPanel(int panel, const std::string& text) = 0;
  // A clicked panel is disabled for a while.
  virtual void EnableStatusPanel(int panel, bool enabled) { (void)panel, (void)enabled; }
  // Panel 4's tool tip ("Общая скорость" / "Средняя скорость").
  virtual void ShowSpeedPanelToolTip(const std::string& text) { (void)text; }
  // The run entered another phase (after panel 1 shows it): the window reports a run at Done.
  virtual void PhaseChanged(RunPhase phase) { (void)phase; }
};

class RunStatus {
 public:
  static constexpr int kPanels = 5;
  // Countdown passes a clicked panel stays disabled.
  static constexpr int kPanelCountdown = 6;

  explicit RunStatus(StatusBarView* view = nullptr) : view_(view) {}
  RunStatus(const RunStatus&) = delete;
  RunStatus& operator=(const RunStatus&) = delete;

  // --- panel 1: the phase ---
  void Clear();                                 // Idle, empty
  void HandingOut(const std::string& count);    // " Адреса:" + count, told only when it changed
  void Ending();                                // " Завершение"
  void WriteBack(const std::string& text);      // " Анализ", " Сортировка ..."
  void Done();                                  // " Готово"
  RunPhase Phase() const { return phase_; }
  // The transfer statistics run while addresses are handed out and while the run ends.
  bool StatisticsActive() const { return phase_ == RunPhase::HandingOut || phase_ == RunPhase::Ending; }

  // --- panels 2 to 5 ---
  void Show(int panel, const std::string& text);
  void ShowIfChanged(int panel, const std::string& text);
  // The text panel (1..5) shows now; empty for any other number.
  const std::string& Text(int panel) const;

  // --- clicks ---
  // A clicked panel is disabled until the countdown runs out. True for panel 4, whose click
  // also flips the speed display (the caller says which tool tip it shows).
  bool Click(int panel);
  void SetSpeedToolTip(const std::string& text);
  // One pass of the display countdown: when it runs out, every panel is enabled again.
  void CountdownPass();
  // A clicked panel waits for the countdown to enable it again.
  bool CountdownRunning() const { return countdown_ >= 0; }
  bool PanelEnabled(int panel) const { return Valid(panel) && enabled_[Index(panel)]; }

 private:
  static bool Valid(int panel) { return panel >= 1 && panel <= kPanels; }
  static std::size_t Index(int panel) { return static_cast<std::size_t>(panel - 1); }
  void SetPhase(RunPhase phase, const std::string& text);

  StatusBarView* view_;
  RunPhase phase_ = RunPhase::Idle;
  std::array<std::string, kPanels> texts_{};
  std::array<bool, kPanels> enabled_{true, true, true, true, true};
  int countdown_ = -1;
};

}  // namespace orv
