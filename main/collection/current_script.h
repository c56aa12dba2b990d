#pragma once
// What the collection asks of the scripts part: the page shown for a link that leads out of
// the copy offers to take the link's web address into the current script. The composition
// root implements the port against the scripts model; the collection only words the outcome.

#include <string>

namespace orv::collection {

enum class ScriptTakeOutcome {
  Added,         // appended to the current script's file
  AddedToRun,    // the current script runs: fetched in this run and kept by its write-back
  AlreadyThere,  // the script holds it already (either scheme)
  Refused,       // no script slot takes it (no collection folder, the web-search job, no address)
  NotWritten,    // the script file could not be written
};

struct ScriptTake {
  ScriptTakeOutcome outcome = ScriptTakeOutcome::Refused;
  int slot = 0;  // the current script's slot number
};

class CurrentScriptPort {
 public:
  virtual ~CurrentScriptPort() = default;
  // address: a web address as Windows-1251 bytes.
  virtual ScriptTake AddToCurrentScript(const std::string& address) = 0;
};

// The words the page and the status line show for an outcome (UTF-8).
std::string ScriptTakeText(const ScriptTake& take);

}  // namespace orv::collection
