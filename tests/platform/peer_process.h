#pragma once
// A helper process for the cross-process tests, with its stdout read line by line. Waiting
// for a line also runs this process's Qt events, so windows published here get their events.
#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace orv::test {

class PeerProcess {
 public:
  // Starts program (PLATFORM_PEER when empty) with the given arguments.
  explicit PeerProcess(std::vector<std::string> args, std::string program = {});
  ~PeerProcess();
  PeerProcess(const PeerProcess&) = delete;
  PeerProcess& operator=(const PeerProcess&) = delete;

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  // Next line of output without the line break, or nullopt after timeout / end of output.
  std::optional<std::string> ReadLine(std::chrono::milliseconds timeout = std::chrono::seconds(3));
  // Exit code, or -1 when it did not end in time (or was killed by a signal: -100 - signal).
  int Wait(std::chrono::milliseconds timeout = std::chrono::seconds(3));
  void Kill();
  void CloseInput();

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  int in_ = -1;
  bool reaped_ = false;
  int status_ = 0;
  std::string buffer_;
};

// A fresh folder below the system temp folder, removed with the object.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  const std::string& path() const { return path_; }  // ends in "/"
 private:
  std::string path_;
};

// Runs Qt events for about the given time, or until done() is true.
template <typename Done>
bool RunEventsUntil(Done done, std::chrono::milliseconds limit);

void RunEventsFor(std::chrono::milliseconds time);

std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& text, bool append = false);

}  // namespace orv::test

#include <QtCore/QCoreApplication>
#include <thread>

template <typename Done>
bool orv::test::RunEventsUntil(Done done, std::chrono::milliseconds limit) {
  auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}
