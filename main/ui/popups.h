#pragma once
// The popup closer over this program's own top-level windows (their titles are the captions).
namespace orv {

// Closes the first shown top-level window whose title matches a stall pattern (none when that
// title names the program). True when a window was closed.
bool CloseStalledPopup(bool fullList);

}  // namespace orv
