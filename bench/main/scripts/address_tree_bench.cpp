// The address tree of a large script and pruning it.
// Goals: building the tree of 100,000 addresses over 2,000 hosts under 2 s; deleting a host
// node (the script rewritten without that host's addresses) under 1 s.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "common/local_path.h"
#include "main/run/classification.h"
#include "main/scripts/address_tree.h"
#include "main/scripts/script_model.h"
#include "main/scripts/script_params.h"
#include "platform/file_attributes.h"
#include "tests/main/scripts/scripts_test_support.h"

namespace {

constexpr int kHosts = 2000;
constexpr int kPerHost = 50;

std::string Address(int host, int page) {
  return "http://www.site" + std::to_string(host) + ".ru/section" + std::to_string(page % 5) + "/page" +
         std::to_string(page) + (page % 3 == 0 ? ".jpg" : ".html");
}

// A collection in which every tenth address is on disk, half of those partly downloaded.
struct LargeScript {
  orv::testing::ScratchFolder collection;
  std::vector<std::string> script{"a0"};
  LargeScript() {
    for (int h = 0; h < kHosts; ++h)
      for (int p = 0; p < kPerHost; ++p) script.push_back(Address(h, p));
    for (std::size_t k = 1; k < script.size(); k += 10) {
      const std::string path = orv::LocalNameOf(script[k], collection.Dir()).path;
      orv::testing::WriteBytes(path, "x");
      if (k % 20 == 1) orv::SetSystemMark(path);
    }
  }
};

LargeScript& Script() {
  static LargeScript s;
  return s;
}

orv::CategoryRules DefaultRules() {
  orv::testing::MemorySettings settings;
  orv::testing::RecordingSink sink;
  orv::ScriptParameters params(settings, sink);
  params.ResetToDefaults();
  return orv::CategoryRules::From(params);
}

void BM_BuildAddressTree100k(benchmark::State& state) {
  LargeScript& s = Script();
  const orv::CategoryRules rules = DefaultRules();
  std::size_t nodes = 0;
  for (auto _ : state) {
    orv::AddressTreeBuilder b(
        s.script, [&rules](std::string_view a) { return orv::CategoryOf(a, rules); },
        [&s](const std::string& a) { return orv::AddressFileState(a, s.collection.Dir()); });
    int steps = 0;
    while (b.Step()) ++steps;
    nodes = b.Nodes().size();
    benchmark::DoNotOptimize(steps);
  }
  state.counters["nodes"] = static_cast<double>(nodes);
}
BENCHMARK(BM_BuildAddressTree100k)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_DeleteHostNode100k(benchmark::State& state) {
  LargeScript& s = Script();
  orv::ScriptModel model;
  model.collectionFolder = s.collection.Dir();
  for (auto _ : state) {
    state.PauseTiming();
    model.RewriteScript(4, s.script);
    state.ResumeTiming();
    // The host in the middle of the script.
    model.RewriteScript(4, orv::WithoutAddressesUnder(model.displayed, "http://www.site1000.ru/"));
  }
  state.counters["left"] = static_cast<double>(model.displayed.size() - 1);
}
BENCHMARK(BM_DeleteHostNode100k)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
