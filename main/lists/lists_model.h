#pragma once
// The five lists of the lists page together, as start-up loads them and shutdown saves them:
// the exclusion and track lists (exchange folder), the proxy and authentication lists (program
// folder) and the User-Agent presets. Run control reads the active sets, the current proxy
// and the User-Agent text from here.

#include <string>
#include <vector>

#include "common/string_list.h"
#include "common/text.h"

#include "main/lists/auth_list.h"
#include "main/lists/fragment_lists.h"
#include "main/lists/proxy_list.h"
#include "main/lists/user_agents.h"

namespace orv {

class ListsModel {
 public:
  // Both folders end with "/".
  ListsModel(const std::string& programFolder, const std::string& exchangeFolder)
      : exclusions(exchangeFolder), tracks(exchangeFolder), proxies(programFolder), auth(programFolder) {}

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
  void LoadListFilesAfterProxies() {
    auth.Load();
    exclusions.Load();
    tracks.Load();
  }
};

}  // namespace orv
