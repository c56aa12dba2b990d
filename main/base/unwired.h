#pragma once
// Ports of the wiring: the std::function members of a front end's Hooks, which the composition
// root fills. A port left unset is a wiring fault. The user is spared it (the command does
// nothing, the rest of the program goes on), but it is never silent: it is reported on stderr,
// and test programs install a handler that fails the test that ran into it.

#include <functional>
#include <type_traits>
#include <utility>

namespace orv {

using UnwiredHandler = void (*)(const char* port);
// Replaces the handler (nullptr: the default, one line on stderr).
void SetUnwiredHandler(UnwiredHandler handler);
void ReportUnwired(const char* port);

// Calls the port when it is set; otherwise reports it (and returns R's default).
template <class R, class... P, class... A>
R CallPort(const std::function<R(P...)>& port, const char* name, A&&... args) {
  if (port) return port(std::forward<A>(args)...);
  ReportUnwired(name);
  if constexpr (!std::is_void_v<R>) return R{};
}

}  // namespace orv
