#pragma once
// The HTTP authentication list of the lists page (column "Url сайта") with its entry panel
// ("Адрес:", "Имя:", "Пароль:", buttons "Годится" and "Отмена"). Each entry names a site and
// the user name and password the console sends to it. The list is kept in `httpauten` in the
// program folder, which the console reads at its start and splits at the first "\\" and the
// next "**"; an entry it cannot split into three non-empty parts ends its reading, so this
// model never writes one. All text is Windows-1251 bytes.

#include <optional>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "main/lists/credential_list.h"

namespace orv {

inline constexpr const char* kHttpautenFile = "httpauten";
inline constexpr std::string_view kAuthSiteMark = "\\\\";   // two backslash characters
inline constexpr std::string_view kAuthPasswordMark = "**";

struct AuthEntry {
  std::string key;   // site "\\" user "**" password
  std::string text;  // the site
};

struct AuthCredentials {
  std::string site;
  std::string user;
  std::string password;
};

// Splits a stored key the way the console does: site before the first "\\", user up to the
// next "**", password after it. Empty when a separator is missing or a part is empty.
std::optional<AuthCredentials> SplitAuthKey(std::string_view key);

struct AuthPanel {
  std::string site;
  std::string user;
  std::string password;
  bool visible = false;
  bool changeMode = false;  // false: add mode
};

class AuthList : public CredentialList<AuthEntry> {
 public:
  // programFolder ends with "/"; `httpauten` lives there.
  explicit AuthList(const std::string& programFolder) : CredentialList(programFolder + kHttpautenFile) {}

  // Start-up: fills the list from `httpauten` (missing file: empty list).
  void Load();

  // Popup "Добавить Запись": add mode, shows the panel.
  void PanelAdd();
  // Double click / "Изменить Данные": the selected entry into the panel, change mode, shown.
  void PanelLoadSelected();
  // "Годится". Returns true when the panel was accepted (and hidden); false keeps it open.
  bool PanelAccept();
  // "Отмена": hides the panel, add mode.
  void PanelCancel();
  AuthPanel& Panel() { return panel_; }
  const AuthPanel& Panel() const { return panel_; }

  // "УдалитьЭлемент": removes the selected entry and rewrites `httpauten`.
  void DeleteSelected();

 private:
  AuthPanel panel_;
};

}  // namespace orv
