#include "console/page/page_processor.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <functional>
#include <utility>

#include "common/address_scheme.h"
#include "common/local_path.h"
#include "common/numbers.h"
#include "common/search_engine.h"
#include "common/text.h"
#include "console/page/markup_context.h"
#include "console/page/page_links.h"

namespace orv::page {

// ---------------------------------------------------------------------------------------------
// Sinks

FileSink::FileSink(const std::string& path) {
  file_ = std::fopen(path.c_str(), "wb");
  if (file_ != nullptr) std::setvbuf(file_, nullptr, _IOFBF, 1 << 16);
}

FileSink::~FileSink() { Close(); }

bool FileSink::Append(const char* data, std::size_t size) {
  if (file_ == nullptr || failed_) return false;
  if (size != 0 && std::fwrite(data, 1, size, file_) != size) failed_ = true;
  return !failed_;
}

bool FileSink::Close() {
  if (file_ == nullptr) return false;
  bool ok = !failed_;
  if (std::fclose(file_) != 0) ok = false;
  file_ = nullptr;
  failed_ = !ok;
  return ok;
}

namespace {

// Swallows the output when the local file could not be opened; links are still collected.
class NullSink final : public OutputSink {
 public:
  bool Append(const char*, std::size_t) override { return false; }
};

// Search-engine result pages (the cached-copy path comes with the engine constants).
constexpr std::string_view kResultPagePath = "/yandpage?q=";

// A link value longer than this cannot be a real address (an orvext record holds 1022 bytes);
// such values are left alone, which also bounds the decoders' work on hostile pages.
constexpr std::size_t kMaxLinkLength = 4096;

// How far the codebase lookup walks to find the bounds of an element.
constexpr std::size_t kMaxElementReach = 4096;

inline unsigned char U(char c) { return static_cast<unsigned char>(c); }
inline char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

struct ByteTables {
  std::array<bool, 256> valueStop{};  // ends a value: below 36, "<", ">", ",", "'"
  std::array<bool, 256> delimiter{};  // starts a dot token when scanning backwards
  ByteTables() {
    for (int c = 0; c < 256; ++c) {
      valueStop[c] = c < 36 || c == '<' || c == '>' || c == ',' || c == '\'';
      delimiter[c] = c < 33 || std::strchr("<=>[\\]{}'()*,`\"", c) != nullptr;
    }
    delimiter[0] = true;
  }
};
const ByteTables kTables;

inline bool IsValueStop(char c) { return kTables.valueStop[U(c)]; }
inline bool IsDelimiter(char c) { return kTables.delimiter[U(c)]; }

// Naive search: the texts searched per candidate are a few bytes to a link long, where a
// library find's setup costs more than the search.
inline bool Has(std::string_view hay, std::string_view needle) {
  const std::size_t m = needle.size();
  if (m > hay.size()) return false;
  for (std::size_t i = 0; i + m <= hay.size(); ++i) {
    if (hay[i] != needle[0]) continue;
    std::size_t k = 1;
    while (k < m && hay[i + k] == needle[k]) ++k;
    if (k == m) return true;
  }
  return false;
}
inline bool HasNoCase(std::string_view hay, std::string_view lowNeedle) {
  const std::size_t m = lowNeedle.size();
  for (std::size_t i = 0; i + m <= hay.size(); ++i) {
    std::size_t k = 0;
    while (k < m && LowerAscii(hay[i + k]) == lowNeedle[k]) ++k;
    if (k == m) return true;
  }
  return false;
}
inline bool Has(std::string_view hay, char c) {
  for (char h : hay) {
    if (h == c) return true;
  }
  return false;
}

// The letter three places before the "=" of an attribute that can hold an address
// (href, src, url, background, ...).
inline bool IsNameEnding(char c) {
  switch (LowerAscii(c)) {
    case 'e': case 'r': case 's': case 'u': case 'n': case 'l':
      return true;
    default:
      return false;
  }
}

bool StartsWithNoCaseAscii(std::string_view s, std::string_view lowPrefix) {
  if (s.size() < lowPrefix.size()) return false;
  for (std::size_t i = 0; i < lowPrefix.size(); ++i) {
    if (LowerAscii(s[i]) != lowPrefix[i]) return false;
  }
  return true;
}

// A lowered copy of at most N bytes of text, without allocation.
template <std::size_t N>
class Window {
 public:
  Window(std::string_view text, std::size_t from, std::size_t count) {
    if (from >= text.size()) return;
    len_ = std::min({count, N, text.size() - from});
    for (std::size_t i = 0; i < len_; ++i) buf_[i] = LowerAscii(text[from + i]);
  }
  std::string_view view() const { return {buf_, len_}; }
  bool Has(std::string_view needle) const { return page::Has(view(), needle); }

 private:
  char buf_[N] = {};
  std::size_t len_ = 0;
};

bool EndsWithNoCase(std::string_view s, std::string_view suffix) {
  if (s.size() < suffix.size()) return false;
  for (std::size_t i = 0; i < suffix.size(); ++i) {
    if (LowerAscii(s[s.size() - suffix.size() + i]) != suffix[i]) return false;
  }
  return true;
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// ",8,,x2" + two hex digits: a character a file name cannot hold, as the console writes it.
bool IsNameEscapeAt(std::string_view t, std::size_t j) {
  return j + 8 <= t.size() && t.compare(j, 6, ",8,,x2") == 0 && IsHexDigit(t[j + 6]) &&
         IsHexDigit(t[j + 7]);
}

// An absolute address names its scheme followed by "://"; "http.html" or "httpd.conf" are
// file names beside the page.
// "&#45;" or "&#x2D;": a numeric character reference, as generated pages write "-" in names.
// Its length, or 0.
std::size_t NumericCharRefAt(std::string_view t, std::size_t j) {
  if (j + 3 >= t.size() || t[j] != '&' || t[j + 1] != '#') return 0;
  std::size_t k = j + 2;
  const bool hex = t[k] == 'x' || t[k] == 'X';
  if (hex) ++k;
  const std::size_t digits = k;
  while (k < t.size() && k - digits < 7 && (hex ? IsHexDigit(t[k]) : (t[k] >= '0' && t[k] <= '9'))) ++k;
  if (k == digits || k >= t.size() || t[k] != ';') return 0;
  return k + 1 - j;
}

// The character a reference at j stands for, when it is a numeric one or one of the named ones
// that write markup's own characters; its length goes to `length` (0: no reference there).
// Codes above 255 give 255: a character that is no delimiter and ends nothing.
int CharRefAt(std::string_view t, std::size_t j, std::size_t& length) {
  length = 0;
  if (j >= t.size() || t[j] != '&') return -1;
  if (const std::size_t n = NumericCharRefAt(t, j)) {
    const bool hex = t[j + 2] == 'x' || t[j + 2] == 'X';
    const long code = std::strtol(std::string(t.substr(j + (hex ? 3 : 2), n)).c_str(), nullptr, hex ? 16 : 10);
    length = n;
    return code >= 0 && code < 256 ? static_cast<int>(code) : 255;
  }
  static constexpr std::pair<std::string_view, char> kNamed[] = {
      {"&quot;", '"'}, {"&apos;", '\''}, {"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}};
  for (const auto& [name, c] : kNamed) {
    if (t.compare(j, name.size(), name) == 0) {
      length = name.size();
      return U(c);
    }
  }
  return -1;
}

// The character a reference ending right before `end` stands for ("&quot;" before a name), or -1.
int CharRefEndingAt(std::string_view t, std::size_t end) {
  if (end == 0 || t[end - 1] != ';') return -1;
  const std::size_t from = end > 12 ? end - 12 : 0;
  for (std::size_t k = end - 1; k-- > from;) {
    if (t[k] == '&') {
      std::size_t n = 0;
      const int c = CharRefAt(t, k, n);
      return n != 0 && k + n == end ? c : -1;
    }
    if (t[k] == ';') return -1;
  }
  return -1;
}

// A browser reads "&#45;" in an attribute as "-": printable ASCII references are decoded so
// the link names the file the server has.
void DecodeNumericCharRefs(std::string& link) {
  if (link.find("&#") == std::string::npos) return;
  std::string out;
  out.reserve(link.size());
  for (std::size_t i = 0; i < link.size();) {
    const std::size_t n = NumericCharRefAt(link, i);
    if (n > 0) {
      const bool hex = link[i + 2] == 'x' || link[i + 2] == 'X';
      const long code = std::strtol(link.c_str() + i + (hex ? 3 : 2), nullptr, hex ? 16 : 10);
      if (code > 32 && code < 127) {
        out += static_cast<char>(code);
        i += n;
        continue;
      }
    }
    out += link[i++];
  }
  link = std::move(out);
}

bool StartsWithHttp(std::string_view s) {
  return StartsWithNoCaseAscii(s, "http://") || StartsWithNoCaseAscii(s, "https://");
}

// "http:" or "https:" without the slashes: neither an address nor a file name to resolve.
bool HttpSchemeWithoutSlashes(std::string_view s) {
  return (StartsWithNoCaseAscii(s, "http:") || StartsWithNoCaseAscii(s, "https:")) && !StartsWithHttp(s);
}

// A browser reads a rewritten link as an address: it decodes "%" escapes and HTML character
// references, ends the path at "#" and the attribute at a quote. Stored names keep such bytes
// as they are ("My%20File.pdf", "a.php,8,,x23Fa=1&amp;b=2", "q,8,,x23Fa=\"b"), so the link
// writes them percent-encoded and the browser opens exactly the stored name. Bytes from 128
// on are encoded too: the browser turns the page's characters into UTF-8, the name has the
// page's own bytes.
inline bool NeedsUrlEscape(unsigned char c) {
  return c <= 32 || c >= 127 || c == '"' || c == '#' || c == '%' || c == '&' || c == '\'';
}

void EscapeForBrowser(std::string& link) {
  std::size_t i = 0;
  while (i < link.size() && !NeedsUrlEscape(U(link[i]))) ++i;
  if (i == link.size()) return;
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out(link, 0, i);
  out.reserve(link.size() + 16);
  for (; i < link.size(); ++i) {
    const unsigned char c = U(link[i]);
    if (NeedsUrlEscape(c)) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  link = std::move(out);
}

// Where the console stores an address, relative to the collection folder ("S/a/x.html").
std::string SiteLocalName(std::string_view address) {
  std::string path = std::move(LocalNameOf(address, "/").path);
  if (!path.empty()) path.erase(0, 1);
  return path;
}

// The same into `out`, without the mapping's allocations for the usual address: plain
// characters only (nothing NameEscape or the folder confinement would touch but a query's
// "?" and "/"). Anything else takes the mapping itself.
const std::string& StoredName(std::string_view address, std::string& out) {
  const std::size_t query = address.find('?');
  const std::size_t s = SchemeLength(address);
  // A long address may hold a name part the mapping shortens (a restored ending included).
  bool plain = s != 0 && address.size() > s && address.size() + 6 <= s + 255;
  for (std::size_t i = s; plain && i < address.size(); ++i) {
    switch (address[i]) {
      case ':': case '|': case '*': case '<': case '>': case '!': case '\\': case '\0':
      case '%':  // an escape the mapping may decode
        plain = false;
        break;
      case '.':  // a segment made only of dots is confined
        if (address[i - 1] == '/') {
          std::size_t k = i;
          while (k < address.size() && address[k] == '.') ++k;
          if (k == address.size() || address[k] == '/') plain = false;
        }
        break;
      default:
        break;
    }
  }
  if (!plain) {
    out = SiteLocalName(address);
    return out;
  }
  if (query == std::string_view::npos) {
    out.assign(address, s);
    const std::size_t slash = address.rfind('/');
    if (out.back() == '/') {
      out += "index.html";
    } else if (slash < s) {
      out += "/index.html";  // a site name alone
    } else if (address.find('.', slash) == std::string_view::npos) {
      out += "/index.html";  // a last segment without a dot names a folder
    }
    return out;
  }
  // Inside the query "?" and "/" are no folders: the mapping escapes both, a "/" as the
  // "\\" it first becomes.
  out.assign(address, s, query - s);
  for (std::size_t i = query; i < address.size(); ++i) {
    const char c = address[i];
    if (c == '?') {
      out += ",8,,x23F";
    } else if (c == '/') {
      out += ",8,,x25C";
    } else {
      out += c;
    }
  }
  if (address.find('/', s) == std::string_view::npos) out += "/index.html";
  out.append(RestoredEnding(address));
  return out;
}

// The "saved from" comment a browser puts in front of a page it saved. Searched with a
// skipping searcher: pages are full of "<", which would stop a plain find at every tag.
std::size_t FindSavedFromComment(std::string_view t) {
  static constexpr std::string_view kNeedle = "<!-- saved from url=";
  static const std::boyer_moore_horspool_searcher searcher(kNeedle.begin(), kNeedle.end());
  auto it = std::search(t.begin(), t.end(), searcher);
  return it == t.end() ? std::string_view::npos : static_cast<std::size_t>(it - t.begin());
}

// Case-insensitive search for an ASCII needle given in lower case. One forward pass from
// `from`, so repeated calls that resume after each hit stay linear together.
std::size_t FindCi(std::string_view t, std::string_view lowNeedle, std::size_t from = 0) {
  const std::size_t m = lowNeedle.size();
  if (m == 0 || t.size() < m) return std::string_view::npos;
  const char first = lowNeedle[0];
  for (std::size_t i = from; i + m <= t.size(); ++i) {
    if (LowerAscii(t[i]) != first) continue;
    std::size_t k = 1;
    while (k < m && LowerAscii(t[i + k]) == lowNeedle[k]) ++k;
    if (k == m) return i;
  }
  return std::string_view::npos;
}

// The first "base " (any case) that opens an element: a "<" before it, blanks allowed
// between. "database " in prose is not a base element.
std::size_t FindBaseElement(std::string_view t) {
  std::size_t from = 0;
  for (;;) {
    std::size_t k = FindCi(t, "base ", from);
    if (k == std::string_view::npos) return k;
    std::size_t j = k;
    while (j > 0 && (t[j - 1] == ' ' || t[j - 1] == '\t')) --j;
    if (j > 0 && t[j - 1] == '<') return k;
    from = k + 1;
  }
}

// What kind of text is scanned: a page's markup, a style sheet or a script.
enum class TextKind { Markup, StyleSheet, Script };

TextKind KindOf(const PageJob& job) {
  const std::string& type = job.content_type;
  if (type.find("html") != std::string::npos) return TextKind::Markup;
  if (type.find("css") != std::string::npos) return TextKind::StyleSheet;
  if (type.find("javascript") != std::string::npos || type.find("ecmascript") != std::string::npos) {
    return TextKind::Script;
  }
  const std::string_view url(job.url);
  const std::string_view path = url.substr(0, url.find('?'));
  if (EndsWithNoCase(path, ".css")) return TextKind::StyleSheet;
  if (EndsWithNoCase(path, ".js") || EndsWithNoCase(path, ".mjs")) return TextKind::Script;
  return TextKind::Markup;
}

// When a token a dot anchor found is a link.
enum class DotRule {
  Any,             // file names in text: wherever it stands
  None,            // never
  QuotedString,    // a whole quoted string of a script
  WholeValue,      // the whole value of an attribute
  StyleReference,  // the name in url() or after @import
};

class Processor {
 public:
  Processor(std::string text, const PageJob& job, OutputSink& out, int& pages,
            StartRedirectSink* redirect)
      : t_(std::move(text)), job_(job), out_(out), pages_(pages), redirect_(redirect), kind_(KindOf(job)) {}

  PageResult Run() {
    Prepare();
    Scan();
    Emit(lastEnd_, t_.size());
    result_.found_links.shrink_to_fit();
    result_.found_links[0] = DecimalText(static_cast<long long>(result_.found_links.size() - 1));
    result_.written = outOk_;
    return std::move(result_);
  }

 private:
  void Prepare() {
    if (job_.search_mode) {
      std::size_t k = FindCi(t_, "<!-- web search results -->");
      if (k != std::string::npos) t_.erase(0, k);
      k = FindCi(t_, "<hr size=\"1\" noshade=\"noshade\"><hr size=\"1\" noshade=\"noshade\">");
      if (k != std::string::npos) t_.erase(k);
      if (!ContainsNoCase(job_.url, kCachedCopyPath)) {
        std::string head = "<base href=\"";
        head.append(kSearchEngineRoot);
        head += "\">\r\n";
        t_.insert(0, head);
      }
    }
    // A saved copy must not claim to come from elsewhere.
    std::size_t k = FindSavedFromComment(t_);
    if (k != std::string::npos) t_[k + 5] = ' ';

    k = FindCi(t_, "</title>");
    if (k != std::string::npos && k >= 5) pos_ = k + 4;

    std::string baseHref;
    std::size_t b = FindBaseElement(t_);
    if (b != std::string::npos) {
      std::size_t gt = t_.find('>', b + 5);
      std::size_t href = FindCi(t_, "href", b + 5);
      if (href != std::string::npos && (gt == std::string::npos || href < gt)) {
        // The saved copy keeps no working base element: its links are local now.
        if (!job_.search_mode) {
          t_[b + 1] = '!';
          t_[b + 2] = ' ';
        }
        std::size_t v = href + 4;
        while (v < t_.size() && (t_[v] == ' ' || t_[v] == '\t' || t_[v] == '=' || t_[v] == '"' ||
                                 t_[v] == '\'' || t_[v] == '\\')) {
          ++v;
        }
        std::size_t e = v;
        while (e < t_.size() && U(t_[e]) >= 36 && t_[e] != '\'' && t_[e] != '<' && t_[e] != '>') {
          ++e;
        }
        baseHref = t_.substr(v, e - v);
      }
      pos_ = 0;
    }

    // A "/" inside the query separates no folders: a page "a.php?x=1/2" lies in the folder of
    // "a.php", as a browser resolves its links, not in a folder "a.php?x=1/".
    pageFolderUrl_ = job_.page_folder_url;
    if (pageFolderUrl_.find('?') != std::string::npos) {
      const std::string_view url(job_.url);
      const std::size_t slash = url.rfind('/', url.find('?'));
      pageFolderUrl_ = slash == std::string_view::npos || slash < SchemeLength(url)
                           ? job_.site_root
                           : std::string(url.substr(0, slash + 1));
    }
    base_ = pageFolderUrl_;
    if (!job_.referrer_folder.empty()) base_ = job_.referrer_folder;
    if (!baseHref.empty()) {
      // A relative base is relative to the page, not an address of its own.
      base_ = StartsWithHttp(baseHref) ? baseHref
                                       : ResolveRelative(baseHref, base_, job_.site_root);
      if (base_.empty()) base_ = baseHref;
    }

    if (!job_.search_mode && !job_.url.empty()) {
      pageFolder_ = AddressFolder(SiteLocalName(job_.url));
    }
    markup_ = MarkupContext(t_);
  }

  void Emit(std::size_t from, std::size_t to) {
    if (to > from) Write(t_.data() + from, to - from);
  }
  void Write(const char* data, std::size_t size) {
    if (outOk_ && size != 0 && !out_.Append(data, size)) outOk_ = false;
  }

  static std::size_t FindFrom(const std::string& s, char c, std::size_t from) {
    if (from >= s.size()) return std::string::npos;
    const void* p = std::memchr(s.data() + from, c, s.size() - from);
    return p == nullptr ? std::string::npos
                        : static_cast<std::size_t>(static_cast<const char*>(p) - s.data());
  }

  void Scan() {
    const std::size_t n = t_.size();
    std::size_t nextDot = FindFrom(t_, '.', pos_);
    std::size_t nextEq = FindFrom(t_, '=', pos_);
    while (pos_ + 1 < n && !stopped_) {
      if (nextDot != std::string::npos && nextDot < pos_) nextDot = FindFrom(t_, '.', pos_);
      if (nextEq != std::string::npos && nextEq < pos_) nextEq = FindFrom(t_, '=', pos_);
      if (nextDot == std::string::npos && nextEq == std::string::npos) break;
      if (nextDot < nextEq) {
        pos_ = nextDot;
        DotAnchor(nextDot);
      } else {
        pos_ = nextEq;
        EqualsAnchor(nextEq);
      }
    }
  }

  // A delimiter ends right before j: the byte there, or a character reference standing for one
  // ("&#39;" around a name in a code sample is a quote).
  bool DelimiterEndsAt(std::size_t j) const {
    if (IsDelimiter(t_[j - 1])) return true;
    const int c = t_[j - 1] == ';' ? CharRefEndingAt(t_, j) : -1;
    return c >= 0 && IsDelimiter(static_cast<char>(c));
  }
  // The character before v and the one at j as a browser reads them (references decoded).
  char CharBefore(std::size_t v) const {
    if (v == 0) return '\0';
    const int c = t_[v - 1] == ';' ? CharRefEndingAt(t_, v) : -1;
    return c >= 0 ? static_cast<char>(c) : t_[v - 1];
  }
  char CharAt(std::size_t j) const {
    if (j >= t_.size()) return '\0';
    std::size_t n = 0;
    const int c = t_[j] == '&' ? CharRefAt(t_, j, n) : -1;
    return c >= 0 ? static_cast<char>(c) : t_[j];
  }

  // Last delimiter before `d`, or npos. Dots arrive in increasing order, so the backward scan
  // only covers text not scanned before: the whole pass stays linear.
  std::size_t DelimiterBefore(std::size_t d) {
    if (d < delimScanned_) {
      std::size_t j = d;
      while (j > 0) {
        if (DelimiterEndsAt(j)) return j - 1;
        --j;
      }
      return std::string::npos;
    }
    std::size_t found = std::string::npos;
    for (std::size_t j = d; j > delimScanned_; --j) {
      if (DelimiterEndsAt(j)) {
        found = j - 1;
        break;
      }
    }
    if (found == std::string::npos) found = lastDelim_;
    delimScanned_ = d;
    lastDelim_ = found;
    return found;
  }

  void DotAnchor(std::size_t d) {
    const std::size_t n = t_.size();
    if (d + 1 >= n || U(t_[d + 1]) < 65) {
      pos_ = d + 1;
      return;
    }
    std::size_t delim = DelimiterBefore(d);
    if (delim == std::string::npos) {
      pos_ = d + 1;
      return;
    }
    std::size_t ts = delim + 1;
    if (ts == d || ts < lastEnd_) {
      pos_ = d + 1;
      return;
    }
    if (job_.file_names_in_text) {
      bool accept = false;
      if (ts + 5 <= n) {
        bool whole = true;
        for (std::size_t i = 0; i < 5; ++i) whole = whole && !IsValueStop(t_[ts + i]);
        const char* p = t_.data() + ts;
        if (whole && ((p[0] == 'h' && p[1] == 't' && p[2] == 't' && p[3] == 'p') ||
                      (p[0] == 'w' && p[1] == 'w' && p[2] == 'w' && p[3] == '.'))) {
          accept = true;
        }
      }
      if (!accept) accept = ExtensionTestPasses(std::string_view(t_).substr(d, 6));
      if (!accept) {
        pos_ = d + 1;
        return;
      }
      Value(d, ts, false, DotRule::Any, {});
      return;
    }
    const std::string_view token = std::string_view(t_).substr(ts, 8);
    const bool address = StartsWithHttp(token) || StartsWithNoCaseAscii(token, "www.");
    const bool named = address || WholeEndingAt(std::string_view(t_).substr(d, 10));
    const Place place = PlaceOf(d);
    DotRule rule = DotRule::None;
    switch (place.region) {
      case Region::Script: rule = DotRule::QuotedString; break;
      case Region::Style: rule = DotRule::StyleReference; break;
      case Region::Value:
        if (place.attribute.starts_with("on") || StartsWithNoCaseAscii(std::string_view(t_).substr(place.valueStart),
                                                                       "javascript:")) {
          rule = DotRule::QuotedString;
        } else if (place.attribute == "style") {
          rule = DotRule::StyleReference;
        } else {
          rule = DotRule::WholeValue;
        }
        break;
      default: break;  // prose, code samples, tag names, comments
    }
    // A style sheet's url() names a file whatever its ending; elsewhere the name must say so.
    if (rule == DotRule::None || (rule != DotRule::StyleReference && !named)) {
      pos_ = d + 1;
      return;
    }
    Value(d, ts, false, rule, place);
  }

  // Where the byte at pos lies: in a style sheet or script file everything is style or script.
  Place PlaceOf(std::size_t pos) {
    if (kind_ == TextKind::Markup) return markup_.At(pos);
    Place whole;
    whole.region = kind_ == TextKind::StyleSheet ? Region::Style : Region::Script;
    return whole;
  }

  // Whether the token [ts, j) found through a dot is a link under `rule`.
  bool DotRuleHolds(DotRule rule, const Place& place, std::size_t ts, std::size_t j) const {
    const std::string_view t(t_);
    switch (rule) {
      case DotRule::Any: return true;
      case DotRule::None: return false;
      case DotRule::QuotedString: {
        const char q = CharBefore(ts);
        const char end = CharAt(j);
        return (q == '"' || q == '\'' || q == '`') && (end == q || end == '#');
      }
      case DotRule::WholeValue: {
        if (ts != place.valueStart) return false;
        const char end = t[j];
        return place.quote != '\0' ? end == place.quote || end == '#' : U(end) <= 32 || end == '>';
      }
      case DotRule::StyleReference: {
        // url(name), url("name"), url( 'name' ), or @import "name".
        std::size_t k = ts;
        const char q = CharBefore(k);
        const bool quoted = q == '"' || q == '\'';
        if (quoted) k = QuoteStart(ts);
        while (k > 0 && (t[k - 1] == ' ' || t[k - 1] == '\t')) --k;
        if (k >= 4 && t[k - 1] == '(' && HasNoCase(t.substr(k - 4, 3), "url")) return true;
        return quoted && k >= 7 && HasNoCase(t.substr(k - 7, 7), "@import");
      }
    }
    return false;
  }

  // Where the quote right before v begins (the "&" of a reference, or the quote itself).
  std::size_t QuoteStart(std::size_t v) const {
    if (t_[v - 1] != ';' || CharRefEndingAt(t_, v) < 0) return v - 1;
    return t_.rfind('&', v - 1);
  }

  void EqualsAnchor(std::size_t e) {
    const std::string_view t(t_);
    // An attribute's "=" or one inside a value (a meta refresh's "url="); comments keep the
    // links of conditional markup. An "=" in prose, code samples, scripts or style sheets is none.
    if (!job_.file_names_in_text) {
      const Region r = PlaceOf(e).region;
      if (r != Region::Tag && r != Region::Value && r != Region::Comment) {
        pos_ = e + 1;
        return;
      }
    }
    if (IsSrcSetAt(e)) {
      SrcSet(e);
      return;
    }
    bool accept = false;
    bool codebase = false;
    if (e >= 15) {
      std::string_view a(t.substr(e + 1, 10));
      if (Has(a, "http://") || Has(a, "https://")) {
        accept = true;
        if (Has(t.substr(e - 15, 14), " codebase")) codebase = true;
      } else if (Has(a, "www.")) {
        accept = true;
      }
    }
    if (!accept && (e < 3 || !IsNameEnding(t[e - 3]))) {
      pos_ = e + 1;
      return;
    }
    const std::size_t fiveFrom = e >= 5 ? e - 5 : 0;
    const Window<5> five(t, fiveFrom, e - fiveFrom);
    if (!accept) {
      std::string_view f = five.view();
      bool named = five.Has("url") || five.Has(" ref") || five.Has(" src") || five.Has("ound") ||
                   f.ends_with("href") || f.ends_with("ref ");
      if (!named) {
        pos_ = e + 1;
        return;
      }
    }
    if (e >= 18) {
      Window<17> w(t, e - 17, 17);
      scriptCtx_ = w.Has("ipt src");
      frameCtx_ = job_.frame_mode && w.Has("iframe");
      bool ur = five.Has("ur") || Window<10>(t, e + 1, 10).Has("ur");
      std::size_t c = w.view().find("content");
      metaCtx_ = ur && w.Has("url") && c != std::string_view::npos &&
                 w.view().find('=', c + 7) != std::string_view::npos;
    }
    std::size_t v = e + 1;
    while (v < t.size() && (t[v] == ' ' || t[v] == '\t' || t[v] == '\\')) ++v;
    if (v < t.size() && (t[v] == '"' || t[v] == '\'')) ++v;
    if (v < t.size() && (t[v] == '"' || t[v] == '\'' || t[v] == '#')) {
      pos_ = e + 1;  // empty value or a fragment of this page
      return;
    }
    Value(e, v, codebase, DotRule::Any, {});
  }

  // The candidate value starting at `v`, found through the anchor at `anchor`.
  // A dot's token is taken only when `rule` holds for it.
  void Value(std::size_t anchor, std::size_t v, bool codebase, DotRule rule, const Place& place) {
    const std::string_view t(t_);
    const std::size_t n = t.size();
    // The extent depends on the start alone. Dots after a "#" or "!" inside one token share a
    // start whose value ends before them; remembering the last extent keeps such texts linear.
    std::size_t j = v;
    // A name in url() ends at its ")" ("url(a.png)}" at the very end of a style sheet).
    const bool inUrl = rule == DotRule::StyleReference;
    if (v == extentFrom_ && inUrl == extentInUrl_) {
      j = extentEnd_;
    } else {
      while (j < n) {
        char c = t[j];
        if (c == ',' && IsNameEscapeAt(t, j)) {  // a link an earlier save wrote
          j += 8;
          continue;
        }
        if (c == '&') {  // a reference is read as the character it stands for
          std::size_t ref = 0;
          const int decoded = CharRefAt(t, j, ref);
          if (ref != 0 && IsValueStop(static_cast<char>(decoded))) break;
          if (ref != 0) {
            j += ref;
            continue;
          }
        }
        if (IsValueStop(c)) break;
        if (c == ')' && (inUrl || (j + 1 < n && t[j + 1] == ';' && n - j >= 3))) break;
        ++j;
      }
      extentFrom_ = v;
      extentEnd_ = j;
      extentInUrl_ = inUrl;
    }
    if (j >= n) {  // runs off the end: the rest is copied unchanged
      stopped_ = true;
      result_.truncated_scan = true;
      return;
    }
    if (!DotRuleHolds(rule, place, v, j)) {
      pos_ = anchor + 1;
      return;
    }
    pos_ = std::max(j, anchor + 1);
    Candidate(v, j, codebase);
  }

  // "srcset" or "imagesrcset" (any case) ends right before the "=" at e.
  bool IsSrcSetAt(std::size_t e) const {
    static constexpr std::string_view kName = "srcset";
    if (e < kName.size()) return false;
    for (std::size_t i = 0; i < kName.size(); ++i) {
      if (LowerAscii(t_[e - kName.size() + i]) != kName[i]) return false;
    }
    return true;
  }

  // A candidate list: "a.png 1x, b.png 2x" or "s.webp 320w, l.webp 640w". Every candidate's
  // address is a link of its own; the descriptors stay as they are.
  void SrcSet(std::size_t e) {
    const std::string_view t(t_);
    const std::size_t n = t.size();
    std::size_t v = e + 1;
    while (v < n && (t[v] == ' ' || t[v] == '\t')) ++v;
    const char quote = v < n && (t[v] == '"' || t[v] == '\'') ? t[v] : '\0';
    if (quote != '\0') ++v;
    // Bounded, so a page of unclosed values stays linear.
    const std::size_t limit = std::min(n, v + kMaxLinkLength * 8);
    std::size_t end = v;
    while (end < limit && (quote != '\0' ? t[end] != quote : U(t[end]) > 32 && t[end] != '>')) ++end;
    if (end >= limit) {  // no end in sight: the usual scan goes on
      pos_ = e + 1;
      return;
    }
    for (std::size_t k = v; k < end;) {
      while (k < end && (U(t[k]) <= 32 || t[k] == ',')) ++k;
      const std::size_t from = k;
      while (k < end && U(t[k]) > 32) ++k;
      std::size_t to = k;
      while (to > from && t[to - 1] == ',') --to;  // "a.png," ends its candidate there
      if (to > from) Candidate(from, to, false);
      if (to == k) {
        while (k < end && t[k] != ',') ++k;  // the descriptor
      }
    }
    pos_ = std::max(end, e + 1);
  }

  // The link text [v, j) found through an anchor: filtered, resolved, reported and rewritten.
  void Candidate(std::size_t v, std::size_t j, bool codebase) {
    const std::string_view t(t_);
    const std::size_t len = j - v;
    const char before = CharBefore(v);
    const char after = CharAt(j);
    if (len == 0 || len > kMaxLinkLength || before == '>' || after == '<') return;
    if (Has(t.substr(j, 3), '=')) return;
    if (before == '&' || before == '+' || before == ';') return;
    if (after == '&' || after == '+' || after == ';') return;

    const std::string_view found = t.substr(v, len);
    std::string& link = link_;
    link.assign(found);
    DecodeNumericCharRefs(link);
    // Closing characters the cleaning drops ("url(a.gif)", "see a.html.") are not part of the
    // address; they stay in the saved page after the replacement.
    std::size_t keep = 0;
    bool backslashDropped = false;
    if (!link.empty() && link.back() == '\\') {
      link.pop_back();
      backslashDropped = true;
    }
    if (!link.empty() && link.back() == ')' && !Has(link, '(')) {
      link.pop_back();
      ++keep;
    }
    std::replace(link.begin(), link.end(), '\\', '/');
    if (link == "/") {
      link = job_.site_root;
    } else if (link.size() <= 1) {
      return;
    } else {
      unsigned char last = U(link.back());
      if ((last >= 58 && last <= 64) || (last >= 91 && last <= 95) || last == 126 || last < 47) {
        link.pop_back();
        ++keep;
      }
    }
    if (backslashDropped) keep = 0;
    if (link.size() >= 9 && link.compare(0, 4, "www.") == 0) link.insert(0, "http://");
    if (v >= 17 && Window<16>(t, v - 17, 16).Has("codebase")) codebase = true;

    std::string& address = address_;
    address.clear();
    bool rewrittenBefore = false;
    if (!StartsWithHttp(link)) {
      if (link.empty() || Has(link, "mailto:") || Has(link, '(') || link.back() == '=' ||
          Has(link, "://") || HttpSchemeWithoutSlashes(link) || StartsWithNoCaseAscii(link, "javascript:") ||
          StartsWithNoCaseAscii(link, "data:")) {
        return;
      }
      std::size_t k = job_.site_root_prefix.empty() ? std::string::npos
                                                    : link.find(job_.site_root_prefix);
      if (k != std::string::npos) {
        // A copy of this very site: the page's own scheme.
        address.assign(SchemeOf(job_.site_root));
        if (address.empty()) address.assign(kHttpScheme);
        address.append(link, k + 3);
        rewrittenBefore = true;
      } else if (OtherSiteCopy(link, address)) {
        rewrittenBefore = true;
      } else {
        if (Has(link, ".class")) address = ResolveAgainstCodebase(link, v);
        if (address.empty()) ResolveRelativeTo(link, base_, job_.site_root, address);
        if (address.empty() || HasNoCase(address, "/http:/") || HasNoCase(address, "/https:/") ||
            address.back() == '.' ||
            address.back() == ')') {
          return;
        }
      }
    } else {
      address = link;
    }

    // A site name alone gets its "/" (a scheme of either kind, or "http" + anything).
    const std::size_t scheme = HasWebScheme(address) ? SchemeLength(address) : kHttpScheme.size();
    if (address.size() <= scheme ||
        (address.find('/', scheme) == std::string::npos && address[scheme] != ':')) {
      address += '/';
    }
    if (address.substr(address.size() >= 3 ? address.size() - 3 : 0).find("//") !=
        std::string::npos) {
      address = job_.site_root;
    }

    if (metaCtx_ && pages_ == 1) {
      if (redirect_ != nullptr) {
        redirect_->StartRedirect(HostRule(address).value_or(std::string()),
                                 AddressFolder(address), address);
      }
      pages_ = 3;
    }

    const bool relativeAllowed = !codebase && address.size() >= 11;
    if (relativeAllowed || rewrittenBefore) {
      std::size_t tail = address.size() >= 10 ? address.size() - 10 : 0;
      if (rewrittenBefore || address.find('.', tail) == std::string::npos) {
        // Both decoders give their input back when it holds no escape at all.
        if (Has(address, '%')) address = LinkPercentDecode(address);
        if (Has(address, ",8,,x")) address = NameEscapeDecode(address);
        // As in the link text itself, "\\" becomes "/" (a stored name writes both alike).
        std::replace(address.begin(), address.end(), '\\', '/');
        if (!rewrittenBefore && address.find_first_of("?=&;") == std::string::npos &&
            address.back() != '/') {
          address += '/';
        }
      }
    }

    // One file, one address: "%D1%81.html" and "с.html" are reported and stored alike.
    if (!job_.search_mode && Has(address, '%')) address = DecodeUnreservedEscapes(address);

    Report(address);
    if (job_.search_mode) return;  // result pages keep their links as found

    std::string& replacement = replacement_;
    if (!Replacement(address, relativeAllowed, codebase, replacement)) return;
    Emit(lastEnd_, v);
    Write(replacement.data(), replacement.size());
    lastEnd_ = j - keep;
  }

  // A link an earlier save wrote to another site's copy: the page's LevelsUp (back to the
  // collection folder) followed by a site folder. Sites are told from folders by the dot in
  // their name.
  bool OtherSiteCopy(const std::string& link, std::string& address) const {
    const std::string& up = job_.levels_up;
    if (up.empty() || link.size() <= up.size() || link.compare(0, up.size(), up) != 0) return false;
    std::string_view rest = std::string_view(link).substr(up.size());
    std::size_t slash = rest.find('/');
    if (slash == std::string_view::npos || slash == 0) return false;
    std::string_view site = rest.substr(0, slash);
    if (site.find('.') == std::string_view::npos ||
        site.find_first_not_of('.') == std::string_view::npos) {
      return false;
    }
    address = "http://";
    address.append(rest);
    return true;
  }

  // An applet class named relative to its element's codebase; empty when the element has
  // none (the link then resolves against the page).
  std::string ResolveAgainstCodebase(const std::string& link, std::size_t v) const {
    const std::string_view t(t_);
    std::size_t lo = v;
    std::size_t limit = v > kMaxElementReach ? v - kMaxElementReach : 0;
    while (lo > limit && t[lo - 1] != '<') --lo;
    if (lo == 0 || t[lo - 1] != '<') return {};
    std::size_t hi = t.substr(0, std::min(t.size(), v + kMaxElementReach)).find('>', v);
    if (hi == std::string_view::npos) return {};
    std::string_view element = t.substr(lo - 1, hi - lo + 1);
    std::size_t k = FindNoCase(element, "codebase=");
    if (k == std::string_view::npos) return {};
    std::size_t s = k + 9;
    while (s < element.size() && (element[s] == ' ' || element[s] == '\t')) ++s;
    if (s < element.size() && (element[s] == '"' || element[s] == '\'')) ++s;
    std::size_t e = s;
    while (e < element.size() && U(element[e]) >= 36 && element[e] != '\'' && element[e] != '<' &&
           element[e] != '>') {
      ++e;
    }
    std::string cb(element.substr(s, e - s));
    if (cb.empty()) return {};
    if (cb.find("://") == std::string::npos) {
      cb = StartsWithHttp(cb) ? cb : ResolveRelative(cb, pageFolderUrl_, job_.site_root);
      if (cb.empty()) return {};
    }
    if (cb.back() != '/') cb += '/';
    return ResolveRelative(link, cb, job_.site_root);
  }

  void Report(const std::string& address) {
    std::string reported = address;
    if (scriptCtx_ || EndsWithNoCase(address, ".js") || EndsWithNoCase(address, ".vbs")) {
      reported += "(((((";
      reported += base_;
    }
    if (EndsWithNoCase(address, ".class") || job_.embedded_mode || job_.frame_flag) {
      reported += "..)(..";
    }
    if (frameCtx_) reported += ")ifra(";

    if (job_.search_mode) {
      bool wanted = ContainsNoCase(address, kSearchEngineRoot) &&
                    (ContainsNoCase(address, kResultPagePath) ||
                     (job_.preview && ContainsNoCase(address, kCachedCopyPath)));
      if (!wanted) return;
    }
    if (reported.size() < 10) return;
    result_.found_links.push_back(std::move(reported));
    scriptCtx_ = false;
  }

  // The text that replaces the link in the saved page: the path of the target's local copy,
  // relative to this page's folder when both lie in the same site, else through LevelsUp
  // from the collection folder. False: leave the link as it is (no http:// or https:// address).
  bool Replacement(const std::string& address, bool relativeAllowed, bool codebase,
                   std::string& out) {
    if (!HasWebScheme(address) || address.size() <= SchemeLength(address)) return false;
    if (codebase && EndsWithNoCase(address, ".class")) {
      out = NameEscape(AddressFilePart(address));
    } else {
      const std::string& local = StoredName(address, stored_);
      if (!relativeAllowed || pageFolder_.empty() || !RelativeLocalPathTo(pageFolder_, local, out)) {
        out.assign(job_.levels_up);
        out.append(local);
      }
    }
    EscapeForBrowser(out);
    return true;
  }

  std::string t_;
  const PageJob& job_;
  OutputSink& out_;
  int& pages_;
  StartRedirectSink* redirect_;
  const TextKind kind_;
  MarkupContext markup_{std::string_view()};  // views t_ once Prepare has shaped it

  PageResult result_;
  bool outOk_ = true;
  bool stopped_ = false;
  std::size_t pos_ = 0;
  std::size_t lastEnd_ = 0;
  std::size_t delimScanned_ = 0;
  std::size_t lastDelim_ = std::string::npos;
  std::size_t extentFrom_ = std::string::npos;
  std::size_t extentEnd_ = 0;
  bool extentInUrl_ = false;
  std::string base_;
  std::string pageFolderUrl_;  // folder of the page's address, its query aside
  std::string pageFolder_;
  // Scratch for each candidate: reused, so a page dense with links allocates little per link.
  std::string link_;
  std::string address_;
  std::string stored_;
  std::string replacement_;
  bool scriptCtx_ = false;
  bool frameCtx_ = false;
  bool metaCtx_ = false;
};

}  // namespace

PageResult ProcessPage(std::string text, const PageJob& job, OutputSink& out, int& processed_pages,
                       StartRedirectSink* redirect) {
  return Processor(std::move(text), job, out, processed_pages, redirect).Run();
}

PageResult ProcessPageFile(std::string text, const PageJob& job, int& processed_pages,
                           StartRedirectSink* redirect) {
  // The rewritten page is written beside the downloaded one and renamed over it only when it
  // is complete, so a full disk never costs the page itself.
  const std::string temp = job.local_path + ".orvnew";
  FileSink file(temp);
  if (!file.IsOpen()) {
    NullSink none;
    PageResult r = ProcessPage(std::move(text), job, none, processed_pages, redirect);
    r.written = false;
    return r;
  }
  PageResult r = ProcessPage(std::move(text), job, file, processed_pages, redirect);
  bool closed = file.Close();
  r.written = r.written && closed && std::rename(temp.c_str(), job.local_path.c_str()) == 0;
  if (!r.written) std::remove(temp.c_str());
  return r;
}

}  // namespace orv::page
