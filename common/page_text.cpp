// Reading saved pages in the charset they came in (declarations in common/text.h).

#include <algorithm>
#include <array>
#include <cstring>

#include "common/text.h"

namespace orv {
namespace {

using Table = std::array<char16_t, 128>;

// Bytes 0x80..0xFF of the single-byte code pages, from their published mapping tables.
constexpr Table kKoi8R = {
    0x2500, 0x2502, 0x250C, 0x2510, 0x2514, 0x2518, 0x251C, 0x2524, 0x252C, 0x2534, 0x253C, 0x2580, 0x2584,
    0x2588, 0x258C, 0x2590, 0x2591, 0x2592, 0x2593, 0x2320, 0x25A0, 0x2219, 0x221A, 0x2248, 0x2264, 0x2265,
    0x00A0, 0x2321, 0x00B0, 0x00B2, 0x00B7, 0x00F7, 0x2550, 0x2551, 0x2552, 0x0451, 0x2553, 0x2554, 0x2555,
    0x2556, 0x2557, 0x2558, 0x2559, 0x255A, 0x255B, 0x255C, 0x255D, 0x255E, 0x255F, 0x2560, 0x2561, 0x0401,
    0x2562, 0x2563, 0x2564, 0x2565, 0x2566, 0x2567, 0x2568, 0x2569, 0x256A, 0x256B, 0x256C, 0x00A9, 0x044E,
    0x0430, 0x0431, 0x0446, 0x0434, 0x0435, 0x0444, 0x0433, 0x0445, 0x0438, 0x0439, 0x043A, 0x043B, 0x043C,
    0x043D, 0x043E, 0x043F, 0x044F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0436, 0x0432, 0x044C, 0x044B, 0x0437,
    0x0448, 0x044D, 0x0449, 0x0447, 0x044A, 0x042E, 0x0410, 0x0411, 0x0426, 0x0414, 0x0415, 0x0424, 0x0413,
    0x0425, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F, 0x042F, 0x0420, 0x0421, 0x0422,
    0x0423, 0x0416, 0x0412, 0x042C, 0x042B, 0x0417, 0x0428, 0x042D, 0x0429, 0x0427, 0x042A,
};

// KOI8-U: KOI8-R with the Ukrainian letters in eight box-drawing places.
constexpr Table MakeKoi8U() {
  Table t = kKoi8R;
  const std::pair<int, char16_t> ukrainian[] = {{0xA4, 0x0454}, {0xA6, 0x0456}, {0xA7, 0x0457}, {0xAD, 0x0491},
                                                {0xB4, 0x0404}, {0xB6, 0x0406}, {0xB7, 0x0407}, {0xBD, 0x0490}};
  for (auto [byte, cp] : ukrainian) t[static_cast<std::size_t>(byte - 0x80)] = cp;
  return t;
}
constexpr Table kKoi8U = MakeKoi8U();

constexpr Table MakeIbm866() {
  constexpr char16_t kDrawing[48] = {
      0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
      0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
      0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
      0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580};
  constexpr char16_t kTail[16] = {0x0401, 0x0451, 0x0404, 0x0454, 0x0407, 0x0457, 0x040E, 0x045E,
                                  0x00B0, 0x2219, 0x00B7, 0x221A, 0x2116, 0x00A4, 0x25A0, 0x00A0};
  Table t{};
  for (int i = 0; i < 48; ++i) t[static_cast<std::size_t>(i)] = static_cast<char16_t>(0x0410 + i);  // А..п
  for (int i = 0; i < 48; ++i) t[static_cast<std::size_t>(48 + i)] = kDrawing[i];
  for (int i = 0; i < 16; ++i) t[static_cast<std::size_t>(96 + i)] = static_cast<char16_t>(0x0440 + i);  // р..я
  for (int i = 0; i < 16; ++i) t[static_cast<std::size_t>(112 + i)] = kTail[i];
  return t;
}
constexpr Table kIbm866 = MakeIbm866();

// Windows-1252: Latin-1 with printable characters in 0x80..0x9F; its five holes stay C1 controls.
constexpr Table MakeWindows1252() {
  constexpr char16_t kC1[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  Table t{};
  for (int i = 0; i < 128; ++i) t[static_cast<std::size_t>(i)] = i < 32 ? kC1[i] : static_cast<char16_t>(0x80 + i);
  return t;
}
constexpr Table kWindows1252 = MakeWindows1252();

constexpr Table MakeIso8859_5() {
  Table t{};
  for (int b = 0x80; b < 0x100; ++b) {
    char16_t cp = b < 0xA1 ? static_cast<char16_t>(b) : static_cast<char16_t>(0x0401 + (b - 0xA1));
    if (b == 0xAD) cp = 0x00AD;
    if (b == 0xF0) cp = 0x2116;
    if (b == 0xFD) cp = 0x00A7;
    t[static_cast<std::size_t>(b - 0x80)] = cp;
  }
  return t;
}
constexpr Table kIso8859_5 = MakeIso8859_5();

const Table* SingleByteTable(PageCharset c) {
  switch (c) {
    case PageCharset::Windows1252: return &kWindows1252;
    case PageCharset::Koi8R: return &kKoi8R;
    case PageCharset::Koi8U: return &kKoi8U;
    case PageCharset::Ibm866: return &kIbm866;
    case PageCharset::Iso8859_5: return &kIso8859_5;
    default: return nullptr;
  }
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

// One UTF-8 sequence at s[i] (a byte above 0x7F): its length, 0 when it is cut by the end
// of s but valid so far, -1 when it is not valid UTF-8.
int Utf8Sequence(std::string_view s, std::size_t i, char32_t& cp) {
  auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned char lead = b(i);
  int len;
  unsigned char lo = 0x80, hi = 0xBF;  // the allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    len = 2;
    cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    len = 3;
    cp = lead & 0x0F;
    if (lead == 0xE0) lo = 0xA0;  // no overlongs
    if (lead == 0xED) hi = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    len = 4;
    cp = lead & 0x07;
    if (lead == 0xF0) lo = 0x90;
    if (lead == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
  } else {
    return -1;
  }
  for (int k = 1; k < len; ++k) {
    if (i + static_cast<std::size_t>(k) >= s.size()) return 0;
    unsigned char c = b(i + static_cast<std::size_t>(k));
    if (k == 1 ? (c < lo || c > hi) : (c & 0xC0) != 0x80) return -1;
    cp = (cp << 6) | (c & 0x3F);
  }
  return len;
}

// Valid UTF-8 from the first byte on, a sequence cut at the end allowed.
bool LooksLikeUtf8(std::string_view s) {
  std::size_t i = 0;
  char32_t cp = 0;
  while (i < s.size()) {
    if (static_cast<unsigned char>(s[i]) < 0x80) {
      ++i;
      continue;
    }
    int len = Utf8Sequence(s, i, cp);
    if (len < 0) return false;
    if (len == 0) return true;
    i += static_cast<std::size_t>(len);
  }
  return true;
}

// The label after "charset" (or "encoding") at pos in a lower-cased tag: "=", blanks and
// quotes skipped.
std::string_view LabelAfter(std::string_view tag, std::size_t pos) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; };
  while (pos < tag.size() && blank(tag[pos])) ++pos;
  if (pos >= tag.size() || tag[pos] != '=') return {};
  ++pos;
  while (pos < tag.size() && (blank(tag[pos]) || tag[pos] == '"' || tag[pos] == '\'')) ++pos;
  std::size_t end = pos;
  while (end < tag.size() && !blank(tag[end]) && std::strchr("\"';>/", tag[end]) == nullptr) ++end;
  return tag.substr(pos, end - pos);
}

PageCharset CharsetInTags(std::string_view lowered, std::string_view opening, std::string_view attribute,
                          std::string_view closing) {
  for (std::size_t at = lowered.find(opening); at != std::string_view::npos;
       at = lowered.find(opening, at + opening.size())) {
    std::size_t end = lowered.find(closing, at);
    std::string_view tag = lowered.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
    for (std::size_t k = tag.find(attribute); k != std::string_view::npos; k = tag.find(attribute, k + 1)) {
      PageCharset c = CharsetByLabel(LabelAfter(tag, k + attribute.size()));
      if (c != PageCharset::Undecided) return c;
    }
  }
  return PageCharset::Undecided;
}

}  // namespace

PageCharset CharsetByLabel(std::string_view label) {
  std::string l;
  for (char c : label) {
    if (c != ' ' && c != '"' && c != '\'' && c != '\t') l.push_back(AsciiLower(c));
  }
  struct Known {
    const char* label;
    PageCharset charset;
  };
  static constexpr Known kKnown[] = {
      {"utf-8", PageCharset::Utf8},           {"utf8", PageCharset::Utf8},
      {"unicode-1-1-utf-8", PageCharset::Utf8}, {"utf-16", PageCharset::Utf16LE},
      {"utf-16le", PageCharset::Utf16LE},     {"utf-16be", PageCharset::Utf16BE},
      {"windows-1251", PageCharset::Windows1251}, {"cp1251", PageCharset::Windows1251},
      {"x-cp1251", PageCharset::Windows1251}, {"win-1251", PageCharset::Windows1251},
      {"windows-1252", PageCharset::Windows1252}, {"cp1252", PageCharset::Windows1252},
      {"iso-8859-1", PageCharset::Windows1252}, {"iso8859-1", PageCharset::Windows1252},
      {"latin1", PageCharset::Windows1252},   {"us-ascii", PageCharset::Windows1252},
      {"ascii", PageCharset::Windows1252},    {"koi8-r", PageCharset::Koi8R},
      {"koi8r", PageCharset::Koi8R},          {"koi8", PageCharset::Koi8R},
      {"koi8-u", PageCharset::Koi8U},         {"koi8-ru", PageCharset::Koi8U},
      {"ibm866", PageCharset::Ibm866},        {"cp866", PageCharset::Ibm866},
      {"866", PageCharset::Ibm866},           {"iso-8859-5", PageCharset::Iso8859_5},
      {"iso8859-5", PageCharset::Iso8859_5},  {"iso_8859-5", PageCharset::Iso8859_5},
  };
  for (const Known& k : kKnown) {
    if (l == k.label) return k.charset;
  }
  return PageCharset::Undecided;
}

PageCharset DeclaredPageCharset(std::string_view head, std::size_t* bomLength) {
  if (bomLength != nullptr) *bomLength = 0;
  auto bom = [&](std::string_view mark, PageCharset c) {
    if (head.substr(0, mark.size()) != mark) return false;
    if (bomLength != nullptr) *bomLength = mark.size();
    return c != PageCharset::Undecided;
  };
  if (bom("\xEF\xBB\xBF", PageCharset::Utf8)) return PageCharset::Utf8;
  if (bom("\xFF\xFE", PageCharset::Utf16LE)) return PageCharset::Utf16LE;
  if (bom("\xFE\xFF", PageCharset::Utf16BE)) return PageCharset::Utf16BE;
  std::string lowered(head);
  std::transform(lowered.begin(), lowered.end(), lowered.begin(), AsciiLower);
  PageCharset c = CharsetInTags(lowered, "<meta", "charset", ">");
  // A page readable as ASCII cannot be UTF-16 whatever it says; browsers read it as UTF-8.
  if (c == PageCharset::Utf16LE || c == PageCharset::Utf16BE) return PageCharset::Utf8;
  if (c != PageCharset::Undecided) return c;
  return CharsetInTags(lowered, "<?xml", "encoding", "?>");
}

void PageTextDecoder::Emit(char32_t codePoint, std::string& out) const {
  int b = UnicodeToCp1251(codePoint);
  if (b >= 0) {
    out.push_back(static_cast<char>(b));
  } else if (unmapped_ == Unmapped::Marker) {
    out.push_back(kUnmappedMarker);
  } else {
    out += "&#" + std::to_string(static_cast<unsigned long>(codePoint)) + ";";
  }
}

void PageTextDecoder::Append(std::string_view bytes, std::string& out) {
  if (charset_ == PageCharset::Undecided) {
    auto high = std::find_if(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    if (high == bytes.end()) {  // ASCII reads the same either way
      out.append(bytes);
      return;
    }
    charset_ = LooksLikeUtf8(bytes) ? PageCharset::Utf8 : PageCharset::Windows1251;
  }
  switch (charset_) {
    case PageCharset::Windows1251:
      out.append(bytes);
      return;
    case PageCharset::Utf8:
      AppendUtf8(bytes, out);
      return;
    case PageCharset::Utf16LE:
    case PageCharset::Utf16BE:
      AppendUtf16(bytes, out);
      return;
    default:
      break;
  }
  const Table& table = *SingleByteTable(charset_);
  for (char c : bytes) {
    auto b = static_cast<unsigned char>(c);
    if (b < 0x80) {
      out.push_back(c);
    } else {
      Emit(table[b - 0x80u], out);
    }
  }
}

void PageTextDecoder::AppendUtf8(std::string_view bytes, std::string& out) {
  // Decodes the sequences that start before stop; returns where it stopped (at stop, or at a
  // sequence cut by the end of s).
  auto run = [this, &out](std::string_view s, std::size_t stop) {
    std::size_t i = 0;
    while (i < stop) {
      auto b = static_cast<unsigned char>(s[i]);
      if (b < 0x80) {
        std::size_t j = i + 1;
        while (j < stop && static_cast<unsigned char>(s[j]) < 0x80) ++j;
        out.append(s.substr(i, j - i));
        i = j;
        continue;
      }
      char32_t cp = 0;
      int len = Utf8Sequence(s, i, cp);
      if (len == 0) return i;
      if (len < 0) {
        out.push_back(static_cast<char>(b));  // not UTF-8 here: the byte as Windows-1251
        ++i;
      } else {
        Emit(cp, out);
        i += static_cast<std::size_t>(len);
      }
    }
    return i;
  };
  if (!pending_.empty()) {
    // The cut sequence with the first bytes of this piece: at most three more are needed.
    std::string joined = pending_ + std::string(bytes.substr(0, 3));
    std::size_t held = pending_.size();
    std::size_t at = run(joined, held);
    if (at < held) {  // still cut: this piece was shorter than the rest of the sequence
      pending_ = joined.substr(at);
      return;
    }
    pending_.clear();
    bytes.remove_prefix(at - held);
  }
  std::size_t at = run(bytes, bytes.size());
  pending_.assign(bytes.substr(at));
}

void PageTextDecoder::AppendUtf16(std::string_view bytes, std::string& out) {
  std::size_t i = 0;
  auto unit = [&](unsigned char a, unsigned char b) {
    char32_t u = charset_ == PageCharset::Utf16LE ? (a | (b << 8)) : ((a << 8) | b);
    if (highHalf_ != 0) {
      if (u >= 0xDC00 && u <= 0xDFFF) {
        Emit(0x10000 + ((highHalf_ - 0xD800) << 10) + (u - 0xDC00), out);
        highHalf_ = 0;
        return;
      }
      Emit(0xFFFD, out);  // a high half without its low half
      highHalf_ = 0;
    }
    if (u >= 0xD800 && u <= 0xDBFF) {
      highHalf_ = u;
    } else {
      Emit(u >= 0xDC00 && u <= 0xDFFF ? 0xFFFD : u, out);
    }
  };
  if (!pending_.empty() && !bytes.empty()) {
    unit(static_cast<unsigned char>(pending_[0]), static_cast<unsigned char>(bytes[0]));
    pending_.clear();
    i = 1;
  }
  for (; i + 1 < bytes.size(); i += 2) {
    unit(static_cast<unsigned char>(bytes[i]), static_cast<unsigned char>(bytes[i + 1]));
  }
  if (i < bytes.size()) pending_.assign(1, bytes[i]);
}

void PageTextDecoder::Finish(std::string& out) {
  if (charset_ == PageCharset::Utf8) out += pending_;
  if (highHalf_ != 0) Emit(0xFFFD, out);
  pending_.clear();
  highHalf_ = 0;
}

std::string PageHeadToCp1251(std::string_view head) {
  std::size_t bom = 0;
  PageTextDecoder decoder(DeclaredPageCharset(head, &bom), PageTextDecoder::Unmapped::NumericReference);
  std::string out;
  decoder.Append(head.substr(bom), out);
  decoder.Finish(out);
  return out;
}

std::string FileNameText(std::string_view fileNameBytes, PageTextDecoder::Unmapped unmapped) {
  bool ascii = std::all_of(fileNameBytes.begin(), fileNameBytes.end(),
                           [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (ascii || !IsValidUtf8(fileNameBytes)) return std::string(fileNameBytes);
  PageTextDecoder decoder(PageCharset::Utf8, unmapped);
  std::string out;
  decoder.Append(fileNameBytes, out);
  decoder.Finish(out);
  return out;
}

}  // namespace orv
