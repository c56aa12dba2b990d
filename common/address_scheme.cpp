#include "common/address_scheme.h"

#include <algorithm>

#include "common/text.h"

namespace orv {

std::size_t SchemeLength(std::string_view address) {
  if (StartsWithNoCase(address, kHttpScheme)) return kHttpScheme.size();
  if (StartsWithNoCase(address, kHttpsScheme)) return kHttpsScheme.size();
  return 0;
}

std::string_view SchemeOf(std::string_view address) {
  switch (SchemeLength(address)) {
    case kHttpScheme.size(): return kHttpScheme;
    case kHttpsScheme.size(): return kHttpsScheme;
    default: return {};
  }
}

std::string_view WithoutScheme(std::string_view address) { return address.substr(SchemeLength(address)); }

bool IsSchemeMove(std::string_view from, std::string_view to) {
  if (!HasWebScheme(from) || !HasWebScheme(to) || IsHttps(from) == IsHttps(to)) return false;
  const std::string_view a = WithoutScheme(from), b = WithoutScheme(to);
  const std::size_t hostEnd = std::min(a.find('/'), a.size());
  return a.size() == b.size() && StartsWithNoCase(b, a.substr(0, hostEnd)) && a.substr(hostEnd) == b.substr(hostEnd);
}

std::string FoldScheme(std::string_view text) {
  std::string out(text);
  for (std::size_t k = FindNoCase(out, kHttpsScheme); k != std::string::npos;
       k = FindNoCase(out, kHttpsScheme, k + kHttpScheme.size())) {
    out.replace(k, kHttpsScheme.size(), kHttpScheme);
  }
  return out;
}

bool ContainsAnySchemeNoCase(std::string_view text, std::string_view needle) {
  return ContainsNoCase(FoldScheme(text), FoldScheme(needle));
}

bool StartsWithAnySchemeNoCase(std::string_view text, std::string_view prefix) {
  return StartsWithNoCase(FoldScheme(text), FoldScheme(prefix));
}

std::string_view SchemeForStored(std::string_view stored) {
  return Trim(stored) == "https" ? kHttpsScheme : kHttpScheme;
}

std::size_t UserInfoLength(std::string_view withoutScheme) {
  const std::string_view authority = withoutScheme.substr(0, withoutScheme.find_first_of("/\\?#"));
  const std::size_t at = authority.rfind('@');
  return at == std::string_view::npos ? 0 : at + 1;
}

}  // namespace orv
