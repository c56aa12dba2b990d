#pragma once
// The proxy list of the lists page (column "Прокси") with its entry panel ("Адрес : Порт",
// "Имя:", "Пароль:", buttons "Годится" and "Отмена"). At most one entry is checked: it is the
// current proxy. The list is kept in `orvproxy` in the program folder, rewritten after every
// add, change, delete and reorder. The current proxy and its index are kept in the
// configuration (`MPRX`, `NPRX`). All text is Windows-1251 bytes.

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "main/lists/credential_list.h"

namespace orv {

inline constexpr const char* kOrvproxyFile = "orvproxy";
// Separates the stored credentials from address:port in a proxy key.
inline constexpr std::string_view kProxyCredentialMark = "@@@@@";

struct ProxyEntry {
  std::string key;   // address ":" port, optionally "@@@@@" user ":" password
  std::string text;  // address ":" port
  bool checked = false;
  std::string tag;   // carried along when entries are reordered
};

// The three fields of the proxy panel and its state.
struct ProxyPanel {
  std::string address;
  std::string user;
  std::string password;
  bool visible = false;
  bool changeMode = false;  // false: add mode
};

class ProxyList : public CredentialList<ProxyEntry> {
 public:
  // programFolder ends with "/"; `orvproxy` lives there.
  explicit ProxyList(const std::string& programFolder) : CredentialList(programFolder + kOrvproxyFile) {}

  // Start-up: fills the list from `orvproxy` (missing file: empty list); nothing is checked.
  void Load();

  // Popup "Добавить Запись": clears the three fields, add mode, shows the panel.
  void PanelAdd();
  // Double click / "Изменить Данные": the selected entry into the panel, change mode, shown.
  // Nothing happens without a selection.
  void PanelLoadSelected();
  // "Годится". Returns true when the panel was accepted (and hidden).
  bool PanelAccept();
  // "Отмена": clears the address field, hides the panel, add mode.
  void PanelCancel();
  ProxyPanel& Panel() { return panel_; }
  const ProxyPanel& Panel() const { return panel_; }

  // "Удалить Элемент": removes the selected entry and rewrites `orvproxy`.
  void DeleteSelected();

  // The user toggles a check box. Checking unchecks every other entry and makes this entry's
  // text the current proxy and its position the current index; unchecking changes nothing
  // else.
  void SetChecked(int index, bool checked);

  void SetTag(int index, std::string tag) {
    if (index >= 0 && static_cast<std::size_t>(index) < entries_.size()) entries_[index].tag = std::move(tag);
  }

  // Drag and drop: the entry at from is removed and inserted again at to (0-based positions
  // in the list as it was before the move); `orvproxy` is rewritten.
  void Move(int from, int to);

  // One step of proxy alternation (the run calls it when both its proxy and its alternation
  // options are on). With more than one entry: the current entry is unchecked, the index
  // advances and wraps to 1 past the last entry, that entry is checked and becomes the current
  // proxy. Returns false when the list has fewer than two entries.
  bool Alternate();

  const std::string& CurrentProxy() const { return currentProxy_; }
  // The current proxy as the console is handed it: "user:password" "@@@@@" address ":" port
  // when the list entry with that address holds credentials, else the address and port alone.
  // The entry is found by its address whether the current proxy was checked in the list or
  // written into the configuration by hand; the credentials never go into the configuration.
  std::string ConsoleSpec() const;
  int CurrentIndex() const { return currentIndex_; }  // 1-based; 0 = none
  void SetCurrent(std::string proxy, int index) {
    currentProxy_ = std::move(proxy);
    currentIndex_ = index;
  }

  // Current proxy and index from / to the configuration (`MPRX`, `NPRX`).
  void ReadCurrentFromSettings();
  void WriteCurrentToSettings() const;

 private:
  void ResyncIndexWithCheck();

  ProxyPanel panel_;
  std::string currentProxy_;
  int currentIndex_ = 0;
};

// The shown text of a stored proxy key: the part before "@@@@@" when it stands at position 2
// or later, else the whole key.
std::string ProxyTextOfKey(std::string_view key);

}  // namespace orv
