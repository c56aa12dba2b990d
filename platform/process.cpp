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
#include <filesystem>
#include <fstream>
#include <map>
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

namespace {

// The parent id and resident pages from /proc/<pid>/stat; false when it cannot be read.
bool ReadStat(pid_t pid, pid_t& parent, long long& residentPages) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat;
  if (!std::getline(in, stat)) return false;
  // The command name is in parentheses and may hold blanks: the fields follow its last ")".
  const std::size_t close = stat.rfind(')');
  if (close == std::string::npos) return false;
  std::vector<std::string> fields;
  std::string field;
  for (std::size_t i = close + 2; i <= stat.size(); ++i) {
    if (i == stat.size() || stat[i] == ' ') {
      fields.push_back(field);
      field.clear();
    } else {
      field += stat[i];
    }
  }
  // After the name: state (0), ppid (1), ... rss (21).
  if (fields.size() < 22) return false;
  parent = static_cast<pid_t>(std::atol(fields[1].c_str()));
  residentPages = std::atoll(fields[21].c_str());
  return true;
}

}  // namespace

long long ProcessTreeResidentBytes(pid_t pid) {
  if (pid <= 0) return 0;
  std::map<pid_t, std::vector<pid_t>> children;
  std::map<pid_t, long long> pages;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
    const std::string name = entry.path().filename().string();
    if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
    const pid_t p = static_cast<pid_t>(std::atol(name.c_str()));
    pid_t parent = 0;
    long long resident = 0;
    if (!ReadStat(p, parent, resident)) continue;
    children[parent].push_back(p);
    pages[p] = resident;
  }
  if (!pages.count(pid)) return 0;
  long long total = 0;
  std::vector<pid_t> todo{pid};
  while (!todo.empty()) {
    const pid_t p = todo.back();
    todo.pop_back();
    total += pages[p];
    for (pid_t c : children[p]) todo.push_back(c);
  }
  return total * ::sysconf(_SC_PAGESIZE);
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
