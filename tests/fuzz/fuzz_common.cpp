// Feeds arbitrary bytes to the shared parsers and decoders: list files, channel records, the
// exchange files (the outcome log included) as the other program may leave them, the escape
// decoders and the address-to-local-name mapping. Besides crashes, hangs and undefined
// behaviour it checks what must hold for every input.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "common/address_scheme.h"
#include "common/address_text.h"
#include "common/cookie_file.h"
#include "common/exchange.h"
#include "common/fetch_outcome.h"
#include "common/local_path.h"
#include "common/numbers.h"
#include "common/string_list.h"
#include "common/text.h"
#include "tests/common/reference_decoders.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

// The reference decoders restart from the first character after every replacement;
// past this length they would dominate the run time.
constexpr std::size_t kReferenceLimit = 2048;

void CheckStringArray(std::string_view data) {
  std::vector<std::string> list = orv::ParseStringArray(data);
  if (data.empty()) {
    Check(list.empty());
    return;
  }
  Check(!list.empty());
  Check(list.size() <= data.size() / 2 + 1);
  std::size_t pos = 0;
  std::string first;
  orv::ReadCountedString(data, pos, first);
  Check(list[0] == first);
  long long count = orv::LeadingInt(list[0]);
  long long cap = static_cast<long long>(data.size() / 2);
  long long expected = count < 0 ? 0 : (count > cap ? cap : count);
  Check(list.size() == static_cast<std::size_t>(expected) + 1);
  // What was read can be written again and reads back the same.
  std::string bytes;
  Check(orv::EncodeStringArray(list, bytes));
  if (count >= 0 && count <= cap) Check(orv::ParseStringArray(bytes) == list);
}

void CheckChannelRecord(std::string_view data) {
  orv::ChannelRecord r = orv::ExchangeFiles::DecodeChannel(data);
  std::string bytes;
  if (orv::ExchangeFiles::EncodeChannel(r, bytes)) {
    orv::ChannelRecord back = orv::ExchangeFiles::DecodeChannel(bytes);
    r.reserved.clear();
    Check(back == r);
  }
}

// The same bytes as each of the three exchange files, read through the readers both
// programs use: records read as a value or as unreadable, the list as its parser reads it.
void CheckExchangeFiles(std::string_view data) {
  static const std::string folder = [] {
    char pattern[] = "/tmp/orvfuzzXXXXXX";
    const char* made = mkdtemp(pattern);
    Check(made != nullptr);
    static std::string made_folder = made;
    std::atexit([] { std::filesystem::remove_all(made_folder); });
    return made_folder + "/";
  }();
  for (const char* name : {orv::kOrvExt, orv::kOrvInt, orv::kOrvUrl}) {
    std::ofstream(folder + name, std::ios::binary | std::ios::trunc).write(data.data(), static_cast<std::streamsize>(data.size()));
  }
  orv::ExchangeFiles files;
  Check(files.Open(folder, false));
  for (int record : {1, 2}) {
    std::optional<std::string> value = files.TryReadExt(record);
    Check(files.ReadExt(record) == value.value_or(std::string()));
    if (value && !value->empty()) {
      Check(value->size() <= 1022);
      Check(data.substr(static_cast<std::size_t>(record - 1) * 1024 + 2, value->size()) == *value);
    }
  }
  for (int n : {1, 2}) {
    std::string_view bytes = data.size() > static_cast<std::size_t>(n - 1) * 1700
                                 ? data.substr(static_cast<std::size_t>(n - 1) * 1700, 1700)
                                 : std::string_view();
    Check(files.ReadChannel(n) == orv::ExchangeFiles::DecodeChannel(bytes));
  }
  // Reading only as far as the count reaches gives what reading it all gives.
  Check(files.ReadUrlList() == orv::ParseStringArray(data));
  std::size_t extent = orv::StringArrayExtent(data);
  if (extent <= data.size()) Check(orv::ParseStringArray(data.substr(0, extent)) == orv::ParseStringArray(data));

  // The outcome log as the main program reads it: at most one record a line, each of which the
  // console could have written (its line reads back as the same record).
  std::ofstream(folder + std::string(orv::kOutcomeLogName), std::ios::binary | std::ios::trunc)
      .write(data.data(), static_cast<std::streamsize>(data.size()));
  const std::vector<orv::OutcomeRecord> log = orv::ReadOutcomes(folder);
  Check(log.size() <= static_cast<std::size_t>(std::count(data.begin(), data.end(), '\n')) + 1);
  for (const orv::OutcomeRecord& r : log) {
    Check(!r.address.empty() && r.bytes >= 0 && r.takenMs >= 0 && r.firstByteMs >= 0 && r.doneMs >= 0);
    const std::string line = orv::OutcomeLine(r);
    Check(line.find('\n') == line.size() - 1);
    orv::OutcomeRecord back;
    Check(orv::ParseOutcomeLine(line, back));
    Check(back.outcome == r.outcome && back.bytes == r.bytes && back.takenMs == r.takenMs &&
          back.firstByteMs == r.firstByteMs && back.doneMs == r.doneMs);
  }
}

void CheckDecoders(std::string_view data) {
  std::string link = orv::LinkPercentDecode(data);
  std::string name = orv::NameEscapeDecode(data);
  std::string unescaped(data);
  orv::NameUnescape(unescaped);
  std::string main(data);
  orv::PercentDecodeHighAndControl(main);
  Check(link.size() <= data.size() && name.size() <= data.size());
  Check(unescaped.size() <= data.size() && main.size() <= data.size());
  if (data.size() <= kReferenceLimit) {
    Check(link == orv::reference::LinkPercentDecode(data));
    Check(name == orv::reference::NameEscapeDecode(data));
    Check(unescaped == orv::reference::NameUnescape(std::string(data)));
    Check(main == orv::reference::PercentDecodeHighAndControl(std::string(data)));
  }
  // Encoding, then decoding, gives the text back when the encoding is unambiguous:
  // no "%" of its own, no code below 16 (written with one digit) and no 128 (kept).
  bool plain = true;
  for (char c : data) {
    auto b = static_cast<unsigned char>(c);
    if (c == '%' || b < 16 || b == 128) plain = false;
  }
  if (plain) {
    std::string round = orv::PercentEncode(data);
    orv::PercentDecodeHighAndControl(round);
    Check(round == data);
  }
}

// The local name of any address lies below the collection folder, with no "." or ".."
// segment, no NUL, no character a file name cannot hold, and the levels it reports.
void CheckLocalName(std::string_view address) {
  static const std::string kCollection = "/c/";
  orv::LocalName n = orv::LocalNameOf(address, kCollection);
  Check(n.path.compare(0, kCollection.size(), kCollection) == 0);
  Check(n.requestAddress == address || n.requestAddress == std::string(address) + "/");
  std::string_view rest = std::string_view(n.path).substr(kCollection.size());
  Check(rest.find_first_of(std::string_view(":|*<>!?\\\0", 10)) == std::string_view::npos);
  int segments = 0;
  std::size_t start = 0;
  while (start <= rest.size()) {
    std::size_t end = rest.find('/', start);
    if (end == std::string_view::npos) end = rest.size();
    std::string_view seg = rest.substr(start, end - start);
    Check(seg != "." && seg != "..");
    if (!seg.empty()) ++segments;
    start = end + 1;
  }
  Check(!rest.empty() && rest.back() != '/');
  Check(n.levels == segments - 1);
  std::string up;
  for (int i = 0; i < n.levels; ++i) up += "../";
  Check(n.levelsUp == up);
}

void CheckAddressText(std::string_view data) {
  std::string a(data);
  std::string host = orv::HostOf(a, (data.size() & 1) != 0);
  Check(a == orv::Trim(data));
  // The host follows the scheme, "http://" or "https://".
  Check(host.empty() || a.compare(orv::SchemeLength(a), host.size(), host) == 0);
  std::string folder = orv::FolderOf(data);
  Check(!folder.empty() && folder.back() == '/');
  orv::TooDeep(data, 3);
  orv::DomainWord(data);
  if (auto h = orv::HostRule(data)) Check(data.substr(orv::SchemeLength(data), h->size()) == *h);
  orv::LocalPathToAddress(data, "/c/");
}

void CheckText(std::string_view data) {
  std::string utf8 = orv::Cp1251ToUtf8(data);
  Check(orv::IsValidUtf8(utf8));
  Check(orv::Utf8ToCp1251(utf8) == data);
  orv::Utf8ToCp1251(data);
  Check(orv::LowerCase(data).size() == data.size());
  orv::LeadingInt(data);
  orv::LeadingFloat(data);
}

// Escapes are long tokens that random bytes rarely spell: a few control bytes stand for
// them, so the decoders also see texts dense with whole, partial and nested escapes.
std::string ExpandTokens(std::string_view data) {
  static const std::string_view kTokens[] = {",8,,x2", ",8,,x", "%25", "%2", ",8,,x22E", "%2e", "/"};
  std::string out;
  for (char c : data) {
    auto b = static_cast<unsigned char>(c);
    if (b >= 1 && b <= std::size(kTokens)) {
      out.append(kTokens[b - 1]);
    } else {
      out.push_back(c);
    }
  }
  return out;
}

}  // namespace

// Every cookie read is written again and reads back the same, with nothing skipped: what the
// jar writer puts out is always a file the reader takes whole.
void CheckCookieText(std::string_view data) {
  const orv::CookieFileContents read = orv::ParseCookieText(data);
  const orv::CookieFileContents again = orv::ParseCookieText(orv::CookieFileText(read.cookies));
  Check(again.skippedLines == 0);
  Check(again.cookies == read.cookies);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  std::string_view data(reinterpret_cast<const char*>(bytes), size);
  CheckStringArray(data);
  CheckChannelRecord(data);
  CheckExchangeFiles(data);
  CheckDecoders(data);
  CheckLocalName(data);
  CheckLocalName("http://" + std::string(data));
  // Links are decoded before they are mapped: a decoded "%2e%2e" must not climb either.
  CheckLocalName("http://" + orv::NameEscapeDecode(orv::LinkPercentDecode(data)));
  CheckAddressText(data);
  CheckText(data);
  CheckCookieText(data);
  const std::string dense = ExpandTokens(data);
  CheckDecoders(dense);
  CheckLocalName("http://" + orv::NameEscapeDecode(orv::LinkPercentDecode(dense)));
  return 0;
}
