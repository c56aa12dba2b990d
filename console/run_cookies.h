#pragma once
// The cookies of a run: one libcurl cookie store that every transfer of the console shares, so
// a session cookie the first page sets goes with the requests of all twenty channels. libcurl's
// cookie engine applies the rules (domain and path, expiry, Secure only over HTTPS, never to
// another host); nothing here decides which cookie goes where.
//
// Transfers run on worker threads of their own, so the share object locks its data with one
// mutex per kind. It lives as long as the process: a worker that ends after the console's
// objects are gone still finds it.
//
// The store starts from the script's cookie jar (a file the main program names through the
// exchange; never the cookies themselves) and is written back into it whenever a response
// changed it, so the jar is current when the run ends, however the console is ended.

#include <atomic>
#include <string>

#include "common/cookie_file.h"

typedef void CURL;

namespace orv::console {

class RunCookies {
 public:
  // The one store of this process.
  static RunCookies& Instance();

  // Makes a transfer keep and send the shared cookies. Any thread.
  void Attach(CURL* easy);
  // A response carried a Set-Cookie line (the worker that read it says so).
  void NoteSetCookie() { changed_.store(true); }

  // Starts the run's store: forgets what an earlier run of this process held, then reads
  // `jarPath` (empty: the run keeps its cookies in memory only). What could not be read is
  // returned so the caller can note it; a missing jar is an empty one.
  CookieFileContents Begin(const std::string& jarPath);
  // Writes the store into the jar when a response changed it since the last write and the
  // cookies differ from what the jar holds. False when the jar could not be written.
  bool SaveIfChanged();
  // The cookies the store holds now.
  std::vector<Cookie> Cookies();
  const std::string& JarPath() const { return jarPath_; }

 private:
  RunCookies();
  struct Impl;
  Impl* impl_;  // never freed: detached transfers may use it to the end of the process
  std::string jarPath_;
  std::string lastWritten_;  // the jar's text as last read or written
  std::atomic<bool> changed_{false};
};

}  // namespace orv::console
