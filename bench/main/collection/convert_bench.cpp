// Collection conversion and the compiled-help project.
// Goals: converting a 1 GB collection (10,000 pages and some large files) at 150 MB/s or
// more; writing the project of a 20,000-page site under 2 s.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "main/collection/conversion.h"
#include "main/collection/help_project.h"
#include "tests/support/temp_folder.h"

namespace {

// A private folder, removed with its contents at the end.
using Folder = orvtest::TempFolder;

void Put(const std::string& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A page of about 20 KB whose links carry escaped query names, as saved pages do.
std::string Page(int i) {
  std::string s = "<html><head><title>Page " + std::to_string(i) + "</title></head><body>\n";
  while (s.size() < 20000) {
    s += "<p>Text 12 of 2024, line " + std::to_string(s.size()) +
         " <a href=\"list.php,8,,x23Fpage=" + std::to_string(s.size() % 50) + "\">next</a></p>\n";
  }
  return s + "</body></html>\n";
}

// The generated collection, made once for both conversion benchmarks.
struct Collection {
  Folder source;
  std::vector<std::string> files;
  Collection() {
    for (int i = 0; i < 10000; ++i) {
      std::string folder = source.Dir() + "site" + std::to_string(i % 5) + ".ru/part" + std::to_string(i % 40) + "/";
      if (i < 40) std::filesystem::create_directories(folder);
      files.push_back(folder + "page" + std::to_string(i) + ".php,8,,x23Fid=" + std::to_string(i));
      Put(files.back(), Page(i));
    }
    // Eight large binary files of 100 MB bring the collection to about 1 GB.
    std::string block(1 << 20, '\0');
    for (std::size_t k = 0; k < block.size(); ++k) block[k] = static_cast<char>((k * 2654435761u) >> 13);
    for (int i = 0; i < 8; ++i) {
      files.push_back(source.Dir() + "site0.ru/video" + std::to_string(i) + ".avi");
      std::ofstream f(files.back(), std::ios::binary);
      for (int m = 0; m < 100; ++m) f.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    ::sync();  // the generated files reach the disk before anything is timed
  }
};

Collection& Generated() {
  static Collection collection;
  return collection;
}

void BM_ConvertCollection1GB(benchmark::State& state) {
  Collection& c = Generated();
  Folder target;
  std::uint64_t bytes = 0;
  for (auto _ : state) {
    orv::collection::CollectionConversion conversion(c.source.Dir(), target.Dir(), c.files);
    while (conversion.Step(100)) {
    }
    if (conversion.Copied() != c.files.size()) state.SkipWithError("not every file was converted");
    bytes += conversion.BytesRead();
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}
BENCHMARK(BM_ConvertCollection1GB)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

// The same files copied unchanged by the file system's own copy: what this machine's disk
// allows, for the ratio.
void BM_PlainCopyCollection1GB(benchmark::State& state) {
  Collection& c = Generated();
  Folder target;
  std::uint64_t bytes = 0;
  for (auto _ : state) {
    for (const std::string& file : c.files) {
      std::string to = target.Dir() + file.substr(c.source.Dir().size());
      std::filesystem::create_directories(std::filesystem::path(to).parent_path());
      std::filesystem::copy_file(file, to, std::filesystem::copy_options::overwrite_existing);
      bytes += std::filesystem::file_size(file);
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}
BENCHMARK(BM_PlainCopyCollection1GB)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

void BM_HelpProject20kPages(benchmark::State& state) {
  Folder root;
  orv::collection::SiteFiles site{"site.ru", {}};
  for (int i = 0; i < 20000; ++i) {
    std::string folder = root.Dir() + "site.ru/part" + std::to_string(i % 100) + "/";
    if (i < 100) std::filesystem::create_directories(folder);
    std::string path = folder + "page" + std::to_string(i) + ".html";
    Put(path, "<html><head><title>Page number " + std::to_string(i) + "</title></head><body>" +
                  std::string(3000, 'x') + "</body></html>");
    site.files.push_back({path, "page" + std::to_string(i) + ".html", 7});
    if (i % 10 == 0) site.files.push_back({folder + "pic" + std::to_string(i) + ".jpg", "pic.jpg", 8});
  }
  orv::collection::ChmTarget target = orv::collection::ChmTargetOf(root.Dir() + "help.chm");
  for (auto _ : state) {
    if (!orv::collection::WriteHelpProject(root.Dir(), target, {site})) state.SkipWithError("project not written");
  }
}
BENCHMARK(BM_HelpProject20kPages)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace
