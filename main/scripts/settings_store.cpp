#include "main/scripts/settings_store.h"

#include "common/numbers.h"
#include "common/text.h"
#include "platform/settings.h"

namespace orv {

namespace {
// Marks a missing key: a byte sequence no stored value holds.
constexpr std::string_view kMissing = "\x01\x02missing\x02\x01";
}  // namespace

bool SettingsStore::ReadBool(std::string_view key, bool defaultValue) {
  const std::string v = Trim(Read(key, defaultValue ? "True" : "False"));
  if (LowerCase(v) == "true") return true;
  if (LowerCase(v) == "false") return false;
  return defaultValue;
}

long long SettingsStore::ReadNumber(std::string_view key, long long defaultValue) {
  const std::string v = Read(key, kMissing);
  if (v == kMissing) return defaultValue;
  return LeadingInt(v);
}

void SettingsStore::WriteBool(std::string_view key, bool value) { Write(key, BoolText(value)); }

void SettingsStore::WriteNumber(std::string_view key, long long value) { Write(key, DecimalText(value)); }

std::string PlatformSettings::Read(std::string_view key, std::string_view defaultValue) {
  return ReadSetting(key, defaultValue);
}

void PlatformSettings::Write(std::string_view key, std::string_view value) { WriteSetting(key, value); }

}  // namespace orv
