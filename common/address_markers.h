#pragma once
// Markers the console puts on the addresses it reports and the main program reads back: a
// referrer folder after "(((((", an embedded link "..)(..", a link found in frame context
// ")ifra(", and the two messages of a redirect and of a missing page.
#include <string>
#include <string_view>

namespace orv {

inline constexpr std::string_view kReferrerMarker = "(((((";
inline constexpr std::string_view kEmbeddedMarker = "..)(..";
inline constexpr std::string_view kEmbeddedMarkerShort = "..)(";  // recognised anywhere
inline constexpr std::string_view kFrameMarker = ")ifra(";
inline constexpr std::string_view kRedirMarker = "orv_redir:";
inline constexpr std::string_view kNotFoundMarker = "orv_notfn:";

// Removes `marker` from the end of address; true when it was there.
inline bool StripTrailingMarker(std::string& address, std::string_view marker) {
  if (!address.ends_with(marker)) return false;
  address.resize(address.size() - marker.size());
  return true;
}

// Cuts a referrer suffix ("(((((" + folder) found at or after `from`; true when one was there.
inline bool CutReferrer(std::string& address, std::size_t from = 0) {
  const std::size_t at = address.find(kReferrerMarker, from);
  if (at == std::string::npos) return false;
  address.resize(at);
  return true;
}

}  // namespace orv
