#include "console/downloaded_page.h"

#include <fstream>

#include "common/string_list.h"
#include "console/response.h"

namespace orv::console {
namespace {

bool ReadHead(const std::string& path, size_t n, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.resize(n);
  in.read(out.data(), static_cast<std::streamsize>(n));
  out.resize(static_cast<size_t>(in.gcount()));
  return !in.bad();
}

}  // namespace

DownloadedPage ReadDownloadedPage(const std::string& path, int64_t receivedSize, const std::string& urlLower,
                                  const std::string& headersLower, bool forceText) {
  DownloadedPage page;
  std::string head;
  // A head that cannot be read counts as a page: the whole read below then tells.
  const bool headRead = ReadHead(path, 51, head);
  if (headRead && !LooksLikeText(urlLower, headersLower, forceText, head)) return page;
  if (receivedSize > kMaxScannedPage) {
    page.kind = DownloadKind::TooLargeToScan;
    return page;
  }
  page.kind = orv::ReadWholeFile(path, page.text) ? DownloadKind::Page : DownloadKind::Unreadable;
  return page;
}

}  // namespace orv::console
