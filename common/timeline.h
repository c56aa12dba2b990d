#pragma once
// The per-address timeline of a run, for finding where a run's time goes. Off unless the
// environment variable ORV_TIMELINE is set (the pace benchmarks set it; the main program passes
// its environment on to the console): then each program appends one line per event to its own
// file in the exchange folder, "<monotonic microseconds>\t<event>\t<address>". The monotonic
// clock is the system's, so the two files merge into one timeline. Off, a mark costs one test
// of a flag.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orv::timeline {

inline constexpr std::string_view kMainFile = "timeline-orv";
inline constexpr std::string_view kConsoleFile = "timeline-kuvet";

// Starts the file anew when the environment asks for a timeline; otherwise does nothing.
void Open(const std::string& exchangeFolder, std::string_view fileName);
bool On();
void Mark(std::string_view event, std::string_view address = {});

struct Event {
  int64_t us = 0;
  std::string event;
  std::string address;
};
// Every well-formed line of a timeline file, in file order.
std::vector<Event> Read(const std::string& path);

int64_t MonotonicUs();

}  // namespace orv::timeline
