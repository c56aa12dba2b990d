#include "platform/remote_access.h"

#include <algorithm>

namespace orv {

// Error code of a missing remote-access service, for callers that show it.
static constexpr int kRasNotInstalled = 711;

RasEntryList LinuxRemoteAccess::EnumerateEntries() {
  RasEntryList list;
  list.missing = true;
  list.error = kRasNotInstalled;
  return list;
}

std::optional<RasDialParams> LinuxRemoteAccess::GetDialParams(const std::string&) {
  return std::nullopt;
}

RasDialResult LinuxRemoteAccess::Dial(const RasDialParams&) { return {kRasNotInstalled, 0}; }

RasStatus LinuxRemoteAccess::GetConnectStatus(RasConnection) {
  RasStatus s;
  s.error = kRasErrorInvalidHandle;
  return s;
}

void LinuxRemoteAccess::HangUp(RasConnection) {}

std::string LinuxRemoteAccess::ErrorText(int code) {
  return "Remote access error " + std::to_string(code);
}

void ScriptedRemoteAccess::AddAttempt(std::vector<RasStatus> statuses) {
  attempts_.push_back(std::move(statuses));
}

RasEntryList ScriptedRemoteAccess::EnumerateEntries() {
  RasEntryList list;
  list.missing = missing;
  list.error = missing ? kRasNotInstalled : enumerationError;
  if (!missing && enumerationError == 0) list.names = entries;
  return list;
}

std::optional<RasDialParams> ScriptedRemoteAccess::GetDialParams(const std::string& entryName) {
  if (missing) return std::nullopt;
  if (std::find(entries.begin(), entries.end(), entryName) == entries.end()) return std::nullopt;
  if (std::find(entriesWithoutParams.begin(), entriesWithoutParams.end(), entryName) !=
      entriesWithoutParams.end())
    return std::nullopt;
  RasDialParams p;
  p.entryName = entryName;
  return p;
}

RasDialResult ScriptedRemoteAccess::Dial(const RasDialParams& params) {
  dialled.push_back(params.entryName);
  if (missing) return {kRasNotInstalled, 0};
  if (dialError != 0) return {dialError, 0};
  Live live;
  live.entry = params.entryName;
  if (!attempts_.empty()) {
    std::size_t i = std::min(attemptIndex_, attempts_.size() - 1);
    live.statuses = attempts_[i];
    ++attemptIndex_;
  }
  RasConnection handle = nextHandle_++;
  live_[handle] = std::move(live);
  return {0, handle};
}

RasStatus ScriptedRemoteAccess::GetConnectStatus(RasConnection handle) {
  ++statusPolls;
  auto it = live_.find(handle);
  if (it == live_.end()) {
    RasStatus gone;
    gone.error = kRasErrorInvalidHandle;
    return gone;
  }
  Live& live = it->second;
  if (live.statuses.empty()) return RasStatus{};
  std::size_t i = std::min(live.next, live.statuses.size() - 1);
  if (live.next < live.statuses.size()) ++live.next;
  RasStatus s = live.statuses[i];
  if (s.error == 0 && s.state == kRasStateConnected && !live.connectedReported) {
    live.connectedReported = true;
    if (onConnected) onConnected(live.entry);
  }
  return s;
}

void ScriptedRemoteAccess::HangUp(RasConnection handle) {
  hungUp.push_back(handle);
  if (live_.erase(handle) != 0 && onHangUp) onHangUp(handle);
}

std::string ScriptedRemoteAccess::ErrorText(int code) {
  return "Scripted error " + std::to_string(code);
}

std::unique_ptr<RemoteAccess> MakeRemoteAccess() { return std::make_unique<LinuxRemoteAccess>(); }

}  // namespace orv
