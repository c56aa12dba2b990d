#include "main/run/saved_page_links.h"

#include <cstdio>
#include <unordered_set>

#include "common/address_scheme.h"
#include "common/text.h"

namespace orv {

namespace {

constexpr long kLargestPageRead = 8L << 20;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// "a/./b/../c" -> "a/c" for an absolute local path.
std::string Normalised(std::string_view path) {
  std::vector<std::string_view> parts;
  std::size_t pos = 0;
  while (pos <= path.size()) {
    std::size_t slash = path.find('/', pos);
    if (slash == std::string_view::npos) slash = path.size();
    const std::string_view part = path.substr(pos, slash - pos);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    pos = slash + 1;
  }
  std::string out;
  for (std::string_view p : parts) (out += '/') += p;
  return out;
}

// The value after an attribute name or "url(" at `pos`, and the position after it.
std::string_view ValueAt(std::string_view text, std::size_t pos, bool afterEquals, std::size_t& end) {
  if (afterEquals) {
    while (pos < text.size() && IsSpace(text[pos])) ++pos;
    if (pos >= text.size() || text[pos] != '=') {
      end = pos;
      return {};
    }
    ++pos;
  }
  while (pos < text.size() && IsSpace(text[pos])) ++pos;
  char quote = 0;
  if (pos < text.size() && (text[pos] == '"' || text[pos] == '\'')) quote = text[pos++];
  std::size_t stop = pos;
  while (stop < text.size()) {
    const char c = text[stop];
    if (quote ? c == quote : (IsSpace(c) || c == '>' || c == ')')) break;
    ++stop;
  }
  end = stop;
  return text.substr(pos, stop - pos);
}

}  // namespace

std::vector<std::string> SavedPageLinks(std::string_view text, std::string_view pagePath,
                                        std::string_view collectionFolder, const SiteSchemeLookup& siteScheme) {
  std::vector<std::string> links;
  std::unordered_set<std::string> seen;
  const std::string folder(pagePath.substr(0, pagePath.rfind('/') + 1));
  std::string root(collectionFolder);
  if (!root.empty() && root.back() != '/') root += '/';
  const std::string lower = LowerCase(std::string(text));
  const auto take = [&](std::string_view value) {
    std::string v(value.substr(0, value.find('#')));
    if (v.empty()) return;
    std::string address;
    if (StartsWithNoCase(v, "http://") || StartsWithNoCase(v, "https://")) {
      address = v;
    } else {
      // Another scheme (mailto:, javascript:, data:) before any folder separator.
      const std::size_t colon = v.find(':');
      if (colon != std::string::npos && colon < v.find('/')) return;
      std::string local = Normalised(v[0] == '/' ? v : folder + v);
      if (v.back() == '/') local += "/index.html";
      if (!StartsWithNoCase(local, root) || local.size() <= root.size()) return;
      address = LocalPathToAddress(local, root, siteScheme);
    }
    if (seen.insert(address).second) links.push_back(std::move(address));
  };
  for (std::size_t pos = 0; pos < lower.size();) {
    std::size_t end = pos + 1;
    if (lower.compare(pos, 4, "href") == 0) {
      take(ValueAt(text, pos + 4, true, end));
    } else if (lower.compare(pos, 3, "src") == 0) {
      take(ValueAt(text, pos + 3, true, end));
    } else if (lower.compare(pos, 4, "url(") == 0) {
      take(ValueAt(text, pos + 4, false, end));
    }
    pos = std::max(end, pos + 1);
  }
  return links;
}

std::vector<std::string> ReadSavedPageLinks(const std::string& pagePath, std::string_view collectionFolder,
                                            const SiteSchemeLookup& siteScheme) {
  const std::size_t slash = pagePath.rfind('/');
  const std::size_t dot = pagePath.rfind('.');
  const std::string ext = dot == std::string::npos || (slash != std::string::npos && dot < slash)
                              ? std::string()
                              : LowerCase(pagePath.substr(dot + 1));
  static const std::unordered_set<std::string> kPages{"htm", "html", "shtml", "xhtml", "css", "php", "asp", "aspx", "jsp"};
  if (kPages.count(ext) == 0) return {};
  std::FILE* f = std::fopen(pagePath.c_str(), "rb");
  if (!f) return {};
  std::string text;
  char buf[65536];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) {
    text.append(buf, n);
    if (static_cast<long>(text.size()) > kLargestPageRead) {
      std::fclose(f);
      return {};
    }
  }
  std::fclose(f);
  return SavedPageLinks(text, pagePath, collectionFolder, siteScheme);
}

}  // namespace orv
