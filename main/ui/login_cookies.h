#pragma once
// "Войти на сайт…": the user logs in on the live site in the embedded browser, and the cookies
// the browser then holds for that site go into the current script's cookie jar, so the script's
// next run fetches as the logged-in user. The conversion and the merge are here, apart from the
// browser, so they are tested on a cookie list.
//
// Cookie values are secrets: nothing here logs them; the jar is written owner-only.

#include <QList>
#include <QNetworkCookie>

#include <cstdint>
#include <string>
#include <vector>

#include "common/cookie_file.h"

namespace orv {

// Whether a cookie of `domain` (as the browser keeps it: a leading "." for a domain cookie,
// none for a host-only one) is sent to `host`.
bool CookieDomainMatches(const std::string& domain, const std::string& host);

// The browser's cookies sent to `host`, as jar records; cookies already expired at `now`
// (seconds since 1970) are left out. Host-only cookies stay host-only (no subdomains).
std::vector<Cookie> JarRecordsForHost(const QList<QNetworkCookie>& cookies, const std::string& host, int64_t now);

struct LoginExport {
  int found = 0;                                 // cookies the browser holds for the host
  int taken = 0;                                 // cookies merged into the jar (written)
  CookieFileError jarError = CookieFileError::None;  // the jar there could not be read (Missing is fine)
  bool written = false;                          // the jar was written (nothing to take: false)
};

// Merges the cookies the browser holds for `host` into the jar at `jarPath` (a cookie of the
// same domain, path and name replaces the jar's). A jar that exists but cannot be read is left
// as it is, so a login never wipes a session the jar holds.
LoginExport ExportLoginCookies(const QList<QNetworkCookie>& cookies, const std::string& host,
                               const std::string& jarPath, int64_t now);

// The status line's words for the outcome (Windows-1251).
std::string LoginExportText(const LoginExport& result, const std::string& host);

// A login ends: the cookies the browser holds for `host` go into the jar of script `slot` of the
// collection (the script current when the user pressed "Готово"). Returns the status line's
// words.
std::string TakeLoginIntoScript(const std::string& collectionFolder, int slot, const std::string& host,
                                const QList<QNetworkCookie>& cookies, int64_t now);

}  // namespace orv
