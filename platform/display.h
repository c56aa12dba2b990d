// Whether the window can be opened at all. Qt's platform plugin ends the whole process when it
// cannot reach its display, so the main program asks this before it creates the application.
#pragma once

#include <optional>
#include <string>

namespace orv {

// Where an X display named like $DISPLAY listens: a local socket path, or a host and port.
struct XDisplayAddress {
  std::string socketPath;  // set for a local display
  std::string host;        // set for a display on another host
  int port = 0;
};
// "[host]:N[.S]"; an empty host or "unix" is local (/tmp/.X11-unix/XN). nullopt when the
// text names no display.
std::optional<XDisplayAddress> ParseXDisplay(const std::string& display);

// True when the platform Qt would pick from the environment (QT_QPA_PLATFORM, WAYLAND_DISPLAY,
// DISPLAY) accepts a connection; a platform without a display (offscreen, minimal) always does.
bool DisplayReachable();

}  // namespace orv
