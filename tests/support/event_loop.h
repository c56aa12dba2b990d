// A QCoreApplication for tests that need an event loop, and waiting while it runs.
#pragma once

#include <functional>

namespace orvtest {

// Creates the process's QCoreApplication on first use (offscreen, no arguments).
void EnsureQtApp();

// Processes events until pred() holds or timeoutMs passed; returns pred().
bool PumpUntil(const std::function<bool()>& pred, int timeoutMs);

// Processes events for about ms milliseconds.
void PumpFor(int ms);

}  // namespace orvtest
