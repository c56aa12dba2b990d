// Loading the proxy list at start-up: 10,000 entries, some repeated in other letter case.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/string_list.h"
#include "main/lists/proxy_list.h"

namespace {

void BM_ProxyListLoad10k(benchmark::State& state) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "orv-bench-proxies";
  std::filesystem::create_directories(dir);
  const std::string folder = dir.string() + "/";
  std::vector<std::string> keys;
  for (int i = 0; i < 10000; ++i) {
    keys.push_back("proxy" + std::to_string(i) + ".example.ru:3128@@@@@user" + std::to_string(i) + ":secret");
  }
  for (int i = 0; i < 100; ++i) keys.push_back("PROXY" + std::to_string(i * 7) + ".EXAMPLE.RU:3128@@@@@user" + std::to_string(i * 7) + ":secret");
  orv::WriteStringArrayFile(folder + orv::kOrvproxyFile, orv::CountedList(keys));
  for (auto _ : state) {
    orv::ProxyList list(folder);
    list.Load();
    if (list.Size() != 10000) state.SkipWithError("repeats were not dropped");
    benchmark::DoNotOptimize(list.Size());
  }
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_ProxyListLoad10k)->Unit(benchmark::kMillisecond);

}  // namespace
