#pragma once
// Text inside both programs is std::string of Windows-1251 bytes, one char per byte.
// Conversion to Unicode happens only at the edges (Qt widgets, configuration store,
// terminal), through this one codec.

#include <cstddef>
#include <string>
#include <string_view>

namespace orv {

// Unicode code point of a Windows-1251 byte. All 256 bytes map reversibly; the
// unassigned byte 0x98 maps to U+0098.
char16_t Cp1251ToUnicode(unsigned char byte);

// Windows-1251 byte of a code point, or -1 when the code page has none.
int UnicodeToCp1251(char32_t codePoint);

// Windows-1251 bytes -> UTF-8. Never fails.
std::string Cp1251ToUtf8(std::string_view bytes);

// UTF-8 -> Windows-1251 bytes. Characters without a code, and every byte of an
// invalid UTF-8 sequence, become '?'.
std::string Utf8ToCp1251(std::string_view utf8);

// For Russian literals written in UTF-8 in the source: Ru("Сеть") gives the
// Windows-1251 bytes the programs compare and store.
std::string Ru(std::string_view utf8Literal);

// True when the bytes are well-formed UTF-8 (no overlongs, no surrogates).
bool IsValidUtf8(std::string_view bytes);

// Case mapping of Windows-1251 text: ASCII letters and the Cyrillic letters of the
// code page (А-Я/а-я, Ё/ё and the other Cyrillic pairs). Other bytes unchanged.
unsigned char LowerByte(unsigned char byte);
unsigned char UpperByte(unsigned char byte);
std::string LowerCase(std::string_view text);
std::string UpperCase(std::string_view text);

// Removes leading and trailing spaces (0x20 only, as the classic Trim does; tabs
// and line breaks stay).
std::string Trim(std::string_view text);

// Case-insensitive (Windows-1251 rules) search; npos when absent.
std::size_t FindNoCase(std::string_view text, std::string_view needle, std::size_t from = 0);
inline bool ContainsNoCase(std::string_view text, std::string_view needle) {
  return FindNoCase(text, needle) != std::string_view::npos;
}
bool StartsWithNoCase(std::string_view text, std::string_view prefix);

// A local file name for display, as UTF-8: unchanged when the bytes are valid
// UTF-8 (a UTF-8 page's decoded link gives a UTF-8 name), else read as Windows-1251.
std::string DisplayName(std::string_view fileNameBytes);

}  // namespace orv
