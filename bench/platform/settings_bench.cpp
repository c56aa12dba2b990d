// Configuration reads and writes: every read goes to the file so the other program's writes are
// seen at once; these figures show what that costs with a store of realistic size (300 keys).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "platform/settings.h"

namespace {

struct PrivateStore {
  std::string folder;
  PrivateStore() {
    std::string pattern = (std::filesystem::temp_directory_path() / "orvbench-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) folder = pattern;
    setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
    std::vector<std::pair<std::string, std::string>> values;
    for (int i = 0; i < 300; ++i) values.emplace_back("key" + std::to_string(i), "True");
    orv::WriteSettings(values);
  }
  ~PrivateStore() {
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
  }
};

void BM_ReadSetting(benchmark::State& state) {
  PrivateStore store;
  for (auto _ : state) benchmark::DoNotOptimize(orv::ReadSetting("key150", "False"));
}
BENCHMARK(BM_ReadSetting);

void BM_WriteSetting(benchmark::State& state) {
  PrivateStore store;
  int i = 0;
  for (auto _ : state) orv::WriteSetting("key150", std::to_string(i++));
}
BENCHMARK(BM_WriteSetting);

}  // namespace
