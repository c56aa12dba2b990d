#include "common/exchange.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "common/text.h"
#include "tests/common/temp_folder.h"

namespace orv {
namespace {

using testing::FileBytes;
using testing::PutFileBytes;
using testing::TempFolder;
using namespace std::string_literals;

class ExchangeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    exchange = dir.path() + "temp";  // no trailing "/" on purpose
    ASSERT_TRUE(files.Open(exchange, true));
  }
  std::string File(const char* name) const { return exchange + "/" + name; }

  TempFolder dir;
  std::string exchange;
  ExchangeFiles files;
};

TEST_F(ExchangeTest, CreatesTheFolderAndTheThreeFilesOnlyWhenAsked) {
  for (const char* n : {kOrvExt, kOrvInt, kOrvUrl}) EXPECT_TRUE(std::filesystem::exists(File(n))) << n;
  EXPECT_EQ(files.Folder(), exchange + "/");
  ExchangeFiles other;
  EXPECT_FALSE(other.Open(dir / "missing", false));
  EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
  EXPECT_FALSE(other.IsOpen());
}

TEST_F(ExchangeTest, CreatingKeepsExistingContentsAndNarrowsTheRights) {
  namespace fs = std::filesystem;
  const auto ownerOnly = fs::perms::owner_read | fs::perms::owner_write;
  // The records carry the proxy with its password.
  for (const char* n : {kOrvExt, kOrvInt, kOrvUrl}) EXPECT_EQ(fs::status(File(n)).permissions() & fs::perms::all, ownerOnly) << n;
  ASSERT_TRUE(files.WriteExt(ReportReady, "A"));
  files.Close();
  fs::permissions(File(kOrvExt), fs::perms::all, fs::perm_options::replace);
  ExchangeFiles again;
  ASSERT_TRUE(again.Open(exchange, true));
  EXPECT_EQ(again.ReadExt(ReportReady), "A");
  EXPECT_EQ(fs::status(File(kOrvExt)).permissions() & fs::perms::all, ownerOnly);
}

TEST_F(ExchangeTest, ExtRecordBytesAndTheUntouchedRest) {
  // Fill records 1..3 with a pattern, then write a short value into record 2.
  PutFileBytes(File(kOrvExt), std::string(3 * 1024, 'Z'));
  ASSERT_TRUE(files.WriteExt(BusyChannels, "abc"));
  std::string bytes = FileBytes(File(kOrvExt));
  ASSERT_EQ(bytes.size(), 3u * 1024);
  EXPECT_EQ(bytes.substr(0, 1024), std::string(1024, 'Z'));
  EXPECT_EQ(bytes.substr(1024, 5), "\x03\x00" "abc"s);
  EXPECT_EQ(bytes.substr(1029, 1024 - 5), std::string(1024 - 5, 'Z'));
  EXPECT_EQ(bytes.substr(2048), std::string(1024, 'Z'));
  EXPECT_EQ(files.ReadExt(BusyChannels), "abc");
  EXPECT_EQ(files.ReadExtNumber(BusyChannels), 0);
  ASSERT_TRUE(files.WriteExt(BusyChannels, ""));
  EXPECT_EQ(FileBytes(File(kOrvExt)).substr(1024, 5), "\x00\x00" "abc"s);
  EXPECT_EQ(files.ReadExt(BusyChannels), "");
}

TEST_F(ExchangeTest, RecordPositionsAreOneBased) {
  ASSERT_TRUE(files.WriteExt(AssumeOnline, "1"));
  std::string bytes = FileBytes(File(kOrvExt));
  ASSERT_EQ(bytes.size(), 28u * 1024 + 3);
  EXPECT_EQ(bytes.substr(28 * 1024), "\x01\x00" "1"s);
  EXPECT_EQ(files.ReadExt(AssumeOnline), "1");
  EXPECT_EQ(files.ReadExt(SearchMode), "");  // inside the gap
  EXPECT_EQ(files.ReadExt(100), "");         // beyond the end of the file
  EXPECT_FALSE(files.WriteExt(0, "x"));
  EXPECT_EQ(files.ReadExt(0), "");
  EXPECT_EQ(files.ReadExt(-3), "");
}

TEST_F(ExchangeTest, ValueOf1022BytesFitsAndLongerIsRefused) {
  ASSERT_TRUE(files.WriteExt(RedirectTarget, "after"));
  const std::string max(1022, 'u');
  ASSERT_TRUE(files.WriteExt(NextUrl, max));
  EXPECT_EQ(files.ReadExt(NextUrl), max);
  EXPECT_FALSE(files.WriteExt(NextUrl, max + "v"));
  EXPECT_EQ(files.ReadExt(NextUrl), max);
  EXPECT_FALSE(files.WriteExt(1, std::string(5000, 'w')));
  EXPECT_EQ(files.ReadExt(BusyChannels), "");
  EXPECT_EQ(files.ReadExt(RedirectTarget), "after");
}

TEST_F(ExchangeTest, TornOrCorruptRecordsReadAsEmpty) {
  std::string bytes(2 * 1024, '\0');
  bytes[0] = '\xFF';  // record 1: length 1023 + 256*3 > 1022
  bytes[1] = '\x03';
  bytes[1024] = '\x10';  // record 2: 16 bytes announced, the file ends after 3
  bytes.resize(1024 + 2 + 3);
  PutFileBytes(File(kOrvExt), bytes);
  EXPECT_EQ(files.ReadExt(1), "");
  EXPECT_EQ(files.ReadExt(2), "");
  PutFileBytes(File(kOrvExt), "\x05"s);  // half a length
  EXPECT_EQ(files.ReadExt(1), "");
  // A handshake must tell such a record from an empty one.
  EXPECT_FALSE(files.TryReadExt(1));
  EXPECT_EQ(files.TryReadExt(3), "");  // never written: empty
}

TEST_F(ExchangeTest, NumbersAreReadByTheirLeadingNumber) {
  files.WriteExt(CharsetMode, " 2");
  EXPECT_EQ(files.ReadExtNumber(CharsetMode), 2);
  files.WriteExt(CharsetMode, "7");
  EXPECT_EQ(files.ReadExtNumber(CharsetMode), 7);
  files.WriteExt(MinSize, "10240kb");
  EXPECT_EQ(files.ReadExtNumber(MinSize), 10240);
}

TEST_F(ExchangeTest, ChannelRecordLayout) {
  ChannelRecord r;
  r.url = "http://a/";
  r.statusText = " Start...";
  r.sizeText = " 123";
  r.stopButton = 0x01020304;
  r.reserved = "ignored";
  r.resumable = "1";
  PutFileBytes(File(kOrvInt), std::string(3 * 1700, 'Z'));
  ASSERT_TRUE(files.WriteChannel(2, r));
  const std::string expected = "\x09\x00" "http://a/" "\x09\x00" " Start..." "\x04\x00" " 123"
                               "\x04\x03\x02\x01" "\x00\x00" "\x01\x00" "1"s;
  std::string bytes = FileBytes(File(kOrvInt));
  EXPECT_EQ(bytes.substr(0, 1700), std::string(1700, 'Z'));
  EXPECT_EQ(bytes.substr(1700, expected.size()), expected);
  EXPECT_EQ(bytes.substr(1700 + expected.size(), 1700 - expected.size()),
            std::string(1700 - expected.size(), 'Z'));
  ChannelRecord back = files.ReadChannel(2);
  r.reserved.clear();
  EXPECT_EQ(back, r);

  r.stopButton = -2;
  ASSERT_TRUE(files.WriteChannel(20, r));
  EXPECT_EQ(files.ReadChannel(20).stopButton, -2);
  EXPECT_FALSE(files.WriteChannel(0, r));
  EXPECT_FALSE(files.WriteChannel(21, r));
  EXPECT_EQ(files.ReadChannel(21), ChannelRecord{});
}

TEST_F(ExchangeTest, ChannelRecordMustFitIn1700Bytes) {
  ChannelRecord r;
  r.url = std::string(1000, 'u');
  r.statusText = std::string(1700 - 1000 - 14, 's');  // exactly 1700 bytes in all
  ASSERT_TRUE(files.WriteChannel(1, r));
  EXPECT_EQ(files.ReadChannel(1), r);
  ChannelRecord tooLong = r;
  tooLong.statusText.push_back('s');
  EXPECT_FALSE(files.WriteChannel(1, tooLong));
  EXPECT_EQ(files.ReadChannel(1), r);
  EXPECT_EQ(files.ReadChannel(2), ChannelRecord{});
}

TEST_F(ExchangeTest, TornChannelRecordKeepsWhatIsWhole) {
  std::string rec = "\x03\x00" "abc" "\xF0\x06" "xx"s;  // status length beyond the record
  PutFileBytes(File(kOrvInt), rec);
  ChannelRecord r = files.ReadChannel(1);
  EXPECT_EQ(r.url, "abc");
  EXPECT_EQ(r.statusText, "");
  EXPECT_EQ(r.stopButton, 0);
  EXPECT_EQ(ExchangeFiles::DecodeChannel("\x01\x00" "a" "\x00\x00" "\x00\x00" "\x07\x00"s).stopButton, 0);
}

TEST_F(ExchangeTest, EndOfRunClearsEveryChannel) {
  ChannelRecord busy{"http://x/", Ru("Обмен..."), " 5", 77, "", "0"};
  for (int n = 1; n <= ExchangeFiles::kChannels; ++n) ASSERT_TRUE(files.WriteChannel(n, busy));
  ASSERT_TRUE(files.ClearChannels());
  for (int n = 1; n <= ExchangeFiles::kChannels; ++n) EXPECT_EQ(files.ReadChannel(n), ChannelRecord{}) << n;
  EXPECT_EQ(FileBytes(File(kOrvInt)).substr(19 * 1700, 14), std::string(14, '\0'));
}

TEST_F(ExchangeTest, UrlListShapesAndTheStaleTail) {
  ASSERT_TRUE(files.WriteUrlList(LinkListElements({"http://a/1.htm", "http://a/2.htm", "http://a/3.htm"})));
  const std::size_t longSize = FileBytes(File(kOrvUrl)).size();
  ASSERT_TRUE(files.WriteUrlList(LinkListElements({"http://b/"})));
  std::string bytes = FileBytes(File(kOrvUrl));
  EXPECT_EQ(bytes.size(), longSize);  // overwritten in place, never truncated
  EXPECT_EQ(bytes.substr(0, 14), "\x01\x00" "1" "\x09\x00" "http://b/"s);
  EXPECT_EQ(files.ReadUrlList(), (std::vector<std::string>{"1", "http://b/"}));

  ASSERT_TRUE(files.WriteUrlList(LinkListElements({})));
  EXPECT_EQ(files.ReadUrlList(), (std::vector<std::string>{"0"}));

  ASSERT_TRUE(files.WriteUrlList(LinkListElements({"http://a/1.htm", "http://a/2.htm"})));
  ASSERT_TRUE(files.WriteUrlList(MarkerMessageElements(kRedirMarker, "http://c/")));
  EXPECT_EQ(FileBytes(File(kOrvUrl)).substr(0, 25), "\x02\x00" " 2" "\x13\x00" "orv_redir:http://c/"s);
  auto list = files.ReadUrlList();
  ASSERT_EQ(list.size(), 3u);  // elements 0..2; element 2 is stale bytes and not used
  EXPECT_EQ(list[0], " 2");
  EXPECT_EQ(list[1], "orv_redir:http://c/");
  EXPECT_EQ(MarkerMessageElements(kNotFoundMarker, "http://d/x")[1], "orv_notfn:http://d/x");

  EXPECT_FALSE(files.WriteUrlList({"1", std::string(65536, 'l')}));
  EXPECT_EQ(files.ReadUrlList()[1], "orv_redir:http://c/");
}

// Bytes this process has read through system calls so far.
long long BytesReadByThisProcess() {
  std::ifstream io("/proc/self/io");
  std::string key;
  long long value = 0;
  while (io >> key >> value)
    if (key == "rchar:") return value;
  return -1;
}

TEST_F(ExchangeTest, ReadingAShortListAfterAHugeOneReadsOnlyTheShortOne) {
  std::vector<std::string> links;
  for (int i = 0; i < 3000; ++i) links.push_back("http://a/" + std::string(1000, 'x') + std::to_string(i));
  ASSERT_TRUE(files.WriteUrlList(LinkListElements(links)));
  EXPECT_EQ(files.ReadUrlList().size(), 3001u);
  EXPECT_EQ(files.ReadUrlList()[3000], links.back());
  // The stale tail of a list of 64 MB, as a sparse file.
  std::filesystem::resize_file(File(kOrvUrl), 64 << 20);
  ASSERT_TRUE(files.WriteUrlList(LinkListElements({"http://b/"})));
  const long long before = BytesReadByThisProcess();
  if (before < 0) GTEST_SKIP() << "no /proc/self/io";
  for (int i = 0; i < 10; ++i) ASSERT_EQ(files.ReadUrlList(), (std::vector<std::string>{"1", "http://b/"}));
  EXPECT_LT(BytesReadByThisProcess() - before, 1 << 20);
}

TEST_F(ExchangeTest, TwoOpenInstancesAlwaysSeeEachOthersLatestWrite) {
  ExchangeFiles console;
  ASSERT_TRUE(console.Open(exchange, false));
  for (int i = 0; i < 200; ++i) {
    std::string v = "http://site/" + std::to_string(i);
    ASSERT_TRUE(files.WriteExt(NextUrl, v));
    ASSERT_EQ(console.ReadExt(NextUrl), v);
    ASSERT_TRUE(console.WriteExt(NextUrl, ""));
    ASSERT_EQ(files.ReadExt(NextUrl), "");
    ChannelRecord r{v, "s" + std::to_string(i), "", i, "", "1"};
    ASSERT_TRUE(console.WriteChannel(1 + i % 20, r));
    ASSERT_EQ(files.ReadChannel(1 + i % 20), r);
    ASSERT_TRUE(console.WriteUrlList(LinkListElements({v})));
    ASSERT_EQ(files.ReadUrlList().at(1), v);
  }
}

// A second process runs the mailbox handshake against this one; both keep their
// files open throughout, so any buffered stale read would stall the exchange.
TEST_F(ExchangeTest, HandshakeWithAnotherProcess) {
  constexpr int kRounds = 50;
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ExchangeFiles console;
    if (!console.Open(exchange, false)) _exit(2);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (int i = 0; i < kRounds;) {
      std::string v = console.ReadExt(NextUrl);
      if (!v.empty()) {
        if (v != "u" + std::to_string(i)) _exit(3);
        console.WriteExt(NextUrl, "");
        console.WriteUrlList(LinkListElements({"r" + std::to_string(i)}));
        console.WriteExt(ReportReady, "A");
        ++i;
      } else if (std::chrono::steady_clock::now() > deadline) {
        _exit(4);
      } else {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
      }
    }
    _exit(0);
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  bool ok = true;
  for (int i = 0; i < kRounds && ok; ++i) {
    ASSERT_TRUE(files.WriteExt(NextUrl, "u" + std::to_string(i)));
    while (files.ReadExt(ReportReady) != "A") {
      if (std::chrono::steady_clock::now() > deadline) {
        ok = false;
        break;
      }
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    if (!ok) break;
    auto list = files.ReadUrlList();
    EXPECT_EQ(list, (std::vector<std::string>{"1", "r" + std::to_string(i)}));
    EXPECT_EQ(files.ReadExt(NextUrl), "");
    files.WriteExt(ReportReady, "");
  }
  int status = 0;
  if (!ok) kill(child, SIGKILL);
  waitpid(child, &status, 0);
  EXPECT_TRUE(ok) << "handshake stalled";
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace orv
