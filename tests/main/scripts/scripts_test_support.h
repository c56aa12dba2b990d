#pragma once
// In-memory configuration store and exchange-record recorder for the scripts model tests.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "common/text.h"
#include "main/scripts/exchange_sink.h"
#include "main/scripts/settings_store.h"

namespace orv::testing {

// Keys match without regard to ASCII case, as in the real store. Every write is logged.
class MemorySettings : public SettingsStore {
 public:
  std::map<std::string, std::string> values;  // lower-case key -> value
  std::vector<std::pair<std::string, std::string>> writes;

  std::string Read(std::string_view key, std::string_view def) override {
    auto it = values.find(LowerCase(key));
    return it == values.end() ? std::string(def) : it->second;
  }
  void Write(std::string_view key, std::string_view value) override {
    values[LowerCase(key)] = std::string(value);
    writes.emplace_back(std::string(key), std::string(value));
  }
  void Set(const std::string& key, const std::string& value) { values[LowerCase(key)] = value; }
  bool Has(const std::string& key) const { return values.count(LowerCase(key)) != 0; }
  std::string Get(const std::string& key) const {
    auto it = values.find(LowerCase(key));
    return it == values.end() ? std::string("<missing>") : it->second;
  }
  // Position of the first write of key in the log, or -1.
  int WriteIndex(const std::string& key) const {
    for (std::size_t i = 0; i < writes.size(); ++i)
      if (writes[i].first == key) return static_cast<int>(i);
    return -1;
  }
};

class RecordingSink : public ExchangeSink {
 public:
  std::map<int, std::string> records;
  std::vector<int> order;
  void WriteRecord(int record, const std::string& value) override {
    records[record] = value;
    order.push_back(record);
  }
};

// A private folder removed with its contents at the end of the test.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "orvscripts.XXXXXX").string();
    if (mkdtemp(tmpl.data())) path_ = tmpl + "/";
  }
  ~ScratchFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::string& Dir() const { return path_; }  // ends with "/"

 private:
  std::string path_;
};

inline std::string ReadBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Counted string as stored: 2-byte little-endian length, then the bytes.
inline std::string Counted(const std::string& s) {
  std::string out;
  out += static_cast<char>(s.size() & 0xFF);
  out += static_cast<char>((s.size() >> 8) & 0xFF);
  return out + s;
}

inline std::string ScriptBytes(const std::string& header, const std::vector<std::string>& addresses) {
  std::string out = Counted(header);
  for (const auto& a : addresses) out += Counted(a);
  return out;
}

}  // namespace orv::testing
