// The network component each channel hosts: one HTTP/1.1 transfer per instance, run by libcurl on
// a worker thread, with its events delivered to the Qt event loop of the thread that created the
// component, in the order they happened.
//
// What the channel relies on:
// - The header block is sent as the request's header lines after the request line, Host and
//   Accept-Encoding (when asked for, below). A proxy is used only when given.
// - Every encoding libcurl can undo is asked for (Accept-Encoding), except with a Range line
//   (a resumed copy goes on with plain bytes) and for names of packed files (".gz", ".zip",
//   ...), which are stored as they come. An encoded body is written decoded: its announced
//   length counts the encoded bytes, so it is reported as -1, and the size bounds, the byte
//   counts and the completeness hold for the decoded bytes. An encoded 206 is not appended.
// - No redirect is followed but one: an answer that moves the page to the other scheme (the
//   same host and path under https:// for http://, or back) is fetched there at once, once per
//   fetch; AddressMoved names the new address before the events of that answer, and the
//   events of the moving answer itself are not raised.
// - HeadersReceived carries "HTTP/1.1 <code> <standard phrase>" CR LF and the response's header
//   lines as received; it is handled on the event loop before any body byte touches the file.
// - Body bytes reach the local file only for 2xx: appended for a 206 whose Content-Range starts
//   at the requested offset, from byte 0 for other 2xx answers. The file carries the system mark
//   while it is written. 4xx/5xx bodies are never saved; 304 leaves the copy untouched.
// - With keepCopy (a finished copy is there) a body from byte 0 is written to a file beside it
//   and renamed over the copy only once it is whole: a cut body, a refusal, a stop or a full disk
//   leave the copy exactly as it was. TransferDone's complete flag then says it was replaced.
// - TransferDone codes: 0 finished, 777 not found (404, 410), 976 aborted, 975 refused by the
//   size bounds (by the announced length, or by the bytes as they arrive when none was
//   announced; the local file is removed), 895 connection lost during the transfer, 998 the
//   body could not be written to the local file (full disk, no permission; what was written
//   stays, with the system mark; a local file that cannot be opened or a copy that cannot be
//   replaced counts the same), 999 anything else. Network errors are announced first as
//   "Err:" + the Windows Sockets number of the same condition; a server certificate that is
//   not accepted as "Err:12045" (the number WinINet gives an unknown authority), ending with 999.
// - https:// addresses are verified against the system's certificate store, or against the PEM
//   bundle named by SSL_CERT_FILE when that is set, unless verifyCertificates is false. Through
//   a proxy they go by CONNECT; a Proxy-Authorization line of the header block then goes to the
//   proxy with the CONNECT request only, never through the tunnel to the server. The proxy's
//   answer to CONNECT is never reported as the response: only the server's final header block.
// - The proxy's own failures end with 999 after their own "Err:" numbers: a login it refused
//   (407, to CONNECT or to a plain request) as "Err:12407", no connection to the proxy at all
//   (refused, unknown name) as "Err:12461".
// - A 3xx answer with a Location ends with the absolute target as redirect target.
// - Abort ends the transfer within about 100 ms; after destruction no event of the instance runs.
// - Destruction never waits for the network: the transfer's thread ends on its own.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace orv::console {

using EventTime = std::chrono::steady_clock::time_point;

class NetListener {
 public:
  virtual ~NetListener() = default;
  virtual void HeadersReceived(const std::string& headers, int64_t contentLength) = 0;
  virtual void StatusMessage(const std::string& text, EventTime time) = 0;
  virtual void DataReceived(int64_t bytes, EventTime time) = 0;
  virtual void TransferDone(int code, bool complete, const std::string& redirectTarget) = 0;
  // The transfer goes on at address, the page's address under the other scheme.
  virtual void AddressMoved(const std::string& address) = 0;
};

struct FetchArgs {
  std::string address;
  uint16_t proxyPort = 0;  // 0: direct
  std::string proxyHost;   // empty: direct
  std::string headerBlock; // lines each ending CR LF
  std::string localPath;
  int timeoutSeconds = 120;
  std::string collection;
  bool exists = false;
  bool keepCopy = false;   // a finished copy is there: replaced only by a whole new body
  int64_t minSize = 0;     // size bounds apply only when maxSize != 0
  int64_t maxSize = 0;
  bool verifyCertificates = true;  // https: refuse a server whose certificate does not verify
};

// Windows Sockets numbers used in "Err:" status texts.
enum : int {
  kWsaAborted = 10053,
  kWsaReset = 10054,
  kWsaTimedOut = 10060,
  kWsaRefused = 10061,
  kWsaHostNotFound = 11001,
  kInetInvalidCertificate = 12045,  // the server's certificate was not accepted
};

// The "Err:" number of a connection that broke during a transfer, from the system's error:
// 10053 when this machine dropped it (the connection aborted here, or the network or route
// behind it went away: the line went down), 10054 when the server's side ended it.
int LostConnectionCode(long osErrno);

class NetComponent {
 public:
  // Events go to listener on the calling thread's event loop (a QCoreApplication must exist).
  explicit NetComponent(NetListener* listener);
  ~NetComponent();
  NetComponent(const NetComponent&) = delete;
  NetComponent& operator=(const NetComponent&) = delete;

  void BeginAddress(const std::string& address);
  // Starts the transfer and returns at once; false when it cannot start (nothing will follow).
  bool Fetch(const FetchArgs& args);
  void Abort(const std::string& statusText, bool flag);

  // For the end of the process: waits until every transfer thread has ended, at most limit.
  static bool WaitForWorkers(std::chrono::milliseconds limit);

  struct Shared;

 private:
  std::shared_ptr<Shared> shared_;
};

}  // namespace orv::console
