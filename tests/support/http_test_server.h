// Loopback HTTP/1.1 test server for console and run-control tests.
//
// Usage:
//   orvtest::HttpTestServer srv;               // listens on 127.0.0.1, ephemeral port
//   srv.Serve("/a.html", {.body = "<html>..."});
//   srv.Serve("/big.bin", {.generatedSize = 1 << 20, .ranges = true});
//   srv.Serve("/cut", {{.body = std::string(1000, 'x'), .truncateAfter = 500, .acceptRanges = true},
//                      {.body = std::string(1000, 'x'), .ranges = true}});   // answers used in turn
//   std::string u = srv.Url("/a.html");          // "http://127.0.0.1:<port>/a.html"
//   srv.Requests("/cut")[1].Header("range")      // every request's header lines are recorded
//   srv.Serve("/busy", {{.status = 429, .headers = {"Retry-After: 2"}}, {.body = "ok"}});
//   srv.Serve("/endless", {.endlessChunked = true});  // until the client goes away
//   srv.Serve("/private", {.body = "...", .requiredCookie = "sid=1"});  // 403 without that cookie
//
//   srv.EnableTls(authority.Issue({"localhost"}, {"127.0.0.1"}));   // now "https://127.0.0.1:<port>/..."
//
// As a proxy it answers absolute-form requests by their route ("http://host/path") and tunnels
// CONNECT requests to a loopback port; a route named like the CONNECT target ("127.0.0.1:<port>")
// answers instead of the tunnel (a 407, say). ForwardPlainRequests passes absolute-form requests
// without a route on to their loopback server; RequireProxyLogin makes it a proxy that asks for
// a Basic login:
//   HttpTestServer proxy;
//   proxy.ForwardPlainRequests();
//   proxy.RequireProxyLogin("user", "secret");   // 407 without that login, CONNECT included
//
// Each connection is answered once and closed ("Connection: close"). Paths without a route get 404.
// When a route lists several answers they are used in order; the last one repeats.
#pragma once

// Answers are written with designated initializers naming only the fields that matter.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/tls_authority.h"

typedef struct ssl_ctx_st SSL_CTX;

namespace orvtest {

struct Answer {
  int status = 200;
  std::string reason;                    // empty: the standard phrase for the status
  std::vector<std::string> headers;      // extra header lines, "Name: value"
  std::string body;                      // body bytes (ignored when generatedSize >= 0)
  int64_t generatedSize = -1;            // body of this many pattern bytes (PatternByte)
  std::optional<int64_t> contentLength;  // announced length; default: the full body length
  bool omitLength = false;               // no Content-Length: the close ends the body
  bool ranges = false;                   // honour "Range: bytes=N-" with 206 + Content-Range
  bool acceptRanges = false;             // send "Accept-Ranges: bytes"
  bool notModified = false;              // answer 304 when If-Modified-Since is present
  int64_t truncateAfter = -1;            // send only this many body bytes, then close
  int64_t stallAfter = -1;               // send this many body bytes, then hold the connection
  int chunkDelayMs = 0;                  // pause between chunks (slow body)
  size_t chunkSize = 64 * 1024;
  int headerDelayMs = 0;                 // pause before the status line
  bool resetBeforeAnswer = false;        // read the request, then reset the connection (RST)
  bool endlessChunked = false;           // chunked pattern body that never ends (no Content-Length)
  // A page behind a session or a login: a request whose Cookie line lacks this "name=value"
  // pair gets the refusal instead (403 by default; a 302 with "Location: /login" for a login
  // area), which does not count as a use of the route's answers.
  std::string requiredCookie;
  int refusalStatus = 403;
  std::vector<std::string> refusalHeaders;
};

struct Request {
  std::string requestLine;               // "GET /a HTTP/1.1"
  std::string method, target;
  std::vector<std::string> headerLines;  // as received, without CR LF, in order
  std::string rawHead;                   // the whole head as received, up to and including CRLFCRLF
  // Value of the first header line with this name (case-insensitive), or nullopt.
  std::optional<std::string> Header(const std::string& name) const;
};

// Byte at offset i of a generated body.
inline char PatternByte(int64_t i) { return static_cast<char>('a' + (i % 23)); }
std::string PatternBody(int64_t size, int64_t from = 0);

class HttpTestServer {
 public:
  HttpTestServer();
  ~HttpTestServer();
  HttpTestServer(const HttpTestServer&) = delete;
  HttpTestServer& operator=(const HttpTestServer&) = delete;

  struct Connection;  // one accepted connection, plain or TLS

  // Serves TLS with this identity from now on (call before the first request). With plainToo
  // the same port also answers plain HTTP (told apart by the first byte), so "http://" and
  // "https://" name one host; a route "http:" + path then answers the plain requests for path.
  void EnableTls(const TlsIdentity& identity, bool plainToo = false);

  uint16_t Port() const { return port_; }
  std::string Url(const std::string& path) const;  // path starts with "/"
  std::string HostPort() const;                    // "127.0.0.1:<port>"

  // As a proxy: requests without "Proxy-Authorization: Basic " + Base64(user ":" password)
  // (CONNECT and absolute-form ones) are answered 407 with a Proxy-Authenticate line.
  void RequireProxyLogin(const std::string& user, const std::string& password);
  // As a proxy: absolute-form requests for a loopback server that have no route here are passed
  // on to it (origin form, without the Proxy- lines) and its answer relayed back.
  void ForwardPlainRequests() { forward_ = true; }

  void Serve(const std::string& path, Answer answer);
  void Serve(const std::string& path, std::vector<Answer> answers);
  // Serves every file below folder at urlPrefix + its relative path (urlPrefix starts and ends
  // with "/"), with a Content-Type by the name's ending; returns the paths served.
  std::vector<std::string> ServeTree(const std::string& urlPrefix, const std::string& folder);

  // Requests received so far (all paths, or one path as sent in the request line).
  std::vector<Request> Requests() const;
  std::vector<Request> Requests(const std::string& path) const;
  size_t Count(const std::string& path) const;
  // Waits until at least n requests for path arrived (or the timeout passed).
  bool WaitForCount(const std::string& path, size_t n, int timeoutMs) const;
  // Number of connections currently being answered (stalled ones included).
  int Active() const { return active_.load(); }

  void Stop();

 private:
  void AcceptLoop();
  void Handle(int fd);
  void Tunnel(Connection& client, const std::string& target);
  void Forward(Connection& client, const Request& req);
  // Copies both ways between the client and a loopback server until either side closes.
  void Relay(Connection& client, int upstream);
  bool HasRoute(const std::string& path) const;
  void CloseConnection(Connection& conn);

  Answer Pick(const std::string& path, const Request& req);

  SSL_CTX* tls_ = nullptr;
  bool plainToo_ = false;
  int listenFd_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> active_{0};
  std::thread acceptThread_;
  mutable std::mutex mu_;
  std::string proxyLogin_;  // the expected Proxy-Authorization value; empty: none asked
  std::atomic<bool> forward_{false};
  std::map<std::string, std::vector<Answer>> routes_;
  std::map<std::string, size_t> used_;
  std::vector<Request> requests_;
  std::vector<std::thread> workers_;
  std::vector<int> openFds_;
};

}  // namespace orvtest
