#pragma once
// The configuration store as the model sees it. Production code uses PlatformSettings, which
// goes through ReadSetting / WriteSetting and nothing else; tests substitute a store in memory.
// Values are Windows-1251 text; booleans are "True"/"False", numbers decimal text.

#include <string>
#include <string_view>

namespace orv {

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  virtual std::string Read(std::string_view key, std::string_view defaultValue) = 0;
  virtual void Write(std::string_view key, std::string_view value) = 0;

  // "True"/"False" in any letter case; anything else yields the default.
  bool ReadBool(std::string_view key, bool defaultValue);
  // The leading number of the stored text (text without a number reads as 0); a missing key
  // yields the default.
  long long ReadNumber(std::string_view key, long long defaultValue);
  void WriteBool(std::string_view key, bool value);
  void WriteNumber(std::string_view key, long long value);
};

class PlatformSettings final : public SettingsStore {
 public:
  std::string Read(std::string_view key, std::string_view defaultValue) override;
  void Write(std::string_view key, std::string_view value) override;
};

inline const char* BoolText(bool v) { return v ? "True" : "False"; }

}  // namespace orv
