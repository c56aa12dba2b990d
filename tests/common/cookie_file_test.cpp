#include "common/cookie_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/common/temp_folder.h"

namespace orv {
namespace {

using testing::FileBytes;
using testing::PutFileBytes;
using testing::TempFolder;

// A file as curl writes it and as people edit it: comments, a CRLF line, an HttpOnly cookie,
// a cookie without its value, and lines that are no cookies.
TEST(CookieFile, ReadsWhatCurlWritesAndCountsMalformedLines) {
  const std::string text =
      "# Netscape HTTP Cookie File\n"
      "# https://curl.se/docs/http-cookies.html\n"
      "\n"
      ".example.org\tTRUE\t/\tFALSE\t0\tsid\tabc123\r\n"
      "#HttpOnly_shop.example.org\tFALSE\t/cart\tTRUE\t1893456000\ttoken\tx=y;z\n"
      "host.test\tfalse\t/\ttrue\t0\tempty\n"
      "only\tthree\tfields\n"
      "a.test\tYES\t/\tFALSE\t0\tn\tv\n"
      "a.test\tTRUE\t/\tFALSE\tsoon\tn\tv\n"
      "\tTRUE\t/\tFALSE\t0\tn\tv\n"
      "a.test\tTRUE\t/\tFALSE\t0\t\tv\n"
      "a.test\tTRUE\t/\tFALSE\t0\tn\tv\textra\n"
      "last.test\tFALSE\t/\tFALSE\t0\tlast\tno-newline";
  const CookieFileContents got = ParseCookieText(text);
  EXPECT_EQ(got.error, CookieFileError::None);
  EXPECT_EQ(got.skippedLines, 6);
  ASSERT_EQ(got.cookies.size(), 4u);

  const Cookie& sid = got.cookies[0];
  EXPECT_EQ(sid.domain, ".example.org");
  EXPECT_TRUE(sid.includeSubdomains);
  EXPECT_EQ(sid.value, "abc123");  // the CR is not part of the value
  EXPECT_FALSE(sid.httpOnly);

  const Cookie& token = got.cookies[1];
  EXPECT_TRUE(token.httpOnly);
  EXPECT_EQ(token.domain, "shop.example.org");
  EXPECT_EQ(token.path, "/cart");
  EXPECT_TRUE(token.secure);
  EXPECT_EQ(token.expires, 1893456000);
  EXPECT_EQ(token.value, "x=y;z");

  EXPECT_EQ(got.cookies[2].name, "empty");
  EXPECT_EQ(got.cookies[2].value, "");
  EXPECT_TRUE(got.cookies[2].secure);
  EXPECT_EQ(got.cookies[3].value, "no-newline");

  // What is written reads back as it was, flags and prefix included.
  const CookieFileContents again = ParseCookieText(CookieFileText(got.cookies));
  EXPECT_EQ(again.skippedLines, 0);
  EXPECT_EQ(again.cookies, got.cookies);
  EXPECT_EQ(CookieLine(token), "#HttpOnly_shop.example.org\tFALSE\t/cart\tTRUE\t1893456000\ttoken\tx=y;z");
}

TEST(CookieFile, WrittenForTheOwnerAloneAndReplacedWhole) {
  TempFolder dir;
  const std::string path = dir / "orvef0.cookies";
  PutFileBytes(path, "old\n");
  ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
  const mode_t oldMask = ::umask(0);  // a careless umask must not open the file to others
  Cookie c;
  c.domain = "127.0.0.1";
  c.name = "sid";
  c.value = "secret";
  const bool written = WriteCookieFile(path, {c});
  ::umask(oldMask);
  ASSERT_TRUE(written);
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_FALSE(std::filesystem::exists(path + ".new"));
  const CookieFileContents back = ReadCookieFile(path);
  EXPECT_EQ(back.error, CookieFileError::None);
  ASSERT_EQ(back.cookies.size(), 1u);
  EXPECT_EQ(back.cookies[0], c);

  // A folder that cannot take the file leaves nothing behind and says so.
  EXPECT_FALSE(WriteCookieFile(dir / "no/such/folder/jar", {c}));
}

TEST(CookieFile, RefusesMissingUnreadableAndOversizedFiles) {
  TempFolder dir;
  EXPECT_EQ(ReadCookieFile(dir / "none").error, CookieFileError::Missing);
  EXPECT_EQ(ReadCookieFile(dir.path()).error, CookieFileError::Unreadable);

  // Just over the limit, though every line is a valid cookie: refused whole, not cut.
  std::string big;
  const std::string line = "a.test\tFALSE\t/\tFALSE\t0\tn\t" + std::string(100, 'v') + "\n";
  while (static_cast<int64_t>(big.size()) <= kMaxCookieFileBytes) big += line;
  PutFileBytes(dir / "big", big);
  const CookieFileContents read = ReadCookieFile(dir / "big");
  EXPECT_EQ(read.error, CookieFileError::TooLarge);
  EXPECT_TRUE(read.cookies.empty());
  const std::string message = CookieFileErrorText(read.error, dir / "big");
  EXPECT_NE(message.find("big"), std::string::npos);
  EXPECT_NE(message.find("1024 KB"), std::string::npos);

  big.resize(static_cast<std::size_t>(kMaxCookieFileBytes));
  PutFileBytes(dir / "limit", big);
  EXPECT_EQ(ReadCookieFile(dir / "limit").error, CookieFileError::None);
}

TEST(CookieFile, MergeReplacesTheSameCookieInPlace) {
  auto cookie = [](std::string domain, std::string path, std::string name, std::string value) {
    Cookie c;
    c.domain = std::move(domain);
    c.path = std::move(path);
    c.name = std::move(name);
    c.value = std::move(value);
    return c;
  };
  std::vector<Cookie> jar{cookie("a.test", "/", "sid", "1"), cookie("a.test", "/x", "sid", "2"),
                          cookie("b.test", "/", "sid", "3")};
  MergeCookies(jar, {cookie(".A.test", "/", "sid", "new"), cookie("a.test", "/", "other", "4")});
  ASSERT_EQ(jar.size(), 4u);
  EXPECT_EQ(jar[0].value, "new");
  EXPECT_EQ(jar[0].domain, ".A.test");
  EXPECT_EQ(jar[1].value, "2");  // another path is another cookie
  EXPECT_EQ(jar[2].value, "3");  // another host too
  EXPECT_EQ(jar[3].name, "other");
}

}  // namespace
}  // namespace orv
