#include "tests/support/program_folder.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "platform/settings.h"

extern char** environ;

namespace orvtest {
namespace fs = std::filesystem;

namespace {
#ifdef ORV_BIN_DIR
const char* kBinDir = ORV_BIN_DIR;
#else
const char* kBinDir = "";
#endif

void LinkOrCopy(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  fs::create_hard_link(from, to, ec);
  if (ec) fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
}
}  // namespace

ProgramFolder::ProgramFolder(bool withOrv) : tmp_("orvprog") {
  fs::create_directories(Exchange());
  fs::create_directories(Config());
  fs::create_directories(Collection());
  const char* binEnv = std::getenv("ORV_BIN_DIR");
  fs::path bin = binEnv && *binEnv ? binEnv : kBinDir;
  if (fs::exists(bin / "kuvet")) LinkOrCopy(bin / "kuvet", fs::path(Prog()) / "kuvet");
  // The page renderer the console starts when pages are rendered.
  if (fs::exists(bin / "orvrend")) LinkOrCopy(bin / "orvrend", fs::path(Prog()) / "orvrend");
  if (withOrv) {
    if (fs::exists(bin / "orv")) {
      LinkOrCopy(bin / "orv", fs::path(Prog()) / "orv");
    } else {
      WriteWholeFile(fs::path(Prog()) / "orv", std::string(4096, '\x7f'));
    }
  }
  ::setenv("XDG_CONFIG_HOME", Config().c_str(), 1);
}

void ProgramFolder::UseLoopbackSites() const {
  orv::WriteSetting("MocConnect", "True");
  orv::WriteSetting("LanConnect", "False");
  orv::WriteSetting("PFOLD", Collection());
}

ChildProcess::~ChildProcess() { Kill(); }

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& args,
                         const std::string& cwd, const std::map<std::string, std::string>& env) {
  std::map<std::string, std::string> all;
  for (char** e = environ; *e; ++e) {
    std::string kv = *e;
    size_t eq = kv.find('=');
    if (eq != std::string::npos) all[kv.substr(0, eq)] = kv.substr(eq + 1);
  }
  for (const auto& [k, v] : env) all[k] = v;
  std::vector<std::string> envStrings;
  for (const auto& [k, v] : all) envStrings.push_back(k + "=" + v);
  std::vector<char*> envp;
  for (auto& s : envStrings) envp.push_back(s.data());
  envp.push_back(nullptr);
  std::vector<std::string> argStrings{program};
  argStrings.insert(argStrings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& s : argStrings) argv.push_back(s.data());
  argv.push_back(nullptr);

  std::string oldCwd = fs::current_path().string();
  std::error_code ec;
  fs::current_path(cwd, ec);
  int rc = ::posix_spawn(&pid_, program.c_str(), nullptr, nullptr, argv.data(), envp.data());
  fs::current_path(oldCwd, ec);
  reaped_ = false;
  if (rc != 0) pid_ = -1;
  return rc == 0;
}

bool ChildProcess::Running() {
  if (pid_ <= 0 || reaped_) return false;
  int st = 0;
  pid_t r = ::waitpid(pid_, &st, WNOHANG);
  if (r == pid_) {
    reaped_ = true;
    status_ = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return false;
  }
  return true;
}

int ChildProcess::WaitExit(int timeoutMs) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Running()) {
    if (std::chrono::steady_clock::now() > end) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return reaped_ ? status_ : -1;
}

void ChildProcess::Kill() {
  if (Running()) {
    ::kill(pid_, SIGKILL);
    WaitExit(2000);
  }
}

}  // namespace orvtest
