#include "platform/file_attributes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <cerrno>
#include <cstring>

namespace orv {
namespace {

constexpr const char* kSystemAttr = "user.orvanta.system";
constexpr const char* kSchemeAttr = "user.orvanta.scheme";

bool IsHiddenName(const std::string& path) {
  std::string_view p(path);
  while (p.size() > 1 && p.back() == '/') p.remove_suffix(1);
  auto slash = p.rfind('/');
  std::string_view name = slash == std::string_view::npos ? p : p.substr(slash + 1);
  return name.size() > 1 && name[0] == '.' && name != "..";
}

bool HasSystemXattr(const std::string& path) {
  return getxattr(path.c_str(), kSystemAttr, nullptr, 0) >= 0;
}

std::chrono::system_clock::time_point FromStatx(const struct statx_timestamp& t) {
  using namespace std::chrono;
  return system_clock::time_point(duration_cast<system_clock::duration>(seconds(t.tv_sec) +
                                                                        nanoseconds(t.tv_nsec)));
}

}  // namespace

int GetFileAttributes(const std::string& path) {
  struct stat st {};
  if (path.empty() || stat(path.c_str(), &st) != 0) return -1;
  int attrs = 0;
  if ((st.st_mode & S_IWUSR) == 0) attrs |= kAttrReadOnly;
  if (IsHiddenName(path)) attrs |= kAttrHidden;
  if (S_ISDIR(st.st_mode)) {
    attrs |= kAttrDirectory;
    // The sticky bit means something else on folders (/tmp): only the attribute counts.
    if (HasSystemXattr(path)) attrs |= kAttrSystem;
  } else if ((st.st_mode & S_ISVTX) != 0 || HasSystemXattr(path)) {
    attrs |= kAttrSystem;
  }
  return attrs;
}

static bool ChangeMode(const std::string& path, mode_t set, mode_t clear) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return false;
  mode_t mode = st.st_mode & 07777;
  mode_t wanted = (mode | set) & ~clear;
  if (wanted == mode) return true;
  return chmod(path.c_str(), wanted) == 0;
}

// User attributes need write access to the file: a read-only file gets owner write for the
// moment of the change.
static int ChangeXattr(const std::string& path, const struct stat& st, bool set) {
  auto apply = [&] {
    return set ? setxattr(path.c_str(), kSystemAttr, "1", 1, 0)
               : removexattr(path.c_str(), kSystemAttr);
  };
  int r = apply();
  if (r == 0 || errno != EACCES || (st.st_mode & S_IWUSR) != 0) return r == 0 ? 0 : errno;
  if (chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR) != 0) return EACCES;
  r = apply();
  int err = r == 0 ? 0 : errno;
  chmod(path.c_str(), st.st_mode & 07777);
  return err;
}

bool SetSystemMark(const std::string& path) {
  struct stat st {};
  if (path.empty() || stat(path.c_str(), &st) != 0) return false;
  int err = ChangeXattr(path, st, true);
  if (err == 0) return true;
  if (err != ENOTSUP && err != EPERM) return false;
  // The file system refuses user attributes (or this kind of file does): use the sticky bit.
  if (S_ISDIR(st.st_mode)) return false;
  return chmod(path.c_str(), (st.st_mode & 07777) | S_ISVTX) == 0;
}

static bool RemoveMark(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return false;
  int err = ChangeXattr(path, st, false);
  bool ok = err == 0 || err == ENODATA || err == ENOTSUP;
  if (!S_ISDIR(st.st_mode) && !ChangeMode(path, 0, S_ISVTX)) ok = false;
  return ok;
}

bool SetNormalAttributes(const std::string& path) {
  struct stat st {};
  if (path.empty() || stat(path.c_str(), &st) != 0) return false;
  // Owner write first: removing the attribute needs it.
  bool ok = ChangeMode(path, S_IWUSR, 0);
  return RemoveMark(path) && ok;
}

bool SetFileAttributes(const std::string& path, int attributes) {
  struct stat st {};
  if (path.empty() || stat(path.c_str(), &st) != 0) return false;
  bool ok = ChangeMode(path, S_IWUSR, 0);
  if ((attributes & kAttrSystem) != 0) {
    ok = SetSystemMark(path) && ok;
  } else {
    ok = RemoveMark(path) && ok;
  }
  if ((attributes & kAttrReadOnly) != 0 && !ChangeMode(path, 0, S_IWUSR)) ok = false;
  return ok;
}

std::optional<FileTimes> GetFileTimes(const std::string& path) {
  struct statx sx {};
  if (path.empty() ||
      statx(AT_FDCWD, path.c_str(), 0, STATX_MTIME | STATX_ATIME | STATX_CTIME | STATX_BTIME,
            &sx) != 0)
    return std::nullopt;
  FileTimes t;
  t.modified = FromStatx(sx.stx_mtime);
  t.accessed = FromStatx(sx.stx_atime);
  t.created = (sx.stx_mask & STATX_BTIME) != 0 ? FromStatx(sx.stx_btime) : FromStatx(sx.stx_ctime);
  return t;
}

long long FileLength(const std::string& path) {
  struct stat st {};
  if (path.empty() || stat(path.c_str(), &st) != 0) return -1;
  return static_cast<long long>(st.st_size);
}

bool SetModifiedTime(const std::string& path, std::chrono::system_clock::time_point when) {
  using namespace std::chrono;
  auto ns = duration_cast<nanoseconds>(when.time_since_epoch()).count();
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  long long sec = ns / 1000000000LL;
  long long rem = ns % 1000000000LL;
  if (rem < 0) {
    rem += 1000000000LL;
    --sec;
  }
  times[1].tv_sec = static_cast<time_t>(sec);
  times[1].tv_nsec = static_cast<long>(rem);
  return !path.empty() && utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

std::string ReadSiteScheme(const std::string& siteFolder) {
  char value[16];
  const ssize_t n = getxattr(siteFolder.c_str(), kSchemeAttr, value, sizeof value);
  return n > 0 ? std::string(value, static_cast<std::size_t>(n)) : std::string();
}

bool RememberSiteScheme(const std::string& siteFolder, const std::string& scheme) {
  if (ReadSiteScheme(siteFolder) == scheme) return true;
  return setxattr(siteFolder.c_str(), kSchemeAttr, scheme.data(), scheme.size(), 0) == 0;
}

}  // namespace orv
