#include "main/lists/auth_list.h"

#include "common/string_list.h"
#include "common/text.h"
#include "main/lists/list_text.h"

namespace orv {

std::optional<AuthCredentials> SplitAuthKey(std::string_view key) {
  const std::size_t a = key.find(kAuthSiteMark);
  if (a == std::string_view::npos) return std::nullopt;
  const std::size_t b = key.find(kAuthPasswordMark, a + kAuthSiteMark.size());
  if (b == std::string_view::npos) return std::nullopt;
  AuthCredentials c;
  c.site = std::string(key.substr(0, a));
  c.user = std::string(key.substr(a + kAuthSiteMark.size(), b - a - kAuthSiteMark.size()));
  c.password = std::string(key.substr(b + kAuthPasswordMark.size()));
  if (c.site.empty() || c.user.empty() || c.password.empty()) return std::nullopt;
  return c;
}

void AuthList::Load() {
  // The list is written back whole after every change: an entry the console cannot split
  // would cut off every entry after it, so such a record is not taken in.
  LoadFromFile([](const std::string& record, AuthEntry& entry) {
    const std::optional<AuthCredentials> parts = SplitAuthKey(record);
    if (!parts) return false;
    entry.text = parts->site;
    return true;
  });
}

void AuthList::PanelAdd() {
  panel_.changeMode = false;
  panel_.visible = true;
}

void AuthList::PanelLoadSelected() {
  if (selected_ < 0) return;
  const AuthEntry& entry = entries_[selected_];
  panel_.user.clear();
  panel_.password.clear();
  const std::size_t a = entry.key.find(kAuthSiteMark);
  if (a != std::string::npos) {
    const std::size_t from = a + kAuthSiteMark.size();
    const std::size_t b = entry.key.find(kAuthPasswordMark, from);
    if (b != std::string::npos) {
      panel_.user = entry.key.substr(from, b - from);
      panel_.password = entry.key.substr(b + kAuthPasswordMark.size());
    }
  }
  panel_.site = entry.text;
  panel_.changeMode = true;
  panel_.visible = true;
}

bool AuthList::PanelAccept() {
  panel_.site = LowerCase(Trim(panel_.site));
  if (panel_.site.size() < 4) return false;
  if (panel_.user.size() < 4 || panel_.password.size() < 4) {
    panel_.user.clear();
    panel_.password.clear();
  }
  if (panel_.user.empty()) return false;
  std::string key = panel_.site;
  key += kAuthSiteMark;
  key += panel_.user;
  key += kAuthPasswordMark;
  key += panel_.password;
  // A site holding "\\" or a user name holding "**" (or ending in "*") would be split by the
  // console into other parts than those typed: keep the panel open instead of storing it.
  const std::optional<AuthCredentials> back = SplitAuthKey(key);
  if (!back || back->site != panel_.site || back->user != panel_.user ||
      back->password != panel_.password) {
    return false;
  }
  if (key.size() > kMaxCountedString) return false;  // could never be stored
  const int existing = FindKey(key);
  if (panel_.changeMode) {
    // A key another entry has is refused; the entry keeps its site and key together.
    if (selected_ >= 0 && (existing < 0 || existing == selected_)) {
      entries_[selected_].text = panel_.site;
      entries_[selected_].key = std::move(key);
    }
  } else if (existing < 0) {
    AuthEntry entry;
    entry.key = std::move(key);
    entry.text = panel_.site;
    entries_.push_back(std::move(entry));
  }
  panel_.visible = false;
  Rewrite();
  panel_.changeMode = false;
  return true;
}

void AuthList::PanelCancel() {
  panel_.visible = false;
  panel_.changeMode = false;
}

void AuthList::DeleteSelected() {
  if (!EraseSelected()) return;
  Rewrite();
}

}  // namespace orv
