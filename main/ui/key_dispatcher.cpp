#ifdef ORV_HAVE_WIDGETS
#include "main/ui/key_dispatcher.h"

#include <QApplication>

namespace orv {

KeyDispatcher::KeyDispatcher() : beep_([] { QApplication::beep(); }) {}

void KeyDispatcher::Register(QWidget* focused, QChar letter, std::function<bool()> enabled,
                             std::function<bool()> run) {
  const QChar upper = letter.toUpper();
  // A second registration of the same key on the same control replaces the first.
  std::erase_if(commands_, [&](const Command& c) { return c.control == focused && c.letter == upper; });
  std::erase_if(commands_, [](const Command& c) { return c.control.isNull(); });
  commands_.push_back({focused, upper, std::move(enabled), std::move(run)});
}

const KeyDispatcher::Command* KeyDispatcher::Find(QWidget* focused, QChar letter) const {
  if (!focused) return nullptr;
  const QChar upper = letter.toUpper();
  for (const Command& c : commands_)
    if (c.control == focused && c.letter == upper) return &c;
  return nullptr;
}

QWidget* KeyDispatcher::ControlAt(const QObject* receiver) const {
  for (const Command& c : commands_) {
    QWidget* control = c.control.data();
    if (control != nullptr && static_cast<const QObject*>(control) == receiver) return control;
  }
  return nullptr;
}

bool KeyDispatcher::Handles(QWidget* focused, QChar letter) const { return Find(focused, letter) != nullptr; }

KeyDispatcher::Outcome KeyDispatcher::Dispatch(QWidget* focused, QChar letter) {
  const Command* c = Find(focused, letter);
  if (!c) return Outcome::NotRegistered;
  // Copies: a command may register or replace commands while it runs.
  const auto enabled = c->enabled;
  const auto run = c->run;
  if ((enabled && !enabled()) || !run || !run()) {
    if (beep_) beep_();
    return Outcome::Refused;
  }
  return Outcome::Ran;
}

}  // namespace orv
#endif
