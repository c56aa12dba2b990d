#include "common/timeline.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>

#include "common/string_list.h"

namespace orv::timeline {
namespace {

int fd = -1;

}  // namespace

void Open(const std::string& exchangeFolder, std::string_view fileName) {
  if (std::getenv("ORV_TIMELINE") == nullptr) return;
  if (fd >= 0) ::close(fd);
  const std::string path = exchangeFolder + std::string(fileName);
  // One write per line with O_APPEND: a line is never split, even when the process is ended.
  fd = OpenOwnerOnlyAppend(path, true);
}

bool On() { return fd >= 0; }

void Mark(std::string_view event, std::string_view address) {
  if (fd < 0) return;
  std::string line = std::to_string(MonotonicUs());
  line += '\t';
  line += event;
  line += '\t';
  line += address;
  line += '\n';
  (void)!::write(fd, line.data(), line.size());
}

std::vector<Event> Read(const std::string& path) {
  std::vector<Event> out;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    const size_t t1 = line.find('\t');
    const size_t t2 = t1 == std::string::npos ? t1 : line.find('\t', t1 + 1);
    if (t2 == std::string::npos) continue;
    Event e;
    char* end = nullptr;
    e.us = std::strtoll(line.c_str(), &end, 10);
    if (end != line.c_str() + t1) continue;
    e.event = line.substr(t1 + 1, t2 - t1 - 1);
    e.address = line.substr(t2 + 1);
    out.push_back(std::move(e));
  }
  return out;
}

int64_t MonotonicUs() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace orv::timeline
