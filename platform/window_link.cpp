#include "platform/window_link.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QMetaObject>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include "platform/process.h"

namespace orv {
namespace {

enum Op : std::uint8_t { kExists = 1, kReadText = 2, kSetText = 3, kPressLeft = 4, kPressRight = 5, kClose = 6 };

// Longest text carried by one request; longer texts are cut.
constexpr std::uint32_t kMaxTransferText = 65535;
constexpr int kPeerTimeoutMs = 1000;

struct Reply {
  bool ok = false;
  std::string text;
};

sockaddr_un AddressOf(pid_t pid, socklen_t& length) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  // Abstract name: nothing on disk to clean up, gone with the process.
  std::string name = "orvanta-window-link-" + std::to_string(pid);
  std::memcpy(addr.sun_path + 1, name.data(), name.size());
  length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
  return addr;
}

bool SameUser(int fd) {
  ucred cred{};
  socklen_t len = sizeof cred;
  if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0) return false;
  return cred.uid == geteuid();
}

// Reads exactly n bytes before the deadline.
bool ReadAll(int fd, void* data, std::size_t n, std::chrono::steady_clock::time_point deadline) {
  auto* p = static_cast<char*>(data);
  while (n > 0) {
    int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                    deadline - std::chrono::steady_clock::now())
                                    .count());
    if (left <= 0) return false;
    pollfd pfd{fd, POLLIN, 0};
    int r = poll(&pfd, 1, left);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    ssize_t got = recv(fd, p, n, 0);
    if (got < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
    if (got <= 0) return false;
    p += got;
    n -= static_cast<std::size_t>(got);
  }
  return true;
}

int MillisecondsLeft(std::chrono::steady_clock::time_point deadline) {
  return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count());
}

// Writes all of data; a socket that stays full past the deadline fails.
bool WriteAll(int fd, const std::string& data,
              std::chrono::steady_clock::time_point deadline =
                  std::chrono::steady_clock::time_point::max()) {
  std::size_t off = 0;
  while (off < data.size()) {
    ssize_t put = send(fd, data.data() + off, data.size() - off, MSG_NOSIGNAL);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      int left = MillisecondsLeft(deadline);
      if (left <= 0) return false;
      pollfd pfd{fd, POLLOUT, 0};
      if (poll(&pfd, 1, left) < 0 && errno != EINTR) return false;
      continue;
    }
    if (put <= 0) return false;
    off += static_cast<std::size_t>(put);
  }
  return true;
}

// Connects a non-blocking socket. A listener whose queue is full (its owner stopped or stuck)
// refuses with EAGAIN instead of making the caller wait: retry until the deadline.
bool ConnectBefore(int fd, const sockaddr_un& addr, socklen_t len,
                   std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    if (connect(fd, reinterpret_cast<const sockaddr*>(&addr), len) == 0) return true;
    if (errno == EINTR) continue;
    if (errno != EAGAIN || MillisecondsLeft(deadline) <= 0) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

void AppendU32(std::string& out, std::uint32_t v) {
  char b[4];
  std::memcpy(b, &v, 4);
  out.append(b, 4);
}

}  // namespace

struct WindowLink::Impl {
  struct Window {
    std::string text;
    WindowHandlers handlers;
    std::uint64_t generation = 0;
  };

  mutable std::mutex mutex;
  std::map<int, Window> windows;  // by window number
  // The event loop that handlers are posted to: set while a QCoreApplication lives. Cleared at
  // the start of its destruction, because this link (a static) outlives it and its thread may
  // still be answering a press or a text change from a peer at that moment.
  QCoreApplication* application = nullptr;
  static void AttachApplication();
  static void DetachApplication();
  void AttachApplicationLocked() {
    if (application) return;
    application = QCoreApplication::instance();
    if (application) qAddPostRoutine(&DetachApplication);  // runs once per application
  }
  std::uint64_t nextGeneration = 1;
  pid_t ownPid = 0;
  int listenFd = -1;
  int wakeFd = -1;
  // Kept open to be given up when the process runs out of descriptors, so that a pending
  // caller can still be accepted and answered instead of being polled for in a busy loop.
  int spareFd = -1;
  std::thread thread;

  ~Impl() {
    if (thread.joinable()) {
      std::uint64_t one = 1;
      [[maybe_unused]] ssize_t n = write(wakeFd, &one, sizeof one);
      thread.join();
    }
    if (listenFd >= 0) close(listenFd);
    if (wakeFd >= 0) close(wakeFd);
    if (spareFd >= 0) close(spareFd);
  }

  // Called with the mutex held.
  bool StartListening() {
    if (listenFd >= 0) return true;
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    socklen_t len = 0;
    sockaddr_un addr = AddressOf(getpid(), len);
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0 || listen(fd, 64) != 0) {
      close(fd);
      return false;
    }
    int wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0) {
      close(fd);
      return false;
    }
    listenFd = fd;
    wakeFd = wake;
    spareFd = open("/dev/null", O_RDONLY | O_CLOEXEC);
    ownPid = getpid();
    thread = std::thread([this] { Serve(); });
    return true;
  }

  void Serve() {
    for (;;) {
      pollfd fds[2] = {{listenFd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
      int r = poll(fds, 2, -1);
      if (r < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if ((fds[1].revents & POLLIN) != 0) return;
      if ((fds[0].revents & POLLIN) == 0) continue;
      int peer = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
      if (peer < 0 && (errno == EMFILE || errno == ENFILE)) {
        if (spareFd >= 0) {
          close(spareFd);
          spareFd = -1;
          peer = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        }
        if (peer < 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      if (peer < 0) {
        if (spareFd < 0) spareFd = open("/dev/null", O_RDONLY | O_CLOEXEC);
        continue;
      }
      if (SameUser(peer)) ServePeer(peer);
      close(peer);
      if (spareFd < 0) spareFd = open("/dev/null", O_RDONLY | O_CLOEXEC);
    }
  }

  void ServePeer(int peer) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPeerTimeoutMs);
    char header[9];
    if (!ReadAll(peer, header, sizeof header, deadline)) return;
    std::uint8_t op = static_cast<std::uint8_t>(header[0]);
    WindowHandle handle = 0;
    std::uint32_t len = 0;
    std::memcpy(&handle, header + 1, 4);
    std::memcpy(&len, header + 5, 4);
    if (len > kMaxTransferText) return;
    std::string text(len, '\0');
    if (len > 0 && !ReadAll(peer, text.data(), len, deadline)) return;
    Reply reply = Handle(op, handle, std::move(text));
    std::string out;
    out.push_back(reply.ok ? 1 : 0);
    AppendU32(out, static_cast<std::uint32_t>(reply.text.size()));
    out += reply.text;
    WriteAll(peer, out);
  }

  // Serves one operation on a window of this process.
  Reply Handle(std::uint8_t op, WindowHandle handle, std::string text) {
    Reply reply;
    std::lock_guard lock(mutex);
    auto it = windows.find(handle & 0xff);
    if (handle <= 0 || (handle >> 8) != ownPid || it == windows.end()) return reply;
    Window& w = it->second;
    reply.ok = true;
    switch (op) {
      case kExists:
        break;
      case kReadText:
        reply.text = w.text.substr(0, kMaxWindowText);
        break;
      case kSetText:
        w.text = text;
        Post(handle & 0xff, w.generation, op, std::move(text));
        break;
      case kPressLeft:
      case kPressRight:
      case kClose:
        Post(handle & 0xff, w.generation, op, {});
        break;
      default:
        reply.ok = false;
    }
    return reply;
  }

  // Queues the handler to the owner's event loop. It runs only if the window is still the one
  // the event was meant for, as a posted message to a destroyed window is dropped.
  void Post(int number, std::uint64_t generation, std::uint8_t op, std::string text) {
    auto deliver = [this, number, generation, op, text = std::move(text)] {
      WindowHandlers h;
      {
        std::lock_guard lock(mutex);
        auto it = windows.find(number);
        if (it == windows.end() || it->second.generation != generation) return;
        h = it->second.handlers;
      }
      switch (op) {
        case kSetText:
          if (h.textSet) h.textSet(text);
          break;
        case kPressLeft:
          if (h.leftPress) h.leftPress();
          break;
        case kPressRight:
          if (h.rightPress) h.rightPress();
          break;
        case kClose:
          if (h.close) h.close();
          break;
        default:
          break;
      }
    };
    if (application) QMetaObject::invokeMethod(application, std::move(deliver), Qt::QueuedConnection);
  }

  // Sends one operation to the process owning handle.
  Reply Call(std::uint8_t op, WindowHandle handle, const std::string& text = {}) {
    Reply none;
    if (handle <= 0 || (handle & 0xff) == 0) return none;
    pid_t pid = handle >> 8;
    if (pid == getpid()) {
      return Handle(op, handle, text.substr(0, kMaxTransferText));
    }
    auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kPeerTimeoutMs);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return none;
    socklen_t len = 0;
    sockaddr_un addr = AddressOf(pid, len);
    Reply reply;
    if (ConnectBefore(fd, addr, len, deadline) && SameUser(fd)) {
      std::string body = text.substr(0, kMaxTransferText);
      std::string out;
      out.push_back(static_cast<char>(op));
      char h[4];
      std::memcpy(h, &handle, 4);
      out.append(h, 4);
      AppendU32(out, static_cast<std::uint32_t>(body.size()));
      out += body;
      char header[5];
      if (WriteAll(fd, out, deadline) && ReadAll(fd, header, sizeof header, deadline)) {
        std::uint32_t n = 0;
        std::memcpy(&n, header + 1, 4);
        if (n <= kMaxWindowText) {
          std::string got(n, '\0');
          if (n == 0 || ReadAll(fd, got.data(), n, deadline)) {
            reply.ok = header[0] == 1;
            reply.text = std::move(got);
          }
        }
      }
    }
    close(fd);
    return reply;
  }
};

WindowLink::WindowLink() : impl_(std::make_unique<Impl>()) {}
WindowLink::~WindowLink() = default;

void WindowLink::Impl::AttachApplication() {
  Impl& impl = *Instance().impl_;
  std::lock_guard lock(impl.mutex);
  impl.AttachApplicationLocked();
}

void WindowLink::Impl::DetachApplication() {
  Impl& impl = *Instance().impl_;
  std::lock_guard lock(impl.mutex);
  impl.application = nullptr;
}

namespace {
// Runs from every QCoreApplication constructor (at once if one already exists).
void AttachWindowLinkToApplication() { WindowLink::Impl::AttachApplication(); }
}  // namespace
Q_COREAPP_STARTUP_FUNCTION(AttachWindowLinkToApplication)

WindowLink& WindowLink::Instance() {
  static WindowLink link;
  return link;
}

WindowHandle WindowLink::Publish(std::string caption, WindowHandlers handlers) {
  std::lock_guard lock(impl_->mutex);
  // Also here: an application made before this file's start-up hook was registered (during
  // static initialisation) is attached by its first window.
  impl_->AttachApplicationLocked();
  if (!impl_->StartListening()) return 0;
  for (int number = 1; number <= 255; ++number) {
    if (impl_->windows.count(number) != 0) continue;
    Impl::Window& w = impl_->windows[number];
    w.text = caption.substr(0, kMaxTransferText);
    w.handlers = std::move(handlers);
    w.generation = impl_->nextGeneration++;
    return static_cast<WindowHandle>(impl_->ownPid) * 256 + number;
  }
  return 0;
}

void WindowLink::SetOwnText(WindowHandle handle, std::string text) {
  std::lock_guard lock(impl_->mutex);
  if ((handle >> 8) != impl_->ownPid) return;
  auto it = impl_->windows.find(handle & 0xff);
  if (it != impl_->windows.end()) it->second.text = text.substr(0, kMaxTransferText);
}

std::string WindowLink::OwnText(WindowHandle handle) const {
  std::lock_guard lock(impl_->mutex);
  if (handle <= 0 || (handle >> 8) != impl_->ownPid) return {};
  auto it = impl_->windows.find(handle & 0xff);
  return it == impl_->windows.end() ? std::string() : it->second.text;
}

void WindowLink::Unpublish(WindowHandle handle) {
  std::lock_guard lock(impl_->mutex);
  if (handle <= 0 || (handle >> 8) != impl_->ownPid) return;
  impl_->windows.erase(handle & 0xff);
}

bool WindowLink::Exists(WindowHandle handle) { return impl_->Call(kExists, handle).ok; }

std::string WindowLink::ReadText(WindowHandle handle) {
  return impl_->Call(kReadText, handle).text;
}

bool WindowLink::SetText(WindowHandle handle, const std::string& text) {
  return impl_->Call(kSetText, handle, text).ok;
}

bool WindowLink::PressLeft(WindowHandle handle) { return impl_->Call(kPressLeft, handle).ok; }
bool WindowLink::PressRight(WindowHandle handle) { return impl_->Call(kPressRight, handle).ok; }
bool WindowLink::Close(WindowHandle handle) { return impl_->Call(kClose, handle).ok; }

pid_t WindowLink::OwnerPid(WindowHandle handle) {
  return Exists(handle) ? static_cast<pid_t>(handle >> 8) : 0;
}

bool WindowLink::TerminateOwner(WindowHandle handle) {
  pid_t pid = OwnerPid(handle);
  if (pid <= 0) return false;
  if (kill(pid, SIGTERM) != 0) return !ProcessAlive(pid);
  auto waitGone = [pid](std::chrono::milliseconds limit) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (ProcessAlive(pid)) {
      if (std::chrono::steady_clock::now() >= end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
  };
  if (waitGone(std::chrono::milliseconds(1000))) return true;
  kill(pid, SIGKILL);
  return waitGone(std::chrono::milliseconds(1000));
}

}  // namespace orv
