#pragma once
// File attribute numbers and file times, as both programs exchange them.
//
// read-only: the owner write permission is missing; hidden: the name begins with '.';
// system (an unfinished download): the extended attribute user.orvanta.system, or the sticky
// bit where the file system refuses user extended attributes; directory: a folder; archive:
// never reported. "Normal attributes" is the value 0: no system mark, owner write present.

#include <chrono>
#include <optional>
#include <string>

namespace orv {

inline constexpr int kAttrReadOnly = 1;
inline constexpr int kAttrHidden = 2;
inline constexpr int kAttrSystem = 4;
inline constexpr int kAttrDirectory = 16;
inline constexpr int kAttrArchive = 32;

// Attribute bits of path, or -1 when it does not exist.
int GetFileAttributes(const std::string& path);

// Applies the settable bits (read-only, system); the others are ignored. False on failure.
bool SetFileAttributes(const std::string& path, int attributes);

// Marks path as an unfinished download. False when the file is missing or cannot be marked.
bool SetSystemMark(const std::string& path);

// Removes the system mark (both forms) and restores owner write. False when path is missing.
bool SetNormalAttributes(const std::string& path);

struct FileTimes {
  std::chrono::system_clock::time_point modified;
  std::chrono::system_clock::time_point accessed;
  // Birth time where the file system keeps it, else the change time.
  std::chrono::system_clock::time_point created;
};

std::optional<FileTimes> GetFileTimes(const std::string& path);

// Length in bytes, or -1 when the file does not exist.
long long FileLength(const std::string& path);

// The scheme a site folder of the collection was last fetched with, "http" or "https", kept in
// the folder's extended attribute user.orvanta.scheme (beside the partial-download mark).
// Empty when nothing is stored or the file system keeps no user attributes: callers then
// take "http".
std::string ReadSiteScheme(const std::string& siteFolder);
// Stores scheme ("http" or "https") unless the folder holds it already. False when the folder
// is missing or refuses the attribute.
bool RememberSiteScheme(const std::string& siteFolder, const std::string& scheme);

// Sets the last-modified time, leaving the access time alone. False on failure.
bool SetModifiedTime(const std::string& path, std::chrono::system_clock::time_point when);

}  // namespace orv
