#include "console/net_component.h"

#include "common/address_scheme.h"
#include "common/fetch_outcome.h"
#include "common/text.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>

#include "console/request.h"
#include "console/response.h"
#include "console/run_cookies.h"
#include "platform/file_attributes.h"

namespace orv::console {
namespace {

std::once_flag gCurlInit;
std::atomic<int> gRunningWorkers{0};

bool IsSecureAddress(const std::string& address) {
  return orv::StartsWithNoCase(address, "https://");
}

// The server's certificate (or its name, or its chain) was not accepted.
bool IsCertificateFailure(CURLcode code) {
  switch (code) {
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
      return true;
    default:
      return false;
  }
}

// Takes the Proxy-Authorization lines out of `headers` into `proxyHeaders`; returns the rest.
curl_slist* MoveProxyLines(curl_slist* headers, curl_slist*& proxyHeaders) {
  curl_slist* kept = nullptr;
  for (curl_slist* l = headers; l != nullptr; l = l->next) {
    if (orv::StartsWithNoCase(l->data, "Proxy-Authorization:")) {
      proxyHeaders = curl_slist_append(proxyHeaders, l->data);
    } else if (!orv::StartsWithNoCase(l->data, "Proxy-Connection:")) {
      kept = curl_slist_append(kept, l->data);
    }
  }
  curl_slist_free_all(headers);
  return kept;
}

// What the worker does with the body once the headers are known.
enum class BodyPlan { Undecided, WriteFresh, Append, Discard };

int64_t ParseContentLength(const std::string& lowerHeaders) {
  size_t p = lowerHeaders.find("\ncontent-length:");
  if (p == std::string::npos) return -1;
  const char* s = lowerHeaders.c_str() + p + 16;
  while (*s == ' ' || *s == '\t') ++s;
  char* end = nullptr;
  long long v = std::strtoll(s, &end, 10);
  if (end == s || v < 0) return -1;
  return v;
}

// Start offset of "content-range: bytes N-", or -1.
int64_t ContentRangeStart(const std::string& lowerHeaders) {
  size_t p = lowerHeaders.find("content-range: bytes ");
  if (p == std::string::npos) return -1;
  const char* s = lowerHeaders.c_str() + p + 21;
  char* end = nullptr;
  long long v = std::strtoll(s, &end, 10);
  return end == s ? -1 : v;
}

// Offset requested by the "Range: bytes=N-" line of the header block, or -1.
int64_t RequestedRange(const std::string& block) {
  size_t p = LowerCase(block).find("range: bytes=");
  if (p == std::string::npos) return -1;
  return std::strtoll(block.c_str() + p + 13, nullptr, 10);
}

// A file beside the local copy, for a body that replaces the copy only once it is whole. The name
// is short (the copy's own name may already take the whole length a name may have) and unique
// to the transfer, so a transfer that ends late never removes the file of the one after it.
std::string SideFileFor(const std::string& localPath) {
  static std::atomic<unsigned> counter{0};
  const size_t slash = localPath.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : localPath.substr(0, slash + 1);
  return folder + ".orvnew" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
}

// Value of the response's Location line as sent (the header text keeps its case), trimmed.
std::string LocationOf(const std::string& headerText, const std::string& lowerHeaders) {
  const size_t p = lowerHeaders.find("\nlocation:");
  if (p == std::string::npos) return {};
  const size_t from = p + 10, end = headerText.find("\r\n", from);
  return orv::Trim(headerText.substr(from, end == std::string::npos ? std::string::npos : end - from));
}

// The body travels in an encoding (gzip, br, ...) that libcurl undoes before it is written.
bool EncodedBody(const std::string& lowerHeaders) {
  const size_t p = lowerHeaders.find("\ncontent-encoding:");
  if (p == std::string::npos) return false;
  const size_t from = p + 18, end = lowerHeaders.find("\r\n", from);
  const std::string value = orv::Trim(lowerHeaders.substr(from, end == std::string::npos ? std::string::npos : end - from));
  return !value.empty() && value != "identity";
}

// A file that is a compressed stream itself gains nothing by an encoding, and a server that
// labels such a file with its own encoding would have the copy stored unpacked under the
// packed name: for these no encoding is asked for, and the body is stored as it comes.
bool PackedByName(const std::string& address) {
  std::string path = LowerCase(address.substr(0, address.find_first_of("?#")));
  for (const char* ending : {".gz", ".tgz", ".svgz", ".bz2", ".xz", ".zst", ".br", ".zip", ".7z"})
    if (path.ends_with(ending)) return true;
  return false;
}

}  // namespace

struct NetComponent::Shared : std::enable_shared_from_this<NetComponent::Shared> {
  NetListener* listener = nullptr;
  QPointer<QObject> context;
  std::mutex mu;
  std::condition_variable cv;
  std::atomic<bool> abort{false};
  std::atomic<bool> dead{false};
  bool headersHandled = false;
  bool followedMove = false;  // worker side: one move to the other scheme per fetch
  std::string abortText = "Stopped";
  CURLM* multi = nullptr;
  bool started = false;

  // Progress coalescing: the worker adds, the event loop takes.
  std::atomic<int64_t> pendingBytes{0};
  std::atomic<bool> progressQueued{false};
  int64_t deliveredBytes = 0;  // event-loop side
  std::chrono::steady_clock::time_point lastProgressPost{};  // worker side

  // Worker-side transfer state.
  FetchArgs args;
  std::string headerText;
  std::string lowerHeaders;
  int status = 0;
  bool inHeaders = true;
  BodyPlan plan = BodyPlan::Undecided;
  int endCode = kDoneOk;
  bool sizeRefused = false;
  int fd = -1;
  std::string bodyPath;  // where the body goes: the local file, or the side file of a kept copy
  bool closedWell = true;  // the body's file was closed without an error
  int64_t written = 0;
  int64_t contentLength = -1;
  bool writeFailed = false;
  bool askedEncodings = false;  // the request asked for every encoding libcurl can undo
  bool decoded = false;         // the body arrives encoded and is written decoded
  std::string movedTo;          // the page moved to the other scheme: fetched there at once

  // Worker side: a fresh state for the next request of the same fetch.
  void ResetTransfer() {
    headerText.clear();
    lowerHeaders.clear();
    status = 0;
    inHeaders = true;
    plan = BodyPlan::Undecided;
    endCode = kDoneOk;
    sizeRefused = false;
    written = 0;
    contentLength = -1;
    writeFailed = false;
    decoded = false;
    movedTo.clear();
  }

  void Post(std::function<void()> fn) {
    std::lock_guard<std::mutex> lock(mu);
    if (dead.load() || !context) return;
    std::shared_ptr<Shared> self = shared_from_this();
    QMetaObject::invokeMethod(
        context.data(), [self, fn = std::move(fn)] {
          if (!self->dead.load()) fn();
        },
        Qt::QueuedConnection);
  }

  void PostStatus(const std::string& text) {
    NetListener* l = listener;
    Post([l, text] { l->StatusMessage(text, std::chrono::steady_clock::now()); });
  }

  void FlushProgress() {
    // Runs on the event loop.
    progressQueued.store(false);
    int64_t n = pendingBytes.exchange(0);
    if (n <= 0) return;
    deliveredBytes += n;
    auto now = std::chrono::steady_clock::now();
    listener->DataReceived(n, now);
    if (dead.load()) return;
    listener->StatusMessage("++" + std::to_string(deliveredBytes), now);
  }

  // At most one progress event every 20 ms: waking the event loop for every received block
  // costs more than the transfer itself at loopback speed. The end flushes the rest.
  void QueueProgress() {
    auto now = std::chrono::steady_clock::now();
    if (now - lastProgressPost < std::chrono::milliseconds(20)) return;
    if (progressQueued.exchange(true)) return;
    lastProgressPost = now;
    Post([this] { FlushProgress(); });
  }

  // Called by curl on the worker when the final header block is complete.
  void HeadersComplete() {
    inHeaders = false;
    contentLength = ParseContentLength(lowerHeaders);
    // An announced length counts the encoded bytes: the decoded file's length is known only
    // at its end, so the size bounds and the completeness judge it as a body without one.
    decoded = askedEncodings && EncodedBody(lowerHeaders);
    if (decoded) contentLength = -1;
    if (!followedMove && status >= 300 && status < 400 && status != 304) {
      const std::string location = LocationOf(headerText, lowerHeaders);
      if (IsSchemeMove(args.address, location) || IsSchemeMove(RequestTarget(args.address), location)) {
        // The same page under the other scheme: the channel hears of the answer that follows.
        movedTo = location;
        plan = BodyPlan::Discard;
        endCode = kDoneOk;
        return;
      }
    }
    {
      std::unique_lock<std::mutex> lock(mu);
      headersHandled = false;
    }
    std::string text = headerText;
    int64_t len = contentLength;
    NetListener* l = listener;
    Post([this, l, text, len] {
      l->HeadersReceived(text, len);
      std::lock_guard<std::mutex> lock(mu);
      headersHandled = true;
      cv.notify_all();
    });
    std::string statusLine = text.substr(0, text.find("\r\n"));
    PostStatus(statusLine);
    // The body may only reach the file once the channel has seen the headers (it deletes a
    // partial copy when a full body follows).
    {
      std::unique_lock<std::mutex> lock(mu);
      cv.wait(lock, [this] { return headersHandled || abort.load() || dead.load(); });
    }
    if (abort.load()) return;
    Decide();
  }

  void Decide() {
    plan = BodyPlan::Discard;
    if (status >= 200 && status < 300) {
      if (args.maxSize != 0 && contentLength >= 0 &&
          (contentLength < args.minSize || contentLength > args.maxSize)) {
        sizeRefused = true;
        endCode = kDoneTooLarge;
        return;
      }
      int64_t requested = RequestedRange(args.headerBlock);
      if (status == 206) {
        int64_t start = ContentRangeStart(lowerHeaders);
        long long have = FileLength(args.localPath);
        // An encoded piece would be appended still encoded to a copy of plain bytes.
        if (requested < 0 || start != requested || have != requested || EncodedBody(lowerHeaders)) {
          // A range we did not ask for, or a copy that changed meanwhile: appending would
          // corrupt the file and writing a middle piece from byte 0 would too.
          endCode = kDoneFailed;
          return;
        }
        bodyPath = args.localPath;
        fd = ::open(bodyPath.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        plan = BodyPlan::Append;
      } else {
        bodyPath = args.keepCopy ? SideFileFor(args.localPath) : args.localPath;
        fd = ::open(bodyPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        plan = BodyPlan::WriteFresh;
      }
      if (fd < 0) {
        // A read-only folder, a name the file system refuses: the body cannot be saved.
        plan = BodyPlan::Discard;
        bodyPath.clear();
        writeFailed = true;
        return;
      }
      SetSystemMark(bodyPath);
      endCode = kDoneOk;
      return;
    }
    if (status == 404 || status == 410) {
      endCode = kDoneNotFound;
    } else if (status == 304 || (status >= 300 && status < 400)) {
      endCode = kDoneOk;
    } else {
      endCode = kDoneFailed;
    }
  }

  static size_t OnHeader(char* data, size_t size, size_t n, void* user) {
    auto* s = static_cast<Shared*>(user);
    size_t len = size * n;
    std::string line(data, len);
    if (s->abort.load()) return 0;
    if (line.rfind("HTTP/", 0) == 0) {
      // A new response starts (after an interim 1xx the final one follows).
      size_t sp = line.find(' ');
      s->status = sp == std::string::npos ? 0 : std::atoi(line.c_str() + sp + 1);
      s->headerText = "HTTP/1.1 " + std::to_string(s->status) + " " + ReasonPhrase(s->status) + "\r\n";
      s->inHeaders = true;
      return len;
    }
    if (line == "\r\n" || line == "\n") {
      if (s->status >= 100 && s->status < 200) return len;
      s->headerText += "\r\n";
      s->lowerHeaders = LowerCase(s->headerText);
      s->HeadersComplete();
      return s->abort.load() ? 0 : len;
    }
    // The cookie engine keeps it; the run's jar is written once the transfer is over.
    if (orv::StartsWithNoCase(line, "set-cookie:")) RunCookies::Instance().NoteSetCookie();
    s->headerText += line;
    return len;
  }

  static size_t OnBody(char* data, size_t size, size_t n, void* user) {
    auto* s = static_cast<Shared*>(user);
    size_t len = size * n;
    if (s->abort.load()) return 0;
    if (s->plan == BodyPlan::Undecided || s->plan == BodyPlan::Discard) {
      // Redirect and error bodies are not kept; stop reading them unless they are small.
      return s->endCode == kDoneOk && s->status >= 300 && s->status < 400 ? len : 0;
    }
    // Without an announced length the maximum size holds for the bytes as they come: an endless
    // body must not fill the disk.
    if (s->args.maxSize > 0 && s->written + static_cast<int64_t>(len) > s->args.maxSize) {
      s->sizeRefused = true;
      return 0;
    }
    size_t done = 0;
    while (done < len) {
      ssize_t w = ::write(s->fd, data + done, len - done);
      if (w < 0) {
        if (errno == EINTR) continue;
        s->writeFailed = true;
        return 0;
      }
      done += static_cast<size_t>(w);
    }
    s->written += static_cast<int64_t>(len);
    s->pendingBytes.fetch_add(static_cast<int64_t>(len));
    s->QueueProgress();
    return len;
  }

  // One request of the fetch, from the request line to the closed file; false when it could
  // not be set up.
  bool Perform(CURLcode& result, std::string& target, int& lostCode, long& connectStatus) {
    CURL* easy = curl_easy_init();
    if (!easy) return false;
    curl_slist* headers = nullptr;
    size_t pos = 0;
    const std::string& block = args.headerBlock;
    while (pos < block.size()) {
      size_t eol = block.find("\r\n", pos);
      std::string line = block.substr(pos, eol == std::string::npos ? std::string::npos : eol - pos);
      if (!line.empty()) headers = curl_slist_append(headers, line.c_str());
      if (eol == std::string::npos) break;
      pos = eol + 2;
    }
    // curl would add its own lines otherwise.
    headers = curl_slist_append(headers, "Expect:");
    std::string proxy;
    curl_slist* proxyHeaders = nullptr;
    const bool secure = IsSecureAddress(args.address);
    const bool viaProxy = !args.proxyHost.empty() && args.proxyPort != 0;
    if (viaProxy) {
      proxy = "http://" + args.proxyHost + ":" + std::to_string(args.proxyPort);
      headers = curl_slist_append(headers, "Proxy-Connection:");
      // Through a tunnel the request's own lines reach the server: the proxy's credentials
      // belong to the CONNECT request alone.
      if (secure) headers = MoveProxyLines(headers, proxyHeaders);
    }

    // libcurl refuses blanks and raw 8-bit bytes, which decoded links of pages do carry.
    std::string url = RequestTarget(args.address);
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_PROXY, proxy.c_str());  // "" also ignores *_proxy variables
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(easy, CURLOPT_PROXYHEADER, proxyHeaders);
    // The proxy's answer to CONNECT ("200 Connection established") is not the server's: taken
    // for it, it would replace a partial copy before the server's own 206 came. Its status
    // is read after the transfer instead.
    curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, static_cast<long>(args.timeoutSeconds > 0 ? args.timeoutSeconds : 120));
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, 512L * 1024L);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Shared::OnHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Shared::OnBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    // The run's cookies: kept from every response and sent back by libcurl's rules.
    RunCookies::Instance().Attach(easy);
    // "": every encoding this libcurl can undo. A resumed copy goes on with the plain bytes at
    // its offset, so a range is never asked for encoded.
    askedEncodings = RequestedRange(args.headerBlock) < 0 && !PackedByName(args.address);
    if (askedEncodings) curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
    if (secure) {
      // A private authority's bundle, as OpenSSL's own tools take it; the system's store
      // (ca-certificates) otherwise.
      if (const char* bundle = std::getenv("SSL_CERT_FILE"); bundle != nullptr && *bundle != '\0') {
        curl_easy_setopt(easy, CURLOPT_CAINFO, bundle);
      }
      const long verify = args.verifyCertificates ? 1L : 0L;
      curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, verify);
      curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, args.verifyCertificates ? 2L : 0L);
    }
#if LIBCURL_VERSION_NUM >= 0x075700
    // An abandoned name lookup is left to finish on its own instead of being waited for.
    curl_easy_setopt(easy, CURLOPT_QUICK_EXIT, 1L);
#endif

    curl_multi_add_handle(multi, easy);
    int running = 1;
    result = CURLE_OK;
    while (running && !abort.load()) {
      if (curl_multi_perform(multi, &running) != CURLM_OK) {
        result = CURLE_FAILED_INIT;
        break;
      }
      if (!running) break;
      curl_multi_poll(multi, nullptr, 0, 100, nullptr);
    }
    int msgs = 0;
    while (CURLMsg* m = curl_multi_info_read(multi, &msgs))
      if (m->msg == CURLMSG_DONE) result = m->data.result;

    target.clear();
    if (!abort.load() && status >= 300 && status < 400 && status != 304) {
      char* loc = nullptr;
      if (curl_easy_getinfo(easy, CURLINFO_REDIRECT_URL, &loc) == CURLE_OK && loc) target = loc;
    }
    long osErrno = 0;
    curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &osErrno);
    connectStatus = 0;  // the proxy's answer to CONNECT; 0 when none came
    curl_easy_getinfo(easy, CURLINFO_HTTP_CONNECTCODE, &connectStatus);
    lostCode = LostConnectionCode(osErrno);
    curl_multi_remove_handle(multi, easy);
    curl_easy_cleanup(easy);
    curl_slist_free_all(headers);
    curl_slist_free_all(proxyHeaders);
    closedWell = true;
    if (fd >= 0) {
      closedWell = ::close(fd) == 0;
      fd = -1;
    }
    return true;
  }

  void Run() {
    CURLcode result = CURLE_OK;
    std::string target;
    int lostCode = kWsaReset;
    long connectStatus = 0;
    const bool viaProxy = !args.proxyHost.empty() && args.proxyPort != 0;
    for (;;) {
      if (!Perform(result, target, lostCode, connectStatus)) {
        Finish(kDoneFailed, false, {});
        return;
      }
      if (movedTo.empty() || abort.load() || result != CURLE_OK) break;
      // The page moved to the other scheme: fetched there in the same transfer, once.
      followedMove = true;
      args.address = movedTo;
      NetListener* l = listener;
      Post([l, moved = movedTo] { l->AddressMoved(moved); });
      ResetTransfer();
    }
    // Without an announced length (or with the length of an encoded body) the minimum size
    // is known to be missed only now.
    if (result == CURLE_OK && (plan == BodyPlan::WriteFresh || plan == BodyPlan::Append) && args.maxSize != 0 &&
        contentLength < 0 && written < args.minSize)
      sizeRefused = true;
    const bool toSideFile = plan == BodyPlan::WriteFresh && bodyPath != args.localPath;
    if (toSideFile) {
      const bool whole = !abort.load() && !writeFailed && !sizeRefused && result == CURLE_OK &&
                         (contentLength < 0 || written >= contentLength);
      if (whole && closedWell && ::rename(bodyPath.c_str(), args.localPath.c_str()) == 0) {
        bodyPath = args.localPath;
      } else {
        ::unlink(bodyPath.c_str());
        if (whole) writeFailed = true;  // the copy could not be replaced
      }
    }
    // Progress still pending goes first: a later "++" text would clear the error number that
    // the end of the transfer is judged by.
    Post([this] { FlushProgress(); });

    if (abort.load()) {
      std::string text;
      {
        std::lock_guard<std::mutex> lock(mu);
        text = abortText;
      }
      PostStatus(text);
      Finish(kDoneStopped, false, {});
      return;
    }
    if (writeFailed) {
      Finish(kDoneWriteFailed, false, {});
      return;
    }
    if (sizeRefused) {
      if ((plan == BodyPlan::WriteFresh && !toSideFile) || plan == BodyPlan::Append) ::unlink(args.localPath.c_str());
      PostStatus("Err:" + std::to_string(kErrSizeRefused));
      Finish(kDoneTooLarge, false, {});
      return;
    }
    if (inHeaders) {
      // No complete answer arrived.
      if (viaProxy) {
        if (connectStatus == 407) {
          PostStatus("Err:" + std::to_string(kErrProxyLogin));
          Finish(kDoneFailed, false, {});
          return;
        }
        // No answer from the proxy at all: it refused the connection, or its name is unknown
        // (a server the proxy cannot reach is told by the proxy's answer instead).
        if (connectStatus == 0 && (result == CURLE_COULDNT_CONNECT || result == CURLE_COULDNT_RESOLVE_PROXY)) {
          PostStatus("Err:" + std::to_string(kErrProxyDown));
          Finish(kDoneFailed, false, {});
          return;
        }
      }
      if (IsCertificateFailure(result)) {
        PostStatus("Err:" + std::to_string(kInetInvalidCertificate));
        Finish(kDoneFailed, false, {});
        return;
      }
      switch (result) {
        case CURLE_COULDNT_CONNECT: PostStatus("Err:" + std::to_string(kWsaRefused)); break;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY: PostStatus("Err:" + std::to_string(kWsaHostNotFound)); break;
        case CURLE_OPERATION_TIMEDOUT: PostStatus("Err:" + std::to_string(kWsaTimedOut)); break;
        case CURLE_PEER_FAILED_VERIFICATION: PostStatus("Err:" + std::to_string(kErrCertificate)); break;
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
        case CURLE_GOT_NOTHING:
          PostStatus("Err:" + std::to_string(lostCode));
          Finish(kDoneLost, false, {});
          return;
        default: break;
      }
      Finish(kDoneFailed, false, {});
      return;
    }
    if (plan == BodyPlan::WriteFresh || plan == BodyPlan::Append) {
      if (result == CURLE_OK) {
        bool complete = contentLength < 0 || written >= contentLength;
        Finish(kDoneOk, complete, {});
      } else if (result == CURLE_OPERATION_TIMEDOUT) {
        PostStatus("Err:" + std::to_string(kWsaTimedOut));
        Finish(kDoneLost, false, {});
      } else {
        // Closed or reset before the announced end: the copy stays marked for resumption.
        PostStatus("Err:" + std::to_string(lostCode));
        Finish(kDoneLost, false, {});
      }
      return;
    }
    // A proxy asking for a login answers a plain request itself.
    if (viaProxy && status == 407) PostStatus("Err:" + std::to_string(kErrProxyLogin));
    if (status == 401 || status == 403) PostStatus("Err:" + std::to_string(kErrAccessDenied));
    Finish(endCode, false, target);
  }

  void Finish(int code, bool complete, std::string target) {
    NetListener* l = listener;
    Post([l, code, complete, target] { l->TransferDone(code, complete, target); });
  }

  ~Shared() {
    if (multi) curl_multi_cleanup(multi);
  }
};

int LostConnectionCode(long osErrno) {
  switch (osErrno) {
    case ECONNABORTED:
    case ENETDOWN:
    case ENETUNREACH:
    case EHOSTUNREACH: return kWsaAborted;
    default: return kWsaReset;
  }
}

NetComponent::NetComponent(NetListener* listener) : shared_(std::make_shared<Shared>()) {
  std::call_once(gCurlInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  shared_->listener = listener;
  shared_->context = new QObject();
  shared_->multi = curl_multi_init();
}

NetComponent::~NetComponent() {
  {
    std::lock_guard<std::mutex> lock(shared_->mu);
    shared_->dead.store(true);
    shared_->abort.store(true);
    shared_->cv.notify_all();
  }
  if (shared_->multi) curl_multi_wakeup(shared_->multi);
  // The worker is not waited for: it may be stuck in a name lookup or a file open, and this
  // runs on the event loop of all twenty channels. It holds the shared state until it ends,
  // and after `dead` it posts nothing.
  // Pending events of this instance are discarded with their context; deleteLater keeps a
  // handler of this instance that is still running safe.
  if (shared_->context) shared_->context->deleteLater();
}

void NetComponent::BeginAddress(const std::string&) {}

bool NetComponent::WaitForWorkers(std::chrono::milliseconds limit) {
  auto end = std::chrono::steady_clock::now() + limit;
  while (gRunningWorkers.load() > 0) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

bool NetComponent::Fetch(const FetchArgs& args) {
  if (shared_->started || !shared_->multi) return false;
  shared_->started = true;
  shared_->args = args;
  shared_->args.address = StripLineBreaks(args.address);
  std::shared_ptr<Shared> s = shared_;
  try {
    ++gRunningWorkers;
    std::thread([s] {
      s->Run();
      --gRunningWorkers;
    }).detach();
  } catch (...) {
    return false;
  }
  return true;
}

void NetComponent::Abort(const std::string& statusText, bool) {
  // Only a running transfer can be stopped; an idle instance stays ready for its fetch.
  if (!shared_->started) return;
  {
    std::lock_guard<std::mutex> lock(shared_->mu);
    shared_->abortText = statusText;
    shared_->abort.store(true);
    shared_->cv.notify_all();
  }
  if (shared_->multi) curl_multi_wakeup(shared_->multi);
}

}  // namespace orv::console
