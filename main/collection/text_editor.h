#pragma once
// The command "Edit" starts for a file of the collection: the user's $VISUAL, else $EDITOR,
// else the desktop's default program for text/plain (so a page opens as text, not in a web
// browser), else xdg-open. Pure: the caller looks the values up.
#include <string>
#include <vector>

namespace orv::collection {

// The Exec= line of a desktop entry's [Desktop Entry] group; empty when it has none.
std::string DesktopEntryExec(const std::string& desktopFileText);

// The program and its arguments. desktopExec is the text/plain program's Exec= line: its
// file field code (%f %F %u %U) becomes the file, the other codes go; without a file code
// the file is appended.
std::vector<std::string> EditorCommand(const std::string& visual, const std::string& editor,
                                       const std::string& desktopExec, const std::string& file);

}  // namespace orv::collection
