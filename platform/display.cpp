#include "platform/display.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>

namespace orv {
namespace {

constexpr int kConnectWaitMs = 2000;

std::string Environment(const char* name) {
  const char* v = std::getenv(name);
  return v == nullptr ? std::string() : std::string(v);
}

// A connect that gives up after a while: a display on a host that drops packets must not hang
// the start.
bool ConnectWithin(int fd, const sockaddr* addr, socklen_t len) {
  const int flags = ::fcntl(fd, F_GETFL);
  ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  if (::connect(fd, addr, len) == 0) return true;
  if (errno != EINPROGRESS) return false;
  pollfd p{fd, POLLOUT, 0};
  if (::poll(&p, 1, kConnectWaitMs) != 1) return false;
  int error = 0;
  socklen_t size = sizeof error;
  return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
}

// A local socket by its path; abstract too (the X server listens on both, a container may
// only see one of them).
bool LocalSocketAccepts(const std::string& path, bool alsoAbstract) {
  for (int abstract = alsoAbstract ? 1 : 0; abstract >= 0; --abstract) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() + 1 >= sizeof addr.sun_path) return false;
    std::memcpy(addr.sun_path + abstract, path.data(), path.size());
    const socklen_t len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + abstract + path.size() + (abstract ? 0 : 1));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const bool ok = ConnectWithin(fd, reinterpret_cast<const sockaddr*>(&addr), len);
    ::close(fd);
    if (ok) return true;
  }
  return false;
}

bool HostAccepts(const std::string& host, int port) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return false;
  bool ok = false;
  for (addrinfo* a = found; a != nullptr && !ok; a = a->ai_next) {
    const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) continue;
    ok = ConnectWithin(fd, a->ai_addr, a->ai_addrlen);
    ::close(fd);
  }
  ::freeaddrinfo(found);
  return ok;
}

bool XDisplayReachable(const std::string& display) {
  const std::optional<XDisplayAddress> where = ParseXDisplay(display);
  if (!where) return false;
  return where->socketPath.empty() ? HostAccepts(where->host, where->port)
                                   : LocalSocketAccepts(where->socketPath, true);
}

bool WaylandReachable(const std::string& display) {
  if (display.empty()) return false;
  const std::string path = display.front() == '/' ? display : Environment("XDG_RUNTIME_DIR") + "/" + display;
  return LocalSocketAccepts(path, false);
}

}  // namespace

std::optional<XDisplayAddress> ParseXDisplay(const std::string& display) {
  const std::size_t colon = display.rfind(':');
  if (colon == std::string::npos || colon + 1 >= display.size()) return std::nullopt;
  char* end = nullptr;
  const long number = std::strtol(display.c_str() + colon + 1, &end, 10);
  if (end == display.c_str() + colon + 1 || number < 0 || number > 65535 - 6000 || (*end != '\0' && *end != '.'))
    return std::nullopt;
  const std::string host = display.substr(0, colon);
  XDisplayAddress a;
  if (host.empty() || host == "unix") {
    a.socketPath = "/tmp/.X11-unix/X" + std::to_string(number);
  } else {
    a.host = host;
    a.port = 6000 + static_cast<int>(number);
  }
  return a;
}

bool DisplayReachable() {
  const std::string platform = Environment("QT_QPA_PLATFORM");
  const std::string x = Environment("DISPLAY"), wayland = Environment("WAYLAND_DISPLAY");
  if (platform.find(';') != std::string::npos) return true;  // Qt tries the next one itself
  if (platform.rfind("xcb", 0) == 0) return XDisplayReachable(x);
  if (platform.rfind("wayland", 0) == 0) return WaylandReachable(wayland.empty() ? "wayland-0" : wayland);
  if (!platform.empty()) return true;  // offscreen, minimal, vnc...: no display to reach
  return WaylandReachable(wayland) || XDisplayReachable(x);
}

}  // namespace orv
