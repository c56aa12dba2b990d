#include "common/address_text.h"

#include <algorithm>

#include "common/address_scheme.h"
#include "common/escapes.h"
#include "common/text.h"

namespace orv {

std::string AlternateBaseOf(std::string_view host) {
  std::vector<std::string_view> pieces;
  std::size_t start = 0;
  for (std::size_t dot = host.find('.'); dot != std::string_view::npos; dot = host.find('.', start)) {
    pieces.push_back(host.substr(start, dot - start));
    start = dot + 1;
  }
  if (pieces.empty()) return std::string(host);
  return std::string(pieces.size() >= 2 ? pieces[1] : pieces[0]) + ".";
}

bool TooDeep(std::string_view address, int limit) {
  if (address.ends_with("..)(..")) return false;
  long long depth = 0;
  for (std::size_t i = 8; i < address.size(); ++i) {
    if (address[i] == '/') ++depth;
  }
  return limit < std::max<long long>(depth, 1);
}

std::string FolderOf(std::string_view address) {
  if (address.ends_with("/")) return std::string(address);
  std::size_t k = address.rfind('/');
  if (k == std::string_view::npos || k < std::max<std::size_t>(SchemeLength(address), 7)) {
    return std::string(address) + "/";
  }
  std::string_view after = address.substr(k + 1);
  if (after.find('.') != std::string_view::npos || after.find('?') != std::string_view::npos) {
    return std::string(address.substr(0, k + 1));
  }
  return std::string(address) + "/";
}

std::string HostOf(std::string& address, bool lanOrLocalhostOnline) {
  address = Trim(address);
  const std::size_t scheme = SchemeLength(address);
  if (scheme == 0 || address.size() <= scheme + 2) return {};
  std::string_view rest = std::string_view(address).substr(scheme);
  std::size_t sep = rest.find('\\');
  if (sep == std::string_view::npos) sep = rest.find('/');
  if (sep == 0) return {};
  std::string host(sep == std::string_view::npos ? rest : rest.substr(0, sep));
  if (host.find('.') != std::string::npos || lanOrLocalhostOnline) return host;
  return {};
}

void PercentDecodeHighAndControl(std::string& text) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '%' && i + 2 < text.size()) {
      int h = detail::HexDigit(text[i + 1]), l = detail::HexDigit(text[i + 2]);
      if (h >= 0 && l >= 0) {
        int v = h * 16 + l;
        if (v > 128 || (v > 0 && v <= 32)) {
          out.push_back(static_cast<char>(v));
          i += 3;
          continue;
        }
      }
    }
    out.push_back(text[i]);
    ++i;
  }
  text = std::move(out);
}

std::string PercentEncode(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    auto b = static_cast<unsigned char>(c);
    if (b <= 32 || b >= 128) {
      out.push_back('%');
      if (b >= 16) out.push_back(kHex[b >> 4]);
      out.push_back(kHex[b & 15]);
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::string DomainWord(std::string_view address) {
  const std::size_t scheme = address.starts_with(kHttpScheme)    ? kHttpScheme.size()
                            : address.starts_with(kHttpsScheme) ? kHttpsScheme.size()
                                                                : 0;
  std::size_t a = address.find('.');
  if (a == std::string_view::npos) {
    // No dot: the word is empty ("." alone without the scheme).
    return scheme != 0 ? std::string() : std::string(".");
  }
  std::size_t b = address.find('.', a + 1);
  if (b != std::string_view::npos) return std::string(address.substr(a, b - a + 1));
  if (scheme == 0) return "." + std::string(address.substr(0, a + 1));
  if (a < scheme) return {};
  return std::string(address.substr(scheme, a - scheme + 1));
}

std::string LocalPathToAddress(std::string_view path, std::string_view collectionFolder,
                               const SiteSchemeLookup& siteScheme) {
  std::string p(path), c(collectionFolder);
  std::replace(p.begin(), p.end(), '\\', '/');
  std::replace(c.begin(), c.end(), '\\', '/');
  if (c.empty()) return p;
  if (c.back() != '/') c.push_back('/');
  std::size_t a = FindNoCase(p, c);
  if (a == std::string::npos) return p;
  // The scheme the site was fetched with, as remembered beside its folder; "http://" when
  // nothing is remembered.
  const std::string rest = p.substr(a + c.size());
  std::string stored;
  if (siteScheme) {
    const std::string site = rest.substr(0, rest.find('/'));
    if (!site.empty()) stored = siteScheme(c + site);
  }
  std::string address = std::string(SchemeForStored(stored)) + rest;
  if (address.find(",8,,x2") != std::string::npos) NameUnescape(address);
  // A name that ends in its ending once more came from the address without it.
  if (address.find('?') != std::string::npos) address = WithoutRestoredEnding(address);
  return address;
}

void NameUnescape(std::string& text) {
  text = detail::DecodeEscapes(text, ",8,,x2", [](char a, char b) {
    int h = detail::HexDigit(a), l = detail::HexDigit(b);
    if (h < 0 || l < 0) return -1;
    int v = h * 16 + l;
    return v > 0 ? v : -1;
  });
}

}  // namespace orv
