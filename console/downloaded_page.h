// How a complete download is taken up for page processing. The first 51 bytes decide, with the
// address and the response headers, whether it is a page; only a page is read whole, so a large
// binary is never pulled into memory.
#pragma once

#include <cstdint>
#include <string>

namespace orv::console {

enum class DownloadKind {
  NotAPage,        // kept as it came
  TooLargeToScan,  // a page over kMaxScannedPage: kept as it came, not scanned
  Page,            // text holds the whole body
  Unreadable,      // a page, or a file whose head could not be read, that cannot be read back:
                   // kept as it came, never replaced by a page made of nothing
};

struct DownloadedPage {
  DownloadKind kind = DownloadKind::NotAPage;
  std::string text;
};

// receivedSize: the body's length as received; urlLower, headersLower: the address and the
// response headers in lower case; forceText: the transfer ended in a redirect.
DownloadedPage ReadDownloadedPage(const std::string& path, int64_t receivedSize, const std::string& urlLower,
                                  const std::string& headersLower, bool forceText);

}  // namespace orv::console
