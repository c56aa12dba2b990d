#include "platform/process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QtCore/QProcess>
#include <QtCore/QString>
#include <QtCore/QStringList>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <utility>

namespace orv {

std::string ProgramFolder() {
  std::string buf(4096, '\0');
  ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n <= 0) return "./";
  buf.resize(static_cast<std::size_t>(n));
  auto slash = buf.rfind('/');
  if (slash == std::string::npos) return "./";
  return buf.substr(0, slash + 1);
}

std::string ExchangeFolder() { return ProgramFolder() + "temp/"; }

bool StartDetached(const std::string& programPath, pid_t* pid) {
  if (programPath.empty()) return false;
  QProcess process;
  process.setProgram(QString::fromStdString(programPath));
  process.setArguments({});
  // The started program runs in its own folder: for the console that is the program folder.
  auto slash = programPath.rfind('/');
  std::string folder = slash == std::string::npos ? ProgramFolder() : programPath.substr(0, slash + 1);
  process.setWorkingDirectory(QString::fromStdString(folder));
  process.setStandardInputFile(QProcess::nullDevice());
  qint64 started = 0;
  if (!process.startDetached(&started)) return false;
  if (pid != nullptr) *pid = static_cast<pid_t>(started);
  return true;
}

bool ProcessAlive(pid_t pid) {
  if (pid <= 0) return false;
  if (kill(pid, 0) != 0 && errno == ESRCH) return false;
  // kill() succeeds on a zombie: look at the state letter after the command name.
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return false;
  auto close = line.rfind(')');
  if (close == std::string::npos || close + 2 >= line.size()) return false;
  char state = line[close + 2];
  return state != 'Z' && state != 'X' && state != 'x';
}

std::vector<std::string> EditorCommand(const std::string& file) {
  for (const char* var : {"VISUAL", "EDITOR"}) {
    const char* value = std::getenv(var);
    if (value != nullptr && *value != '\0') return {value, file};
  }
  return {"xdg-open", file};
}

SingleInstanceLock::SingleInstanceLock(const std::string& programName) {
  std::string folder = ExchangeFolder();
  mkdir(folder.c_str(), 0777);  // may exist already
  Lock(folder + programName + ".lock");
}

SingleInstanceLock SingleInstanceLock::AtPath(const std::string& lockPath) {
  SingleInstanceLock lock;
  lock.Lock(lockPath);
  return lock;
}

void SingleInstanceLock::Lock(const std::string& lockPath) {
  // O_CLOEXEC: a started console must not keep the main program's lock alive.
  int fd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return;
  (void)fchmod(fd, 0600);  // the exchange folder's files are the owner's alone
  int r;
  do {
    r = flock(fd, LOCK_EX | LOCK_NB);
  } while (r != 0 && errno == EINTR);
  if (r != 0) {
    heldByAnother_ = errno == EWOULDBLOCK;
    close(fd);
    return;
  }
  fd_ = fd;
}

SingleInstanceLock::SingleInstanceLock(SingleInstanceLock&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      heldByAnother_(std::exchange(other.heldByAnother_, false)) {}

SingleInstanceLock& SingleInstanceLock::operator=(SingleInstanceLock&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    heldByAnother_ = std::exchange(other.heldByAnother_, false);
  }
  return *this;
}

SingleInstanceLock::~SingleInstanceLock() {
  if (fd_ >= 0) close(fd_);
}

}  // namespace orv
