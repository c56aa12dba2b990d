#include "common/cookie_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <optional>

namespace orv {
namespace {

constexpr std::string_view kHttpOnlyPrefix = "#HttpOnly_";
constexpr std::string_view kHeader =
    "# Netscape HTTP Cookie File\n"
    "# Written by Orvanta for this script's runs. Readable by its owner alone; do not share it.\n\n";

std::optional<bool> Flag(std::string_view field) {
  // libcurl and wget compare without letter case.
  auto is = [&](std::string_view word) {
    if (field.size() != word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
      char c = field[i];
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      if (c != word[i]) return false;
    }
    return true;
  };
  if (is("TRUE")) return true;
  if (is("FALSE")) return false;
  return std::nullopt;
}

std::optional<int64_t> Expiry(std::string_view field) {
  if (field.empty() || field.size() > 18) return std::nullopt;
  int64_t n = 0;
  for (char c : field) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
  }
  return n;
}

std::optional<Cookie> ParseLine(std::string_view line) {
  Cookie c;
  if (line.substr(0, kHttpOnlyPrefix.size()) == kHttpOnlyPrefix) {
    c.httpOnly = true;
    line.remove_prefix(kHttpOnlyPrefix.size());
  }
  std::vector<std::string_view> fields;
  std::size_t from = 0;
  for (;;) {
    const std::size_t tab = line.find('\t', from);
    fields.push_back(line.substr(from, tab == std::string_view::npos ? std::string_view::npos : tab - from));
    if (tab == std::string_view::npos) break;
    from = tab + 1;
  }
  if (fields.size() == 6) fields.emplace_back();
  if (fields.size() != 7) return std::nullopt;
  const auto sub = Flag(fields[1]);
  const auto secure = Flag(fields[3]);
  const auto expires = Expiry(fields[4]);
  if (!sub || !secure || !expires || fields[0].empty() || fields[2].empty() || fields[5].empty()) return std::nullopt;
  c.domain = std::string(fields[0]);
  c.includeSubdomains = *sub;
  c.path = std::string(fields[2]);
  c.secure = *secure;
  c.expires = *expires;
  c.name = std::string(fields[5]);
  c.value = std::string(fields[6]);
  return c;
}

std::string DomainKey(std::string_view domain) {
  if (!domain.empty() && domain.front() == '.') domain.remove_prefix(1);
  std::string key(domain);
  for (char& ch : key)
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  return key;
}

bool SameCookie(const Cookie& a, const Cookie& b) {
  return a.name == b.name && a.path == b.path && DomainKey(a.domain) == DomainKey(b.domain);
}

// A cookie the reader would take back as it is: a tab or line break inside a field would make
// another cookie of the rest, and an empty domain, path or name no cookie at all.
bool Writable(const Cookie& c) {
  for (const std::string* field : {&c.domain, &c.path, &c.name, &c.value})
    if (field->find_first_of("\t\r\n") != std::string::npos) return false;
  if (c.domain.empty() || c.path.empty() || c.name.empty()) return false;
  if (c.expires < 0 || c.expires > 999999999999999999) return false;  // the reader takes 18 digits
  return c.httpOnly || c.domain.front() != '#';  // else it would read as a comment
}

}  // namespace

CookieFileContents ParseCookieText(std::string_view text) {
  CookieFileContents out;
  std::size_t from = 0;
  while (from < text.size()) {
    std::size_t end = text.find('\n', from);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(from, end - from);
    from = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const bool httpOnly = line.substr(0, kHttpOnlyPrefix.size()) == kHttpOnlyPrefix;
    if (line.find_first_not_of(" \t") == std::string_view::npos) continue;
    if (!httpOnly && line.front() == '#') continue;
    // A carriage return is a line end only at the end of a line.
    if (line.find('\r') != std::string_view::npos) {
      ++out.skippedLines;
      continue;
    }
    if (auto c = ParseLine(line)) {
      out.cookies.push_back(std::move(*c));
    } else {
      ++out.skippedLines;
    }
  }
  return out;
}

std::string CookieLine(const Cookie& c) {
  std::string line;
  if (c.httpOnly) line += kHttpOnlyPrefix;
  line += c.domain;
  line += c.includeSubdomains ? "\tTRUE\t" : "\tFALSE\t";
  line += c.path;
  line += c.secure ? "\tTRUE\t" : "\tFALSE\t";
  line += std::to_string(c.expires);
  line += '\t';
  line += c.name;
  line += '\t';
  line += c.value;
  return line;
}

std::string CookieFileText(const std::vector<Cookie>& cookies) {
  std::string text(kHeader);
  for (const Cookie& c : cookies) {
    if (!Writable(c)) continue;
    text += CookieLine(c);
    text += '\n';
  }
  return text;
}

CookieFileContents ReadCookieFile(const std::string& path) {
  CookieFileContents out;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    out.error = errno == ENOENT ? CookieFileError::Missing : CookieFileError::Unreadable;
    return out;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    out.error = CookieFileError::Unreadable;
    return out;
  }
  if (st.st_size > kMaxCookieFileBytes) {
    ::close(fd);
    out.error = CookieFileError::TooLarge;
    return out;
  }
  std::string text;
  char buf[16384];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      out.error = CookieFileError::Unreadable;
      return out;
    }
    if (n == 0) break;
    text.append(buf, static_cast<std::size_t>(n));
    // The file grew while it was read.
    if (static_cast<int64_t>(text.size()) > kMaxCookieFileBytes) {
      ::close(fd);
      out.error = CookieFileError::TooLarge;
      return out;
    }
  }
  ::close(fd);
  return ParseCookieText(text);
}

bool WriteCookieFile(const std::string& path, const std::vector<Cookie>& cookies) {
  const std::string beside = path + ".new";
  ::unlink(beside.c_str());
  // O_EXCL: a file someone else left there (with another mode) is never written through.
  const int fd = ::open(beside.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  (void)::fchmod(fd, 0600);  // whatever the umask said
  const std::string text = CookieFileText(cookies);
  std::size_t done = 0;
  bool ok = true;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  if (ok && ::fsync(fd) != 0) ok = false;
  if (::close(fd) != 0) ok = false;
  if (!ok || std::rename(beside.c_str(), path.c_str()) != 0) {
    ::unlink(beside.c_str());
    return false;
  }
  return true;
}

void MergeCookies(std::vector<Cookie>& jar, const std::vector<Cookie>& incoming) {
  for (const Cookie& c : incoming) {
    bool replaced = false;
    for (Cookie& held : jar) {
      if (SameCookie(held, c)) {
        held = c;
        replaced = true;
        break;
      }
    }
    if (!replaced) jar.push_back(c);
  }
}

std::string CookieFileErrorText(CookieFileError error, const std::string& path) {
  switch (error) {
    case CookieFileError::None: return {};
    case CookieFileError::Missing: return "the cookie file " + path + " does not exist";
    case CookieFileError::Unreadable: return "the cookie file " + path + " cannot be read";
    case CookieFileError::TooLarge:
      return "the cookie file " + path + " is bigger than " + std::to_string(kMaxCookieFileBytes / 1024) +
             " KB and is not read (is it a cookie file?)";
  }
  return {};
}

}  // namespace orv
