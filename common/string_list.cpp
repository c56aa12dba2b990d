#include "common/string_list.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <system_error>

#include "common/numbers.h"
#include "common/text.h"

namespace orv {

bool AppendCountedString(std::string& out, std::string_view s) {
  if (s.size() > kMaxCountedString) return false;
  out.push_back(static_cast<char>(s.size() & 0xFF));
  out.push_back(static_cast<char>((s.size() >> 8) & 0xFF));
  out.append(s);
  return true;
}

bool ReadCountedString(std::string_view data, std::size_t& pos, std::string& out) {
  out.clear();
  if (pos > data.size() || data.size() - pos < 2) {
    pos = data.size();
    return false;
  }
  std::size_t len = static_cast<unsigned char>(data[pos]) |
                    (static_cast<std::size_t>(static_cast<unsigned char>(data[pos + 1])) << 8);
  if (data.size() - pos - 2 < len) {
    pos = data.size();
    return false;
  }
  out.assign(data.substr(pos + 2, len));
  pos += 2 + len;
  return true;
}

bool EncodeStringArray(const std::vector<std::string>& elements, std::string& out,
                       std::string* error) {
  std::string bytes;
  std::size_t total = 0;
  for (const auto& e : elements) total += 2 + e.size();
  bytes.reserve(total);
  for (std::size_t i = 0; i < elements.size(); ++i) {
    if (!AppendCountedString(bytes, elements[i])) {
      if (error) {
        *error = "element " + std::to_string(i) + " is " + std::to_string(elements[i].size()) +
                 " bytes long; at most 65535 can be stored";
      }
      return false;
    }
  }
  out = std::move(bytes);
  return true;
}

std::vector<std::string> ParseStringArray(std::string_view data) {
  std::vector<std::string> result;
  if (data.empty()) return result;
  std::size_t pos = 0;
  std::string first;
  bool ok = ReadCountedString(data, pos, first);
  long long count = LeadingInt(first);
  // Every stored element takes at least its two length bytes.
  long long capacity = static_cast<long long>(data.size() / 2);
  if (count < 0) count = 0;
  if (count > capacity) count = capacity;
  result.reserve(static_cast<std::size_t>(count) + 1);
  result.push_back(std::move(first));
  for (long long i = 1; i <= count; ++i) {
    std::string s;
    if (ok) ok = ReadCountedString(data, pos, s);
    result.push_back(std::move(s));
  }
  return result;
}

std::size_t StringArrayExtent(std::string_view data) {
  std::size_t pos = 0;
  std::string first;
  if (!ReadCountedString(data, pos, first)) {
    if (data.size() < 2) return 2;
    return 2 + (static_cast<unsigned char>(data[0]) | (static_cast<std::size_t>(static_cast<unsigned char>(data[1])) << 8));
  }
  long long count = LeadingInt(first);
  for (long long i = 1; i <= count; ++i) {
    if (data.size() - pos < 2) return pos + 2;
    std::size_t len = static_cast<unsigned char>(data[pos]) |
                      (static_cast<std::size_t>(static_cast<unsigned char>(data[pos + 1])) << 8);
    if (data.size() - pos - 2 < len) return pos + 2 + len;
    pos += 2 + len;
  }
  return pos;
}

bool ReadWholeFile(const std::string& path, std::string& out) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return false;
  std::error_code ec;
  auto size = std::filesystem::file_size(path, ec);
  std::string bytes;
  if (!ec) bytes.reserve(static_cast<std::size_t>(size));
  char buf[65536];
  while (f.read(buf, sizeof buf) || f.gcount() > 0) {
    bytes.append(buf, static_cast<std::size_t>(f.gcount()));
    if (!f) break;
  }
  if (f.bad()) return false;
  out = std::move(bytes);
  return true;
}

int OpenOwnerOnlyAppend(const std::string& path, bool startAnew) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | (startAnew ? O_TRUNC : 0), 0600);
  if (fd >= 0) (void)::fchmod(fd, 0600);
  return fd;
}

std::string SetFileAside(const std::string& path) {
  std::error_code ec;
  std::string aside = path + ".unreadable";
  for (int n = 2; std::filesystem::exists(aside, ec) && n < 1000; ++n) aside = path + ".unreadable" + std::to_string(n);
  std::filesystem::rename(path, aside, ec);
  return ec ? std::string() : aside;
}

std::string SetAsideMessage(std::string_view what, const std::string& file, const std::string& aside,
                            std::string_view consequence) {
  std::string text = std::string(what) + file;
  text += aside.empty() ? Ru(" не читается и не может быть переименован; ")
                        : Ru(" не читается. Он сохранен как ") + aside + ", ";
  return text + std::string(consequence) + ".";
}

std::vector<std::string> ReadStringArrayFile(const std::string& path) {
  std::string bytes;
  if (!ReadWholeFile(path, bytes)) return {};
  return ParseStringArray(bytes);
}

namespace {

std::string TempNameFor(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  static const unsigned long long seed =
      std::random_device{}() ^
      static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
  return path + ".tmp" + std::to_string(seed % 1000000007ULL) + "_" + std::to_string(counter++);
}

}  // namespace

bool WriteFileAtomically(const std::string& path, std::string_view bytes, FileAccess access) {
  std::string temp = TempNameFor(path);
  {
    std::ofstream f(temp, std::ios::binary | std::ios::trunc);
    if (!f) return false;
    if (access == FileAccess::OwnerOnly) {
      // Narrowed before a single byte is written, so the secret is never readable by others.
      std::error_code ec;
      std::filesystem::permissions(temp, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
                                   std::filesystem::perm_options::replace, ec);
      if (ec) {
        f.close();
        std::filesystem::remove(temp, ec);
        return false;
      }
    }
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    f.flush();
    if (!f) {
      f.close();
      std::error_code ec;
      std::filesystem::remove(temp, ec);
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::rename(temp, path, ec);
  if (ec) {
    std::error_code ignored;
    std::filesystem::remove(temp, ignored);
    return false;
  }
  return true;
}

bool WriteStringArrayFile(const std::string& path, const std::vector<std::string>& elements,
                          std::string* error, FileAccess access) {
  std::string bytes;
  if (!EncodeStringArray(elements, bytes, error)) return false;
  if (!WriteFileAtomically(path, bytes, access)) {
    if (error) *error = "cannot write " + path;
    return false;
  }
  return true;
}

std::vector<std::string> CountedList(const std::vector<std::string>& items) {
  std::vector<std::string> out;
  out.reserve(items.size() + 1);
  out.push_back(DecimalText(static_cast<long long>(items.size())));
  out.insert(out.end(), items.begin(), items.end());
  return out;
}

}  // namespace orv
