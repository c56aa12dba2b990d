// Helper process for the cross-process platform tests. The first argument names what to do;
// results go to stdout one line at a time, flushed at once, so the test can follow along.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>

#include <QtCore/QCoreApplication>
#include <QtCore/QTimer>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "platform/file_attributes.h"
#include "platform/process.h"
#include "platform/settings.h"
#include "platform/window_link.h"

namespace {

void Say(const std::string& line) {
  std::fputs((line + "\n").c_str(), stdout);
  std::fflush(stdout);
}

// Publishes three windows and reports every event delivered to them:
//   1 "orv"    - plain window
//   2 "busy"   - its left press blocks the event loop for two seconds
//   3 "closer" - its close quits the program
int Windows(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc > 2 && std::string(argv[2]) == "ignore-term") std::signal(SIGTERM, SIG_IGN);
  auto& link = orv::WindowLink::Instance();
  auto handlers = [](int n) {
    orv::WindowHandlers h;
    std::string id = std::to_string(n);
    h.leftPress = [id, n] {
      Say("L" + id);
      if (n == 2) {
        std::this_thread::sleep_for(std::chrono::seconds(2));
        Say("UNBLOCKED");
      }
    };
    h.rightPress = [id] { Say("R" + id); };
    h.textSet = [id](const std::string& text) { Say("T" + id + ":" + text); };
    h.close = [id, n] {
      Say("C" + id);
      if (n == 3) QCoreApplication::quit();
    };
    return h;
  };
  orv::WindowHandle a = link.Publish("orv", handlers(1));
  orv::WindowHandle b = link.Publish("busy", handlers(2));
  orv::WindowHandle c = link.Publish("closer", handlers(3));
  if (argc > 2 && std::string(argv[2]) == "no-files") {
    // Use up every file descriptor, as a process leaking them would.
    while (open("/dev/null", O_RDONLY) >= 0) {
    }
  }
  Say("HANDLES " + std::to_string(a) + " " + std::to_string(b) + " " + std::to_string(c));
  int rc = app.exec();
  Say("EXIT");
  return rc;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    // Started with no arguments (the detached start): leave a note in the working folder.
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd) == nullptr) return 1;
    std::ofstream note("started.txt");
    note << argc << "\n" << cwd << "\n";
    return 0;
  }
  if (std::string(argv[1]) == "as" && argc > 3) {
    // "as <uid> <mode> ...": the rest runs as that user.
    uid_t uid = static_cast<uid_t>(std::atoi(argv[2]));
    if (setgid(uid) != 0 || setuid(uid) != 0) return 3;
    argv += 2;
    argc -= 2;
  }
  std::string mode = argv[1];
  if (mode == "windows") return Windows(argc, argv);
  if (mode == "settext" && argc == 4) {
    // Sets the text of another process's window, as the console does with the counter.
    return orv::WindowLink::Instance().SetText(std::atoi(argv[2]), argv[3]) ? 0 : 1;
  }
  if (mode == "press" && argc == 3) {
    return orv::WindowLink::Instance().PressLeft(std::atoi(argv[2])) ? 0 : 1;
  }
  if (mode == "readtext-as" && argc == 4) {
    // Another user trying the window link: drop to that user first.
    uid_t uid = static_cast<uid_t>(std::atoi(argv[2]));
    if (setgid(uid) != 0 || setuid(uid) != 0) return 3;
    auto& link = orv::WindowLink::Instance();
    orv::WindowHandle h = std::atoi(argv[3]);
    Say(link.ReadText(h));
    Say(link.Exists(h) ? "EXISTS" : "NONE");
    Say(link.PressLeft(h) ? "PRESSED" : "REFUSED");
    return 0;
  }
  if (mode == "raw-as" && argc == 4) {
    // A stranger that ignores the client's own checks and speaks to the socket directly:
    // op 2 (read text), the handle, an empty text. Prints what came back, if anything.
    uid_t uid = static_cast<uid_t>(std::atoi(argv[2]));
    if (setgid(uid) != 0 || setuid(uid) != 0) return 3;
    orv::WindowHandle h = std::atoi(argv[3]);
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::string name = "orvanta-window-link-" + std::to_string(h >> 8);
    std::memcpy(addr.sun_path + 1, name.data(), name.size());
    socklen_t len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0) {
      Say("NOCONNECT");
      return 0;
    }
    char request[9] = {2};
    std::memcpy(request + 1, &h, 4);
    // The server may already have hung up: a failed send is no reply too.
    ssize_t got = -1;
    char reply[300];
    if (send(fd, request, sizeof request, MSG_NOSIGNAL) == static_cast<ssize_t>(sizeof request))
      got = read(fd, reply, sizeof reply);
    Say(got <= 0 ? "NOREPLY" : "REPLY " + std::string(reply + 5, got > 5 ? got - 5 : 0));
    return 0;
  }
  if (mode == "readtext" && argc == 3) {
    Say(orv::WindowLink::Instance().ReadText(std::atoi(argv[2])));
    return 0;
  }
  if (mode == "write" && argc == 4) {
    orv::WriteSetting(argv[2], argv[3]);
    return 0;
  }
  if (mode == "read" && argc == 3) {
    Say(orv::ReadSetting(argv[2], "<none>"));
    return 0;
  }
  if (mode == "writemany" && argc == 4) {
    // prefix count: writes prefix0..prefix<count-1>, one rewrite each.
    int count = std::atoi(argv[3]);
    for (int i = 0; i < count; ++i)
      orv::WriteSetting(std::string(argv[2]) + std::to_string(i), std::to_string(i * 7));
    Say("DONE");
    return 0;
  }
  if (mode == "lock" && argc == 3) {
    auto lock = orv::SingleInstanceLock::AtPath(argv[2]);
    Say(lock.Acquired() ? "LOCKED" : "REFUSED");
    if (lock.Acquired()) {
      // Hold until stdin closes or the test kills us.
      char c;
      while (read(0, &c, 1) > 0) {
      }
    }
    return 0;
  }
  if (mode == "mark" && argc == 3) return orv::SetSystemMark(argv[2]) ? 0 : 1;
  if (mode == "normal" && argc == 3) return orv::SetNormalAttributes(argv[2]) ? 0 : 1;
  if (mode == "attrs" && argc == 3) {
    Say(std::to_string(orv::GetFileAttributes(argv[2])));
    return 0;
  }
  if (mode == "folders") {
    Say(orv::ProgramFolder());
    Say(orv::ExchangeFolder());
    return 0;
  }
  if (mode == "instance" && argc == 3) {
    // The per-program lock in the exchange folder of this executable's folder.
    orv::SingleInstanceLock lock(argv[2]);
    Say(lock.Acquired() ? "LOCKED" : "REFUSED");
    if (lock.Acquired()) {
      char c;
      while (read(0, &c, 1) > 0) {
      }
    }
    return 0;
  }
  return 2;
}
