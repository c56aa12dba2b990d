#include "main/base/unwired.h"

#include <cstdio>

namespace orv {
namespace {

void ToStderr(const char* port) {
  std::fprintf(stderr, "orv: internal fault: %s is not wired; the command does nothing\n", port);
}

UnwiredHandler handler = &ToStderr;

}  // namespace

void SetUnwiredHandler(UnwiredHandler h) { handler = h != nullptr ? h : &ToStderr; }

void ReportUnwired(const char* port) { handler(port); }

}  // namespace orv
