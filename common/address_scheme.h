#pragma once
// The two schemes a web address may have: "http://" and "https://" (any case). Both programs
// treat them alike: one site, one folder in the collection, one scope. Local names drop the
// scheme; the collection remembers per site folder which one the site was fetched with.

#include <string>
#include <string_view>

namespace orv {

inline constexpr std::string_view kHttpScheme = "http://";
inline constexpr std::string_view kHttpsScheme = "https://";

// Length of the address's scheme: 7 for "http://", 8 for "https://" (any case), else 0.
std::size_t SchemeLength(std::string_view address);

inline bool HasWebScheme(std::string_view address) { return SchemeLength(address) != 0; }

// "http://" or "https://" (lower case) as the address starts, else empty.
std::string_view SchemeOf(std::string_view address);

// True when the address starts "https://" (any case).
inline bool IsHttps(std::string_view address) { return SchemeLength(address) == kHttpsScheme.size(); }

// The address without its scheme (unchanged when it has none).
std::string_view WithoutScheme(std::string_view address);

// Length of the user-info part ("user:password@") at the start of a schemeless address: up to
// the last "@" before the first "/", "\\", "?" or "#"; 0 when there is none. A local name never
// carries it, so a password in an address never becomes a folder name.
std::size_t UserInfoLength(std::string_view withoutScheme);

// The same address under the other scheme, the host's case aside: what a site that moved to
// HTTPS (or back) answers a page's address with.
bool IsSchemeMove(std::string_view from, std::string_view to);

// For comparisons that must not tell the two schemes of one site apart (scope, same site,
// already-known addresses): every "https://" (any case) in text becomes "http://".
std::string FoldScheme(std::string_view text);

// Case-insensitive containment and prefix tests with both sides scheme-folded.
bool ContainsAnySchemeNoCase(std::string_view text, std::string_view needle);
bool StartsWithAnySchemeNoCase(std::string_view text, std::string_view prefix);

// The scheme a site folder was last fetched with, as stored beside it ("http" or "https"):
// the address form "https://" for "https", else "http://" (also for nothing stored).
std::string_view SchemeForStored(std::string_view stored);

}  // namespace orv
