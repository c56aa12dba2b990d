// The pace of a run.
// - A 200-file site whose pages carry hundreds of links each, fetched by `orv --batch` at the
//   default intensity: the console takes one address every 0.1 s, so N files cannot take less
//   than N x 0.1 s; the run should stay within 1.1 x that bound + 3 s. The console's outcome
//   log gives the timeline of every address (taken, first byte, done).
// - 1,000 small files from a server that answers every request after 50 ms: `orv --batch` at
//   the intensity "Максимальная" next to `wget -m` on the same server in the same run.
// - A whole run of `orv --batch` against a 500-page site: wall time and the main program's own
//   CPU time (user + system); 500 pages cannot take less than 50 s at the default intensity.
// - A real documentation site (a Sphinx-built Debian package) fetched whole by `orv --batch` at
//   the default intensity "Высокая", and by `wget -m` from the same server in the same run:
//   the run should stay within 1.1 x (files the site links x 0.1 s) + 3 s, where the files the
//   site links are those wget saves; the requests of both are counted.
// - Hand-outs of a run of 100,000 addresses (50,000 of them images) against a simulated
//   console: the time per 1,000 hand-outs at the start and at the end of the run.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "common/exchange.h"
#include "common/fetch_outcome.h"
#include "common/timeline.h"
#include "main/run/run_controller.h"
#include "platform/connection.h"
#include "tests/main/fake_main_window.h"
#include "tests/support/http_test_server.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Serves an HTML page at path of the loopback test server, answered after delayMs.
void ServePage(orvtest::HttpTestServer& site, const std::string& path, std::string body, int delayMs = 0) {
  site.Serve(path, {.headers = {"Content-Type: text/html"}, .body = std::move(body), .headerDelayMs = delayMs});
}

// How a program run to its end ended: its wall time, its exit status (-1: not started or
// killed) and its own CPU time (user + system).
struct Ended {
  double wall = -1;
  int exit = -1;
  double cpu = 0;
};

// Runs a program to its end with its output thrown away.
Ended RunToEnd(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv) {
  std::vector<std::string> envs = extraEnv;
  for (char** e = environ; *e; ++e) {
    const std::string kv = *e;
    const std::string key = kv.substr(0, kv.find('=') + 1);
    if (std::none_of(extraEnv.begin(), extraEnv.end(), [&](const std::string& x) { return x.rfind(key, 0) == 0; }))
      envs.push_back(kv);
  }
  std::vector<char*> envp, argv;
  for (auto& e : envs) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> a = args;
  for (auto& s : a) argv.push_back(s.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
  const auto start = Clock::now();
  pid_t pid = -1;
  Ended ended;
  if (::posix_spawnp(&pid, a[0].c_str(), &fa, nullptr, argv.data(), envp.data()) == 0) {
    int status = 0;
    rusage ru{};
    ::wait4(pid, &status, 0, &ru);
    ended.wall = std::chrono::duration<double>(Clock::now() - start).count();
    ended.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    ended.cpu = ru.ru_utime.tv_sec + ru.ru_utime.tv_usec / 1e6 + ru.ru_stime.tv_sec + ru.ru_stime.tv_usec / 1e6;
  }
  posix_spawn_file_actions_destroy(&fa);
  return ended;
}

// A private program folder with orv and kuvet, its settings and collection.
struct Install {
  fs::path root;
  bool ok = false;
  Install() {
    const fs::path bin = ORV_BIN_DIR;
    if (!fs::exists(bin / "orv") || !fs::exists(bin / "kuvet")) return;
    char tmpl[] = "/tmp/orvpace.XXXXXX";
    root = ::mkdtemp(tmpl);
    fs::create_directories(root / "prog/temp");
    fs::create_directories(root / "config/belmor");
    fs::create_directories(root / "coll");
    fs::copy_file(bin / "orv", root / "prog/orv");
    fs::copy_file(bin / "kuvet", root / "prog/kuvet");
    std::ofstream(root / "config/belmor/orvanta.conf")
        << "[orvanta]\nMocConnect=True\nLanConnect=False\nPFOLD=" << (root / "coll").string() << "/\n";
    ok = true;
  }
  ~Install() {
    std::error_code ec;
    if (!root.empty()) fs::remove_all(root, ec);
  }
  Ended Batch(const std::vector<std::string>& extra, bool timeline = true) const {
    std::vector<std::string> args = {(root / "prog/orv").string(), "--batch"};
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<std::string> env = {"XDG_CONFIG_HOME=" + (root / "config").string(), "HOME=" + root.string(),
                                    "QT_QPA_PLATFORM=offscreen"};
    if (timeline) env.push_back("ORV_TIMELINE=1");
    return RunToEnd(args, env);
  }
  size_t Files(const fs::path& under) const {
    size_t n = 0;
    for (const auto& e : fs::recursive_directory_iterator(under))
      if (e.is_regular_file() && e.path().filename().string().rfind("orv", 0) != 0) ++n;
    return n;
  }
};

// Where a run's time went, from the two programs' timelines (milliseconds). Addresses pass
// the mailbox one at a time, so the k-th address handed out is the k-th taken from it, and
// reports pass record 10 one at a time, so the k-th reported is the k-th collected.
struct Breakdown {
  double launch = 0;       // console started until the first address was handed out
  double refill = 0;       // a take until the main program handed out the next address
  double inMailbox = 0;    // handed out until a channel took it
  double takeGap = 0;      // between two takes
  int slowGaps = 0;        // takes more than 1.5 intervals apart
  double toFirstByte = 0;  // the request started until the first byte
  double transfer = 0;     // first byte until the transfer ended
  double toFinish = 0;     // transfer ended until the channel finished it
  double toCollect = 0;    // reported until the main program read the report
  double tail = 0;         // the last fetch finished until the console was ended
  double beforeLaunch = 0;  // orv started until it launched the console
  double afterEnd = 0;      // the console ended until orv exited
  size_t takes = 0;
};

double Mean(const std::vector<double>& v) {
  double sum = 0;
  for (double x : v) sum += x;
  return v.empty() ? 0 : sum / static_cast<double>(v.size());
}

Breakdown TimelineBreakdown(const fs::path& exchange, double intervalMs, int64_t spawnUs, int64_t exitUs) {
  const auto main = orv::timeline::Read((exchange / orv::timeline::kMainFile).string());
  const auto console = orv::timeline::Read((exchange / orv::timeline::kConsoleFile).string());
  const auto times = [](const std::vector<orv::timeline::Event>& in, std::string_view what) {
    std::vector<int64_t> out;
    for (const auto& e : in)
      if (e.event == what) out.push_back(e.us);
    return out;
  };
  const auto firstOf = [&](const std::vector<orv::timeline::Event>& in, std::string_view what) -> int64_t {
    const auto t = times(in, what);
    return t.empty() ? 0 : t.front();
  };
  const auto ms = [](int64_t us) { return static_cast<double>(us) / 1000.0; };
  Breakdown b;
  const auto handed = times(main, "handed"), taken = times(console, "taken");
  const auto collected = times(main, "collected"), reported = times(console, "reported");
  if (!handed.empty()) b.launch = ms(handed.front() - firstOf(main, "launch"));
  std::vector<double> refill, inMailbox, gaps, toCollect;
  for (size_t k = 0; k < std::min(handed.size(), taken.size()); ++k) {
    inMailbox.push_back(ms(taken[k] - handed[k]));
    if (k == 0) continue;
    refill.push_back(ms(handed[k] - taken[k - 1]));
    gaps.push_back(ms(taken[k] - taken[k - 1]));
    if (intervalMs > 0 && gaps.back() > 1.5 * intervalMs) ++b.slowGaps;
  }
  for (size_t k = 0; k < std::min(reported.size(), collected.size()); ++k) toCollect.push_back(ms(collected[k] - reported[k]));
  // Per channel fetch: events of one address follow each other in the console's file.
  std::map<std::string, int64_t> takenAt, firstAt, doneAt;
  std::vector<double> toFirst, transfer, toFinish;
  int64_t lastFinish = 0;
  for (const auto& e : console) {
    if (e.event == "fetching") takenAt[e.address] = e.us;
    if (e.event == "first-byte") {
      firstAt[e.address] = e.us;
      if (takenAt.count(e.address)) toFirst.push_back(ms(e.us - takenAt[e.address]));
    }
    if (e.event == "done") {
      doneAt[e.address] = e.us;
      if (firstAt.count(e.address)) transfer.push_back(ms(e.us - firstAt[e.address]));
    }
    if (e.event == "finished") {
      lastFinish = std::max(lastFinish, e.us);
      if (doneAt.count(e.address)) toFinish.push_back(ms(e.us - doneAt[e.address]));
    }
  }
  b.refill = Mean(refill);
  b.inMailbox = Mean(inMailbox);
  b.takeGap = Mean(gaps);
  b.toFirstByte = Mean(toFirst);
  b.transfer = Mean(transfer);
  b.toFinish = Mean(toFinish);
  b.toCollect = Mean(toCollect);
  const int64_t ended = firstOf(main, "console-ended");
  if (ended != 0 && lastFinish != 0) b.tail = ms(ended - lastFinish);
  if (ended != 0) b.afterEnd = ms(exitUs - ended);
  if (firstOf(main, "launch") != 0) b.beforeLaunch = ms(firstOf(main, "launch") - spawnUs);
  b.takes = taken.size();
  return b;
}

void Report(benchmark::State& state, const Breakdown& b) {
  state.counters["t_launch_ms"] = b.launch;
  state.counters["t_refill_ms"] = b.refill;
  state.counters["t_in_mailbox_ms"] = b.inMailbox;
  state.counters["t_take_gap_ms"] = b.takeGap;
  state.counters["t_slow_gaps"] = b.slowGaps;
  state.counters["t_to_first_byte_ms"] = b.toFirstByte;
  state.counters["t_transfer_ms"] = b.transfer;
  state.counters["t_to_finish_ms"] = b.toFinish;
  state.counters["t_to_collect_ms"] = b.toCollect;
  state.counters["t_tail_ms"] = b.tail;
  state.counters["t_before_launch_ms"] = b.beforeLaunch;
  state.counters["t_after_end_ms"] = b.afterEnd;
  state.counters["t_takes"] = static_cast<double>(b.takes);
}

void BM_LinkHeavySiteAtHighIntensity(benchmark::State& state) {
  const int files = static_cast<int>(state.range(0));
  Install in;
  if (!in.ok) {
    state.SkipWithError("orv and kuvet are not built");
    return;
  }
  // Every page links to every page: files x files links in all.
  std::string links;
  for (int i = 1; i < files; ++i) links += "<a href=\"p" + std::to_string(i) + ".html\">page " + std::to_string(i) + "</a>\n";
  orvtest::HttpTestServer site;
  const std::string page = "<html><body><a href=\"index.html\">home</a>\n" + links + "</body></html>";
  ServePage(site, "/", page);
  ServePage(site, "/index.html", page);
  for (int i = 1; i < files; ++i) ServePage(site, "/p" + std::to_string(i) + ".html", page);
  for (auto _ : state) {
    const int64_t spawnUs = orv::timeline::MonotonicUs();
    const Ended run = in.Batch({site.Url("/index.html")});
    const int64_t exitUs = orv::timeline::MonotonicUs();
    const double wall = run.wall;
    state.SetIterationTime(wall);
    const double bound = files * 0.1;
    // The timeline of the console: the gap between two takes and the time of a fetch.
    std::vector<orv::OutcomeRecord> log = orv::ReadOutcomes((in.root / "prog/temp/").string());
    std::sort(log.begin(), log.end(), [](const auto& a, const auto& b) { return a.takenMs < b.takenMs; });
    double gaps = 0, fetch = 0;
    for (size_t i = 0; i < log.size(); ++i) {
      if (i > 0) gaps += static_cast<double>(log[i].takenMs - log[i - 1].takenMs);
      fetch += static_cast<double>(log[i].doneMs - log[i].takenMs);
    }
    state.counters["wall_s"] = wall;
    state.counters["bound_s"] = bound;
    state.counters["ratio_to_bound"] = wall / bound;
    state.counters["goal_s"] = 1.1 * bound + 3;
    state.counters["within_goal"] = run.exit == 0 && wall <= 1.1 * bound + 3 ? 1 : 0;
    state.counters["files_saved"] = static_cast<double>(in.Files(in.root / "coll"));
    state.counters["mean_take_gap_ms"] = log.size() > 1 ? gaps / static_cast<double>(log.size() - 1) : 0;
    state.counters["mean_fetch_ms"] = log.empty() ? 0 : fetch / static_cast<double>(log.size());
    Report(state, TimelineBreakdown(in.root / "prog/temp", 100, spawnUs, exitUs));
  }
}
BENCHMARK(BM_LinkHeavySiteAtHighIntensity)->Arg(200)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

void BM_MaximumIntensityAgainstWget(benchmark::State& state) {
  const int files = static_cast<int>(state.range(0));
  Install in;
  if (!in.ok) {
    state.SkipWithError("orv and kuvet are not built");
    return;
  }
  if (RunToEnd({"wget", "--version"}, {}).exit != 0) {
    state.SkipWithError("wget is not installed");
    return;
  }
  std::string index = "<html><body>\n";
  for (int i = 1; i < files; ++i) index += "<a href=\"f" + std::to_string(i) + ".html\">" + std::to_string(i) + "</a>\n";
  index += "</body></html>";
  orvtest::HttpTestServer site;
  ServePage(site, "/", index, 50);
  ServePage(site, "/index.html", index, 50);
  for (int i = 1; i < files; ++i) {
    const std::string path = "/f" + std::to_string(i) + ".html";
    ServePage(site, path, "<html><body>small file " + path + "</body></html>", 50);
  }
  for (auto _ : state) {
    const int64_t spawnUs = orv::timeline::MonotonicUs();
    const double orvWall = in.Batch({"--set", "intens=3", site.Url("/index.html")}).wall;
    const Breakdown timeline = TimelineBreakdown(in.root / "prog/temp", 0, spawnUs, orv::timeline::MonotonicUs());
    const fs::path wgetDir = in.root / "wget";
    // wget -m ends 8 on a 404 (robots.txt), so its exit status is not looked at.
    const double wgetWall = RunToEnd({"wget", "-m", "-np", "-q", "-P", wgetDir.string(), site.Url("/index.html")}, {}).wall;
    state.SetIterationTime(orvWall);
    state.counters["orv_s"] = orvWall;
    state.counters["wget_s"] = wgetWall;
    state.counters["wget_over_orv"] = wgetWall / orvWall;
    state.counters["orv_files"] = static_cast<double>(in.Files(in.root / "coll"));
    state.counters["wget_files"] = static_cast<double>(fs::exists(wgetDir) ? in.Files(wgetDir) : 0);
    Report(state, timeline);
  }
}
BENCHMARK(BM_MaximumIntensityAgainstWget)->Arg(1000)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

void BM_RealDocumentationSiteAgainstWget(benchmark::State& state) {
  const fs::path tree = "/usr/share/doc/python-click-doc/html";
  if (!fs::exists(tree / "index.html")) {
    state.SkipWithError("python-click-doc is not installed");
    return;
  }
  if (RunToEnd({"wget", "--version"}, {}).exit != 0) {
    state.SkipWithError("wget is not installed");
    return;
  }
  orvtest::HttpTestServer site;
  site.ServeTree("/doc/", tree.string());
  for (auto _ : state) {
    Install in;
    if (!in.ok) {
      state.SkipWithError("orv and kuvet are not built");
      break;
    }
    const size_t before = site.Requests().size();
    const int64_t spawnUs = orv::timeline::MonotonicUs();
    const Ended run = in.Batch({site.Url("/doc/index.html")});
    const Breakdown timeline = TimelineBreakdown(in.root / "prog/temp", 100, spawnUs, orv::timeline::MonotonicUs());
    const size_t orvRequests = site.Requests().size() - before;
    const fs::path wgetDir = in.root / "wget";
    const double wgetWall =
        RunToEnd({"wget", "-m", "-np", "-q", "-e", "robots=off", "-P", wgetDir.string(), site.Url("/doc/index.html")}, {})
            .wall;
    const size_t wgetRequests = site.Requests().size() - before - orvRequests;
    const double linked = static_cast<double>(fs::exists(wgetDir) ? in.Files(wgetDir) : 0);
    const double goal = 1.1 * linked * 0.1 + 3;
    state.SetIterationTime(run.wall);
    state.counters["wall_s"] = run.wall;
    state.counters["goal_s"] = goal;
    state.counters["within_goal"] = run.exit == 0 && run.wall <= goal ? 1 : 0;
    state.counters["files_linked"] = linked;
    state.counters["orv_files"] = static_cast<double>(in.Files(in.root / "coll"));
    state.counters["orv_requests"] = static_cast<double>(orvRequests);
    state.counters["wget_requests"] = static_cast<double>(wgetRequests);
    state.counters["orv_over_wget_requests"] = wgetRequests == 0 ? 0 : static_cast<double>(orvRequests) / wgetRequests;
    state.counters["wget_s"] = wgetWall;
    Report(state, timeline);
  }
}
BENCHMARK(BM_RealDocumentationSiteAgainstWget)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

void BM_BatchRunOfALoopbackSite(benchmark::State& state) {
  const int pages = static_cast<int>(state.range(0));
  // "/" links to every page, each a small page linking back.
  std::string index = "<html><body>";
  for (int i = 1; i < pages; ++i) index += "<a href=\"p" + std::to_string(i) + ".html\">" + std::to_string(i) + "</a>\n";
  index += "</body></html>";
  orvtest::HttpTestServer site;
  ServePage(site, "/", index);
  ServePage(site, "/index.html", index);
  for (int i = 1; i < pages; ++i)
    ServePage(site, "/p" + std::to_string(i) + ".html",
              "<html><body><a href=\"index.html\">up</a>" + std::string(2000, 'x') + "</body></html>");
  for (auto _ : state) {
    Install in;
    if (!in.ok) {
      state.SkipWithError("orv and kuvet are not built");
      break;
    }
    const Ended run = in.Batch({site.Url("/")}, false);
    state.SetIterationTime(run.wall);
    size_t saved = 0;
    for (const auto& e : fs::recursive_directory_iterator(in.root / "coll"))
      if (e.is_regular_file() && e.path().extension() == ".html") ++saved;
    state.counters["wall_s"] = run.wall;
    state.counters["orv_cpu_s"] = run.cpu;
    state.counters["orv_cpu_pct"] = 100.0 * run.cpu / run.wall;
    state.counters["pages_saved"] = static_cast<double>(saved);
    state.counters["exit"] = run.exit;
  }
}
BENCHMARK(BM_BatchRunOfALoopbackSite)->Arg(500)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

// ------------------------------------------------------------------ hand-outs

// The console, played in the event pump: it takes every address at once and reports nothing.
// Time is a fake clock the driving loop advances, so the run's own work is all that is timed.
class SimConsole final : public orv::RunPlatform {
 public:
  explicit SimConsole(orv::ExchangeFiles& x) : x_(x) {}
  orv::RunController* run = nullptr;
  std::vector<double> perThousand;  // seconds per 1,000 takes, in order

  // One pass of the event loop: the console's side, then the timers that are due.
  void Pump() {
    if (x_.ReadExt(orv::ConsoleStarted).empty()) x_.WriteExt(orv::ConsoleStarted, "a");
    const std::string next = x_.ReadExt(orv::NextUrl);
    if (!next.empty()) {
      x_.WriteExt(orv::NextUrl, "");
      x_.WriteExt(orv::StartPending, "");
      if (++taken_ % 1000 == 0) {
        const auto now = Clock::now();
        perThousand.push_back(std::chrono::duration<double>(now - mark_).count());
        mark_ = now;
      }
    }
    if (!run) return;
    Tick(tim1_, 0.25, [&] { run->Tim1Tick(); });
    Tick(tim3_, 0.35, [&] { run->Tim3Tick(); });
    Tick(tim4_, 1.55, [&] { run->Tim4Tick(); });
    Tick(step_, orv::RunController::kStepMilliseconds / 1000.0, [&] { run->StepTick(); });
  }
  void SleepMs(int ms) { seconds_ += ms / 1000.0; }
  double SecondsSinceMidnight() override { return seconds_; }
  std::chrono::system_clock::time_point Now() override {
    return std::chrono::system_clock::time_point{} + std::chrono::hours(500000) +
           std::chrono::milliseconds(static_cast<int64_t>(seconds_ * 1000));
  }
  void EnableTimer(orv::RunTimer, bool) override {}
  bool StartConsole() override {
    mark_ = Clock::now();
    return true;
  }
  std::string ReadWindowText(int32_t) override { return "console"; }
  void PressLeft(int32_t) override {}
  void TerminateWindowOwner(int32_t) override {}
  int32_t CounterHandle() override { return 1; }
  std::string CounterCaption() override { return ""; }
  void SetCounterCaption(const std::string&) override {}
  std::string ReadSetting(const std::string& k, const std::string& d) override {
    return k == "MHWND" ? "5" : d;
  }
  void WriteSetting(const std::string&, const std::string&) override {}
  void PlaySound(const std::string&) override {}
  void ClosePopups(bool) override {}
  void PrepareToClose() override {}
  void EndProgram(int) override {}

 private:
  struct Due {
    double at = 0;
    bool inside = false;
  };
  void Tick(Due& d, double interval, const std::function<void()>& f) {
    if (d.inside || seconds_ < d.at) return;
    d.at = seconds_ + interval;
    d.inside = true;
    f();
    d.inside = false;
  }
  orv::ExchangeFiles& x_;
  double seconds_ = 3600;
  long taken_ = 0;
  Clock::time_point mark_;
  Due tim1_, tim3_, tim4_, step_;
};

// The script: pages and images in turn, every address admitted and in scope.
class SimScript final : public orv::RunScripts, public orv::RunAdmission {
 public:
  std::vector<std::string> saved;
  bool SelectAndLoad(const std::string&, orv::RunOptions& o) override {
    o.media = true;
    return true;
  }
  void AppendSavedAddresses(std::vector<std::string>& runList) override {
    runList.insert(runList.end(), saved.begin(), saved.end());
  }
  void MergeFoundLinks(const std::vector<std::string>&, std::vector<std::string>&) override {}
  bool WriteBack(const orv::RunResults&) override { return true; }
  bool WriteBackBusy() const override { return false; }
  void SwitchOffAutoDial() override {}
  void ClearRun() override {}
  bool ValidateStartAddress(std::string& box, std::string& pending) override {
    pending = box;
    return true;
  }
  void ResetScope() override {}
  void ResetCounters() override {}
  void RebuildScope(const std::string&) override {}
  void RebaseOnRedirect(const std::string&, const std::string&) override {}
  bool Admit(const std::string& a, int& category) override {
    category = CategoryOf(a);
    return true;
  }
  bool InScope(const std::string&, int) override { return true; }
  bool TooDeep(const std::string&, int32_t) override { return false; }
  int CategoryOf(const std::string& a) override { return a.size() > 4 && a.compare(a.size() - 4, 4, ".gif") == 0 ? 2 : 1; }
  int IconCategoryOf(const std::string& a) override { return CategoryOf(a); }
  std::string CurrentProxy() override { return ""; }
  void AlternateProxy() override {}
};

void BM_HandOutsKeepTheirPaceOverALongRun(benchmark::State& state) {
  const int addresses = static_cast<int>(state.range(0));
  for (auto _ : state) {
    char tmpl[] = "/tmp/orvhand.XXXXXX";
    const fs::path root = ::mkdtemp(tmpl);
    fs::create_directories(root / "temp");
    fs::create_directories(root / "coll");
    {
      orv::ExchangeFiles x;
      x.Open((root / "temp/").string(), true);
      SimConsole console(x);
      SimScript script;
      for (int i = 1; i < addresses; ++i)
        script.saved.push_back("http://site.test/" + std::to_string(i) + (i % 2 == 0 ? ".gif" : ".html"));
      orv::FixedConnectionState line;
      orv::ConnectionControl connection(line);
      connection.SetModeDirect(orv::ConnectionMode::Localhost);
      orv::testing::FakeMainWindow view;
      orv::RunPaths paths;
      paths.collectionFolder = (root / "coll/").string();
      orv::RunController run(view.Run(), console, x, script, script, connection, paths);
      console.run = &run;
      run.SetCommandLineAddress("http://site.test/");
      const auto start = Clock::now();
      run.Tim2Tick();
      while (run.RunActive()) {
        console.SleepMs(orv::RunController::kStepMilliseconds);
        console.Pump();
      }
      state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
      const auto& t = console.perThousand;
      if (t.size() >= 3) {
        // The first thousand includes the launch; the second is the first steady one.
        state.counters["first_1000_ms"] = t[1] * 1000;
        state.counters["last_1000_ms"] = t.back() * 1000;
        state.counters["last_over_first"] = t.back() / t[1];
      }
      state.counters["handed_out"] = static_cast<double>(t.size() * 1000);
    }
    std::error_code ec;
    fs::remove_all(root, ec);
  }
}
BENCHMARK(BM_HandOutsKeepTheirPaceOverALongRun)->Arg(100000)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace
