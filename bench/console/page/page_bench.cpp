// Throughput of the page processor on a mixed corpus: pages dense with links, prose with
// many dots, scripts with file names in strings and style sheets with url( ).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "common/local_path.h"
#include "console/page/page_processor.h"

namespace {

using orv::page::PageJob;

// One block of each kind of text. Kinds: 0 page dense with links, 1 prose with many dots,
// 2 script, 3 style sheet.
void AppendBlock(std::string& t, int kind, unsigned i) {
  char line[1024];
  switch (kind) {
    case 0:
      std::snprintf(line, sizeof line,
                    "<li><a href=\"/section%u/page%u.html\">Page %u</a> "
                    "<img src=images/icon%u.gif alt=i> <a href=\"../up%u.htm#top\">up</a> "
                    "<a href=\"http://www.other%u.org/path/index.php?id=%u&x=1/2\">o</a> "
                    "<a href=\"mailto:user%u@s.com\">m</a> <a href=\"#s%u\">s</a></li>\n",
                    i % 17, i, i, i % 31, i % 7, i % 11, i, i, i);
      break;
    case 1:
      std::snprintf(line, sizeof line,
                    "<p>This is sentence %u. It mentions version 2.%u and e.g. the report. "
                    "Another sentence follows. And yet another one... Dr. Smith et al. wrote "
                    "it in 1.%u days, i.e. quickly. The results were clear: 3.14 is close to "
                    "pi. Mr. Jones agreed. See also www.site%u.org for more.</p>\n",
                    i, i % 10, i % 9, i % 13);
      break;
    case 2:
      std::snprintf(line, sizeof line,
                    "<script>var img%u = \"pics/p%u.png\"; if (a.b.c == %u) { x.y = n.z + 1; "
                    "obj.prop.value = arr[%u].len; } for (i = 0; i < w.length; i++) "
                    "{ s.push(w[i].name); } document.write('<a href=\"x%u.html\">');</script>\n",
                    i, i, i, i % 5, i);
      break;
    default:
      std::snprintf(line, sizeof line,
                    "<style>.c%u { background: url(bg/b%u.jpg); color: #fff; margin: 0.5em; "
                    "font: 1.2em/1.5 serif; } .d%u > p { padding: 0.25em 1.5em; "
                    "border: 1px solid #ccc; line-height: 1.4; }</style>\n",
                    i, i % 23, i);
      break;
  }
  t += line;
}

// kind -1: the mixed corpus, the four kinds in turn.
std::string Corpus(std::size_t bytes, int kind) {
  std::string t = "<html><head><title>Corpus</title>\n"
                  "<base href=\"http://s.com/dir/\">\n</head><body>\n";
  for (unsigned i = 0; t.size() < bytes; ++i) AppendBlock(t, kind < 0 ? static_cast<int>(i % 4) : kind, i);
  t += "</body></html>\n";
  return t;
}

PageJob Job() {
  PageJob job;
  job.url = "http://s.com/dir/page.html";
  job.page_folder_url = "http://s.com/dir/";
  job.site_root = "http://s.com/";
  job.site_root_prefix = "../s.com/";
  job.levels_up = orv::LocalNameOf(job.url, "/c/").levelsUp;
  job.collection = "/c/";
  return job;
}

void RunCorpus(benchmark::State& state, const std::string& corpus) {
  const PageJob job = Job();
  std::size_t links = 0;
  // One sink for all iterations: the figure is the processor's, not the allocator's.
  orv::page::StringSink sink;
  sink.text.reserve(corpus.size() + corpus.size() / 2);
  for (auto _ : state) {
    sink.text.clear();
    int pages = 2;
    orv::page::PageResult r = orv::page::ProcessPage(corpus, job, sink, pages, nullptr);
    links = r.found_links.size() - 1;
    benchmark::DoNotOptimize(sink.text.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(corpus.size()));
  state.counters["links"] = static_cast<double>(links);
  state.counters["bytes_per_link"] =
      links == 0 ? 0.0 : static_cast<double>(corpus.size()) / static_cast<double>(links);
}

// range(0): size in bytes.
void BM_PageMixed(benchmark::State& state) {
  RunCorpus(state, Corpus(static_cast<std::size_t>(state.range(0)), -1));
}
BENCHMARK(BM_PageMixed)->Arg(100 << 10)->Arg(1 << 20)->Arg(10 << 20)->Unit(benchmark::kMillisecond);

// range(0): kind of text, 1 MB of it.
void BM_PageKind(benchmark::State& state) {
  RunCorpus(state, Corpus(1 << 20, static_cast<int>(state.range(0))));
}
BENCHMARK(BM_PageKind)->ArgName("kind")->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

// Pathological texts: one pass each, no quadratic corner.
void BM_PageDegenerate(benchmark::State& state) {
  const char fill = static_cast<char>(state.range(0));
  std::string text(10 << 20, fill);
  if (fill == 'a') {
    for (std::size_t i = 2; i < text.size(); i += 3) text[i] = '.';  // "aa.aa.": no delimiter
  }
  const PageJob job = Job();
  for (auto _ : state) {
    orv::page::StringSink sink;
    int pages = 2;
    benchmark::DoNotOptimize(orv::page::ProcessPage(text, job, sink, pages, nullptr));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_PageDegenerate)->Arg('.')->Arg('=')->Arg('a')->Unit(benchmark::kMillisecond);

}  // namespace
