#pragma once
// "Списки": the exclusion list ViewIskl0 and the track list AFilter, the proxy list ProxyList and
// the authentication list HttpAuten with their entry panels, and the User-Agent presets
// UserAgTxt / TxtUserAgTxt. The lists models do the work; the widgets show them and forward
// the user's actions. Ctrl+D on a list goes through the window's keyboard commands.
#include <QWidget>

class QComboBox;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;

namespace orv {

class FragmentList;
class KeyDispatcher;
class ListsModel;

// The entry panel beside the proxy or the authentication list: three fields, "Годится", "Отмена".
struct EntryPanel {
  QWidget* frame = nullptr;
  QLineEdit* address = nullptr;
  QLineEdit* user = nullptr;
  QLineEdit* password = nullptr;
  QPushButton* accept = nullptr;
  QPushButton* cancel = nullptr;
};

class ListsPage final : public QWidget {
 public:
  ListsPage(ListsModel& lists, KeyDispatcher& keys, QWidget* parent = nullptr);
  ~ListsPage() override;

  void Refresh();

  QListWidget* Exclusions() const { return exclusions_; }
  QListWidget* Tracks() const { return tracks_; }
  QListWidget* Proxies() const { return proxies_; }
  QListWidget* Credentials() const { return auth_; }
  const EntryPanel& ProxyPanel() const { return proxyPanel_; }
  const EntryPanel& AuthPanel() const { return authPanel_; }
  QComboBox* UserAgentPresets() const { return agentPresets_; }
  QLineEdit* UserAgentText() const { return agentText_; }
  // The popup a right click on the list opens, with its items enabled as for that click.
  QMenu* MenuFor(QListWidget* list);

 private:
  QListWidget* MakeFragmentList(FragmentList& model, const char* name, const char* title, bool exclusions);
  void RefreshFragments(QListWidget* view, const FragmentList& model);
  void RefreshProxies();
  void RefreshCredentials();
  void ShowProxyPanel();
  void ShowAuthPanel();
  void AcceptProxyPanel();
  void AcceptAuthPanel();
  // The model changed (here or anywhere else): the list is shown again once the event that
  // changed it is over, as a view must not be rebuilt under its own signal.
  void ListChanged(int kind);
  void ProxyDropped(int from, int before);

  ListsModel& lists_;
  KeyDispatcher& keys_;
  QListWidget* exclusions_ = nullptr;
  QListWidget* tracks_ = nullptr;
  QListWidget* proxies_ = nullptr;
  QListWidget* auth_ = nullptr;
  EntryPanel proxyPanel_;
  EntryPanel authPanel_;
  QComboBox* agentPresets_ = nullptr;
  QLineEdit* agentText_ = nullptr;
  QMenu* exclusionsMenu_ = nullptr;
  QMenu* tracksMenu_ = nullptr;
  QMenu* proxiesMenu_ = nullptr;
  QMenu* authMenu_ = nullptr;
  bool refreshing_ = false;
  int listenToken_ = 0;
  unsigned pendingRefresh_ = 0;  // one bit per list kind
};

}  // namespace orv
