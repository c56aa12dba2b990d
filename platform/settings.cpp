#include "platform/settings.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <thread>

#include "common/text.h"

namespace orv {
namespace {

constexpr std::string_view kSection = "orvanta";

std::string ConfigFolder() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  std::string base;
  if (xdg != nullptr && xdg[0] == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home != nullptr ? home : "") + "/.config";
  }
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base + "/belmor";
}

bool EqualsNoCaseAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::string_view TrimWhite(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

// A key that a line of the file can carry unambiguously.
bool UsableKey(std::string_view key) {
  if (key.empty() || key != TrimWhite(key)) return false;
  if (key.front() == '[' || key.front() == ';' || key.front() == '#') return false;
  for (char c : key)
    if (c == '=' || c == '\n' || c == '\r' || c == '\0') return false;
  return true;
}

std::string EscapeValue(std::string_view utf8) {
  std::string out;
  bool quote = !utf8.empty() && (utf8 != TrimWhite(utf8) || utf8.front() == '"');
  if (quote) out.push_back('"');
  for (char c : utf8) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '\0': out += "\\0"; break;
      case '"': out += quote ? "\\\"" : "\""; break;
      default: out.push_back(c);
    }
  }
  if (quote) out.push_back('"');
  return out;
}

char EscapedChar(char n, bool* known) {
  *known = true;
  switch (n) {
    case '\\': return '\\';
    case 'n': return '\n';
    case 'r': return '\r';
    case 't': return '\t';
    case '0': return '\0';
    case '"': return '"';
    default: *known = false; return n;
  }
}

std::string UnescapeValue(std::string_view raw) {
  raw = TrimWhite(raw);
  std::string out;
  if (!raw.empty() && raw.front() == '"') {
    for (std::size_t i = 1; i < raw.size(); ++i) {
      char c = raw[i];
      if (c == '"') {
        if (TrimWhite(raw.substr(i + 1)).empty()) return out;
        break;  // text after the closing quote: read the line as typed
      }
      if (c == '\\' && i + 1 < raw.size()) {
        bool known = false;
        char e = EscapedChar(raw[++i], &known);
        if (!known) out.push_back('\\');
        out.push_back(e);
      } else {
        out.push_back(c);
      }
    }
    out.clear();
  }
  for (std::size_t i = 0; i < raw.size(); ++i) {
    char c = raw[i];
    if (c == '\\' && i + 1 < raw.size()) {
      bool known = false;
      char e = EscapedChar(raw[++i], &known);
      if (!known) out.push_back('\\');  // not an escape: keep as typed
      out.push_back(e);
    } else {
      out.push_back(c);
    }
  }
  return out;
}

// Whole file, or nullopt when it exists but cannot be read. A missing file is empty.
std::optional<std::string> ReadFile(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return std::string();
    return std::nullopt;
  }
  std::string data;
  char buf[16384];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    data.append(buf, static_cast<std::size_t>(n));
  }
  close(fd);
  return data;
}

std::vector<std::string> SplitLines(const std::string& data) {
  std::vector<std::string> lines;
  // A UTF-8 byte-order mark, as some editors save one, is not part of the first line.
  std::size_t start = data.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
  while (start < data.size()) {
    std::size_t end = data.find('\n', start);
    if (end == std::string::npos) end = data.size();
    std::string line = data.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

bool IsSectionLine(std::string_view line, std::string_view* name) {
  line = TrimWhite(line);
  if (line.size() < 2 || line.front() != '[' || line.back() != ']') return false;
  *name = TrimWhite(line.substr(1, line.size() - 2));
  return true;
}

// Splits "key = value" lines; false for comments and others.
bool SplitEntry(std::string_view line, std::string_view* key, std::string_view* value) {
  std::string_view t = TrimWhite(line);
  if (t.empty() || t.front() == ';' || t.front() == '#') return false;
  auto eq = t.find('=');
  if (eq == std::string_view::npos) return false;
  *key = TrimWhite(t.substr(0, eq));
  *value = t.substr(eq + 1);
  return true;
}

std::optional<std::string> Lookup(const std::string& data, std::string_view utf8Key) {
  bool inSection = false;
  for (const std::string& line : SplitLines(data)) {
    std::string_view name, key, value;
    if (IsSectionLine(line, &name)) {
      inSection = EqualsNoCaseAscii(name, kSection);
    } else if (inSection && SplitEntry(line, &key, &value) && EqualsNoCaseAscii(key, utf8Key)) {
      return UnescapeValue(value);
    }
  }
  return std::nullopt;
}

// Applies the changes (nullopt value = delete) to the text of the file.
std::string Apply(const std::string& data,
                  const std::vector<std::pair<std::string, std::optional<std::string>>>& changes) {
  std::vector<std::string> lines = SplitLines(data);
  std::vector<bool> done(changes.size(), false);
  std::vector<std::string> out;
  bool inSection = false;
  bool sawSection = false;
  auto appendPending = [&] {
    for (std::size_t i = 0; i < changes.size(); ++i) {
      if (done[i]) continue;
      done[i] = true;
      if (changes[i].second) out.push_back(changes[i].first + "=" + EscapeValue(*changes[i].second));
    }
  };
  for (const std::string& line : lines) {
    std::string_view name, key, value;
    if (IsSectionLine(line, &name)) {
      if (inSection) {
        // Drop blank lines that close the section so new keys join it.
        std::vector<std::string> trailing;
        while (!out.empty() && TrimWhite(out.back()).empty()) {
          trailing.push_back(out.back());
          out.pop_back();
        }
        appendPending();
        out.insert(out.end(), trailing.rbegin(), trailing.rend());
      }
      inSection = EqualsNoCaseAscii(name, kSection);
      sawSection = sawSection || inSection;
      out.push_back(line);
      continue;
    }
    if (inSection && SplitEntry(line, &key, &value)) {
      bool handled = false;
      for (std::size_t i = 0; i < changes.size(); ++i) {
        if (!EqualsNoCaseAscii(key, changes[i].first)) continue;
        handled = true;
        if (!done[i] && changes[i].second) {
          // Keep the spelling already stored for the key.
          out.push_back(std::string(key) + "=" + EscapeValue(*changes[i].second));
        }
        done[i] = true;  // later duplicates of the key are dropped
        break;
      }
      if (handled) continue;
    }
    out.push_back(line);
  }
  if (inSection) {
    appendPending();
  } else if (!sawSection) {
    bool any = false;
    for (const auto& c : changes) any = any || c.second.has_value();
    if (any) {
      if (!out.empty() && !TrimWhite(out.back()).empty()) out.emplace_back();
      out.push_back("[" + std::string(kSection) + "]");
      appendPending();
    }
  }
  std::string text;
  for (const std::string& line : out) {
    text += line;
    text.push_back('\n');
  }
  return text;
}

bool MakeFolders(const std::string& folder) {
  std::size_t pos = 1;
  while (pos <= folder.size()) {
    std::size_t next = folder.find('/', pos);
    if (next == std::string::npos) next = folder.size();
    std::string part = folder.substr(0, next);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    pos = next + 1;
  }
  return true;
}

bool WriteWhole(int fd, const std::string& text) {
  std::size_t off = 0;
  while (off < text.size()) {
    ssize_t n = write(fd, text.data() + off, text.size() - off);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    off += static_cast<std::size_t>(n);
  }
  return true;
}

constexpr const char* kOverrideVariable = "ORV_SET";

// The one-run values, UTF-8, one "KEY=VALUE" per line.
std::vector<std::pair<std::string, std::string>> Overrides() {
  std::vector<std::pair<std::string, std::string>> out;
  const char* env = std::getenv(kOverrideVariable);
  if (!env) return out;
  for (const std::string& line : SplitLines(env)) {
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos || eq == 0) continue;
    out.emplace_back(line.substr(0, eq), line.substr(eq + 1));
  }
  return out;
}

std::optional<std::string> OverrideOf(std::string_view utf8Key) {
  for (const auto& [k, v] : Overrides())
    if (EqualsNoCaseAscii(k, utf8Key)) return v;
  return std::nullopt;
}

void SetOverride(const std::string& utf8Key, const std::string& utf8Value) {
  auto all = Overrides();
  bool found = false;
  for (auto& [k, v] : all)
    if (EqualsNoCaseAscii(k, utf8Key)) {
      v = utf8Value;
      found = true;
    }
  if (!found) all.emplace_back(utf8Key, utf8Value);
  std::string text;
  for (const auto& [k, v] : all) text += k + "=" + v + "\n";
  setenv(kOverrideVariable, text.c_str(), 1);
}

// Holds the store's lock while alive; Held() is false when it could not be taken in time (a
// holder keeps it for one rewrite only: give up rather than hang).
class StoreLock {
 public:
  explicit StoreLock(const std::string& path) : fd_(open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (fd_ >= 0 && flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() > deadline) {
        close(fd_);
        fd_ = -1;
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
    }
  }
  ~StoreLock() {
    if (fd_ >= 0) close(fd_);  // releases the lock
  }
  StoreLock(const StoreLock&) = delete;
  StoreLock& operator=(const StoreLock&) = delete;
  bool Held() const { return fd_ >= 0; }

 private:
  int fd_;
};

// Whether the text of the store reads whole: UTF-8 without NUL bytes, every line blank, a
// comment, a section or an entry with a usable key.
bool ReadsWhole(const std::string& data) {
  if (!IsValidUtf8(data) || data.find('\0') != std::string::npos) return false;
  for (const std::string& line : SplitLines(data)) {
    std::string_view name, key, value;
    const std::string_view t = TrimWhite(line);
    if (t.empty() || t.front() == ';' || t.front() == '#' || IsSectionLine(line, &name)) continue;
    if (!SplitEntry(line, &key, &value) || !UsableKey(key)) return false;
  }
  return true;
}

// Lock, re-read, change, write a temporary file and rename it over the store.
void Change(const std::vector<std::pair<std::string, std::optional<std::string>>>& cp1251) {
  std::vector<std::pair<std::string, std::optional<std::string>>> changes;
  for (const auto& [key, value] : cp1251) {
    std::string k = Cp1251ToUtf8(key);
    if (!UsableKey(k)) continue;
    std::optional<std::string> v = value ? std::optional(Cp1251ToUtf8(*value)) : std::nullopt;
    // A value set for this run only takes the write itself; the store keeps its own.
    if (OverrideOf(k)) {
      SetOverride(k, v.value_or(std::string()));
      continue;
    }
    // A key named again in the same batch: the later value wins, as with two writes in a row.
    bool merged = false;
    for (auto& earlier : changes) {
      if (!EqualsNoCaseAscii(earlier.first, k)) continue;
      earlier.second = std::move(v);
      merged = true;
      break;
    }
    if (!merged) changes.emplace_back(std::move(k), std::move(v));
  }
  if (changes.empty()) return;
  std::string folder = ConfigFolder();
  if (!MakeFolders(folder)) return;
  std::string path = folder + "/orvanta.conf";
  StoreLock lock(path);
  if (!lock.Held()) return;
  std::optional<std::string> current = ReadFile(path);
  if (current) {
    std::string text = Apply(*current, changes);
    std::string temp = path + ".XXXXXX";
    int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd >= 0) {
      bool ok = WriteWhole(fd, text);
      ok = close(fd) == 0 && ok;
      if (!ok || rename(temp.c_str(), path.c_str()) != 0) unlink(temp.c_str());
    }
  }
}

}  // namespace

std::string SettingsFilePath() { return ConfigFolder() + "/orvanta.conf"; }

DamagedFile SetAsideUnreadableSettings() {
  DamagedFile damage;
  const std::string path = SettingsFilePath();
  if (access(path.c_str(), F_OK) != 0) return damage;
  StoreLock lock(path);
  if (!lock.Held()) return damage;
  const std::optional<std::string> data = ReadFile(path);
  if (data && ReadsWhole(*data)) return damage;
  damage.file = path;
  damage.setAsideAs = SetFileAside(path);
  return damage;
}

std::string ReadSetting(std::string_view key, std::string_view defaultValue) {
  std::string k = Cp1251ToUtf8(key);
  if (!UsableKey(k)) return std::string(defaultValue);
  if (std::optional<std::string> one = OverrideOf(k)) return Utf8ToCp1251(*one);
  std::optional<std::string> data = ReadFile(SettingsFilePath());
  if (!data) return std::string(defaultValue);
  std::optional<std::string> value = Lookup(*data, k);
  if (!value) return std::string(defaultValue);
  return Utf8ToCp1251(*value);
}

void WriteSetting(std::string_view key, std::string_view value) {
  Change({{std::string(key), std::string(value)}});
}

void WriteSettings(const std::vector<std::pair<std::string, std::string>>& values) {
  std::vector<std::pair<std::string, std::optional<std::string>>> changes;
  changes.reserve(values.size());
  for (const auto& [k, v] : values) changes.emplace_back(k, v);
  Change(changes);
}

void DeleteSetting(std::string_view key) { Change({{std::string(key), std::nullopt}}); }

bool AddSettingOverride(std::string_view keyEqualsValue) {
  const std::size_t eq = keyEqualsValue.find('=');
  if (eq == std::string_view::npos) return false;
  const std::string key = Cp1251ToUtf8(TrimWhite(keyEqualsValue.substr(0, eq)));
  const std::string value = Cp1251ToUtf8(keyEqualsValue.substr(eq + 1));
  if (!UsableKey(key) || value.find('\n') != std::string::npos) return false;
  SetOverride(key, value);
  return true;
}

}  // namespace orv
