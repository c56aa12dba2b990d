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
  // And back: a UTF-8 name reads as the program's text; a character it lacks never matches.
  EXPECT_EQ(FileNameText("страница.html"), Ru("страница.html"));
  EXPECT_EQ(FileNameText(Ru("страница.html")), Ru("страница.html"));
  EXPECT_EQ(FileNameText("a中.html"), "a\x98.html");
  EXPECT_EQ(FileNameText("a中", PageTextDecoder::Unmapped::NumericReference), "a&#20013;");
}

// The code point iconv reads for one byte of a code page; 0 when it has none.
char32_t IconvCodePoint(const char* charset, unsigned char byte) {
  iconv_t cd = iconv_open("UTF-32LE", charset);
  if (cd == reinterpret_cast<iconv_t>(-1)) return 0;
  char in = static_cast<char>(byte);
  unsigned char out[4] = {};
  char* src = &in;
  char* dst = reinterpret_cast<char*>(out);
  size_t srcLeft = 1, dstLeft = 4;
  size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
  iconv_close(cd);
  if (rc == static_cast<size_t>(-1) || dstLeft != 0) return 0;
  return out[0] | (out[1] << 8) | (out[2] << 16) | (static_cast<char32_t>(out[3]) << 24);
}

std::string Decoded(PageCharset charset, std::string_view bytes, std::size_t piece = std::string::npos,
                    PageTextDecoder::Unmapped unmapped = PageTextDecoder::Unmapped::NumericReference) {
  PageTextDecoder decoder(charset, unmapped);
  std::string out;
  for (std::size_t at = 0; at < bytes.size(); at += piece) decoder.Append(bytes.substr(at, piece), out);
  decoder.Finish(out);
  return out;
}

TEST(PageText, SingleByteCodePagesReadAsTheSystemConverterReadsThem) {
  const std::pair<PageCharset, const char*> pages[] = {
      {PageCharset::Koi8R, "KOI8-R"},          {PageCharset::Koi8U, "KOI8-U"},
      {PageCharset::Ibm866, "CP866"},          {PageCharset::Windows1252, "CP1252"},
      {PageCharset::Iso8859_5, "ISO-8859-5"},  {PageCharset::Windows1251, "CP1251"}};
  for (auto [charset, name] : pages) {
    for (int b = 0x80; b < 0x100; ++b) {
      char32_t cp = IconvCodePoint(name, static_cast<unsigned char>(b));
      if (cp == 0) continue;  // a hole in the code page
      int mapped = UnicodeToCp1251(cp);
      std::string expected = mapped >= 0 ? std::string(1, static_cast<char>(mapped))
                                         : "&#" + std::to_string(static_cast<unsigned long>(cp)) + ";";
      EXPECT_EQ(Decoded(charset, std::string(1, static_cast<char>(b))), expected) << name << " byte " << b;
    }
  }
  EXPECT_EQ(Decoded(PageCharset::Koi8R, "\xF0\xD2\xC9\xD7\xC5\xD4 ok"), Ru("Привет ok"));
}

TEST(PageText, MultiByteTextGivesTheSameWhereverItIsCut) {
  const std::string utf8 = "Привет, мир — €5 😀 \xFF end";  // one stray byte read as Windows-1251
  const std::string expected = Ru("Привет, мир — ") + "\x88" "5 &#128512; \xFF end";
  const std::string utf16le("\x1F\x04\x40\x04 \x00\x3D\xD8\x00\xDE", 10);  // "Пр 😀"
  std::string utf16be;
  for (std::size_t i = 0; i + 1 < utf16le.size(); i += 2) utf16be += {utf16le[i + 1], utf16le[i]};
  for (std::size_t piece = 1; piece <= utf8.size(); ++piece) {
    EXPECT_EQ(Decoded(PageCharset::Utf8, utf8, piece), expected) << piece;
    EXPECT_EQ(Decoded(PageCharset::Utf16LE, utf16le, piece), Ru("Пр ") + "&#128512;") << piece;
    EXPECT_EQ(Decoded(PageCharset::Utf16BE, utf16be, piece), Ru("Пр ") + "&#128512;") << piece;
  }
  EXPECT_EQ(Decoded(PageCharset::Utf8, "a\xD0", std::string::npos), "a\xD0");  // cut by the end
  EXPECT_EQ(Decoded(PageCharset::Utf8, "中", std::string::npos, PageTextDecoder::Unmapped::Marker), "\x98");
}

TEST(PageText, CharsetIsDeclaredOrDetected) {
  std::size_t bom = 9;
  EXPECT_EQ(DeclaredPageCharset("\xEF\xBB\xBF<html>", &bom), PageCharset::Utf8);
  EXPECT_EQ(bom, 3u);
  EXPECT_EQ(DeclaredPageCharset("\xFF\xFE<\0", &bom), PageCharset::Utf16LE);
  EXPECT_EQ(DeclaredPageCharset("\xFE\xFF\0<", &bom), PageCharset::Utf16BE);
  EXPECT_EQ(DeclaredPageCharset("<html><META CharSet = 'KOI8-R'>", &bom), PageCharset::Koi8R);
  EXPECT_EQ(bom, 0u);
  EXPECT_EQ(DeclaredPageCharset("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">"),
            PageCharset::Windows1251);
  EXPECT_EQ(DeclaredPageCharset("<meta name=x><meta charset=utf-8/>"), PageCharset::Utf8);
  EXPECT_EQ(DeclaredPageCharset("<?xml version=\"1.0\" encoding=\"cp866\"?><html>"), PageCharset::Ibm866);
  EXPECT_EQ(DeclaredPageCharset("<meta charset=\"utf-16\">"), PageCharset::Utf8);
  EXPECT_EQ(DeclaredPageCharset("<meta charset=\"x-unknown\"><p>charset=koi8-r</p>"), PageCharset::Undecided);

  // Undecided: ASCII pieces pass; the first piece above ASCII decides for the rest.
  for (const std::string& word : {std::string("Привет"), Ru("Привет")}) {
    PageTextDecoder decoder(PageCharset::Undecided);
    std::string out;
    decoder.Append("<html>", out);
    EXPECT_EQ(decoder.Charset(), PageCharset::Undecided);
    decoder.Append(word.substr(0, 3), out);  // a UTF-8 page cut inside a letter is still UTF-8
    decoder.Append(word.substr(3), out);
    decoder.Finish(out);
    EXPECT_EQ(out, "<html>" + Ru("Привет"));
  }
  EXPECT_EQ(PageHeadToCp1251("<title>Глава 中</title>"), Ru("<title>Глава &#20013;</title>"));
  EXPECT_EQ(PageHeadToCp1251("<meta charset=koi8-r><title>\xE7\xCC\xC1\xD7\xC1</title>"),
            "<meta charset=koi8-r><title>" + Ru("Глава") + "</title>");
}

}  // namespace
}  // namespace orv
