#include "main/ui/login_cookies.h"

#include <QDateTime>

#include "common/numbers.h"
#include "common/text.h"
#include "main/scripts/script_model.h"

namespace orv {
namespace {

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

}  // namespace

bool CookieDomainMatches(const std::string& domain, const std::string& host) {
  const std::string h = Lower(host);
  std::string d = Lower(domain);
  const bool domainCookie = !d.empty() && d.front() == '.';
  if (domainCookie) d.erase(0, 1);
  if (d.empty() || h.empty()) return false;
  if (d == h) return true;
  // A domain cookie is sent to the hosts below its domain too; a host-only one is not.
  return domainCookie && h.size() > d.size() && h.compare(h.size() - d.size(), d.size(), d) == 0 &&
         h[h.size() - d.size() - 1] == '.';
}

std::vector<Cookie> JarRecordsForHost(const QList<QNetworkCookie>& cookies, const std::string& host, int64_t now) {
  std::vector<Cookie> records;
  for (const QNetworkCookie& c : cookies) {
    const std::string domain = c.domain().toStdString();
    if (!CookieDomainMatches(domain, host) || c.name().isEmpty()) continue;
    Cookie r;
    r.includeSubdomains = domain.front() == '.';
    r.domain = domain;
    r.path = c.path().isEmpty() ? std::string("/") : c.path().toStdString();
    r.secure = c.isSecure();
    r.httpOnly = c.isHttpOnly();
    r.expires = c.isSessionCookie() ? 0 : c.expirationDate().toSecsSinceEpoch();
    if (!c.isSessionCookie() && r.expires <= now) continue;  // the site logged it out already
    r.name = c.name().toStdString();
    r.value = c.value().toStdString();
    records.push_back(std::move(r));
  }
  return records;
}

LoginExport ExportLoginCookies(const QList<QNetworkCookie>& cookies, const std::string& host,
                               const std::string& jarPath, int64_t now) {
  LoginExport result;
  const std::vector<Cookie> taken = JarRecordsForHost(cookies, host, now);
  result.found = static_cast<int>(taken.size());
  if (taken.empty()) return result;
  CookieFileContents jar = ReadCookieFile(jarPath);
  if (jar.error != CookieFileError::None && jar.error != CookieFileError::Missing) {
    result.jarError = jar.error;
    return result;
  }
  MergeCookies(jar.cookies, taken);
  result.written = WriteCookieFile(jarPath, jar.cookies);
  if (result.written) result.taken = static_cast<int>(taken.size());
  return result;
}

std::string LoginExportText(const LoginExport& result, const std::string& host) {
  if (result.written) return Ru("Вход на сайт ") + host + Ru(": в сценарий взято cookies: ") + DecimalText(result.taken);
  if (result.jarError == CookieFileError::TooLarge)
    return Ru("Вход на сайт ") + host + Ru(": файл cookies сценария больше 1 МБ, cookies не взяты");
  if (result.jarError != CookieFileError::None)
    return Ru("Вход на сайт ") + host + Ru(": файл cookies сценария не читается, cookies не взяты");
  if (result.found == 0)
    return Ru("Вход на сайт ") + host + Ru(": браузер не получил от сайта ни одного cookie");
  return Ru("Вход на сайт ") + host + Ru(": файл cookies сценария не записан");
}

std::string TakeLoginIntoScript(const std::string& collectionFolder, int slot, const std::string& host,
                                const QList<QNetworkCookie>& cookies, int64_t now) {
  const std::string jar = CookieJarFileName(collectionFolder, slot);
  return LoginExportText(ExportLoginCookies(cookies, host, jar, now), host);
}

}  // namespace orv
