// The console against the loopback server: throughput of one 1 GiB file next to curl -o in the
// same run, resident memory with twenty busy channels, and the CPU an idle console uses.
// Each benchmark runs once (the work is seconds long) and reports its figures as counters.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QCoreApplication>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>

#include "common/exchange.h"
#include "common/local_path.h"
#include "common/numbers.h"
#include "platform/file_attributes.h"
#include "platform/settings.h"
#include "platform/window_link.h"
#include "tests/support/http_test_server.h"
#include "tests/support/program_folder.h"
#include "tests/support/tls_authority.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int64_t kGiB = 1024LL * 1024 * 1024;

void EnsureApp() {
  static int argc = 1;
  static char name[] = "orv_bench";
  static char* argv[] = {name, nullptr};
  if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);
}

// The main program's side, reduced to what the measurements need.
struct Console {
  orvtest::ProgramFolder folder;
  orv::ExchangeFiles ex;
  orvtest::ChildProcess kuvet;
  orv::WindowHandle mainWindow = 0;

  bool Launch(const std::string& certFile = {}) {
    EnsureApp();
    ex.Open(folder.Exchange(), true);
    orv::WriteSetting("PFOLD", folder.Collection());
    orv::WriteSetting("RQQM", "60");
    orv::WriteSetting("intens", "0");
    mainWindow = orv::WindowLink::Instance().Publish("orv", {});
    for (int r : {1, 2, 4, 6, 8, 10, 15, 16, 17, 21, 28}) ex.WriteExt(r, "");
    ex.WriteExt(orv::MainWindow, orv::DecimalText(mainWindow));
    ex.WriteExt(orv::UserAgent, "bench");
    ex.WriteExt(orv::RetryLimit, "0");
    ex.WriteExt(orv::AssumeOnline, "1");
    std::map<std::string, std::string> env{{"XDG_CONFIG_HOME", folder.Config()}};
    if (!certFile.empty()) env["SSL_CERT_FILE"] = certFile;
    if (!kuvet.Start(folder.Prog() + "kuvet", {}, folder.Prog(), env)) return false;
    return WaitFor([&] { return !ex.ReadExt(orv::ConsoleStarted).empty(); }, 10000);
  }
  ~Console() {
    kuvet.Kill();
    if (mainWindow) orv::WindowLink::Instance().Unpublish(mainWindow);
  }
  template <class Pred>
  bool WaitFor(Pred pred, int timeoutMs) {
    auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
      if (Clock::now() > end) return false;
      QCoreApplication::processEvents();
      if (ex.ReadExt(orv::ReportReady) == "A") ex.WriteExt(orv::ReportReady, "");
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
  }
  bool Feed(const std::string& address) {
    if (!WaitFor([&] { return ex.ReadExt(orv::NextUrl).empty(); }, 10000)) return false;
    return ex.WriteExt(orv::NextUrl, address);
  }
  std::string Local(const std::string& address) { return orv::LocalNameOf(address, folder.Collection()).path; }
};

double RssMegabytes(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
  return -1;
}

double CpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::istringstream rest(all.substr(all.rfind(')') + 2));
  std::string field;
  long long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && rest >> field; ++i) {
    if (i == 14) utime = std::atoll(field.c_str());
    if (i == 15) stime = std::atoll(field.c_str());
  }
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// curl and kuvet take turns on the same file, `rounds` times each; the best time of each counts,
// so load from other processes on the machine hits both alike. With a certificate bundle the
// server speaks TLS and both clients verify it against that bundle.
void KuvetVsCurl(benchmark::State& state, orvtest::HttpTestServer& server, int rounds,
                 const std::string& bundle) {
  server.Serve("/big.bin", orvtest::Answer{.generatedSize = kGiB, .chunkSize = 1024 * 1024});
  for (auto _ : state) {
    Console c;
    if (!c.Launch(bundle)) {
      state.SkipWithError("kuvet did not start");
      return;
    }
    double bestCurl = 1e9, bestKuvet = 1e9, kuvetCpu = 0;
    for (int round = 0; round < rounds; ++round) {
      std::string curlOut = c.folder.Root() + "curl.bin";
      std::string cmd = "curl -s -o '" + curlOut + "' '" + server.Url("/big.bin") + "'";
      if (!bundle.empty()) cmd += " --cacert '" + bundle + "'";
      auto t0 = Clock::now();
      int rc = std::system(cmd.c_str());
      double curlSeconds = std::chrono::duration<double>(Clock::now() - t0).count();
      if (rc != 0 || orv::FileLength(curlOut) != kGiB) {
        state.SkipWithError("curl download failed");
        return;
      }
      std::filesystem::remove(curlOut);
      bestCurl = std::min(bestCurl, curlSeconds);

      std::string local = c.Local(server.Url("/big.bin"));
      double cpu0 = CpuSeconds(c.kuvet.Pid());
      t0 = Clock::now();
      c.Feed(server.Url("/big.bin"));
      bool done = c.WaitFor([&] {
        return c.ex.ReadExtNumber(orv::BusyChannels) == 0 && c.ex.ReadExt(orv::NextUrl).empty() &&
               orv::FileLength(local) == kGiB && orv::GetFileAttributes(local) == 0;
      }, 120000);
      double kuvetSeconds = std::chrono::duration<double>(Clock::now() - t0).count();
      if (!done) {
        state.SkipWithError("kuvet download did not finish");
        return;
      }
      if (kuvetSeconds < bestKuvet) {
        bestKuvet = kuvetSeconds;
        kuvetCpu = CpuSeconds(c.kuvet.Pid()) - cpu0;
      }
      std::filesystem::remove(local);
    }
    state.counters["curl_MiB_per_s"] = 1024.0 / bestCurl;
    state.counters["kuvet_MiB_per_s"] = 1024.0 / bestKuvet;
    state.counters["kuvet_to_curl"] = bestCurl / bestKuvet;
    state.counters["kuvet_cpu_s"] = kuvetCpu;
  }
}

void BM_GiBOverLoopback_KuvetVsCurl(benchmark::State& state) {
  orvtest::HttpTestServer server;
  KuvetVsCurl(state, server, 5, {});
}
BENCHMARK(BM_GiBOverLoopback_KuvetVsCurl)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void BM_GiBOverHttps_KuvetVsCurl(benchmark::State& state) {
  orvtest::TestAuthority authority;
  orvtest::HttpTestServer server;
  server.EnableTls(authority.Issue({"localhost"}, {"127.0.0.1"}));
  const std::string bundle = std::filesystem::temp_directory_path().string() + "/orv_bench_authority_" +
                             std::to_string(getpid()) + ".pem";
  if (!authority.WriteBundle(bundle)) {
    state.SkipWithError("cannot write the authority's bundle");
    return;
  }
  KuvetVsCurl(state, server, 3, bundle);
  std::filesystem::remove(bundle);
}
BENCHMARK(BM_GiBOverHttps_KuvetVsCurl)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void BM_TwentyBusyChannels_Rss(benchmark::State& state) {
  orvtest::HttpTestServer server;
  for (int i = 0; i < 20; ++i)
    server.Serve("/s" + std::to_string(i) + ".bin",
                 orvtest::Answer{.generatedSize = 200LL * 1024 * 1024, .chunkDelayMs = 20, .chunkSize = 256 * 1024});
  for (auto _ : state) {
    Console c;
    if (!c.Launch()) {
      state.SkipWithError("kuvet did not start");
      return;
    }
    for (int i = 0; i < 20; ++i) c.Feed(server.Url("/s" + std::to_string(i) + ".bin"));
    if (!c.WaitFor([&] { return c.ex.ReadExtNumber(orv::BusyChannels) == 20; }, 10000)) {
      state.SkipWithError("twenty channels never busy at once");
      return;
    }
    double peak = 0;
    for (int i = 0; i < 20; ++i) {
      c.WaitFor([] { return false; }, 100);
      peak = std::max(peak, RssMegabytes(c.kuvet.Pid()));
    }
    state.counters["busy_channels"] = static_cast<double>(c.ex.ReadExtNumber(orv::BusyChannels));
    state.counters["rss_MB"] = peak;
  }
}
BENCHMARK(BM_TwentyBusyChannels_Rss)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void BM_IdleConsole_Cpu(benchmark::State& state) {
  for (auto _ : state) {
    Console c;
    if (!c.Launch()) {
      state.SkipWithError("kuvet did not start");
      return;
    }
    c.WaitFor([] { return false; }, 1000);
    double cpu0 = CpuSeconds(c.kuvet.Pid());
    auto t0 = Clock::now();
    c.WaitFor([] { return false; }, 10000);
    double cpu = CpuSeconds(c.kuvet.Pid()) - cpu0;
    double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    state.counters["idle_cpu_percent"] = 100.0 * cpu / wall;
  }
}
BENCHMARK(BM_IdleConsole_Cpu)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
