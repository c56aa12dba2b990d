#pragma once
// Window handles between the two programs.
//
// A handle is pid * 256 + a window number (1..255); 0 means "no window". A process that
// publishes windows listens on one local socket named after its pid and serves only peers of
// the same user. Text reads are answered from a locked table by the link's own thread, so a
// busy owner never stalls the caller. Presses, text changes and closes are queued to the
// owner's Qt event loop (like posted messages); the caller does not wait for them to run.
// A handle whose process is gone does not exist: its text is empty and presses do nothing.
// Captions and texts are Windows-1251 bytes.

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace orv {

using WindowHandle = int32_t;

// Longest text a read returns.
inline constexpr std::size_t kMaxWindowText = 255;

struct WindowHandlers {
  std::function<void()> leftPress;
  std::function<void()> rightPress;
  // Runs after the published text has already been changed to the new text.
  std::function<void(const std::string& text)> textSet;
  std::function<void()> close;
};

class WindowLink {
 public:
  // The link of this process. Its listening thread starts with the first Publish.
  static WindowLink& Instance();

  // Publishes a window; returns its handle, or 0 when no number is free or the socket cannot
  // be opened. Handlers run on the QCoreApplication's event loop; without a
  // QCoreApplication they are not delivered.
  WindowHandle Publish(std::string caption, WindowHandlers handlers);
  // Changes the text of one of this process's windows (no handler runs).
  void SetOwnText(WindowHandle handle, std::string text);
  // The text of one of this process's windows ("" when not published).
  std::string OwnText(WindowHandle handle) const;
  void Unpublish(WindowHandle handle);

  // Operations on any handle, this process's own included. Each answers within about a second
  // even when the peer misbehaves.
  bool Exists(WindowHandle handle);
  std::string ReadText(WindowHandle handle);  // at most kMaxWindowText bytes
  bool SetText(WindowHandle handle, const std::string& text);
  bool PressLeft(WindowHandle handle);
  bool PressRight(WindowHandle handle);
  bool Close(WindowHandle handle);
  // The process owning an existing window, else 0.
  pid_t OwnerPid(WindowHandle handle);
  // Ends the process owning the window: SIGTERM, up to one second to end, then SIGKILL.
  // True when the process is gone afterwards.
  bool TerminateOwner(WindowHandle handle);

  WindowLink(const WindowLink&) = delete;
  WindowLink& operator=(const WindowLink&) = delete;
  ~WindowLink();

  struct Impl;

 private:
  WindowLink();
  std::unique_ptr<Impl> impl_;
};

}  // namespace orv
