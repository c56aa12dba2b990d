// orv: the main program. With a display it opens the main window; `orv --batch ADDRESS`
// runs the same start-up, run control and end of run without any window and prints what
// the status panels and the channel list would show.
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include <unistd.h>

#include "common/text.h"
#include "main/ui/batch_view.h"
#include "main/ui/orv_app.h"

#ifdef ORV_HAVE_WIDGETS
#include "main/ui/main_window.h"
#endif

namespace {

int g_signalPipe[2] = {-1, -1};

void OnInterrupt(int) {
  const char c = 1;
  [[maybe_unused]] ssize_t n = ::write(g_signalPipe[1], &c, 1);
}

int RunBatch(int argc, char** argv, int addressFrom) {
  QCoreApplication app(argc, argv);
  // Every argument is one run; the runs follow one another in this one process, as
  // addresses typed into the box one after another would.
  std::vector<std::string> addresses;
  for (int i = addressFrom; i < argc; ++i) {
    const std::string a = orv::Trim(orv::Utf8ToCp1251(argv[i]));
    if (!a.empty()) addresses.push_back(a);
  }
  if (addresses.empty()) {
    std::fprintf(stderr, "usage: orv --batch ADDRESS [ADDRESS...]\n");
    return 2;
  }

  orv::BatchView view;
  orv::PublishedWindows windows;
  int exitCode = -1;
  orv::OrvApp::Hooks hooks;
  hooks.endProgram = [&](int code) {
    exitCode = code;
    QCoreApplication::exit(code);
  };
  hooks.confirmScriptDeletion = [](int slot) {
    // Nobody is there to cancel the countdown.
    std::printf("%s\n", orv::Cp1251ToUtf8(orv::Ru("Автоудаление сценария: сценарий № ") + std::to_string(slot)).c_str());
    return true;
  };
  orv::OrvApp orvApp(view, windows, hooks);
  view.SetHandles(static_cast<std::uint32_t>(windows.mainWindow),
                  static_cast<std::uint32_t>(windows.exchangeButton));

  const int started = orvApp.StartUp();
  if (started >= 0) return started;

  // Ctrl-C stops the run; the run then ends normally (write-back included).
  if (::pipe(g_signalPipe) == 0) {
    struct sigaction sa {};
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
  }
  QSocketNotifier interrupt(g_signalPipe[0], QSocketNotifier::Read);
  QObject::connect(&interrupt, &QSocketNotifier::activated, [&] {
    char buf[16];
    [[maybe_unused]] ssize_t n = ::read(g_signalPipe[0], buf, sizeof buf);
    orv::RunController& run = orvApp.Run();
    if (run.State().running) {
      std::printf("stopping\n");
      std::fflush(stdout);
      run.StopRun();
    } else if (run.StartRequests() == 0) {
      QCoreApplication::exit(130);
    }
  });

  orv::RunController& run = orvApp.Run();
  run.SetCommandLineAddress(addresses.front());
  std::size_t next = 1;
  bool interrupted = false;
  QObject::connect(&interrupt, &QSocketNotifier::activated, [&] { interrupted = true; });
  // The start-request poll runs the whole run inside its tick; when it comes back after a
  // request, that run is over: the next address is entered, or the batch ends.
  QObject::connect(&orvApp.Timer(orv::RunTimer::Tim2), &QTimer::timeout, [&] {
    if (run.Ending()) return;
    run.Tim2Tick();
    if (run.Ending()) return;
    if (run.StartRequests() < static_cast<int>(next) || run.State().running) return;
    if (next < addresses.size() && !interrupted && run.RunsStarted() == run.StartRequests()) {
      run.AddressEnter(addresses[next++]);
      return;
    }
    exitCode = run.RunsStarted() == run.StartRequests() ? 0 : 1;
    QCoreApplication::exit(exitCode);
  });
  orvApp.StartTimers();
  const int loopCode = app.exec();
  orvApp.StopTimers();
  if (!run.Ending()) orvApp.Shutdown(false);
  return exitCode >= 0 ? exitCode : loopCode;
}

}  // namespace

int main(int argc, char** argv) {
  int batchAt = 0;
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--batch") == 0) batchAt = i;
  if (batchAt != 0) return RunBatch(argc, argv, batchAt + 1);
#ifdef ORV_HAVE_WIDGETS
  return orv::RunWindow(argc, argv);
#else
  std::fprintf(stderr, "orv: built without a window; use orv --batch ADDRESS\n");
  return 2;
#endif
}
