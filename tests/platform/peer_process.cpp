#include "tests/platform/peer_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

namespace orv::test {

PeerProcess::PeerProcess(std::vector<std::string> args, std::string program) {
  if (program.empty()) program = PLATFORM_PEER;
  int outPipe[2];
  int inPipe[2];
  if (pipe2(outPipe, O_CLOEXEC) != 0) return;
  if (pipe2(inPipe, O_CLOEXEC) != 0) {
    close(outPipe[0]);
    close(outPipe[1]);
    return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, inPipe[0], 0);
  std::vector<char*> argv;
  argv.push_back(program.data());
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) == 0) pid_ = pid;
  posix_spawn_file_actions_destroy(&actions);
  close(outPipe[1]);
  close(inPipe[0]);
  out_ = outPipe[0];
  in_ = inPipe[1];
}

PeerProcess::~PeerProcess() {
  Kill();
  if (out_ >= 0) close(out_);
  if (in_ >= 0) close(in_);
}

std::optional<std::string> PeerProcess::ReadLine(std::chrono::milliseconds timeout) {
  auto end = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    auto nl = buffer_.find('\n');
    if (nl != std::string::npos) {
      std::string line = buffer_.substr(0, nl);
      buffer_.erase(0, nl + 1);
      return line;
    }
    if (out_ < 0 || std::chrono::steady_clock::now() >= end) return std::nullopt;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
    pollfd pfd{out_, POLLIN, 0};
    if (poll(&pfd, 1, 5) <= 0) continue;
    char buf[4096];
    ssize_t n = read(out_, buf, sizeof buf);
    if (n <= 0) {
      close(out_);
      out_ = -1;
      continue;
    }
    buffer_.append(buf, static_cast<std::size_t>(n));
  }
}

int PeerProcess::Wait(std::chrono::milliseconds timeout) {
  if (pid_ <= 0) return -1;
  auto end = std::chrono::steady_clock::now() + timeout;
  while (!reaped_) {
    pid_t r = waitpid(pid_, &status_, WNOHANG);
    if (r == pid_) {
      reaped_ = true;
      break;
    }
    if (std::chrono::steady_clock::now() >= end) return -1;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (WIFEXITED(status_)) return WEXITSTATUS(status_);
  if (WIFSIGNALED(status_)) return -100 - WTERMSIG(status_);
  return -1;
}

void PeerProcess::Kill() {
  if (pid_ <= 0 || reaped_) return;
  kill(pid_, SIGKILL);
  if (waitpid(pid_, &status_, 0) == pid_) reaped_ = true;
}

void PeerProcess::CloseInput() {
  if (in_ >= 0) close(in_);
  in_ = -1;
}

TempFolder::TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "orvplat-XXXXXX").string();
  if (mkdtemp(pattern.data()) != nullptr) path_ = pattern + "/";
}

TempFolder::~TempFolder() {
  if (path_.empty()) return;
  std::error_code ec;
  // Give back owner rights first so read-only leftovers can be removed.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
  }
  std::filesystem::remove_all(path_, ec);
}

void RunEventsFor(std::chrono::milliseconds time) {
  RunEventsUntil([] { return false; }, time);
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteWholeFile(const std::string& path, const std::string& text, bool append) {
  std::ofstream out(path, std::ios::binary | (append ? std::ios::app : std::ios::trunc));
  out << text;
}

}  // namespace orv::test
