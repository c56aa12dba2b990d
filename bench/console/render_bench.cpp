// Pages rendered per second: 200 script-built pages of a loopback site, each an empty shell
// whose script fetches its JSON and builds its heading and links, handed to the page renderer
// (orvrend) through the console's client as the channels hand them, with the intensity's
// slots. Once with the default quiet time (2 s, what a run costs) and once with 200 ms (what
// the engine itself manages). Each benchmark runs once and reports its figures as counters.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <string>

#include "console/page_render_client.h"
#include "platform/process.h"
#include "tests/support/http_test_server.h"

namespace {

constexpr int kPages = 200;

void EnsureApp() {
  static int argc = 1;
  static char name[] = "orv_bench";
  static char* argv[] = {name, nullptr};
  if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);
}

std::string Shell(int n) {
  return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>p</title></head><body><h1 id=t></h1>"
         "<ul id=l></ul><script>fetch('data/" + std::to_string(n) + ".json').then(r => r.json()).then(d => {"
         "document.getElementById('t').textContent = d.title;"
         "for (const h of d.links) { const a = document.createElement('a'); a.href = h; a.textContent = h;"
         "document.getElementById('l').appendChild(document.createElement('li')).appendChild(a); } });"
         "</script></body></html>";
}

void RenderSite(benchmark::State& state, int quietMs) {
  EnsureApp();
  const std::filesystem::path renderer = std::filesystem::path(ORV_BIN_DIR) / "orvrend";
  if (!std::filesystem::exists(renderer)) {
    state.SkipWithError("orvrend is not built");
    return;
  }
  orvtest::HttpTestServer site;
  for (int n = 0; n < kPages; ++n) {
    std::string links;
    for (int k = 1; k <= 10; ++k) links += std::string(k > 1 ? "," : "") + "\"page" + std::to_string((n + k) % kPages) + ".html\"";
    site.Serve("/data/" + std::to_string(n) + ".json",
               orvtest::Answer{.headers = {"Content-Type: application/json"},
                               .body = "{\"title\": \"Page " + std::to_string(n) + "\", \"links\": [" + links + "]}"});
  }
  const int pagesAtOnce = orv::render::RenderSlots(0);
  for (auto _ : state) {
    orv::console::RenderClient client(renderer.string(), pagesAtOnce, orv::render::RenderTimes{quietMs, 15000});
    int rendered = 0, failed = 0, done = 0;
    long long peak = 0;
    QEventLoop loop;
    QTimer memory;
    QObject::connect(&memory, &QTimer::timeout, [&] {
      peak = std::max(peak, orv::ProcessTreeResidentBytes(::getpid()));
    });
    memory.start(500);
    const auto began = std::chrono::steady_clock::now();
    for (int n = 0; n < kPages; ++n) {
      orv::render::RenderRequest request;
      request.address = site.Url("/page" + std::to_string(n) + ".html");
      request.body = Shell(n);
      client.Submit(request, [&, n](const orv::render::RenderReply& reply) {
        const bool ok = reply.outcome == orv::render::RenderOutcome::Rendered &&
                        reply.html.find("Page " + std::to_string(n) + "</h1>") != std::string::npos;
        ++(ok ? rendered : failed);
        if (++done == kPages) loop.quit();
      });
    }
    QTimer::singleShot(600000, &loop, &QEventLoop::quit);
    loop.exec();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    state.counters["pages"] = rendered;
    state.counters["failed"] = failed;
    state.counters["pages_at_once"] = pagesAtOnce;
    state.counters["pages_per_s"] = rendered / seconds;
    state.counters["peak_MiB_bench_and_renderer"] = static_cast<double>(peak) / (1 << 20);
    state.counters["restarts"] = client.Restarts();
  }
}

void BM_Render200ScriptBuiltPages_DefaultQuiet(benchmark::State& state) { RenderSite(state, 2000); }
void BM_Render200ScriptBuiltPages_Quiet200ms(benchmark::State& state) { RenderSite(state, 200); }

}  // namespace

BENCHMARK(BM_Render200ScriptBuiltPages_DefaultQuiet)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_Render200ScriptBuiltPages_Quiet200ms)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
