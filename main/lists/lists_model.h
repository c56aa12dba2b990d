#pragma once
// The five lists of the lists page together, as start-up loads them and shutdown saves them:
// the exclusion and track lists (exchange folder), the proxy and authentication lists (program
// folder) and the User-Agent presets. Run control reads the active sets, the current proxy
// and the User-Agent text from here.

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "common/string_list.h"
#include "common/text.h"

#include "main/lists/auth_list.h"
#include "main/lists/fragment_lists.h"
#include "main/lists/proxy_list.h"
#include "main/lists/user_agents.h"

namespace orv {

enum class ListKind { Exclusions, Tracks, Proxies, Credentials };

class ListsModel {
 public:
  // Both folders end with "/".
  ListsModel(const std::string& programFolder, const std::string& exchangeFolder)
      : exclusions(exchangeFolder), tracks(exchangeFolder), proxies(programFolder), auth(programFolder) {
    exclusions.OnChange([this] { Notify(ListKind::Exclusions); });
    tracks.OnChange([this] { Notify(ListKind::Tracks); });
    proxies.OnChange([this] { Notify(ListKind::Proxies); });
    auth.OnChange([this] { Notify(ListKind::Credentials); });
  }
  ListsModel(const ListsModel&) = delete;
  ListsModel& operator=(const ListsModel&) = delete;

  // Every view of the lists hears of each change, whoever made it (the lists page, the
  // collection tree, the channel list, the script tree, proxy alternation during a run).
  // Returns the token Forget takes.
  using Listener = std::function<void(ListKind)>;
  int Listen(Listener listener) {
    listeners_[++lastToken_] = std::move(listener);
    return lastToken_;
  }
  void Forget(int token) { listeners_.erase(token); }

  // "В Исключения" / "В Колею", from wherever the user sends an address (collection tree,
  // script tree, channel list): the address becomes an entry (unchecked) and the list file is
  // written at once. False when the list already holds it (or it is empty).
  bool Exclude(const std::string& address) { return exclusions.Add(address) && exclusions.Save(); }
  bool Track(const std::string& address) { return tracks.Add(address) && tracks.Save(); }

  // Start-up: `orvproxy` and `httpauten`, then `orvcess` and `orvnecess` (which rebuilds the
  // active sets and writes `torvcess`). No proxy entry is checked afterwards.
  void LoadListFiles() {
    proxies.Load();
    LoadListFilesAfterProxies();
  }
  // Start-up: the current proxy and its index from the configuration.
  void ReadProxyState() { proxies.ReadCurrentFromSettings(); }
  // Start-up as the program runs it: `orvproxy`, the current proxy and its index, then the
  // other three files as LoadListFiles reads them.
  void LoadListFilesAndProxyState() {
    proxies.Load();
    ReadProxyState();
    LoadListFilesAfterProxies();
  }

  // Shutdown: the current proxy and its index into the configuration.
  void WriteProxyState() const { proxies.WriteCurrentToSettings(); }
  // Shutdown: `orvcess` and `orvnecess` with every entry and its mark. False when a file
  // could not be written.
  bool SaveListFiles() const {
    const bool a = exclusions.Save();
    const bool b = tracks.Save();
    return a && b;
  }

  ExclusionList exclusions;
  TrackList tracks;
  ProxyList proxies;
  AuthList auth;
  UserAgentPresets userAgents;

  // What the user is told about list files the last load found damaged and set aside (one
  // message per file; the next load no longer finds them).
  std::vector<std::string> SetAsideMessages() const {
    std::vector<std::string> messages;
    for (const DamagedFile* d : {&proxies.LoadDamage(), &auth.LoadDamage(), &exclusions.LoadDamage(),
                                     &tracks.LoadDamage()}) {
      if (!d->file.empty())
        messages.push_back(SetAsideMessage(Ru("Файл списка "), d->file, d->setAsideAs,
                                           Ru("в списке оставлено то, что удалось прочитать")));
    }
    return messages;
  }

 private:
  void Notify(ListKind kind) {
    // A listener may forget itself while it is told.
    const auto listeners = listeners_;
    for (const auto& [token, listener] : listeners) listener(kind);
  }
  void LoadListFilesAfterProxies() {
    auth.Load();
    exclusions.Load();
    tracks.Load();
  }

  std::map<int, Listener> listeners_;
  int lastToken_ = 0;
};

}  // namespace orv
