#include "common/text.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

namespace orv {
namespace {

// The system's own CP1251 converter serves as an independent reference.
std::string IconvToUtf8(const std::string& in) {
  iconv_t cd = iconv_open("UTF-8", "CP1251");
  if (cd == reinterpret_cast<iconv_t>(-1)) return "<no iconv>";
  std::string out(in.size() * 4 + 4, '\0');
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  char* dst = out.data();
  size_t dstLeft = out.size();
  size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
  iconv_close(cd);
  if (rc == static_cast<size_t>(-1)) return "<iconv failed>";
  out.resize(out.size() - dstLeft);
  return out;
}

TEST(TextCodec, EveryByteRoundTripsAndMatchesTheSystemConverter) {
  for (int b = 0; b < 256; ++b) {
    std::string one(1, static_cast<char>(b));
    std::string utf8 = Cp1251ToUtf8(one);
    EXPECT_EQ(Utf8ToCp1251(utf8), one) << "byte " << b;
    EXPECT_EQ(UnicodeToCp1251(Cp1251ToUnicode(static_cast<unsigned char>(b))), b);
    if (b != 0x98) {
      EXPECT_EQ(utf8, IconvToUtf8(one)) << "byte " << b;
    }
  }
  EXPECT_EQ(Cp1251ToUnicode(0x98), u'\u0098');
  EXPECT_EQ(Cp1251ToUtf8("\x98"), "\xC2\x98");
}

TEST(TextCodec, RussianLiteralsBecomeSingleBytes) {
  EXPECT_EQ(Ru("Сеть"), "\xD1\xE5\xF2\xFC");
  EXPECT_EQ(Ru("Ёё№"), "\xA8\xB8\xB9");
  EXPECT_EQ(Cp1251ToUtf8(Ru("Введен ошибочный адрес")), "Введен ошибочный адрес");
}

TEST(TextCodec, UnmappableAndMalformedInputBecomesQuestionMarks) {
  EXPECT_EQ(Utf8ToCp1251("a中b"), "a?b");
  EXPECT_EQ(Utf8ToCp1251("\xF0\x9F\x98\x80"), "?");  // emoji: one character, one '?'
  EXPECT_EQ(Utf8ToCp1251("x\xFFy"), "x?y");
  EXPECT_EQ(Utf8ToCp1251("\xC0\xAF"), "??");  // overlong "/"
  EXPECT_EQ(Utf8ToCp1251("\xED\xA0\x80"), "???");  // surrogate
  EXPECT_EQ(Utf8ToCp1251("\xD0"), "?");  // cut short
  EXPECT_EQ(UnicodeToCp1251(0x4E2D), -1);
  EXPECT_EQ(UnicodeToCp1251(0x10FFFF), -1);
}

TEST(TextCodec, Utf8Validity) {
  EXPECT_TRUE(IsValidUtf8(""));
  EXPECT_TRUE(IsValidUtf8("plain"));
  EXPECT_TRUE(IsValidUtf8("Жук"));
  EXPECT_FALSE(IsValidUtf8(Ru("Жук")));
  EXPECT_FALSE(IsValidUtf8("\xE2\x82"));
}

TEST(TextCase, AsciiAndCyrillicLettersOnly) {
  EXPECT_EQ(LowerCase("HTTP://Site.RU/"), "http://site.ru/");
  EXPECT_EQ(UpperCase("abc-123"), "ABC-123");
  EXPECT_EQ(LowerCase(Ru("СЕТЬ Ёж ҐЇІЎЈЅЂЃЉЊЌЋЏЄ")), Ru("сеть ёж ґїіўјѕђѓљњќћџє"));
  EXPECT_EQ(UpperCase(Ru("папка ёж ґїіўјѕђѓљњќћџє")), Ru("ПАПКА ЁЖ ҐЇІЎЈЅЂЃЉЊЌЋЏЄ"));
  // Signs and the unassigned byte are not letters.
  const std::string others = "\x98\xAB\xBB\xB9\xA0\x96\x97" "0123456789!?";
  EXPECT_EQ(LowerCase(others), others);
  EXPECT_EQ(UpperCase(others), others);
  // Every byte's case pair maps back (no letter is lost in a round).
  for (int b = 0; b < 256; ++b) {
    auto c = static_cast<unsigned char>(b);
    if (UpperByte(c) != c) {
      EXPECT_EQ(LowerByte(UpperByte(c)), c) << b;
    }
    if (LowerByte(c) != c) {
      EXPECT_EQ(UpperByte(LowerByte(c)), c) << b;
    }
  }
}

TEST(TextSearch, CaseInsensitiveFindUsesTheCodePage) {
  EXPECT_EQ(FindNoCase(Ru("Путь ПАПКА"), Ru("папка")), 5u);
  EXPECT_EQ(FindNoCase("abcABC", "abc", 1), 3u);
  EXPECT_EQ(FindNoCase("abc", "abcd"), std::string::npos);
  // A start past the end (say npos from an earlier failed search) finds nothing.
  EXPECT_EQ(FindNoCase("abcABC", "bc", 5), std::string::npos);
  EXPECT_EQ(FindNoCase("abcABC", "bc", std::string::npos), std::string::npos);
  EXPECT_EQ(FindNoCase("abc", "", 3), 3u);
  EXPECT_TRUE(ContainsNoCase("http://WWW.Site.ru", "www.site"));
  EXPECT_TRUE(StartsWithNoCase("HTTP://x", "http://"));
  EXPECT_FALSE(StartsWithNoCase("HTT", "http://"));
}

TEST(TextTrim, SpacesOnly) {
  EXPECT_EQ(Trim("  a b  "), "a b");
  EXPECT_EQ(Trim("\ta\t"), "\ta\t");
  EXPECT_EQ(Trim("    "), "");
  EXPECT_EQ(Trim(""), "");
}

TEST(TextDisplay, FileNamesShowAsUtf8WhenTheyAreUtf8) {
  EXPECT_EQ(DisplayName("страница.html"), "страница.html");
  EXPECT_EQ(DisplayName(Ru("страница.html")), "страница.html");
  EXPECT_EQ(DisplayName("index.html"), "index.html");
}

}  // namespace
}  // namespace orv
