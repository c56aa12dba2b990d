// A private program folder for tests that run the real executables:
//   root/prog/     kuvet, orv and orvrend (hard links, or copies across file systems), prog/temp/
//   root/config/   XDG_CONFIG_HOME (the configuration store lives in config/belmor/orvanta.conf)
//   root/coll/     the collection folder
// The constructor points XDG_CONFIG_HOME of the test process at config/ so that settings the test
// writes are the ones the child reads. When orv is not built yet, a placeholder file of 4096 bytes
// stands in for it (the console only checks that it is there and not tiny).
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"

namespace orvtest {

class ProgramFolder {
 public:
  explicit ProgramFolder(bool withOrv = true);
  std::string Prog() const { return tmp_.Dir() + "prog/"; }
  std::string Exchange() const { return Prog() + "temp/"; }
  std::string Config() const { return tmp_.Dir() + "config/"; }
  std::string Collection() const { return tmp_.Dir() + "coll/"; }
  std::string Root() const { return tmp_.Dir(); }
  // Settings for runs of loopback sites: localhost mode (on line without any network) and this
  // folder's collection.
  void UseLoopbackSites() const;

 private:
  TempFolder tmp_;
};

// A child process started with posix_spawn; terminated (SIGKILL) on destruction if still running.
class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts program with args in folder cwd; env entries are added to (or replace) the environment.
  bool Start(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
             const std::map<std::string, std::string>& env = {});
  pid_t Pid() const { return pid_; }
  bool Running();
  // Waits for the end; returns the exit status (or -1 on timeout / signal).
  int WaitExit(int timeoutMs);
  void Kill();

 private:
  pid_t pid_ = -1;
  int status_ = -1;
  bool reaped_ = false;
};

}  // namespace orvtest
