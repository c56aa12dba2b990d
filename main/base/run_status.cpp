#include "main/base/run_status.h"

#include "common/text.h"

namespace orv {

void RunStatus::SetPhase(RunPhase phase, const std::string& text) {
  const bool changed = phase != phase_;
  phase_ = phase;
  texts_[0] = text;
  if (view_) view_->ShowStatusPanel(1, text);
  if (view_ && changed) view_->PhaseChanged(phase);
}

void RunStatus::Clear() { SetPhase(RunPhase::Idle, ""); }

void RunStatus::HandingOut(const std::string& count) {
  const std::string text = Ru(" Адреса:") + count;
  if (phase_ == RunPhase::HandingOut && texts_[0] == text) return;
  SetPhase(RunPhase::HandingOut, text);
}

void RunStatus::Ending() { SetPhase(RunPhase::Ending, Ru(" Завершение")); }

void RunStatus::WriteBack(const std::string& text) { SetPhase(RunPhase::WriteBack, text); }

void RunStatus::Done() { SetPhase(RunPhase::Done, Ru(" Готово")); }

void RunStatus::Show(int panel, const std::string& text) {
  // Panel 1 says the phase and is written only through it.
  if (panel < 2 || panel > kPanels) return;
  texts_[Index(panel)] = text;
  if (view_) view_->ShowStatusPanel(panel, text);
}

void RunStatus::ShowIfChanged(int panel, const std::string& text) {
  if (Text(panel) != text) Show(panel, text);
}

const std::string& RunStatus::Text(int panel) const {
  static const std::string kNone;
  return Valid(panel) ? texts_[Index(panel)] : kNone;
}

bool RunStatus::Click(int panel) {
  if (!Valid(panel)) return false;
  enabled_[Index(panel)] = false;
  if (view_) view_->EnableStatusPanel(panel, false);
  countdown_ = kPanelCountdown;
  return panel == 4;
}

void RunStatus::SetSpeedToolTip(const std::string& text) {
  if (view_) view_->ShowSpeedPanelToolTip(text);
}

void RunStatus::CountdownPass() {
  if (countdown_ < 0 || --countdown_ > 0) return;
  countdown_ = -1;
  // All five: a clicked panel 5 would otherwise stay disabled for good.
  for (int panel = 1; panel <= kPanels; ++panel) {
    enabled_[Index(panel)] = true;
    if (view_) view_->EnableStatusPanel(panel, true);
  }
}

}  // namespace orv
