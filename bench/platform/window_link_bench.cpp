// Text read of another process's window: the main program reads the console's captions this
// way on every supervision tick. Each read is timed on its own; the median and the slowest read
// are reported, with the owner idle and with the owner's event loop blocked for two seconds.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QtCore/QCoreApplication>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/window_link.h"

namespace {

constexpr const char* kOwnerVariable = "ORV_BENCH_WINDOW_OWNER";

// The owner's side: two windows; a left press on the second blocks its event loop for two
// seconds. It writes 'H' + handles when ready, 'B' when the block starts, 'U' when it ends.
[[noreturn]] void RunOwner(int w) {
  int argc = 1;
  char name[] = "owner";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);
  auto& link = orv::WindowLink::Instance();
  orv::WindowHandlers blocking;
  blocking.leftPress = [w] {
    [[maybe_unused]] ssize_t n = write(w, "B", 1);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    n = write(w, "U", 1);
  };
  orv::WindowHandle handles[2] = {link.Publish(" Orvanta  Console ", {}), link.Publish("busy", blocking)};
  [[maybe_unused]] ssize_t n = write(w, "H", 1);
  n = write(w, handles, sizeof handles);
  app.exec();
  _exit(0);
}

// The owner runs in a fresh image of this program, entered here before main. A bare fork
// would inherit this process's window link, which earlier benchmarks of the same run have
// already started, and the child's windows would not answer.
[[maybe_unused]] const bool ownerEntry = [] {
  if (const char* fd = std::getenv(kOwnerVariable)) RunOwner(std::atoi(fd));
  return false;
}();

struct Owner {
  pid_t pid = -1;
  int out = -1;
  orv::WindowHandle plain = 0;
  orv::WindowHandle busy = 0;

  Owner() {
    int fds[2];
    if (pipe(fds) != 0) return;
    setenv(kOwnerVariable, std::to_string(fds[1]).c_str(), 1);
    pid = fork();
    if (pid == 0) {
      close(fds[0]);
      execl("/proc/self/exe", "orv_bench", static_cast<char*>(nullptr));
      _exit(127);
    }
    unsetenv(kOwnerVariable);
    close(fds[1]);
    out = fds[0];
    char tag = 0;
    orv::WindowHandle handles[2] = {0, 0};
    if (Read(&tag, 1, 3000) && tag == 'H' && Read(handles, sizeof handles, 3000)) {
      plain = handles[0];
      busy = handles[1];
    }
  }
  ~Owner() {
    if (pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    if (out >= 0) close(out);
  }
  bool Read(void* data, std::size_t n, int timeoutMs) {
    auto* p = static_cast<char*>(data);
    while (n > 0) {
      pollfd pfd{out, POLLIN, 0};
      if (poll(&pfd, 1, timeoutMs) <= 0) return false;
      ssize_t got = read(out, p, n);
      if (got <= 0) return false;
      p += got;
      n -= static_cast<std::size_t>(got);
    }
    return true;
  }
};

void Report(benchmark::State& state, std::vector<double>& micros) {
  if (micros.empty()) return;
  std::sort(micros.begin(), micros.end());
  state.counters["median_us"] = micros[micros.size() / 2];
  state.counters["max_us"] = micros.back();
  state.counters["reads"] = static_cast<double>(micros.size());
}

void BM_ReadTextOfOtherProcess(benchmark::State& state) {
  Owner owner;
  if (owner.plain == 0) {
    state.SkipWithError("owner process did not start");
    return;
  }
  auto& link = orv::WindowLink::Instance();
  std::vector<double> micros;
  bool blocked = state.range(0) != 0;
  if (blocked) {
    char tag = 0;
    if (!link.PressLeft(owner.busy) || !owner.Read(&tag, 1, 3000) || tag != 'B') {
      state.SkipWithError("owner did not block");
      return;
    }
  }
  auto blockStart = std::chrono::steady_clock::now();
  std::size_t wrong = 0;
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    std::string text = link.ReadText(owner.plain);
    auto t1 = std::chrono::steady_clock::now();
    if (text != " Orvanta  Console ") ++wrong;
    micros.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
  }
  if (blocked) {
    // All reads must have finished while the owner was still blocked.
    pollfd pfd{owner.out, POLLIN, 0};
    bool stillBlocked = poll(&pfd, 1, 0) == 0;
    double spent = std::chrono::duration<double>(std::chrono::steady_clock::now() - blockStart).count();
    state.counters["owner_still_blocked"] = stillBlocked ? 1 : 0;
    state.counters["seconds_into_block"] = spent;
  }
  state.counters["wrong_texts"] = static_cast<double>(wrong);
  if (wrong > 0) state.SkipWithError("reads returned a wrong caption");
  Report(state, micros);
}
BENCHMARK(BM_ReadTextOfOtherProcess)->Arg(0)->Arg(1)->ArgName("owner_blocked")->Iterations(1000)->UseRealTime();

}  // namespace
