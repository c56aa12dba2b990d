#pragma once
// Keyboard commands of the main window: Ctrl+letter acts on the focused control. The window
// sees every key before its controls and hands Ctrl+letter here; a control registers the
// letters it understands with two checks: enabled() prepares and reads the state a menu
// would show (a list that is not empty, an enabled menu item), run() carries the command out.
// When either answers false the key was meant for that control but did nothing, and the
// system beep sounds.
#include <QChar>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <vector>

namespace orv {

class KeyDispatcher {
 public:
  enum class Outcome { NotRegistered, Ran, Refused };

  KeyDispatcher();

  void Register(QWidget* focused, QChar letter, std::function<bool()> enabled, std::function<bool()> run);

  // Ctrl+letter pressed while `focused` has the focus.
  Outcome Dispatch(QWidget* focused, QChar letter);
  bool Handles(QWidget* focused, QChar letter) const;
  // The registered control at the address of an event's receiver, or null. Only addresses are
  // compared: the receiver of an event may be any object, even one being torn down.
  QWidget* ControlAt(const QObject* receiver) const;

  // The sound of a refused command (QApplication::beep unless replaced).
  void SetBeep(std::function<void()> beep) { beep_ = std::move(beep); }

 private:
  struct Command {
    QPointer<QWidget> control;
    QChar letter;
    std::function<bool()> enabled;
    std::function<bool()> run;
  };
  const Command* Find(QWidget* focused, QChar letter) const;

  std::vector<Command> commands_;
  std::function<void()> beep_;
};

}  // namespace orv
