#include "main/run/run_journal.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <unordered_set>

namespace orv {

namespace {

bool WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// A record's address cannot hold a line break; one that did would read as two records.
bool Recordable(const std::string& address) {
  return !address.empty() && address.find_first_of("\r\n") == std::string::npos;
}

}  // namespace

RunJournal::~RunJournal() { Close(); }

bool RunJournal::Begin(const std::string& path, const std::string& start, const std::vector<std::string>& runList) {
  Close();
  std::string text = "S " + start + "\n";
  for (std::size_t i = 1; i < runList.size(); ++i)
    if (Recordable(runList[i])) text += "+ " + runList[i] + "\n";
  const std::string beside = path + ".new";
  const int fd = ::open(beside.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const bool written = WriteAll(fd, text) && ::fsync(fd) == 0;
  ::close(fd);
  if (!written || std::rename(beside.c_str(), path.c_str()) != 0) {
    std::remove(beside.c_str());
    return false;
  }
  fd_ = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  path_ = path;
  unsynced_ = false;
  return fd_ >= 0;
}

void RunJournal::Append(char tag, const std::string& address) {
  if (fd_ < 0 || !Recordable(address)) return;
  std::string line;
  line.reserve(address.size() + 3);
  line += tag;
  line += ' ';
  line += address;
  line += '\n';
  // One write per record: a crash cuts at most the last line.
  if (WriteAll(fd_, line)) unsynced_ = true;
}

void RunJournal::Sync(double now) {
  if (fd_ < 0 || !unsynced_ || now - lastSync_ < kSyncSeconds) return;
  ::fdatasync(fd_);
  unsynced_ = false;
  lastSync_ = now;
}

void RunJournal::Close() {
  if (fd_ < 0) return;
  if (unsynced_) ::fdatasync(fd_);
  ::close(fd_);
  fd_ = -1;
}

void RunJournal::Remove() {
  const bool open = fd_ >= 0;
  Close();
  if (open) std::remove(path_.c_str());
}

RunJournal::Contents RunJournal::Read(const std::string& path) {
  Contents c;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return c;
  std::string bytes;
  char buf[65536];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) bytes.append(buf, n);
  std::fclose(f);
  c.present = true;
  std::unordered_set<std::string> seen;
  std::size_t pos = 0;
  for (std::size_t eol; (eol = bytes.find('\n', pos)) != std::string::npos; pos = eol + 1) {
    if (eol - pos < 3 || bytes[pos + 1] != ' ') continue;
    const char tag = bytes[pos];
    std::string address = bytes.substr(pos + 2, eol - pos - 2);
    if (tag == 'S' && c.start.empty()) c.start = address;
    if (tag == '>') c.handedOut.push_back(address);
    if ((tag == '+' || tag == '>' || tag == 'S') && seen.insert(address).second)
      c.addresses.push_back(std::move(address));
  }
  return c;
}

}  // namespace orv
