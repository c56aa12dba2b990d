#pragma once
// Per-user configuration store shared by orv and kuvet.
//
// One INI file, $XDG_CONFIG_HOME/belmor/orvanta.conf (default ~/.config/belmor/orvanta.conf),
// section [orvanta]. Keys and values are Windows-1251 bytes at this interface and UTF-8 text
// in the file. Every read goes to the file, so a value written by the other program is seen
// on the next read. Writes take a lock, re-read the file, change only their own keys and
// replace the file by rename: a crash never leaves a half-written store, and two processes
// writing different keys lose neither. Failures are silent: a missing or unreadable store
// reads as the defaults, a failed write leaves the old file as it was.
// Key names match without regard to ASCII letter case, as registry value names do.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/string_list.h"

namespace orv {

// The value stored under key, or defaultValue when the key or the store is missing.
std::string ReadSetting(std::string_view key, std::string_view defaultValue);

// Stores value under key. Errors are ignored.
void WriteSetting(std::string_view key, std::string_view value);

// Stores several values in one rewrite of the file (used at shutdown). Errors are ignored.
void WriteSettings(const std::vector<std::pair<std::string, std::string>>& values);

// Removes key from the store. Errors are ignored.
void DeleteSetting(std::string_view key);

// Full path of the INI file for the current environment.
std::string SettingsFilePath();

// A store that cannot be read whole (bytes that are no UTF-8 text, a line that is neither a
// section, an entry nor a comment) would read as the defaults and be written over: it is renamed
// out of the way instead (SetFileAside), under the store's lock. Called once at start-up, before
// any value is read. Returns what was found; an empty file when the store is whole or missing.
DamagedFile SetAsideUnreadableSettings();

// Values set for one run only ("KEY=VALUE", Windows-1251): every read of the key in this
// process and in the programs it starts sees the value, and writes of the key change it there
// instead of in the store, so the stored settings stay as they were. Carried in the
// environment variable ORV_SET. False when the text is not KEY=VALUE with a usable key.
bool AddSettingOverride(std::string_view keyEqualsValue);

}  // namespace orv
