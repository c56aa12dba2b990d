#pragma once
// The `hhc` program in the program folder compiles collection.hhp with chmcmd (Free
// Pascal's help compiler). chmcmd reads every [Files] line relative to the project's
// folder, while the project lists full local paths; the project is adapted first.

#include <functional>
#include <string>
#include <string_view>

namespace orv::collection {

// The project with each [Files] line that holds a full path made relative to
// projectFolder (ending with "/"). Lines naming a file for which exists() is false are
// dropped: chmcmd stops at the first missing file. Everything else is kept byte for byte.
std::string ProjectForChmcmd(std::string_view project, const std::string& projectFolder,
                             const std::function<bool(const std::string& fullPath)>& exists);

// The full path of an executable program found in the folders of searchPath (PATH's form:
// folders separated by ":"), or empty.
std::string FindProgramOnPath(std::string_view program, std::string_view searchPath);

// Adapts the project at projectPath into a temporary project beside it, runs chmcmd on it
// and waits; returns chmcmd's exit code (127 when it cannot be started, 2 when the
// project cannot be read or the temporary project written).
int CompileWithChmcmd(const std::string& projectPath, const std::string& chmcmd = "chmcmd");

}  // namespace orv::collection
