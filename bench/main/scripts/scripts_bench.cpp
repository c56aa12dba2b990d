// Write-back of a large run and the automatic script choice over sixteen full slots.
// Goals: write-back of 100,000 addresses (half handed out, 20,000 new) under 1 s;
// AutoSelect over 16 slots x 10,000 addresses under 0.5 s.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "main/scripts/script_model.h"
#include "tests/support/temp_folder.h"

namespace {

// A private folder, removed with its contents at the end.
using Folder = orvtest::TempFolder;

std::string Address(int site, int page) {
  return "http://www.site" + std::to_string(site) + ".ru/section" + std::to_string(page % 97) + "/page" +
         std::to_string(page) + ".html";
}

void BM_WriteBack100k(benchmark::State& state) {
  Folder coll;
  orv::ScriptModel model;
  model.collectionFolder = coll.Dir();
  model.scriptMode = orv::kModeNormal;  // every checked address gets the local-file test
  for (auto _ : state) {
    state.PauseTiming();
    model.ClearRunLists();
    model.runSlot = 0;
    for (int i = 1; i <= 100000; ++i) model.run.Append(Address(i % 7, i));
    for (int i = 1; i <= 100000; i += 2) model.handedOut.push_back(i);  // half handed out
    // 20,000 new addresses, a quarter of them already in the run.
    for (int i = 1; i <= 20000; ++i) model.AddNewAddress(i % 4 == 0 ? Address(i % 7, i) : Address(9, i));
    state.ResumeTiming();
    model.WriteBack();
  }
  state.counters["kept"] = static_cast<double>(orv::ReadScriptFile(orv::ScriptFileName(coll.Dir(), 0)).size() - 1);
}
BENCHMARK(BM_WriteBack100k)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_AutoSelect16x10k(benchmark::State& state) {
  Folder coll;
  for (int slot = 0; slot < orv::kUserSlots; ++slot) {
    std::vector<std::string> list{""};
    for (int i = 1; i <= 10000; ++i) list.push_back(Address(slot, i));
    orv::WriteScriptFile(orv::ScriptFileName(coll.Dir(), slot), list);
  }
  orv::ScriptModel model;
  model.collectionFolder = coll.Dir();
  int chosen = -1;
  for (auto _ : state) chosen = model.AutoSelect("http://forum.site11.ru/x");
  state.counters["slot"] = chosen;
}
BENCHMARK(BM_AutoSelect16x10k)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
