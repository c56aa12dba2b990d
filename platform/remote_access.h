#pragma once
// Remote access (dial-up): the operations the dialler needs, behind an interface.
//
// There is no phonebook on Linux: LinuxRemoteAccess reports remote access as missing, and the
// dialler then switches automatic dialling off. ScriptedRemoteAccess plays entries, status
// sequences and error codes for tests of the dial logic.
// Codes are those the dial-up interface reports (the caller reduces codes above 599 by 600).

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orv {

using RasConnection = std::uint32_t;  // 0 = none

// Connection states reported with a status.
inline constexpr int kRasStateConnectDevice = 2;
inline constexpr int kRasStateAuthenticate = 5;
inline constexpr int kRasStatePaused = 4096;
inline constexpr int kRasStateConnected = 8192;
inline constexpr int kRasStateDisconnected = 8193;

// Status error of a handle that does not (or no longer) exist.
inline constexpr int kRasErrorInvalidHandle = 6;

struct RasEntryList {
  bool missing = false;  // the interface is not available at all
  int error = 0;         // otherwise: the enumeration failed with this code (0 = success)
  std::vector<std::string> names;  // Windows-1251
};

struct RasDialParams {
  std::string entryName;
  std::string phoneNumber;
  std::string callbackNumber;
  std::string userName;
  std::string password;
  std::string domain;
};

struct RasDialResult {
  int error = 0;
  RasConnection handle = 0;
};

struct RasStatus {
  int error = 0;
  int state = 0;
  std::string deviceName;
  std::string deviceType;
};

class RemoteAccess {
 public:
  virtual ~RemoteAccess() = default;
  virtual RasEntryList EnumerateEntries() = 0;
  // The stored parameters of an entry; nullopt when the entry has none.
  virtual std::optional<RasDialParams> GetDialParams(const std::string& entryName) = 0;
  virtual RasDialResult Dial(const RasDialParams& params) = 0;
  virtual RasStatus GetConnectStatus(RasConnection handle) = 0;
  virtual void HangUp(RasConnection handle) = 0;
  // Text for an error code, for the message box (Windows-1251).
  virtual std::string ErrorText(int code) = 0;
};

class LinuxRemoteAccess : public RemoteAccess {
 public:
  RasEntryList EnumerateEntries() override;
  std::optional<RasDialParams> GetDialParams(const std::string& entryName) override;
  RasDialResult Dial(const RasDialParams& params) override;
  RasStatus GetConnectStatus(RasConnection handle) override;
  void HangUp(RasConnection handle) override;
  std::string ErrorText(int code) override;
};

// Plays what a test sets up and records what the dialler did.
class ScriptedRemoteAccess : public RemoteAccess {
 public:
  // --- set up by the test ---
  bool missing = false;
  int enumerationError = 0;
  std::vector<std::string> entries;
  // Entries without stored parameters (GetDialParams answers nullopt).
  std::vector<std::string> entriesWithoutParams;
  // Error returned by Dial (the handle is then 0).
  int dialError = 0;
  // Called when a played status reaches kRasStateConnected (e.g. to make the machine online).
  std::function<void(const std::string& entryName)> onConnected;
  // Called by HangUp for a live connection (e.g. to make the machine offline again).
  std::function<void(RasConnection handle)> onHangUp;

  // The statuses played for the next dial attempt, one per GetConnectStatus call; the last one
  // repeats. Attempts use the queued sequences in order; when none is left the last repeats.
  void AddAttempt(std::vector<RasStatus> statuses);

  // --- recorded ---
  std::vector<std::string> dialled;      // entry names, in dial order
  std::vector<RasConnection> hungUp;     // handles passed to HangUp
  int statusPolls = 0;

  RasEntryList EnumerateEntries() override;
  std::optional<RasDialParams> GetDialParams(const std::string& entryName) override;
  RasDialResult Dial(const RasDialParams& params) override;
  RasStatus GetConnectStatus(RasConnection handle) override;
  void HangUp(RasConnection handle) override;
  std::string ErrorText(int code) override;

 private:
  struct Live {
    std::string entry;
    std::vector<RasStatus> statuses;
    std::size_t next = 0;
    bool connectedReported = false;
  };
  std::vector<std::vector<RasStatus>> attempts_;
  std::size_t attemptIndex_ = 0;
  RasConnection nextHandle_ = 1;
  std::map<RasConnection, Live> live_;
};

// The implementation for this system.
std::unique_ptr<RemoteAccess> MakeRemoteAccess();

}  // namespace orv
