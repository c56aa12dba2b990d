#include "console/page/page_links.h"

#include <array>

namespace orv::page {

namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// Length of a leading "http://" or "https://" (any case), else 0.
std::size_t SchemeSize(std::string_view s) {
  static constexpr std::string_view kHttp = "https://";
  std::size_t i = 0;
  while (i < 4 && i < s.size() && LowerAscii(s[i]) == kHttp[i]) ++i;
  if (i < 4) return 0;
  if (i < s.size() && LowerAscii(s[i]) == 's') ++i;
  return s.substr(i, 3) == "://" ? i + 3 : 0;
}

// Base + "/" (unless one side already supplies it) + rest, into r (which may hold base).
void JoinTo(std::string& r, std::string_view rest) {
  if (!r.empty() && r.back() != '/' && (rest.empty() || rest.front() != '/')) r += '/';
  r.append(rest);
}

// One folder up, never above the site part ("http://S/", "https://S/").
void GoUp(std::string& b) {
  std::size_t from = SchemeSize(b);
  std::size_t site = b.find('/', from);
  std::size_t keep = site == std::string::npos ? b.size() : site + 1;
  if (b.size() <= keep || b.size() <= 8) return;
  std::size_t end = b.size();
  if (b.back() == '/') --end;
  std::size_t slash = b.rfind('/', end - 1);
  if (slash == std::string::npos || slash + 1 < keep) {
    b.resize(keep);
  } else {
    b.resize(slash + 1);
  }
}

// Length of a leading run of two or more dots followed by "/" (dots and slash), else 0.
std::size_t DotsSegment(std::string_view l) {
  std::size_t k = 0;
  while (k < l.size() && l[k] == '.') ++k;
  if (k >= 2 && k < l.size() && l[k] == '/') return k + 1;
  return 0;
}

}  // namespace

bool ExtensionTestPasses(std::string_view fromDot) {
  struct Group {
    std::string_view key;
    std::array<std::string_view, 16> endings;
  };
  // Each ending sits in the group its own letters select: ".svg" and ".json" hold an "s",
  // ".mp4" and ".webm" an "m", ".ogg" a "g"; the rest hold no key.
  static constexpr std::array<Group, 5> kGroups{{
      {"ht", {".mht", ".htm", ".pht", ".dht", ".htx", ".sht", ".htt"}},
      {"s", {".asp", ".its", ".class", ".swf", ".css", ".xsl", ".vbs", ".js", ".svg", ".json"}},
      {"m", {".mp3", ".mov", ".m3u", ".xml", ".cfm", ".mid", ".mdi", ".mp4", ".webm"}},
      {"g", {".cgi", ".gif", ".jpeg", ".jpg", ".png", ".ogg"}},
      {{}, {".rar", ".php", ".avi", ".zip", ".webp", ".avif", ".ico", ".woff", ".woff2", ".ttf", ".otf",
            ".eot", ".pdf"}},
  }};
  char buf[6];
  std::size_t len = fromDot.size() < 6 ? fromDot.size() : 6;
  for (std::size_t i = 0; i < len; ++i) buf[i] = LowerAscii(fromDot[i]);
  std::string_view six(buf, len);
  // Called for nearly every dot of a text: a plain loop beats the library search here.
  auto contains = [six](std::string_view needle) {
    for (std::size_t i = 0; i + needle.size() <= six.size(); ++i) {
      std::size_t k = 0;
      while (k < needle.size() && six[i + k] == needle[k]) ++k;
      if (k == needle.size()) return true;
    }
    return false;
  };
  for (const Group& g : kGroups) {
    if (!g.key.empty() && !contains(g.key)) continue;
    for (std::string_view e : g.endings) {
      if (!e.empty() && contains(e)) return true;
    }
    return false;
  }
  return false;
}

bool WholeEndingAt(std::string_view fromDot) {
  static constexpr std::string_view kEndings[] = {
      "htm", "html", "xhtml", "shtml", "shtm", "phtml", "mht", "mhtml", "asp", "aspx", "jsp", "php", "php3",
      "cgi", "pl", "cfm", "css", "js", "mjs", "vbs", "xsl", "xslt", "xml", "json", "class", "swf", "gif",
      "jpg", "jpeg", "png", "svg", "webp", "avif", "ico", "bmp", "tif", "tiff", "woff", "woff2", "ttf",
      "otf", "eot", "mp3", "mp4", "m4a", "m3u", "ogg", "oga", "ogv", "wav", "webm", "mov", "avi", "mid",
      "pdf", "txt", "zip", "rar", "gz", "tgz", "7z", "exe", "chm", "doc", "djvu"};
  if (fromDot.empty() || fromDot[0] != '.') return false;
  char word[8];
  std::size_t n = 0;
  std::size_t i = 1;
  for (; i < fromDot.size(); ++i) {
    const char c = LowerAscii(fromDot[i]);
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) break;
    if (n == sizeof word) return false;
    word[n++] = c;
  }
  // A name goes on after a letter, a digit, "_", "-" or another ending (".css.map").
  if (i < fromDot.size() && (fromDot[i] == '_' || fromDot[i] == '-' || fromDot[i] == '.')) return false;
  const std::string_view ending(word, n);
  for (std::string_view e : kEndings) {
    if (e == ending) return true;
  }
  return false;
}

std::string ResolveRelative(std::string_view link, std::string_view base, std::string_view root) {
  std::string r;
  ResolveRelativeTo(link, base, root, r);
  return r;
}

void ResolveRelativeTo(std::string_view link, std::string_view base, std::string_view root,
                       std::string& out) {
  if (!link.empty() && link.front() == '/') {
    out.assign(root);
    out.append(link.substr(1));
    return;
  }
  out.assign(base);
  if (link.empty() || link.front() != '.') {
    JoinTo(out, link);
    return;
  }
  bool wentUp = false;
  for (;;) {
    if (link.size() >= 2 && link[0] == '.' && link[1] == '/') {
      link.remove_prefix(2);
      continue;
    }
    std::size_t seg = DotsSegment(link);
    if (seg == 0) break;
    GoUp(out);
    wentUp = true;
    link.remove_prefix(seg);
  }
  // "./.x" or ".x": a leading dot that is no folder step.
  if (!wentUp && !link.empty() && link.front() == '.') {
    out.clear();
    return;
  }
  JoinTo(out, link);
}

std::optional<std::string> RelativeLocalPath(std::string_view fromFolder, std::string_view toFile) {
  std::string r;
  if (!RelativeLocalPathTo(fromFolder, toFile, r)) return std::nullopt;
  return r;
}

bool RelativeLocalPathTo(std::string_view fromFolder, std::string_view toFile, std::string& out) {
  // Count whole leading folder segments the two share.
  std::size_t common = 0;  // bytes of the shared prefix, ending after a "/"
  std::size_t shared = 0;  // number of shared segments
  for (;;) {
    std::size_t a = fromFolder.find('/', common);
    if (a == std::string_view::npos) break;
    std::size_t b = toFile.find('/', common);
    if (b != a || fromFolder.compare(common, a - common, toFile.substr(common, a - common)) != 0) break;
    common = a + 1;
    ++shared;
  }
  if (shared == 0) return false;
  out.clear();
  for (std::size_t i = common; i < fromFolder.size(); ++i) {
    if (fromFolder[i] == '/') out += "../";
  }
  out.append(toFile.substr(common));
  return true;
}

}  // namespace orv::page
