#pragma once
// Program folder, exchange folder, detached start and the single-instance lock.

#include <sys/types.h>

#include <string>
#include <vector>

namespace orv {

// Folder of the running executable (through /proc/self/exe), ending in "/".
std::string ProgramFolder();

// ProgramFolder() + "temp/".
std::string ExchangeFolder();

// Starts programPath detached, with no arguments and no window, in the program's own folder
// (the program folder for the programs that live there).
// False when it cannot be started. pid (optional) receives the new process id.
bool StartDetached(const std::string& programPath, pid_t* pid = nullptr);

// True while a process with this id exists and has not ended (a zombie counts as ended).
bool ProcessAlive(pid_t pid);

// Resident memory in bytes of a process and every process descended from it (a browser
// engine's helper processes among them); 0 when the process is gone.
long long ProcessTreeResidentBytes(pid_t pid);

// The command that opens file in the user's editor: $VISUAL, else $EDITOR, else xdg-open.
std::vector<std::string> EditorCommand(const std::string& file);

// "Another instance is already running": an flock held for the life of the object. The lock
// file is not inherited by started programs.
class SingleInstanceLock {
 public:
  // Locks <ExchangeFolder()><programName>.lock ("orv", "kuvet"), creating the folder.
  explicit SingleInstanceLock(const std::string& programName);
  // Locks the given file (tests, other folders).
  static SingleInstanceLock AtPath(const std::string& lockPath);

  SingleInstanceLock(SingleInstanceLock&& other) noexcept;
  SingleInstanceLock& operator=(SingleInstanceLock&& other) noexcept;
  SingleInstanceLock(const SingleInstanceLock&) = delete;
  SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;
  ~SingleInstanceLock();

  // False when another process holds the lock (or the file cannot be opened).
  bool Acquired() const { return fd_ >= 0; }
  // True only when the lock is refused because another process holds it: "another instance
  // is already running". A lock file that cannot be created (a read-only program folder) is
  // not another instance; the start-up checks that follow report that folder.
  bool HeldByAnother() const { return heldByAnother_; }

 private:
  SingleInstanceLock() = default;
  void Lock(const std::string& lockPath);
  int fd_ = -1;
  bool heldByAnother_ = false;
};

}  // namespace orv
