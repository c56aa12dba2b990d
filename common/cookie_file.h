#pragma once
// Cookie files in the Netscape format, the one `wget --load-cookies` and `curl -b` read and
// libcurl's cookie engine writes: one cookie a line, seven fields separated by tabs
//
//   domain  includeSubdomains  path  secure  expires  name  value
//
// "TRUE"/"FALSE" for the two flags, expires in seconds since 1970 (0 = ends with the session),
// a domain prefixed "#HttpOnly_" for a cookie scripts may not read. Other lines starting with
// "#" and blank lines are comments. A script's cookie jar, the cookies a run loads and the
// cookies the embedded browser exports all go through these functions.
//
// Cookie values are secrets: the writer makes files readable by their owner alone, and
// nothing here logs a value. Parsing does no I/O, so it is fuzzed and tested on its own.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orv {

struct Cookie {
  std::string domain;              // without the "#HttpOnly_" prefix; a leading "." kept as given
  bool includeSubdomains = false;  // sent to the hosts under the domain too
  std::string path = "/";
  bool secure = false;             // sent over HTTPS only
  int64_t expires = 0;             // seconds since 1970; 0 = a session cookie
  std::string name;
  std::string value;
  bool httpOnly = false;
  bool operator==(const Cookie&) const = default;
};

// A cookie file bigger than this is refused whole: no real jar comes near it, and a file
// that big is most likely not a cookie file at all.
inline constexpr int64_t kMaxCookieFileBytes = 1024 * 1024;

enum class CookieFileError {
  None,
  Missing,     // no such file (a script without a jar yet: not an error for a jar)
  Unreadable,  // cannot be opened or read (permissions, a folder)
  TooLarge,    // over kMaxCookieFileBytes
};

struct CookieFileContents {
  std::vector<Cookie> cookies;
  int skippedLines = 0;  // malformed lines, skipped
  CookieFileError error = CookieFileError::None;
};

// Parses the text of a cookie file. A line that is not a cookie (too few or too many fields,
// a flag that is neither TRUE nor FALSE, an expiry that is no number, an empty domain or name)
// is skipped and counted. Six fields are read as a cookie with an empty value, as libcurl does.
CookieFileContents ParseCookieText(std::string_view text);

// The file's text: the usual header comment, then one line per cookie.
std::string CookieFileText(const std::vector<Cookie>& cookies);

// One cookie as a line of the file, without the line end.
std::string CookieLine(const Cookie& cookie);

// Reads and parses a cookie file; nothing but the error is set when it cannot be read whole.
CookieFileContents ReadCookieFile(const std::string& path);

// Writes the cookies beside the file (mode 0600) and renames it over `path`, so the file is
// never seen half written and never readable by others, not even for a moment. An existing
// file's mode is not kept: the new one is the owner's alone. False on failure (the old file
// is then as it was).
bool WriteCookieFile(const std::string& path, const std::vector<Cookie>& cookies);

// Merges `incoming` into `jar`: a cookie of the same domain, path and name replaces the one
// there (in its place); others are appended in their order. A leading "." of the domain and
// its letter case do not make a different cookie.
void MergeCookies(std::vector<Cookie>& jar, const std::vector<Cookie>& incoming);

// An English sentence for the error, naming the file (for `orv --batch` and the logs; never
// a cookie's value).
std::string CookieFileErrorText(CookieFileError error, const std::string& path);

}  // namespace orv
