#include "console/downloaded_page.h"

#include <gtest/gtest.h>

#include "console/response.h"
#include "tests/support/temp_folder.h"

namespace orv::console {
namespace {

// A page is read whole; a binary is not read past its head; a page that cannot be read back is
// told apart, so the channel keeps the download rather than writing a page of nothing.
TEST(DownloadedPage, OnlyAReadablePageIsTakenUpForProcessing) {
  orvtest::TempFolder tmp;
  const std::string page = "<html><body>" + std::string(100, 'p') + "<a href=\"a.html\">a</a></body></html>";
  orvtest::WriteWholeFile(tmp.Dir() + "page.html", page);
  DownloadedPage d = ReadDownloadedPage(tmp.Dir() + "page.html", static_cast<int64_t>(page.size()),
                                        "http://s.test/page.html", "http/1.1 200 ok\r\ncontent-type: text/html\r\n", false);
  EXPECT_EQ(d.kind, DownloadKind::Page);
  EXPECT_EQ(d.text, page);

  orvtest::WriteWholeFile(tmp.Dir() + "pic.png", std::string("\x89PNG\r\n\x1a\n", 8) + std::string(200, '\0'));
  d = ReadDownloadedPage(tmp.Dir() + "pic.png", 208, "http://s.test/pic.png",
                         "http/1.1 200 ok\r\ncontent-type: image/png\r\n", false);
  EXPECT_EQ(d.kind, DownloadKind::NotAPage);
  EXPECT_TRUE(d.text.empty());

  // A page the size of which is past the scan limit is not read at all.
  d = ReadDownloadedPage(tmp.Dir() + "page.html", kMaxScannedPage + 1, "http://s.test/page.html",
                         "http/1.1 200 ok\r\ncontent-type: text/html\r\n", false);
  EXPECT_EQ(d.kind, DownloadKind::TooLargeToScan);
  EXPECT_TRUE(d.text.empty());

  // Unreadable, even for root: gone since the transfer, or not a file one can read.
  for (const std::string& unreadable : {tmp.Dir() + "gone.html", tmp.Dir()}) {
    d = ReadDownloadedPage(unreadable, 500, "http://s.test/gone.html",
                           "http/1.1 200 ok\r\ncontent-type: text/html\r\n", false);
    EXPECT_EQ(d.kind, DownloadKind::Unreadable) << unreadable;
    EXPECT_TRUE(d.text.empty());
  }
}

}  // namespace
}  // namespace orv::console
