#include "platform/system_values.h"

#include <mutex>

namespace orv {
namespace {

std::mutex gMutex;
std::string gBrowserAgent;

}  // namespace

std::string SystemBrowserUserAgent() {
  std::lock_guard lock(gMutex);
  if (!gBrowserAgent.empty()) return gBrowserAgent;
  return "Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) "
         "Chrome/124.0.0.0 Safari/537.36";
}

void SetSystemBrowserUserAgent(std::string userAgent) {
  std::lock_guard lock(gMutex);
  gBrowserAgent = std::move(userAgent);
}

}  // namespace orv
