#include "tests/support/http_test_server.h"
#include "tests/support/temp_folder.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <csignal>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace orvtest {
namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

std::string Base64(const std::string& in) {
  static const char* kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < in.size(); i += 3) {
    uint32_t v = static_cast<unsigned char>(in[i]) << 16;
    if (i + 1 < in.size()) v |= static_cast<unsigned char>(in[i + 1]) << 8;
    if (i + 2 < in.size()) v |= static_cast<unsigned char>(in[i + 2]);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += i + 1 < in.size() ? kAlphabet[(v >> 6) & 63] : '=';
    out += i + 2 < in.size() ? kAlphabet[v & 63] : '=';
  }
  return out;
}

// A connected socket to a loopback "host:port", or -1: tests never reach out.
int ConnectLoopback(const std::string& hostPort) {
  const size_t colon = hostPort.rfind(':');
  const std::string host = colon == std::string::npos ? hostPort : hostPort.substr(0, colon);
  const int port = colon == std::string::npos ? 0 : std::atoi(hostPort.c_str() + colon + 1);
  if ((host != "127.0.0.1" && host != "localhost") || port <= 0 || port >= 65536) return -1;
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    fd = -1;
  }
  return fd;
}

const char* Phrase(int status) {
  switch (status) {
    case 200: return "OK";
    case 206: return "Partial Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 304: return "Not Modified";
    case 307: return "Temporary Redirect";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 407: return "Proxy Authentication Required";
    case 410: return "Gone";
    case 416: return "Range Not Satisfiable";
    case 429: return "Too Many Requests";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Unknown";
  }
}

}  // namespace

// One accepted connection, plain or TLS.
struct HttpTestServer::Connection {
  int fd = -1;
  SSL* ssl = nullptr;

  // Waits up to ms for readable data; then reads. 0: nothing yet; <0: closed or failed.
  ssize_t Receive(char* buf, size_t size, int ms) {
    if (ssl == nullptr || SSL_pending(ssl) == 0) {
      pollfd pfd{fd, POLLIN, 0};
      int r = ::poll(&pfd, 1, ms);
      if (r < 0) return errno == EINTR ? 0 : -1;
      if (r == 0) return 0;
    }
    if (ssl == nullptr) {
      ssize_t n = ::recv(fd, buf, size, 0);
      return n == 0 ? -1 : n;
    }
    int n = SSL_read(ssl, buf, static_cast<int>(size));
    if (n > 0) return n;
    int e = SSL_get_error(ssl, n);
    return e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE ? 0 : -1;
  }
};

namespace {

// Sends all bytes unless the peer went away or the server stops.
bool SendAll(HttpTestServer::Connection& c, const char* p, size_t n, const std::atomic<bool>& stopping) {
  const int fd = c.fd;
  if (c.ssl != nullptr) {
    while (n > 0) {
      if (stopping.load()) return false;
      int w = SSL_write(c.ssl, p, static_cast<int>(std::min<size_t>(n, 1 << 20)));
      if (w <= 0) return false;
      p += w;
      n -= static_cast<size_t>(w);
    }
    return true;
  }
  while (n > 0) {
    if (stopping.load()) return false;
    pollfd pfd{fd, POLLOUT, 0};
    int r = ::poll(&pfd, 1, 100);
    if (r < 0 && errno != EINTR) return false;
    if (r <= 0) continue;
    ssize_t w = ::send(fd, p, n, MSG_NOSIGNAL);
    if (w < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return false;
    }
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

void SleepUnlessStopping(int ms, const std::atomic<bool>& stopping) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!stopping.load() && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min(ms, 10)));
}

}  // namespace

std::string PatternBody(int64_t size, int64_t from) {
  std::string s(static_cast<size_t>(size), '\0');
  for (int64_t i = 0; i < size; ++i) s[static_cast<size_t>(i)] = PatternByte(from + i);
  return s;
}

std::optional<std::string> Request::Header(const std::string& name) const {
  std::string want = Lower(name);
  for (const auto& line : headerLines) {
    size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    if (Lower(Trim(line.substr(0, colon))) == want) return Trim(line.substr(colon + 1));
  }
  return std::nullopt;
}

HttpTestServer::HttpTestServer() {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0) throw std::runtime_error("socket");
  int one = 1;
  ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(listenFd_, 128) != 0) {
    ::close(listenFd_);
    throw std::runtime_error("bind/listen");
  }
  socklen_t len = sizeof addr;
  ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  acceptThread_ = std::thread([this] { AcceptLoop(); });
}

HttpTestServer::~HttpTestServer() {
  Stop();
  if (tls_ != nullptr) SSL_CTX_free(tls_);
}

void HttpTestServer::EnableTls(const TlsIdentity& identity, bool plainToo) {
  // OpenSSL writes with write(), not send(MSG_NOSIGNAL): a client that hangs up mid-body must not
  // end the test process.
  std::signal(SIGPIPE, SIG_IGN);
  SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
  if (ctx == nullptr) throw std::runtime_error("SSL_CTX_new");
  BIO* certBio = BIO_new_mem_buf(identity.certificatePem.data(), static_cast<int>(identity.certificatePem.size()));
  X509* cert = PEM_read_bio_X509(certBio, nullptr, nullptr, nullptr);
  BIO_free(certBio);
  BIO* keyBio = BIO_new_mem_buf(identity.keyPem.data(), static_cast<int>(identity.keyPem.size()));
  EVP_PKEY* key = PEM_read_bio_PrivateKey(keyBio, nullptr, nullptr, nullptr);
  BIO_free(keyBio);
  const bool ok = cert != nullptr && key != nullptr && SSL_CTX_use_certificate(ctx, cert) == 1 &&
                  SSL_CTX_use_PrivateKey(ctx, key) == 1;
  X509_free(cert);
  EVP_PKEY_free(key);
  if (!ok) {
    SSL_CTX_free(ctx);
    throw std::runtime_error("TLS identity not usable");
  }
  std::lock_guard<std::mutex> lock(mu_);
  if (tls_ != nullptr) SSL_CTX_free(tls_);
  tls_ = ctx;
  plainToo_ = plainToo;
}

std::string HttpTestServer::HostPort() const { return "127.0.0.1:" + std::to_string(port_); }
std::string HttpTestServer::Url(const std::string& path) const {
  std::lock_guard<std::mutex> lock(mu_);
  return (tls_ != nullptr ? "https://" : "http://") + HostPort() + path;
}

void HttpTestServer::Serve(const std::string& path, Answer answer) {
  Serve(path, std::vector<Answer>{std::move(answer)});
}

void HttpTestServer::Serve(const std::string& path, std::vector<Answer> answers) {
  std::lock_guard<std::mutex> lock(mu_);
  routes_[path] = std::move(answers);
  used_[path] = 0;
}

std::vector<std::string> HttpTestServer::ServeTree(const std::string& urlPrefix, const std::string& folder) {
  static const std::map<std::string, std::string> kTypes = {
      {".html", "text/html"}, {".htm", "text/html"}, {".css", "text/css"}, {".js", "application/javascript"},
      {".png", "image/png"}, {".gif", "image/gif"}, {".jpg", "image/jpeg"}, {".svg", "image/svg+xml"},
      {".txt", "text/plain"}, {".pdf", "application/pdf"}};
  std::vector<std::string> served;
  for (const auto& e : std::filesystem::recursive_directory_iterator(folder)) {
    if (!e.is_regular_file()) continue;
    std::string rel = e.path().lexically_relative(folder).generic_string();
    auto type = kTypes.find(Lower(e.path().extension().string()));
    Answer a;
    if (type != kTypes.end()) a.headers.push_back("Content-Type: " + type->second);
    a.body = ReadWholeFile(e.path());  // in one piece: byte by byte costs seconds for a tree
    served.push_back(urlPrefix + rel);
    Serve(served.back(), std::move(a));
  }
  return served;
}

std::vector<Request> HttpTestServer::Requests() const {
  std::lock_guard<std::mutex> lock(mu_);
  return requests_;
}

std::vector<Request> HttpTestServer::Requests(const std::string& path) const {
  std::lock_guard<std::mutex> lock(mu_);
  std::vector<Request> out;
  for (const auto& r : requests_)
    if (r.target == path) out.push_back(r);
  return out;
}

size_t HttpTestServer::Count(const std::string& path) const { return Requests(path).size(); }

bool HttpTestServer::WaitForCount(const std::string& path, size_t n, int timeoutMs) const {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < end) {
    if (Count(path) >= n) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return Count(path) >= n;
}

void HttpTestServer::Stop() {
  if (stopping_.exchange(true)) return;
  if (acceptThread_.joinable()) acceptThread_.join();
  {
    std::lock_guard<std::mutex> lock(mu_);
    for (int fd : openFds_) ::shutdown(fd, SHUT_RDWR);
  }
  std::vector<std::thread> workers;
  {
    std::lock_guard<std::mutex> lock(mu_);
    workers.swap(workers_);
  }
  for (auto& t : workers) t.join();
  ::close(listenFd_);
}

void HttpTestServer::AcceptLoop() {
  while (!stopping_.load()) {
    pollfd pfd{listenFd_, POLLIN, 0};
    int r = ::poll(&pfd, 1, 50);
    if (r <= 0) continue;
    int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::lock_guard<std::mutex> lock(mu_);
    openFds_.push_back(fd);
    ++active_;
    workers_.emplace_back([this, fd] { Handle(fd); });
  }
}

namespace {

// Whether a Cookie line ("a=1; b=2") holds the pair exactly.
bool CookieLineHolds(const std::string& line, const std::string& pair) {
  std::size_t from = 0;
  while (from <= line.size()) {
    std::size_t end = line.find(';', from);
    if (end == std::string::npos) end = line.size();
    std::size_t a = from, b = end;
    while (a < b && line[a] == ' ') ++a;
    while (b > a && line[b - 1] == ' ') --b;
    if (line.compare(a, b - a, pair) == 0) return true;
    from = end + 1;
  }
  return false;
}

}  // namespace

Answer HttpTestServer::Pick(const std::string& path, const Request& req) {
  std::lock_guard<std::mutex> lock(mu_);
  auto it = routes_.find(path);
  if (it == routes_.end() || it->second.empty()) {
    Answer a;
    a.status = 404;
    a.body = "<html><body>not found</body></html>";
    return a;
  }
  size_t& n = used_[path];
  const Answer& a = it->second[std::min(n, it->second.size() - 1)];
  if (!a.requiredCookie.empty()) {
    const std::optional<std::string> cookies = req.Header("Cookie");
    if (!cookies || !CookieLineHolds(*cookies, a.requiredCookie)) {
      Answer refusal;
      refusal.status = a.refusalStatus;
      refusal.headers = a.refusalHeaders;
      refusal.body = "<html><body>no session</body></html>";
      return refusal;
    }
  }
  ++n;
  return a;
}

void HttpTestServer::Handle(int fd) {
  Connection conn;
  conn.fd = fd;
  SSL_CTX* tls = nullptr;
  bool plainToo = false;
  {
    std::lock_guard<std::mutex> lock(mu_);
    tls = tls_;
    plainToo = plainToo_;
  }
  bool plainOnTls = false;
  if (tls != nullptr && plainToo) {
    // A TLS client speaks first with a handshake record (0x16); anything else is plain HTTP.
    char first = 0;
    pollfd pfd{fd, POLLIN, 0};
    for (int waited = 0; waited < 10000 && !stopping_.load() && ::poll(&pfd, 1, 50) == 0; waited += 50) {
    }
    plainOnTls = ::recv(fd, &first, 1, MSG_PEEK) == 1 && first != 0x16;
  }
  if (tls != nullptr && !plainOnTls) conn.ssl = SSL_new(tls);
  bool open = true;
  if (conn.ssl != nullptr) {
    // A refused certificate ends the handshake on the client's side: the connection just closes.
    timeval limit{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    SSL_set_fd(conn.ssl, fd);
    open = SSL_accept(conn.ssl) == 1;
    ERR_clear_error();
  }
  std::string head;
  char buf[4096];
  while (open && !stopping_.load() && head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
    ssize_t n = conn.Receive(buf, sizeof buf, 50);
    if (n == 0) continue;
    if (n < 0) break;
    head.append(buf, static_cast<size_t>(n));
  }
  size_t end = head.find("\r\n\r\n");
  if (end != std::string::npos) {
    head.resize(end + 4);
    Request req;
    req.rawHead = head;
    size_t pos = 0;
    bool first = true;
    while (pos < end) {
      size_t eol = head.find("\r\n", pos);
      std::string line = head.substr(pos, eol - pos);
      pos = eol + 2;
      if (first) {
        req.requestLine = line;
        size_t s1 = line.find(' ');
        size_t s2 = line.find(' ', s1 + 1);
        req.method = line.substr(0, s1);
        req.target = line.substr(s1 + 1, s2 - s1 - 1);
        first = false;
      } else {
        req.headerLines.push_back(line);
      }
    }
    {
      std::lock_guard<std::mutex> lock(mu_);
      requests_.push_back(req);
    }
    const bool proxied = conn.ssl == nullptr && (req.method == "CONNECT" || req.target.rfind("http://", 0) == 0);
    std::string login;
    {
      std::lock_guard<std::mutex> lock(mu_);
      login = proxyLogin_;
    }
    if (proxied && !login.empty() && req.Header("Proxy-Authorization").value_or("") != login) {
      const std::string refusal =
          "HTTP/1.1 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic realm=\"test\"\r\n"
          "Content-Length: 0\r\nConnection: close\r\n\r\n";
      SendAll(conn, refusal.data(), refusal.size(), stopping_);
      CloseConnection(conn);
      return;
    }
    if (proxied && req.method != "CONNECT" && forward_.load() && !HasRoute(req.target)) {
      Forward(conn, req);
      CloseConnection(conn);
      return;
    }
    if (req.method == "CONNECT" && conn.ssl == nullptr && !HasRoute(req.target)) {
      Tunnel(conn, req.target);
      CloseConnection(conn);
      return;
    }
    Answer a = Pick(plainOnTls && HasRoute("http:" + req.target) ? "http:" + req.target : req.target, req);
    if (a.headerDelayMs > 0) SleepUnlessStopping(a.headerDelayMs, stopping_);
    if (a.resetBeforeAnswer) {
      // A zero linger time makes close() send RST instead of an orderly end.
      linger hard{1, 0};
      ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
      {
        std::lock_guard<std::mutex> lock(mu_);
        openFds_.erase(std::remove(openFds_.begin(), openFds_.end(), fd), openFds_.end());
      }
      if (conn.ssl != nullptr) SSL_free(conn.ssl);
      ::close(fd);
      --active_;
      return;
    }

    int64_t total = a.generatedSize >= 0 ? a.generatedSize : static_cast<int64_t>(a.body.size());
    int64_t from = 0;
    int status = a.status;
    std::vector<std::string> lines = a.headers;
    if (a.notModified && req.Header("If-Modified-Since")) {
      status = 304;
      total = 0;
    } else if (a.ranges && a.status == 200) {
      if (auto range = req.Header("Range"); range && range->rfind("bytes=", 0) == 0) {
        from = std::atoll(range->c_str() + 6);
        if (from < total) {
          status = 206;
          lines.push_back("Content-Range: bytes " + std::to_string(from) + "-" +
                          std::to_string(total - 1) + "/" + std::to_string(total));
        } else {
          status = 416;
          from = total;
        }
      }
    }
    if (a.ranges || a.acceptRanges) lines.push_back("Accept-Ranges: bytes");
    int64_t bodyLen = status == 304 ? 0 : total - from;
    std::string reason = a.reason.empty() || status != a.status ? Phrase(status) : a.reason;
    std::string out = "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\n";
    for (const auto& l : lines) out += l + "\r\n";
    if (a.endlessChunked) lines.push_back("Transfer-Encoding: chunked");
    if (!a.omitLength && !a.endlessChunked && status != 304) {
      int64_t announced = a.contentLength && status == a.status ? *a.contentLength : bodyLen;
      out += "Content-Length: " + std::to_string(announced) + "\r\n";
    }
    out += "Connection: close\r\n\r\n";
    bool ok = SendAll(conn, out.data(), out.size(), stopping_);

    if (a.endlessChunked) {
      static const std::string chunk = "10000\r\n" + PatternBody(0x10000) + "\r\n";
      while (ok) {
        ok = SendAll(conn, chunk.data(), chunk.size(), stopping_);
        if (a.chunkDelayMs > 0) SleepUnlessStopping(a.chunkDelayMs, stopping_);
      }
    }
    int64_t limit = a.endlessChunked ? 0 : bodyLen;
    if (a.truncateAfter >= 0) limit = std::min(limit, a.truncateAfter);
    if (a.stallAfter >= 0) limit = std::min(limit, a.stallAfter);
    // Generated bodies are sent from one pattern buffer (the pattern repeats every 23 bytes),
    // so the server keeps up with loopback speed.
    static const std::string pattern = PatternBody(1024 * 1024 + 23);
    size_t maxChunk = std::min<size_t>(a.chunkSize, 1024 * 1024);
    for (int64_t sent = 0; ok && sent < limit;) {
      int64_t n = std::min<int64_t>(static_cast<int64_t>(maxChunk), limit - sent);
      const char* p = a.generatedSize >= 0 ? pattern.data() + (from + sent) % 23
                                           : a.body.data() + (from + sent);
      ok = SendAll(conn, p, static_cast<size_t>(n), stopping_);
      sent += n;
      if (a.chunkDelayMs > 0 && sent < limit) SleepUnlessStopping(a.chunkDelayMs, stopping_);
    }
    if (ok && a.stallAfter >= 0) {
      // Hold the connection open without sending until the client goes away or the server stops.
      while (!stopping_.load() && conn.Receive(buf, sizeof buf, 50) >= 0) {
      }
    }
  }
  CloseConnection(conn);
}

bool HttpTestServer::HasRoute(const std::string& path) const {
  std::lock_guard<std::mutex> lock(mu_);
  return routes_.count(path) != 0;
}

void HttpTestServer::CloseConnection(Connection& conn) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    openFds_.erase(std::remove(openFds_.begin(), openFds_.end(), conn.fd), openFds_.end());
  }
  if (conn.ssl != nullptr) {
    SSL_shutdown(conn.ssl);
    SSL_free(conn.ssl);
    conn.ssl = nullptr;
  }
  ::shutdown(conn.fd, SHUT_WR);
  ::close(conn.fd);
  --active_;
}

void HttpTestServer::RequireProxyLogin(const std::string& user, const std::string& password) {
  std::lock_guard<std::mutex> lock(mu_);
  proxyLogin_ = "Basic " + Base64(user + ":" + password);
}

void HttpTestServer::Forward(Connection& client, const Request& req) {
  // "http://127.0.0.1:<port>/path": the request goes on in origin form.
  const size_t slash = req.target.find('/', 7);
  const int upstream = ConnectLoopback(req.target.substr(7, slash == std::string::npos ? std::string::npos : slash - 7));
  if (upstream < 0) {
    const std::string answer = "HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    SendAll(client, answer.data(), answer.size(), stopping_);
    return;
  }
  std::string head = req.method + " " + (slash == std::string::npos ? "/" : req.target.substr(slash)) + " HTTP/1.1\r\n";
  for (const std::string& line : req.headerLines)
    if (Lower(line).rfind("proxy-", 0) != 0) head += line + "\r\n";
  head += "\r\n";
  Connection up;
  up.fd = upstream;
  if (SendAll(up, head.data(), head.size(), stopping_)) Relay(client, upstream);
  ::close(upstream);
}

void HttpTestServer::Tunnel(Connection& client, const std::string& target) {
  const int upstream = ConnectLoopback(target);
  const std::string answer = upstream >= 0 ? "HTTP/1.1 200 Connection established\r\n\r\n"
                                           : "HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n";
  if (!SendAll(client, answer.data(), answer.size(), stopping_) || upstream < 0) {
    if (upstream >= 0) ::close(upstream);
    return;
  }
  Relay(client, upstream);
  ::close(upstream);
}

void HttpTestServer::Relay(Connection& client, int upstream) {
  Connection up;
  up.fd = upstream;
  std::vector<char> buf(256 * 1024);
  bool open = true;
  while (open && !stopping_.load()) {
    pollfd fds[2] = {{client.fd, POLLIN, 0}, {upstream, POLLIN, 0}};
    int r = ::poll(fds, 2, 50);
    if (r < 0 && errno != EINTR) break;
    if (r <= 0) continue;
    for (int k = 0; k < 2 && open; ++k) {
      if ((fds[k].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
      ssize_t n = ::recv(fds[k].fd, buf.data(), buf.size(), 0);
      if (n <= 0) {
        open = false;
        break;
      }
      open = SendAll(k == 0 ? up : client, buf.data(), static_cast<size_t>(n), stopping_);
    }
  }
}

}  // namespace orvtest
