// The collection tree on a generated collection of 200 sites and 1,000,000 files: building the
// first level, opening the 100,000-file site (driven by Step(100), as the window's timer does),
// the memory of the loaded tree, and filing 10,000 saved addresses during a run.
//
// The collection is generated once into ORV_BENCH_COLLECTION (default: a folder beside the
// benchmark program) and reused; its "complete" marker tells a finished generation.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench/main/collection/generated_collection.h"
#include "main/collection/collection_tree.h"

namespace orvbench {

namespace fs = std::filesystem;

static constexpr int kFilesPerFolder = 100;
static constexpr int kFoldersPerFolder = 10;

static std::string CollectionRoot() {
  if (const char* env = std::getenv("ORV_BENCH_COLLECTION")) return std::string(env) + "/";
  return (fs::path(ORV_BIN_DIR).parent_path() / "collection-1m").string() + "/";
}

std::string SiteName(int i) { return i == 0 ? "www.large-site.ru" : "site" + std::to_string(i) + ".example.com"; }

// files are spread over folders of 100 files, ten folders to a parent folder:
// site/dA/dB/page<N>.html with a few images and archives among them.
static void MakeSite(const std::string& root, int site, int files) {
  std::string base = root + SiteName(site) + "/";
  int folders = (files + kFilesPerFolder - 1) / kFilesPerFolder;
  for (int f = 0; f < folders; ++f) {
    std::string dir = base + "d" + std::to_string(f / kFoldersPerFolder) + "/e" +
                      std::to_string(f % kFoldersPerFolder) + "/";
    fs::create_directories(dir);
    int count = std::min(kFilesPerFolder, files - f * kFilesPerFolder);
    for (int k = 0; k < count; ++k) {
      const char* ending = k % 10 == 0 ? ".jpg" : (k % 25 == 1 ? ".zip" : ".html");
      std::string name = dir + "page" + std::to_string(k) + ending;
      int fd = ::open(name.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
      if (fd >= 0) ::close(fd);
    }
  }
}

const std::string& GeneratedCollection() {
  static const std::string root = [] {
    std::string r = CollectionRoot();
    if (fs::exists(r + ".complete")) return r;
    std::fprintf(stderr, "generating %d files in %s (once)\n", kTotalFiles, r.c_str());
    fs::remove_all(r);
    fs::create_directories(r);
    MakeSite(r, 0, kLargeSiteFiles);
    int rest = kTotalFiles - kLargeSiteFiles;
    for (int s = 1; s < kSites; ++s) {
      int share = rest / (kSites - 1) + (s <= rest % (kSites - 1) ? 1 : 0);
      MakeSite(r, s, share);
    }
    std::ofstream(r + ".complete") << "ok";
    return r;
  }();
  return root;
}

}  // namespace orvbench

namespace {

using orvbench::GeneratedCollection;
using orvbench::SiteName;
using orvbench::kLargeSiteFiles;
using orvbench::kSites;
using orvbench::kTotalFiles;
using orv::collection::CollectionTree;
using orv::collection::NodeId;

// Bytes in use on the heap: unlike the resident size, it does not hide memory that an earlier
// iteration freed and the next one reuses.
double HeapMiB() { return static_cast<double>(mallinfo2().uordblks) / (1024.0 * 1024.0); }

void BM_FirstLevel(benchmark::State& state) {
  const std::string& root = GeneratedCollection();
  for (auto _ : state) {
    CollectionTree tree;
    tree.BuildFirstLevel(root);
    if (tree.Sites().size() != kSites) state.SkipWithError("wrong site count");
    benchmark::DoNotOptimize(tree.NodeCount());
  }
}
BENCHMARK(BM_FirstLevel)->Unit(benchmark::kMillisecond);

void BM_OpenLargeSite(benchmark::State& state) {
  const std::string& root = GeneratedCollection();
  std::size_t nodes = 0;
  double mib = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto tree = std::make_unique<CollectionTree>();
    tree->BuildFirstLevel(root);
    NodeId site = tree->Find(root + SiteName(0) + "/");
    double before = HeapMiB();
    state.ResumeTiming();
    tree->QueueSiteLoad(site);
    while (tree->Step(100)) {
    }
    state.PauseTiming();
    nodes = tree->NodeCount();
    mib = HeapMiB() - before;
    tree.reset();
    state.ResumeTiming();
  }
  if (nodes < kLargeSiteFiles) state.SkipWithError("site not fully loaded");
  state.counters["nodes"] = static_cast<double>(nodes);
  state.counters["tree_MiB"] = mib;
}
BENCHMARK(BM_OpenLargeSite)->Unit(benchmark::kMillisecond)->Iterations(3);

// Every site read: the memory of a tree holding the whole collection.
void BM_LoadWholeCollection(benchmark::State& state) {
  const std::string& root = GeneratedCollection();
  for (auto _ : state) {
    double before = HeapMiB();
    CollectionTree tree;
    tree.BuildFirstLevel(root);
    tree.RebuildAll();
    while (tree.Step(100)) {
    }
    state.counters["nodes"] = static_cast<double>(tree.NodeCount());
    state.counters["tree_MiB"] = HeapMiB() - before;
    if (tree.NodeCount() < static_cast<std::size_t>(kTotalFiles)) state.SkipWithError("not all loaded");
  }
}
BENCHMARK(BM_LoadWholeCollection)->Unit(benchmark::kMillisecond)->Iterations(1);

// 10,000 saved addresses during a run: new files across the sites, one in four in a new folder.
void BM_AddSavedAddresses(benchmark::State& state) {
  const std::string& root = GeneratedCollection();
  std::vector<std::string> addresses;
  for (int i = 0; i < 10000; ++i) {
    addresses.push_back("http://" + SiteName(i % kSites) + "/d0/e" + std::to_string(i % 4 == 0 ? 100 + i : 1) +
                        "/run" + std::to_string(i) + ".html");
  }
  for (auto _ : state) {
    state.PauseTiming();
    CollectionTree tree;
    tree.BuildFirstLevel(root);
    std::size_t before = tree.NodeCount();
    state.ResumeTiming();
    for (const std::string& a : addresses) tree.AddSavedAddress(a);
    state.PauseTiming();
    if (tree.NodeCount() < before + addresses.size()) state.SkipWithError("addresses lost");
    state.ResumeTiming();
  }
}
BENCHMARK(BM_AddSavedAddresses)->Unit(benchmark::kMillisecond);

}  // namespace
