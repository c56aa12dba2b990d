#pragma once
// System values the programs read besides their own settings.

#include <string>

namespace orv {

// The user agent of the system's web browser: the embedded browser's own once the window that
// hosts it has reported it, otherwise a fixed current desktop user-agent string.
std::string SystemBrowserUserAgent();

// Called where the embedded browser is initialised, with its default user agent.
void SetSystemBrowserUserAgent(std::string userAgent);

}  // namespace orv
