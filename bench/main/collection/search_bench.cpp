// Collection search over a large collection read from disk. Goals: by address over 100,000
// files under 1 s; by text over 1 GB of pages at 300 MB/s or more, with memory bounded by a
// few MB whatever the size of the files (the peak resident size is reported).

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "main/collection/collection_search.h"
#include "tests/support/temp_folder.h"

namespace {

// A private folder, removed with its contents at the end.
using Folder = orvtest::TempFolder;

class NoInterrupt : public orv::SearchInterrupt {
 public:
  bool Interrupted() const override { return false; }
  void Clear() override {}
};

long PeakResidentKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// 100 sites of 20 folders of 50 files.
void BM_SearchByAddress100K(benchmark::State& state) {
  Folder coll;
  for (int s = 0; s < 100; ++s) {
    std::string site = coll.Dir() + "www.site" + std::to_string(s) + ".ru/";
    for (int d = 0; d < 20; ++d) {
      std::string folder = site + "section" + std::to_string(d) + "/";
      std::filesystem::create_directories(folder);
      for (int f = 0; f < 50; ++f) {
        std::ofstream(folder + "page" + std::to_string(f) + (f % 3 ? ".html" : ".jpg")) << "x";
      }
    }
  }
  orv::SearchCriteria c;
  c.text = "SITE7.ru/Section12/";
  std::size_t found = 0;
  NoInterrupt interrupt;
  for (auto _ : state) {
    orv::CollectionSearch search(interrupt);
    search.Start(c, false, {coll.Dir(), coll.Dir()});
    while (search.Step()) {
    }
    found = search.Results().size();
  }
  if (found != 50) state.SkipWithError("wrong number of files found");
  state.counters["files"] = 100'000;
  state.counters["found"] = static_cast<double>(found);
}
BENCHMARK(BM_SearchByAddress100K)->Unit(benchmark::kMillisecond)->Iterations(3);

// 1 GB as 8,192 pages of 128 KB; the text is absent, so every byte is read.
void BM_SearchByText1GB(benchmark::State& state) {
  constexpr int kFiles = 8192;
  constexpr std::size_t kPage = 128 * 1024;
  Folder coll;
  std::string site = coll.Dir() + "site.ru/";
  std::filesystem::create_directories(site);
  std::mt19937 random(1);
  std::string page(kPage, ' ');
  const char* words[] = {"<p>", "</p>", "\xEF\xF0\xE8\xE2\xE5\xF2", "href=\"a.html\"", "text ",
                         "\xCC\xE8\xF0 ", "<div class=x>", "\n"};
  for (int i = 0; i < kFiles; ++i) {
    std::size_t pos = 0;
    while (pos < kPage) {
      const char* w = words[random() % 8];
      for (const char* p = w; *p && pos < kPage; ++p) page[pos++] = *p;
    }
    std::string name = "page" + std::to_string(i) + ".html";
    std::ofstream(site + name, std::ios::binary).write(page.data(), kPage);
  }
  orv::SearchCriteria c;
  c.kind = orv::SearchKind::Text;
  c.text = "orvanta-absent-text";
  long before = PeakResidentKb();
  double wall = 0;
  NoInterrupt interrupt;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    orv::CollectionSearch search(interrupt);
    search.Start(c, false, {coll.Dir(), coll.Dir()});
    while (search.Step()) {
    }
    if (!search.Results().empty()) state.SkipWithError("found an absent text");
    wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  // The rate above is by CPU time; on a shared machine the wall-clock rate is reported too.
  state.counters["wall_MB_per_s"] =
      static_cast<double>(state.iterations()) * kFiles * kPage / (1 << 20) / wall;
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kFiles * kPage);
  state.counters["peak_rss_growth_kb"] = static_cast<double>(PeakResidentKb() - before);
  state.counters["peak_rss_kb"] = static_cast<double>(PeakResidentKb());
}
BENCHMARK(BM_SearchByText1GB)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
