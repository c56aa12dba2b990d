#include "console/run_cookies.h"

#include <curl/curl.h>

#include <mutex>

namespace orv::console {

struct RunCookies::Impl {
  CURLSH* share = nullptr;
  // The handle through which the store itself is read and filled; it never transfers.
  CURL* store = nullptr;
  std::mutex storeUse;  // one caller of the store handle at a time
  std::mutex locks[CURL_LOCK_DATA_LAST];

  static void Lock(CURL*, curl_lock_data data, curl_lock_access, void* user) {
    static_cast<Impl*>(user)->locks[data].lock();
  }
  static void Unlock(CURL*, curl_lock_data data, void* user) {
    static_cast<Impl*>(user)->locks[data].unlock();
  }
};

RunCookies& RunCookies::Instance() {
  // Never destroyed, like its Impl: a transfer may still end after main returns.
  static RunCookies* const instance = new RunCookies();
  return *instance;
}

RunCookies::RunCookies() : impl_(new Impl) {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  impl_->share = curl_share_init();
  curl_share_setopt(impl_->share, CURLSHOPT_LOCKFUNC, &Impl::Lock);
  curl_share_setopt(impl_->share, CURLSHOPT_UNLOCKFUNC, &Impl::Unlock);
  curl_share_setopt(impl_->share, CURLSHOPT_USERDATA, impl_);
  curl_share_setopt(impl_->share, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
  impl_->store = curl_easy_init();
  Attach(impl_->store);
}

void RunCookies::Attach(CURL* easy) {
  curl_easy_setopt(easy, CURLOPT_SHARE, impl_->share);
  // "": the cookie engine on, nothing read from a file (the store is filled by Begin).
  curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");
}

CookieFileContents RunCookies::Begin(const std::string& jarPath) {
  std::lock_guard<std::mutex> use(impl_->storeUse);
  jarPath_ = jarPath;
  changed_.store(false);
  lastWritten_.clear();
  curl_easy_setopt(impl_->store, CURLOPT_COOKIELIST, "ALL");
  if (jarPath.empty()) return {};
  CookieFileContents read = ReadCookieFile(jarPath);
  if (read.error == CookieFileError::Missing) read.error = CookieFileError::None;
  for (const Cookie& c : read.cookies) curl_easy_setopt(impl_->store, CURLOPT_COOKIELIST, CookieLine(c).c_str());
  lastWritten_ = CookieFileText(read.cookies);
  return read;
}

std::vector<Cookie> RunCookies::Cookies() {
  std::lock_guard<std::mutex> use(impl_->storeUse);
  curl_slist* list = nullptr;
  if (curl_easy_getinfo(impl_->store, CURLINFO_COOKIELIST, &list) != CURLE_OK) return {};
  std::string text;
  for (curl_slist* l = list; l != nullptr; l = l->next) {
    text += l->data;
    text += '\n';
  }
  curl_slist_free_all(list);
  return ParseCookieText(text).cookies;
}

bool RunCookies::SaveIfChanged() {
  if (jarPath_.empty() || !changed_.exchange(false)) return true;
  const std::vector<Cookie> now = Cookies();
  // A site that sends the same cookie with every page changes nothing worth a write.
  const std::string text = CookieFileText(now);
  if (text == lastWritten_) return true;
  if (!WriteCookieFile(jarPath_, now)) {
    changed_.store(true);  // tried again after the next response
    return false;
  }
  lastWritten_ = text;
  return true;
}

}  // namespace orv::console
