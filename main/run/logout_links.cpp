#include "main/run/logout_links.h"

#include "common/address_markers.h"
#include "common/local_path.h"
#include "common/text.h"

namespace orv {
namespace {

bool WordByte(unsigned char c) {
  // ASCII letters and digits, and the letters of Windows-1251 (А-я, Ё, ё).
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c >= 0xC0 || c == 0xA8 ||
         c == 0xB8;
}

bool LogoutWord(std::string_view w) {
  static const std::string kWords[] = {"logout", "logoff", "signout", "signoff", "exit", Ru("выход"), Ru("выйти")};
  for (const std::string& k : kWords)
    if (w == k) return true;
  return false;
}

bool Half(std::string_view w, bool first) {
  return first ? (w == "log" || w == "sign") : (w == "out" || w == "off");
}

bool Lower(char c) { return c >= 'a' && c <= 'z'; }
bool Upper(char c) { return c >= 'A' && c <= 'Z'; }

}  // namespace

bool LooksLikeLogout(std::string_view address) {
  // Path and query: after the host, before the fragment.
  const std::size_t scheme = address.find("://");
  const std::size_t hostFrom = scheme == std::string_view::npos ? 0 : scheme + 3;
  const std::size_t pathFrom = address.find_first_of("/?", hostFrom);
  if (pathFrom == std::string_view::npos) return false;
  std::string_view rest = address.substr(pathFrom);
  rest = rest.substr(0, rest.find('#'));
  // "%D0%B2%D1%8B..." and "%E2%FB..." as the bytes they stand for; UTF-8 read as Windows-1251
  // letters, so one word list serves both.
  std::string text = LinkPercentDecode(rest);
  if (IsValidUtf8(text)) text = Utf8ToCp1251(text);

  // Words end at punctuation and where a small ASCII letter meets a capital ("doLogout").
  std::string previous;  // the word before, when only "-", "_" or a capital parted them
  std::size_t i = 0;
  while (i < text.size()) {
    if (!WordByte(static_cast<unsigned char>(text[i]))) {
      if (text[i] != '-' && text[i] != '_') previous.clear();
      ++i;
      continue;
    }
    std::size_t end = i + 1;
    while (end < text.size() && WordByte(static_cast<unsigned char>(text[end])) &&
           !(Lower(text[end - 1]) && Upper(text[end])))
      ++end;
    const std::string word = LowerCase(std::string_view(text).substr(i, end - i));
    if (LogoutWord(word) || (Half(previous, true) && Half(word, false))) return true;
    previous = word;
    i = end;
  }
  return false;
}

std::string LogoutLinkFilter::AddressOf(const std::string& element) {
  std::string a = element;
  CutReferrer(a);
  StripTrailingMarker(a, kEmbeddedMarker);
  StripTrailingMarker(a, kFrameMarker);
  return a;
}

}  // namespace orv
