#pragma once
// The run journal: a run's addresses as it goes, in a file beside the run's script. The script
// itself is written back only when a run ends; should the main program die before (killed,
// power lost) or the write-back fail (disk full), the next run of that script takes the
// journal's addresses in and goes on from there. A run that was written back removes it.
//
// One record per line, Windows-1251 bytes: "S address" (the run's start, the first line),
// "+ address" (the address joined the run list), "> address" (handed out to the console).
// The journal is begun whole (written beside, then renamed over the old one); every later
// record is one append of one write, so a crash leaves at worst a last line without its
// newline, which is not read. Appended records reach the disk at most every kSyncSeconds.
#include <string>
#include <vector>

namespace orv {

class RunJournal {
 public:
  static constexpr double kSyncSeconds = 3;

  RunJournal() = default;
  ~RunJournal();
  RunJournal(const RunJournal&) = delete;
  RunJournal& operator=(const RunJournal&) = delete;

  // Begins a journal at `path` with the start and the run list (entries from 1). False when
  // it cannot be written: the run goes on without one.
  bool Begin(const std::string& path, const std::string& start, const std::vector<std::string>& runList);
  void Added(const std::string& address) { Append('+', address); }
  void HandedOut(const std::string& address) { Append('>', address); }
  // Makes the appended records durable once the last sync is kSyncSeconds old.
  void Sync(double now);
  // Closes the journal and leaves the file for the next run.
  void Close();
  // Closes and removes the file: the run was written back.
  void Remove();
  bool IsOpen() const { return fd_ >= 0; }

  struct Contents {
    bool present = false;
    std::string start;
    std::vector<std::string> addresses;  // every address of the journal, first mention order
    std::vector<std::string> handedOut;
  };
  static Contents Read(const std::string& path);

 private:
  void Append(char tag, const std::string& address);

  int fd_ = -1;
  std::string path_;
  bool unsynced_ = false;
  double lastSync_ = -1e300;
};

}  // namespace orv
