// Speed of the shared formats: a 100,000-entry list file written and read back,
// and 100,000 addresses mapped to local names.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/local_path.h"
#include "common/string_list.h"

namespace {

std::vector<std::string> SampleAddresses(int n) {
  std::vector<std::string> out;
  out.reserve(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    switch (i % 4) {
      case 0: out.push_back("http://www.site" + std::to_string(i % 97) + ".ru/folder/page" + std::to_string(i) + ".htm"); break;
      case 1: out.push_back("http://site.ru/a/b/c/d" + std::to_string(i)); break;
      case 2: out.push_back("http://site.ru:8080/cgi-bin/q.php?id=" + std::to_string(i) + "&p=a/b\\c"); break;
      default: out.push_back("http://img.site.ru/pics/" + std::to_string(i) + "/"); break;
    }
  }
  return out;
}

std::string TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "orvbench_XXXXXX").string();
  char* made = ::mkdtemp(tmpl.data());
  return made ? std::string(made) + "/" : std::string("/tmp/");
}

void BM_StringArrayFile100k(benchmark::State& state) {
  const std::string dir = TempDir();
  const std::string path = dir + "orvnecess";
  const std::vector<std::string> elements = orv::CountedList(SampleAddresses(100000));
  std::size_t read = 0;
  for (auto _ : state) {
    if (!orv::WriteStringArrayFile(path, elements)) state.SkipWithError("write failed");
    auto back = orv::ReadStringArrayFile(path);
    read = back.size();
    benchmark::DoNotOptimize(back.data());
  }
  if (read != elements.size()) state.SkipWithError("read back a different count");
  state.counters["entries"] = static_cast<double>(elements.size() - 1);
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
}
BENCHMARK(BM_StringArrayFile100k)->Unit(benchmark::kMillisecond);

void BM_LocalNames100k(benchmark::State& state) {
  const std::vector<std::string> addresses = SampleAddresses(100000);
  for (auto _ : state) {
    std::size_t total = 0;
    for (const auto& a : addresses) total += orv::LocalNameOf(a, "/home/user/orvcollections/").path.size();
    benchmark::DoNotOptimize(total);
  }
  state.counters["addresses"] = static_cast<double>(addresses.size());
}
BENCHMARK(BM_LocalNames100k)->Unit(benchmark::kMillisecond);

}  // namespace
