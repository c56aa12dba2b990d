#include "common/string_list.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/common/temp_folder.h"

namespace orv {
namespace {

using testing::FileBytes;
using testing::PutFileBytes;
using testing::TempFolder;
using namespace std::string_literals;

TEST(CountedString, LittleEndianLengthThenBytes) {
  std::string out;
  ASSERT_TRUE(AppendCountedString(out, "ab"));
  ASSERT_TRUE(AppendCountedString(out, ""));
  ASSERT_TRUE(AppendCountedString(out, std::string(300, 'x')));
  EXPECT_EQ(out.substr(0, 6), "\x02\x00" "ab" "\x00\x00"s);
  EXPECT_EQ(out.substr(6, 2), "\x2C\x01"s);
  EXPECT_EQ(out.size(), 6u + 2 + 300);

  std::size_t pos = 0;
  std::string s;
  ASSERT_TRUE(ReadCountedString(out, pos, s));
  EXPECT_EQ(s, "ab");
  ASSERT_TRUE(ReadCountedString(out, pos, s));
  EXPECT_EQ(s, "");
  ASSERT_TRUE(ReadCountedString(out, pos, s));
  EXPECT_EQ(s, std::string(300, 'x'));
  EXPECT_EQ(pos, out.size());
  EXPECT_FALSE(ReadCountedString(out, pos, s));
}

TEST(CountedString, TheLongestStorableStringAndOneByteMore) {
  std::string out = "keep";
  ASSERT_TRUE(AppendCountedString(out, std::string(65535, 'a')));
  EXPECT_EQ(out.substr(4, 2), "\xFF\xFF"s);
  std::string before = out;
  EXPECT_FALSE(AppendCountedString(out, std::string(65536, 'a')));
  EXPECT_EQ(out, before);
}

TEST(CountedString, TruncatedDataReadsAsFailure) {
  std::string s = "old";
  std::size_t pos = 0;
  EXPECT_FALSE(ReadCountedString("\x05\x00" "abc"s, pos, s));
  EXPECT_EQ(s, "");
  EXPECT_EQ(pos, 5u);
  pos = 0;
  EXPECT_FALSE(ReadCountedString("\x05"s, pos, s));
  pos = 10;  // past the end: no out-of-range access
  EXPECT_FALSE(ReadCountedString("\x01\x00x"s, pos, s));
}

TEST(StringArray, WritesExactBytesAndReadsThemBack) {
  TempFolder dir;
  const std::string path = dir / "orvcess";
  std::vector<std::string> elements = CountedList({"a", "\xC6", ""});
  ASSERT_EQ(elements, (std::vector<std::string>{"3", "a", "\xC6", ""}));
  std::string error;
  ASSERT_TRUE(WriteStringArrayFile(path, elements, &error)) << error;
  EXPECT_EQ(FileBytes(path), "\x01\x00" "3" "\x01\x00" "a" "\x01\x00" "\xC6" "\x00\x00"s);
  EXPECT_EQ(ReadStringArrayFile(path), elements);
}

TEST(StringArray, CountDecidesHowManyElementsAreRead) {
  // Count 1 with three stored elements: the tail is stale and ignored.
  std::string data = "\x01\x00" "1" "\x01\x00" "a" "\x01\x00" "b" "\x01\x00" "c"s;
  EXPECT_EQ(ParseStringArray(data), (std::vector<std::string>{"1", "a"}));
  // Count 4 with two stored: the missing ones are empty.
  data = "\x02\x00" " 4" "\x01\x00" "a" "\x01\x00" "b" "\x01\x00" "c" "\x01\x00" "d"s;
  data.resize(data.size() - 6);  // drop "c" and "d"
  EXPECT_EQ(ParseStringArray(data), (std::vector<std::string>{" 4", "a", "b", "", ""}));
  // An element cut short by the end of the file reads as empty, as does the rest.
  data = "\x01\x00" "3" "\x01\x00" "a" "\x09\x00" "bcd" "\x01\x00" "z"s;
  EXPECT_EQ(ParseStringArray(data), (std::vector<std::string>{"3", "a", "", ""}));
}

TEST(StringArray, OddCountsAndEmptyData) {
  EXPECT_TRUE(ParseStringArray("").empty());
  EXPECT_EQ(ParseStringArray("\x01\x00" "0" "\x01\x00" "x"s), (std::vector<std::string>{"0"}));
  EXPECT_EQ(ParseStringArray("\x02\x00" "-3" "\x01\x00" "x"s), (std::vector<std::string>{"-3"}));
  EXPECT_EQ(ParseStringArray("\x03\x00" "abc" "\x01\x00" "x"s), (std::vector<std::string>{"abc"}));
  // Element 0 itself cut short: nothing to count with.
  EXPECT_EQ(ParseStringArray("\x07\x00" "12"s), (std::vector<std::string>{""}));
}

TEST(StringArray, CorruptHugeCountIsCappedByTheFileSize) {
  std::string data = "\x0A\x00" "4000000000" "\x01\x00" "a"s;
  auto list = ParseStringArray(data);
  EXPECT_LE(list.size(), data.size() / 2 + 1);
  ASSERT_GE(list.size(), 2u);
  EXPECT_EQ(list[0], "4000000000");
  EXPECT_EQ(list[1], "a");
  for (std::size_t i = 2; i < list.size(); ++i) EXPECT_EQ(list[i], "");
  data = "\x13\x00" "9223372036854775807"s;
  EXPECT_LE(ParseStringArray(data).size(), data.size() / 2 + 1);
}

TEST(StringArray, MissingFileReadsAsEmpty) {
  TempFolder dir;
  EXPECT_TRUE(ReadStringArrayFile(dir / "nothing-here").empty());
}

TEST(StringArray, ReplacingAListLeavesNoTailAndNoTemporaryFiles) {
  TempFolder dir;
  const std::string path = dir / "orvproxy";
  ASSERT_TRUE(WriteStringArrayFile(path, CountedList({std::string(500, 'p'), "q", "r"})));
  ASSERT_TRUE(WriteStringArrayFile(path, CountedList({"s"})));
  EXPECT_EQ(FileBytes(path), "\x01\x00" "1" "\x01\x00" "s"s);
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
    (void)e;
    ++files;
  }
  EXPECT_EQ(files, 1);
}

TEST(StringArray, OverlongElementIsRefusedAndTheOldListSurvives) {
  TempFolder dir;
  const std::string path = dir / "orvnecess";
  ASSERT_TRUE(WriteStringArrayFile(path, CountedList({"keep"})));
  const std::string before = FileBytes(path);
  std::string error;
  EXPECT_FALSE(WriteStringArrayFile(path, CountedList({"ok", std::string(70000, 'x')}), &error));
  EXPECT_NE(error.find("element 2"), std::string::npos) << error;
  EXPECT_EQ(FileBytes(path), before);
}

TEST(StringArray, WriteIntoAMissingFolderFailsCleanly) {
  TempFolder dir;
  std::string error;
  EXPECT_FALSE(WriteStringArrayFile(dir / "no/such/folder/list", {"0"}, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(std::filesystem::exists(dir / "no"));
}

TEST(StringArray, WholeFileHelpers) {
  TempFolder dir;
  ASSERT_TRUE(WriteFileAtomically(dir / "f", "one"));
  ASSERT_TRUE(WriteFileAtomically(dir / "f", "\x00two"s));
  std::string bytes;
  ASSERT_TRUE(ReadWholeFile(dir / "f", bytes));
  EXPECT_EQ(bytes, "\x00two"s);
  EXPECT_FALSE(ReadWholeFile(dir / "g", bytes));
  PutFileBytes(dir / "big", std::string(200000, 'b'));
  ASSERT_TRUE(ReadWholeFile(dir / "big", bytes));
  EXPECT_EQ(bytes.size(), 200000u);
}

}  // namespace
}  // namespace orv
