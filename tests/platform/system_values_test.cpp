#include "platform/system_values.h"

#include <gtest/gtest.h>

namespace orv {
namespace {

TEST(SystemValues, BrowserUserAgentFallsBackUntilTheBrowserReportsItsOwn) {
  std::string fallback = SystemBrowserUserAgent();
  EXPECT_EQ(fallback.rfind("Mozilla/5.0 (X11; Linux x86_64)", 0), 0u);
  SetSystemBrowserUserAgent("Embedded/1.0");
  EXPECT_EQ(SystemBrowserUserAgent(), "Embedded/1.0");
  SetSystemBrowserUserAgent("");
  EXPECT_EQ(SystemBrowserUserAgent(), fallback);
}

}  // namespace
}  // namespace orv
