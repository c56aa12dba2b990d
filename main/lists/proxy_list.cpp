#include "main/lists/proxy_list.h"

#include <algorithm>

#include "common/config_keys.h"
#include "common/numbers.h"
#include "common/string_list.h"
#include "common/text.h"
#include "main/lists/list_text.h"
#include "platform/settings.h"

namespace orv {

std::string ProxyTextOfKey(std::string_view key) {
  const std::size_t mark = key.find(kProxyCredentialMark);
  if (mark != std::string_view::npos && mark >= 1) return std::string(key.substr(0, mark));
  return std::string(key);
}

void ProxyList::Load() {
  // An empty record is no proxy.
  LoadFromFile([](const std::string& record, ProxyEntry& entry) {
    if (record.empty()) return false;
    entry.text = ProxyTextOfKey(record);
    return true;
  });
}

void ProxyList::PanelAdd() {
  panel_.address.clear();
  panel_.user.clear();
  panel_.password.clear();
  panel_.changeMode = false;
  panel_.visible = true;
}

void ProxyList::PanelLoadSelected() {
  if (selected_ < 0) return;
  const ProxyEntry& entry = entries_[selected_];
  panel_.user.clear();
  panel_.password.clear();
  const std::size_t mark = entry.key.find(kProxyCredentialMark);
  if (mark != std::string::npos) {
    const std::string credentials = entry.key.substr(mark + kProxyCredentialMark.size());
    const std::size_t colon = credentials.find(':');
    if (colon != std::string::npos && colon >= 1) {
      panel_.user = credentials.substr(0, colon);
      panel_.password = credentials.substr(colon + 1);
    }
  }
  panel_.address = entry.text;
  panel_.changeMode = true;
  panel_.visible = true;
}

bool ProxyList::PanelAccept() {
  if (panel_.address.size() < 3) return false;
  if (panel_.address.find(':') == std::string::npos) panel_.address += ":80";
  if (panel_.user.size() < 3 || panel_.password.size() < 3) {
    panel_.user.clear();
    panel_.password.clear();
  }
  std::string key = panel_.address;
  if (!panel_.user.empty()) {
    key += kProxyCredentialMark;
    key += panel_.user + ":" + panel_.password;
  }
  if (key.size() > kMaxCountedString) return false;  // could never be stored
  const int existing = FindKey(key);
  if (panel_.changeMode) {
    if (selected_ >= 0) {
      ProxyEntry& entry = entries_[selected_];
      entry.text = panel_.address;
      if (existing < 0 || existing == selected_) entry.key = std::move(key);
    }
  } else if (existing < 0) {
    ProxyEntry entry;
    entry.key = std::move(key);
    entry.text = panel_.address;
    entries_.push_back(std::move(entry));
  }
  panel_.visible = false;
  Rewrite();
  panel_.changeMode = false;
  return true;
}

void ProxyList::PanelCancel() {
  panel_.address.clear();
  panel_.visible = false;
  panel_.changeMode = false;
}

void ProxyList::ResyncIndexWithCheck() {
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (entries_[i].checked) {
      currentIndex_ = static_cast<int>(i) + 1;
      return;
    }
  }
}

void ProxyList::DeleteSelected() {
  if (!EraseSelected()) return;
  // The index names the checked row; keep it on that row when rows above it go away.
  ResyncIndexWithCheck();
  Rewrite();
}

void ProxyList::SetChecked(int index, bool checked) {
  if (index < 0 || static_cast<std::size_t>(index) >= entries_.size()) return;
  if (!checked) {
    entries_[index].checked = false;
    Changed();
    return;
  }
  for (ProxyEntry& e : entries_) e.checked = false;
  entries_[index].checked = true;
  currentProxy_ = entries_[index].text;
  currentIndex_ = index + 1;
  Changed();
}

void ProxyList::Move(int from, int to) {
  const int n = static_cast<int>(entries_.size());
  if (from < 0 || from >= n || to < 0 || to >= n) return;
  ProxyEntry moved = std::move(entries_[from]);
  entries_.erase(entries_.begin() + from);
  const int at = std::min(to, static_cast<int>(entries_.size()));
  entries_.insert(entries_.begin() + at, std::move(moved));
  selected_ = at;
  ResyncIndexWithCheck();
  Rewrite();
}

bool ProxyList::Alternate() {
  const int n = static_cast<int>(entries_.size());
  if (n < 2) return false;
  if (currentIndex_ >= 1 && currentIndex_ <= n) {
    entries_[currentIndex_ - 1].checked = false;
    currentIndex_ = currentIndex_ + 1 > n ? 1 : currentIndex_ + 1;
  } else {
    // No row in use yet (or the list shrank): start the rotation at the first row, and use
    // it, so that the run never goes on with a proxy that is not in the rotation.
    currentIndex_ = 1;
  }
  for (ProxyEntry& e : entries_) e.checked = false;
  entries_[currentIndex_ - 1].checked = true;
  currentProxy_ = entries_[currentIndex_ - 1].text;
  Changed();
  return true;
}

namespace {

// An address and port as typed by hand may carry a scheme, a final "/" and other letter case.
std::string ComparableProxy(std::string_view text) {
  std::string t = LowerCase(Trim(text));
  if (t.rfind("http://", 0) == 0) t.erase(0, 7);
  if (!t.empty() && t.back() == '/') t.pop_back();
  return t;
}

}  // namespace

std::string ProxyList::ConsoleSpec() const {
  const std::string current = Trim(currentProxy_);
  // Credentials written into the text by hand are the user's own choice.
  if (current.find(kProxyCredentialMark) != std::string::npos) return current;
  const std::string wanted = ComparableProxy(current);
  if (wanted.empty()) return current;
  for (const ProxyEntry& e : entries_) {
    if (ComparableProxy(e.text) != wanted) continue;
    const std::size_t mark = e.key.find(kProxyCredentialMark);
    if (mark == std::string::npos) return current;
    return e.key.substr(mark + kProxyCredentialMark.size()) + std::string(kProxyCredentialMark) + current;
  }
  return current;
}

void ProxyList::ReadCurrentFromSettings() {
  currentProxy_ = ReadSetting(kCurrentProxyKey, "");
  currentIndex_ = static_cast<int>(LeadingInt(ReadSetting(kProxyCounterKey, "0")));
}

void ProxyList::WriteCurrentToSettings() const {
  WriteSetting(kCurrentProxyKey, currentProxy_);
  WriteSetting(kProxyCounterKey, DecimalText(currentIndex_));
}

}  // namespace orv
