#include "common/local_path.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <random>
#include <system_error>

#include "common/address_scheme.h"
#include "common/escapes.h"
#include "common/numbers.h"
#include "common/search_engine.h"
#include "common/text.h"

namespace orv {

namespace detail {
int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}
}  // namespace detail

namespace {

constexpr std::string_view kEscapePrefix = ",8,,x2";
constexpr std::string_view kDotEscape = ",8,,x22E";
constexpr std::string_view kNulEscape = ",8,,x200";
constexpr std::size_t kMaxNamePart = 255;  // bytes of one file or folder name

// Console rule: two hex digits give their byte, anything else 255; only codes above
// 32 are decoded.
int ConsoleValue(char a, char b) {
  int h = detail::HexDigit(a), l = detail::HexDigit(b);
  int v = (h < 0 || l < 0) ? 255 : h * 16 + l;
  return v > 32 ? v : -1;
}

const char* WholeNameEscape(char c) {
  switch (c) {
    case ':': return ",8,,x23A";
    case '|': return ",8,,x27C";
    case '*': return ",8,,x22A";
    case '<': return ",8,,x23C";
    case '>': return ",8,,x23E";
    case '!': return ",8,,x221";
    default: return nullptr;
  }
}

const char* QueryEscape(char c) {
  switch (c) {
    case '?': return ",8,,x23F";
    case '/': return ",8,,x22F";
    case '\\': return ",8,,x25C";
    default: return nullptr;
  }
}

// A name segment made only of dots would climb out of its folder: each dot is
// written escaped. A NUL cannot stand in a file name (the system would cut the
// name there), so it is escaped too.
std::string ConfineSegments(std::string_view r) {
  std::string out;
  out.reserve(r.size());
  std::size_t start = 0;
  while (start <= r.size()) {
    std::size_t end = r.find('/', start);
    if (end == std::string_view::npos) end = r.size();
    std::string_view seg = r.substr(start, end - start);
    bool onlyDots = !seg.empty() && seg.find_first_not_of('.') == std::string_view::npos;
    for (char c : seg) {
      if (onlyDots) {
        out.append(kDotEscape);
      } else if (c == '\0') {
        out.append(kNulEscape);
      } else {
        out.push_back(c);
      }
    }
    if (end == r.size()) break;
    out.push_back('/');
    start = end + 1;
  }
  return out;
}

// A name part longer than the file system allows keeps a readable head, then "~" and a hash
// of the whole part, then its ending (from the last "."), so it stays unique and typed.
std::string ShortenedPart(std::string_view part) {
  std::uint64_t h = 1469598103934665603ULL;  // FNV-1a
  for (char c : part) {
    h ^= static_cast<unsigned char>(c);
    h *= 1099511628211ULL;
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string mark = "~";
  for (int shift = 44; shift >= 0; shift -= 4) mark.push_back(kHex[(h >> shift) & 15]);
  std::string_view ending;
  std::size_t dot = part.rfind('.');
  if (dot != std::string_view::npos && part.size() - dot <= 16) ending = part.substr(dot);
  std::size_t head = kMaxNamePart - mark.size() - ending.size();
  // Never cut through a NameEscape sequence or a multi-byte UTF-8 character.
  for (std::size_t i = head >= 7 ? head - 7 : 0; i < head; ++i) {
    if (part.compare(i, kEscapePrefix.size(), kEscapePrefix) == 0) {
      head = i;
      break;
    }
  }
  for (int k = 0; k < 3 && head > 0 && (static_cast<unsigned char>(part[head]) & 0xC0) == 0x80; ++k) --head;
  std::string out(part.substr(0, head));
  out += mark;
  out.append(ending);
  return out;
}

std::string ShortenLongParts(const std::string& r) {
  std::string out;
  std::size_t start = 0;
  bool changed = false;
  while (start <= r.size()) {
    std::size_t end = r.find('/', start);
    if (end == std::string::npos) end = r.size();
    std::string_view seg = std::string_view(r).substr(start, end - start);
    if (seg.size() > kMaxNamePart) {
      out += ShortenedPart(seg);
      changed = true;
    } else {
      out.append(seg);
    }
    if (end == r.size()) break;
    out.push_back('/');
    start = end + 1;
  }
  return changed ? out : r;
}

bool HasDotSegment(std::string_view rest) {
  std::size_t start = 0;
  while (start <= rest.size()) {
    std::size_t end = rest.find('/', start);
    if (end == std::string_view::npos) end = rest.size();
    std::string_view seg = rest.substr(start, end - start);
    if (seg == "." || seg == "..") return true;
    start = end + 1;
  }
  return false;
}

// Folder levels of a name below the collection: separators that end a segment
// (a run of "/" counts once, as the file system reads it).
int LevelsBelow(std::string_view rest) {
  int levels = 0;
  for (std::size_t k = 1; k < rest.size(); ++k) {
    if (rest[k] == '/' && rest[k - 1] != '/') ++levels;
  }
  return levels;
}

std::string LevelsUpText(int levels) {
  std::string s;
  for (int i = 0; i < levels; ++i) s += "../";
  return s;
}

std::string CollectionWithSlash(std::string_view collectionFolder) {
  std::string c(collectionFolder);
  if (c.empty() || c.back() != '/') c.push_back('/');
  return c;
}

float DefaultDraw(float limit) {
  // Seeded from the clock before every draw; the random device breaks ties
  // between two draws within one clock tick.
  auto now = static_cast<unsigned long long>(
      std::chrono::high_resolution_clock::now().time_since_epoch().count());
  std::seed_seq seq{static_cast<unsigned>(now), static_cast<unsigned>(now >> 32), std::random_device{}()};
  std::mt19937 gen(seq);
  std::uniform_real_distribution<float> dist(0.0f, limit);
  float v = dist(gen);
  return v < limit ? v : 0.0f;
}

}  // namespace

std::string NameEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 16);
  bool inQuery = false;
  for (char c : text) {
    if (const char* e = WholeNameEscape(c)) {
      out.append(e);
      continue;
    }
    if (c == '?') inQuery = true;
    if (inQuery) {
      if (const char* e = QueryEscape(c)) {
        out.append(e);
        continue;
      }
    }
    out.push_back(c);
  }
  return out;
}

std::string NameEscapeDecode(std::string_view text) {
  return detail::DecodeEscapes(text, kEscapePrefix, ConsoleValue);
}

std::string LinkPercentDecode(std::string_view text) {
  return detail::DecodeEscapes(text, "%", ConsoleValue);
}

std::optional<std::string> HostRule(std::string_view address) {
  const std::size_t scheme = SchemeLength(address);
  if (scheme == 0 || address.size() <= scheme) return std::nullopt;
  std::string_view rest = address.substr(scheme);
  std::size_t sep = rest.find('\\');
  if (sep == std::string_view::npos) sep = rest.find('/');
  if (sep == std::string_view::npos) return std::string(rest);
  return std::string(rest.substr(0, sep));
}

std::string AddressFolder(std::string_view address) {
  std::size_t k = address.rfind('/');
  if (k == std::string_view::npos) return std::string(address);
  return std::string(address.substr(0, k + 1));
}

std::string AddressFilePart(std::string_view address) {
  std::size_t k = address.rfind('/');
  if (k == std::string_view::npos) return std::string(address);
  return std::string(address.substr(k + 1));
}

namespace {

// Endings a browser types a local file by (a file:// style sheet or script with another ending
// is refused).
constexpr std::string_view kBrowsableEndings[] = {
    ".html", ".htm", ".xhtml", ".shtml", ".css", ".js",   ".mjs",  ".svg",   ".png", ".gif", ".jpg",
    ".jpeg", ".webp", ".avif", ".ico",  ".bmp", ".woff", ".woff2", ".ttf", ".otf",  ".eot"};

bool EqualsNoCase(std::string_view a, std::string_view lowB) {
  if (a.size() != lowB.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char c = a[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    if (c != lowB[i]) return false;
  }
  return true;
}

bool EndsWithNoCase(std::string_view s, std::string_view lowSuffix) {
  return s.size() >= lowSuffix.size() && EqualsNoCase(s.substr(s.size() - lowSuffix.size()), lowSuffix);
}

// The browsable ending of the path's last segment (as written there), or empty.
std::string_view PathEnding(std::string_view address, std::size_t query) {
  const std::size_t scheme = SchemeLength(address);
  if (scheme == 0) return {};
  const std::size_t slash = address.rfind('/', query);
  if (slash == std::string_view::npos || slash < scheme) return {};  // a site name alone
  const std::string_view segment = address.substr(slash + 1, query - slash - 1);
  const std::size_t dot = segment.rfind('.');
  if (dot == std::string_view::npos) return {};
  const std::string_view ending = segment.substr(dot);
  for (std::string_view e : kBrowsableEndings) {
    if (EqualsNoCase(ending, e)) return ending;
  }
  return {};
}

bool IsUnreservedByte(int v) {
  return v >= 128 || (v >= '0' && v <= '9') || (v >= 'A' && v <= 'Z') || (v >= 'a' && v <= 'z') || v == '-' ||
         v == '_' || v == '~';
}

// The mapping itself. `ending` is appended to the name's path (a restored ending); slash tells
// whether the request needs a "/" (a folder is meant).
LocalName MapAddress(std::string_view address, std::string_view collectionFolder, std::string_view ending,
                     bool& slash) {
  LocalName result;
  slash = false;
  // The scheme is no part of the name: both schemes of a site share its folder. Text without
  // a scheme loses its first seven characters, as an "http://" would.
  std::size_t scheme = SchemeLength(address);
  if (scheme == 0) scheme = kHttpScheme.size();
  std::string path(address.size() > scheme ? address.substr(scheme) : std::string_view());
  path.erase(0, UserInfoLength(path));
  path.append(ending);
  // "/" and "\" before the query both separate folders; inside the query the
  // escape turns every one of them into ",8,,x25C".
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  std::string r = NameEscape(path);
  for (char& c : r) {
    if (c == '\\') c = '/';
  }
  r = ShortenLongParts(ConfineSegments(r));

  // Slashes inside the query are no folders (they were escaped above), so the last
  // segment is the one after the last "/" before the first "?", query included. A
  // site name alone is an address with no "/" after the scheme at all; a query with
  // slashes on a bare site name is left as it is, never given a "/" of its own.
  std::string_view beforeQuery = address.substr(0, address.find('?'));
  if (!r.empty() && r.back() == '/') {
    r += "index.html";
  } else if (address.size() <= scheme || address.find('/', scheme) == std::string_view::npos) {
    r += "/index.html";
    slash = true;
  } else {
    std::size_t k = beforeQuery.rfind('/');
    std::string_view last = k == std::string_view::npos ? address : address.substr(k);
    if (last.find('.') == std::string_view::npos && last.find('?') == std::string_view::npos &&
        last.back() != '/') {
      r += "/index.html";
      slash = true;
    }
  }
  std::string collection = CollectionWithSlash(collectionFolder);
  result.levels = LevelsBelow(r);
  result.levelsUp = LevelsUpText(result.levels);
  result.path = collection + r;
  return result;
}

}  // namespace

std::string DecodeUnreservedEscapes(std::string_view address) {
  std::string out;
  out.reserve(address.size());
  for (std::size_t i = 0; i < address.size(); ++i) {
    if (address[i] == '%' && i + 2 < address.size()) {
      const int h = detail::HexDigit(address[i + 1]), l = detail::HexDigit(address[i + 2]);
      if (h >= 0 && l >= 0 && IsUnreservedByte(h * 16 + l)) {
        out.push_back(static_cast<char>(h * 16 + l));
        i += 2;
        continue;
      }
    }
    out.push_back(address[i]);
  }
  return out;
}

std::string_view RestoredEnding(std::string_view address) {
  const std::size_t query = address.find('?');
  if (query == std::string_view::npos) return {};
  const std::string_view ending = PathEnding(address, query);
  if (ending.empty() || EndsWithNoCase(address.substr(query), LowerCase(std::string(ending)))) return {};
  return ending;
}

std::string WithoutRestoredEnding(std::string_view address) {
  const std::size_t query = address.find('?');
  if (query == std::string_view::npos) return std::string(address);
  const std::string_view ending = PathEnding(address, query);
  const std::string low = LowerCase(std::string(ending));
  std::string_view rest = address.substr(query);
  if (ending.empty() || !EndsWithNoCase(rest, low)) return std::string(address);
  rest.remove_suffix(ending.size());
  // A query that holds the ending itself was stored as it is.
  if (LowerCase(std::string(rest)).find(low) != std::string::npos) return std::string(address);
  return std::string(address.substr(0, address.size() - ending.size()));
}

LocalName LocalNameOf(std::string_view address, std::string_view collectionFolder) {
  const bool escaped = address.find('%') != std::string_view::npos;
  const std::string decoded = escaped ? DecodeUnreservedEscapes(address) : std::string();
  const std::string_view mapped = escaped ? std::string_view(decoded) : address;
  const std::string_view ending = RestoredEnding(mapped);
  bool slash = false;
  LocalName result = MapAddress(mapped, collectionFolder, ending, slash);
  result.requestAddress = std::string(address);
  if (slash) result.requestAddress += '/';
  if (!ending.empty() || mapped != address) {
    bool unused = false;
    std::string former = MapAddress(address, collectionFolder, {}, unused).path;
    if (former != result.path) result.formerPath = std::move(former);
  }
  return result;
}

std::string FoundLocalPath(std::string_view address, std::string_view collectionFolder) {
  LocalName name = LocalNameOf(address, collectionFolder);
  std::error_code ec;
  if (!name.formerPath.empty() && !std::filesystem::exists(name.path, ec) &&
      std::filesystem::exists(name.formerPath, ec)) {
    return name.formerPath;
  }
  return name.path;
}

std::string SiteFolderOf(std::string_view localPath, std::string_view collectionFolder) {
  const std::string collection = CollectionWithSlash(collectionFolder);
  if (localPath.substr(0, collection.size()) != collection) return {};
  const std::size_t slash = localPath.find('/', collection.size());
  if (slash == std::string_view::npos || slash == collection.size()) return {};
  return std::string(localPath.substr(0, slash));
}

int CreateFoldersOf(std::string_view localPath, std::string_view collectionFolder,
                    std::vector<std::string>* created) {
  std::string collection = CollectionWithSlash(collectionFolder);
  std::error_code ec;
  std::filesystem::create_directories(collection, ec);
  // Only a name that stays below the collection may have files deleted out of its way:
  // a "." or ".." segment could lead anywhere.
  bool below = localPath.substr(0, collection.size()) == collection &&
               !HasDotSegment(localPath.substr(collection.size()));
  std::size_t from = below ? collection.size() : 0;
  for (std::size_t k = localPath.find('/', from); k != std::string_view::npos;
       k = localPath.find('/', k + 1)) {
    std::string prefix(localPath.substr(0, k + 1));
    if (below) {
      std::filesystem::path folder(prefix.substr(0, prefix.size() - 1));
      auto st = std::filesystem::symlink_status(folder, ec);
      if (!ec && std::filesystem::exists(st) && !std::filesystem::is_directory(st)) {
        if (!std::filesystem::is_symlink(st) || !std::filesystem::is_directory(folder, ec)) {
          std::filesystem::remove(folder, ec);
        }
      }
    }
    if (std::filesystem::create_directory(prefix, ec) && created != nullptr) created->push_back(prefix);
  }
  return below ? LevelsBelow(localPath.substr(collection.size())) : 0;
}

LocalName PrepareLocalName(std::string_view address, std::string_view collectionFolder,
                           std::vector<std::string>* created) {
  LocalName name = LocalNameOf(address, collectionFolder);
  CreateFoldersOf(name.path, collectionFolder, created);
  return name;
}

std::string SearchModePrefix(std::string_view address, std::string_view collectionFolder) {
  bool cached = false;
  if (auto host = HostRule(address)) {
    cached = address.substr(SchemeLength(address) + host->size()).substr(0, kCachedCopyPath.size()) == kCachedCopyPath;
  }
  std::string prefix = CollectionWithSlash(collectionFolder);
  prefix.append(kSearchEngineHost);
  prefix.append(cached ? "/previews/preview_" : "/results/result_");
  return prefix;
}

std::string SearchModeCandidate(std::string_view address, std::string_view collectionFolder,
                                float first, float second) {
  return SearchModePrefix(address, collectionFolder) + FloatText(first) + FloatText(second) + ".htm";
}

LocalName PrepareSearchLocalName(std::string_view address, std::string_view collectionFolder,
                                 const RandomDraw& draw) {
  const RandomDraw& d = draw ? draw : RandomDraw(DefaultDraw);
  LocalName name;
  name.requestAddress = std::string(address);
  // Practically every draw is free; the bound only keeps a broken generator from
  // looping for ever.
  for (int attempt = 0; attempt < 100000; ++attempt) {
    float first = d(50000.0f);
    float second = d(50.0f);
    name.path = SearchModeCandidate(address, collectionFolder, first, second);
    std::error_code ec;
    if (!std::filesystem::exists(name.path, ec) && !ec) break;
  }
  name.levels = CreateFoldersOf(name.path, collectionFolder);
  name.levelsUp = LevelsUpText(name.levels);
  return name;
}

}  // namespace orv
