// orv: the main program. With a display it opens the main window; `orv --batch ADDRESS`
// runs the same start-up, run control and end of run without any window and prints what
// the status panels and the channel list would show, a summary of every run, and ends with
// an exit status that says how the runs went (see BatchExit).
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>
#include <unistd.h>

#include "common/cookie_file.h"
#include "common/text.h"
#include "platform/display.h"
#include "platform/settings.h"
#include "main/app/batch_view.h"
#include "main/app/orv_app.h"

#ifdef ORV_HAVE_WIDGETS
#include "main/ui/main_window.h"
#endif

namespace {

// Exit statuses of `orv --batch` (the README lists them).
enum BatchExit : int {
  kExitDone = 0,            // every run ended and its start address was fetched (or complete)
  kExitNothingStarted = 1,  // invalid address, off line, another orv running, start-up refused
  kExitUsage = 2,
  kExitConsoleNotReady = 3,  // the console did not start
  kExitConsoleFailed = 4,    // the console went away during a run
  kExitStartFailed = 5,      // a run ended but its start address could not be fetched
  kExitCollection = 6,       // the collection folder cannot be written
  kExitCutShort = 7,         // a run lost its line or its console stalled
  kExitInterrupted = 130,    // Ctrl-C before a run had started
};

constexpr const char* kVersion = "1.0";

constexpr const char* kUsage =
    "usage: orv                          the main window\n"
    "       orv ADDRESS                  the main window, running ADDRESS\n"
    "       orv --batch [--set KEY=VALUE]... [--cookies FILE] ADDRESS [ADDRESS...]\n"
    "                                    runs without a window, one address after another\n"
    "       orv --help | --version\n"
    "--set KEY=VALUE sets a setting for this run only (the stored settings stay as they are),\n"
    "for example intens=3, c3pc_urovn=2, k1Zone=..., p_refresh=True, PFOLD=/some/folder/.\n"
    "--cookies FILE adds the cookies of a Netscape cookie file (as wget --load-cookies and\n"
    "curl -b read it) to the script's cookie jar, so the runs fetch as the logged-in user.\n";

void Why(const char* text) {
  std::fprintf(stderr, "orv: %s\n", text);
  std::fflush(stderr);
}

// A folder the console can create files in (created when missing).
bool CollectionWritable(const std::string& folder) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (!std::filesystem::is_directory(folder, ec)) return false;
  const std::string probe = folder + ".orv-write-probe";
  std::FILE* f = std::fopen(probe.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fputs("x", f) >= 0;
  const bool closed = std::fclose(f) == 0;
  std::remove(probe.c_str());
  return ok && closed;
}

// Reads a cookie file given on the command line; false (after saying why) when it cannot be
// read or holds no cookie at all. Malformed lines are skipped and counted.
bool ReadGivenCookies(const char* path, std::vector<orv::Cookie>& into) {
  const orv::CookieFileContents read = orv::ReadCookieFile(path);
  if (read.error != orv::CookieFileError::None) {
    Why(orv::CookieFileErrorText(read.error, path).c_str());
    return false;
  }
  if (read.cookies.empty()) {
    const std::string why = std::string("the cookie file ") + path + " holds no cookie (" +
                            std::to_string(read.skippedLines) + " line(s) that are no cookie lines)";
    Why(why.c_str());
    return false;
  }
  if (read.skippedLines > 0) {
    const std::string note = std::to_string(read.skippedLines) + " malformed line(s) of the cookie file " + path +
                             " skipped; " + std::to_string(read.cookies.size()) + " cookie(s) taken";
    Why(note.c_str());
  }
  orv::MergeCookies(into, read.cookies);
  return true;
}

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
  std::vector<orv::Cookie> givenCookies;
  for (int i = addressFrom; i < argc; ++i) {
    if (std::strcmp(argv[i], "--cookies") == 0) {
      if (i + 1 >= argc) {
        Why("--cookies needs a cookie file");
        std::fputs(kUsage, stderr);
        return kExitUsage;
      }
      if (!ReadGivenCookies(argv[++i], givenCookies)) return kExitUsage;
      continue;
    }
    if (std::strcmp(argv[i], "--set") == 0) {
      if (i + 1 >= argc || !orv::AddSettingOverride(orv::Utf8ToCp1251(argv[i + 1]))) {
        Why("--set needs KEY=VALUE");
        std::fputs(kUsage, stderr);
        return kExitUsage;
      }
      ++i;
      continue;
    }
    const std::string a = orv::Trim(orv::Utf8ToCp1251(argv[i]));
    if (!a.empty()) addresses.push_back(a);
  }
  if (addresses.empty()) {
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }

  orv::BatchView view;
  orv::PublishedWindows windows;
  int exitCode = -1;
  orv::OrvApp::Hooks hooks;
  const orv::RunController* runOfApp = nullptr;
  hooks.endProgram = [&](int code) {
    if (code == kExitConsoleNotReady) Why("the console did not come up within 30 s");
    if (code == kExitConsoleFailed) {
      // The run ended there too: its summary line comes as after any other run.
      if (runOfApp && runOfApp->RunsStarted() > 0) {
        std::printf("%s\n", orv::Cp1251ToUtf8(orv::RunSummaryText(runOfApp->Summary())).c_str());
        std::fflush(stdout);
      }
      Why(runOfApp && runOfApp->Summary().scriptNotWritten
              ? "the console went away during the run, and the script could not be written back "
                "(its addresses stay in the run journal for the next run)"
              : "the console went away during the run (the run was written back first)");
    }
    exitCode = code;
    QCoreApplication::exit(code);
  };
  hooks.confirmScriptDeletion = [](int slot) {
    // Nobody is there to cancel the countdown.
    std::printf("%s\n", orv::Cp1251ToUtf8(orv::Ru("Автоудаление сценария: сценарий № ") + std::to_string(slot)).c_str());
    return true;
  };
  // No window: no sounds, no popups to close, no browser, nothing to close at the end.
  hooks.playSound = [](const std::string&) {};
  hooks.closePopups = [](bool) {};
  hooks.collectionBrowserShown = [] { return false; };
  hooks.closeWindow = [] { return true; };
  orv::OrvApp orvApp(orv::AppViewsOf(view), windows, hooks);

  const int started = orvApp.StartUp();
  if (started >= 0) {
    Why(orvApp.AnotherInstanceRunning() ? "another orv is running with this program folder"
                                        : "start-up failed (see the message above)");
    return kExitNothingStarted;
  }
  const std::string collection = orvApp.Program().CollectionFolder();
  if (!CollectionWritable(collection)) {
    const std::string why = "the collection folder " + orv::Cp1251ToUtf8(collection) + " cannot be written";
    Why(why.c_str());
    orvApp.Shutdown(false);
    return kExitCollection;
  }

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
    } else {
      // A dial window or a wait before the run: it ends, and so does the batch.
      run.Cancel();
      if (run.StartRequests() == 0) QCoreApplication::exit(kExitInterrupted);
    }
  });

  orv::RunController& run = orvApp.Run();
  runOfApp = &run;
  run.SetGivenCookies(std::move(givenCookies));
  run.SetCommandLineAddress(addresses.front());
  std::size_t next = 1;
  bool interrupted = false;
  QObject::connect(&interrupt, &QSocketNotifier::activated, [&] { interrupted = true; });
  // The start-request poll begins a run, which then goes on in the steps of its own timer;
  // the poll is off while it goes on. Once a request's run is over its summary is printed,
  // then the next address is entered, or the batch ends with the status of the first run that
  // did not go well.
  int status = kExitDone;
  int runsReported = 0;
  const auto poll = [&] {
    if (run.Ending()) return;
    run.Tim2Tick();
    if (run.Ending()) return;
    if (run.StartRequests() < static_cast<int>(next) || run.RunActive()) return;
    int thisRun = kExitDone;
    if (run.RunsStarted() == runsReported) {
      if (interrupted) {
        thisRun = kExitInterrupted;
      } else if (run.LastStartOffline()) {
        Why("not on line: the connection mode finds no network (nothing was started)");
        thisRun = kExitNothingStarted;
      } else if (run.LastStartTooLong()) {
        const std::string why = "the start address is longer than " + std::to_string(orv::ExchangeFiles::kMaxExtValue) +
                                " characters, more than the console takes (nothing was started)";
        Why(why.c_str());
        thisRun = kExitNothingStarted;
      } else {
        Why("the address was not accepted (nothing was started)");
        thisRun = kExitNothingStarted;
      }
    } else {
      runsReported = run.RunsStarted();
      const orv::RunSummary& sum = run.Summary();
      std::printf("%s\n", orv::Cp1251ToUtf8(orv::RunSummaryText(sum)).c_str());
      std::fflush(stdout);
      // Not a failure of the run (a site may well forbid a folder), but the likeliest reason
      // for a copy with pages missing: said, whatever the status.
      if (const int32_t n = sum.byOutcome[static_cast<int>(orv::FetchOutcome::Forbidden)]; n > 0) {
        const std::string why = std::to_string(n) +
                                " address(es) refused with 403 or 401: the site may want a session or a login "
                                "(give its cookies with --cookies FILE)";
        Why(why.c_str());
      }
      // A run stopped by Ctrl-C ended normally (written back): it counts as any other run.
      if (sum.scriptNotWritten) {
        Why("the script could not be written back into the collection folder (disk full or read-only?); "
            "its addresses stay in the run journal, so the next run goes on from there");
        thisRun = kExitCollection;
      } else if (sum.writeFailures > 0) {
        const std::string why = std::to_string(sum.writeFailures) +
                                " file(s) could not be written into the collection folder (disk full or read-only?)";
        Why(why.c_str());
        thisRun = kExitCollection;
      } else if (sum.outcome == orv::RunOutcome::ConnectionLost) {
        Why("the connection was lost during the run; the addresses left stay in the script");
        thisRun = kExitCutShort;
      } else if (sum.outcome == orv::RunOutcome::ConsoleStalled) {
        Why("the console stopped taking addresses; the addresses left stay in the script");
        thisRun = kExitCutShort;
      } else if (!sum.startFetched || sum.ProxyFailures() > 0) {
        // Files lost to the proxy leave the copy incomplete as surely as a missing start page.
        std::string why = sum.startFetched ? std::string() : "the start address could not be fetched";
        if (const int32_t n = sum.byOutcome[static_cast<int>(orv::FetchOutcome::ProxyLogin)]; n > 0)
          why += (why.empty() ? "" : "; ") + std::to_string(n) +
                 " address(es) not fetched: the proxy refused the login (407; check the user name and "
                 "password of its entry in the proxy list)";
        if (const int32_t n = sum.byOutcome[static_cast<int>(orv::FetchOutcome::ProxyDown)]; n > 0)
          why += (why.empty() ? "" : "; ") + std::to_string(n) +
                 " address(es) not fetched: no proxy of the list could be reached";
        Why(why.c_str());
        thisRun = kExitStartFailed;
      }
    }
    if (status == kExitDone) status = thisRun;
    // An address that starts nothing ends the batch, as Ctrl-C does.
    if (next < addresses.size() && !interrupted && thisRun != kExitNothingStarted) {
      run.AddressEnter(addresses[next++]);
      return;
    }
    exitCode = status;
    QCoreApplication::exit(exitCode);
  };
  QObject::connect(&orvApp.Timer(orv::RunTimer::Tim2), &QTimer::timeout, poll);
  orvApp.StartTimers();
  // The first address is there already: its poll comes at once, not a poll period later.
  QTimer::singleShot(0, &orvApp.Timer(orv::RunTimer::Tim2), poll);
  const int loopCode = app.exec();
  orvApp.StopTimers();
  if (!run.Ending()) orvApp.Shutdown(false);
  return exitCode >= 0 ? exitCode : loopCode;
}

}  // namespace

int main(int argc, char** argv) {
  // Neither needs a display, a program folder or the settings.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, stdout);
      return kExitDone;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("orv (Orvanta) %s\n", kVersion);
      return kExitDone;
    }
  }
  int batchAt = 0;
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--batch") == 0) batchAt = i;
  if (batchAt != 0) return RunBatch(argc, argv, batchAt + 1);
#ifdef ORV_HAVE_WIDGETS
  // Asked before the application exists: Qt ends the process when its display is not there.
  if (!orv::DisplayReachable()) {
    Why("no display to open the window on; use orv --batch ADDRESS");
    return kExitUsage;
  }
  return orv::RunWindow(argc, argv);
#else
  std::fprintf(stderr, "orv: built without a window; use orv --batch ADDRESS\n");
  return 2;
#endif
}
