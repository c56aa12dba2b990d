#pragma once
// Keeps unattended runs from stalling on dialogs: of the program's own top-level windows, the
// first whose caption holds one of the stall patterns is closed, unless that caption names the
// program itself. Captions are Windows-1251 text.
#include <string>
#include <vector>

namespace orv {

// Index of the caption to close, or -1. Only the first matching caption counts: when it names
// the program, nothing is closed in this call.
int PopupToClose(const std::vector<std::string>& captions, bool fullList);

}  // namespace orv
