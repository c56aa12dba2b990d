#include "main/collection/current_script.h"

namespace orv::collection {

std::string ScriptTakeText(const ScriptTake& take) {
  const std::string number = std::to_string(take.slot);
  switch (take.outcome) {
    case ScriptTakeOutcome::Added:
      return "Адрес добавлен в сценарий № " + number + ".";
    case ScriptTakeOutcome::AddedToRun:
      return "Адрес добавлен в выполняемый сценарий № " + number + " и будет загружен.";
    case ScriptTakeOutcome::AlreadyThere:
      return "Этот адрес уже есть в сценарии № " + number + ".";
    case ScriptTakeOutcome::NotWritten:
      return "Не удается записать сценарий № " + number + ": адрес не добавлен.";
    case ScriptTakeOutcome::Refused:
      break;
  }
  return "Текущий сценарий не может принять этот адрес.";
}

}  // namespace orv::collection
