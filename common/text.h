#pragma once
// Text inside both programs is std::string of Windows-1251 bytes, one char per byte.
// Conversion to Unicode happens only at the edges (Qt widgets, configuration store,
// terminal), through this one codec. Saved pages keep the bytes and charset they came in;
// where the main program reads a page's text (search, help titles) it converts it into
// Windows-1251 as it reads, with PageTextDecoder below.

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

// --- Pages in their own charset ---

// The charsets a saved page is read in. Undecided: declared nothing this codec knows;
// the decoder then detects (see PageTextDecoder).
enum class PageCharset {
  Undecided, Utf8, Utf16LE, Utf16BE, Windows1251, Windows1252, Koi8R, Koi8U, Ibm866, Iso8859_5
};

// A charset label as pages and servers write it ("UTF-8", "cp1251", "koi8-r", ...), letter
// case and surrounding blanks or quotes ignored; Undecided for labels it does not know.
// "iso-8859-1" and "us-ascii" read as windows-1252, as browsers read them.
PageCharset CharsetByLabel(std::string_view label);

// What a page declares in its first bytes: a byte-order mark (its length goes to
// *bomLength), else the charset of a <meta charset=...> or <meta http-equiv="Content-Type"
// content="...; charset=..."> tag, else the encoding of an XML declaration. Undecided when
// it declares nothing known.
PageCharset DeclaredPageCharset(std::string_view head, std::size_t* bomLength = nullptr);

// The byte a character without a Windows-1251 code becomes under Unmapped::Marker: the
// code page's unassigned byte, which typed text never holds, so it matches nothing.
inline constexpr char kUnmappedMarker = '\x98';

// Turns a page's bytes into Windows-1251 text as they stream in, piece by piece; a
// multi-byte sequence cut at the end of one piece is completed by the next. An Undecided
// page is detected at its first piece holding a byte above 0x7F: UTF-8 when that piece is
// valid UTF-8 (a sequence cut at its end counts as valid), else Windows-1251. Bytes that
// are not valid in a UTF-8 page are read as Windows-1251 bytes.
class PageTextDecoder {
 public:
  enum class Unmapped { Marker, NumericReference };  // kUnmappedMarker, or "&#N;"
  explicit PageTextDecoder(PageCharset charset, Unmapped unmapped = Unmapped::Marker)
      : charset_(charset), unmapped_(unmapped) {}
  void Append(std::string_view bytes, std::string& out);
  // The end of the page: a sequence left cut is emitted byte by byte as Windows-1251.
  void Finish(std::string& out);
  PageCharset Charset() const { return charset_; }

 private:
  void Emit(char32_t codePoint, std::string& out) const;
  void AppendUtf8(std::string_view bytes, std::string& out);
  void AppendUtf16(std::string_view bytes, std::string& out);

  PageCharset charset_;
  Unmapped unmapped_;
  std::string pending_;    // the start of a cut sequence
  char32_t highHalf_ = 0;  // UTF-16: a high surrogate waiting for its low half
};

// A whole page head, declared or detected, as Windows-1251 text with numeric references
// for the characters the code page lacks (the help project's titles).
std::string PageHeadToCp1251(std::string_view head);

// A local file name as Windows-1251 text, the reverse of DisplayName: a name that is valid
// UTF-8 is converted (characters without a code as chosen), others unchanged.
std::string FileNameText(std::string_view fileNameBytes,
                         PageTextDecoder::Unmapped unmapped = PageTextDecoder::Unmapped::Marker);

}  // namespace orv
