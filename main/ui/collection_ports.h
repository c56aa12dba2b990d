#pragma once
// What the collection page needs from the rest of the window, as small ports the composition
// root fills. An empty port means the feature is not wired: the page then does nothing for it.
// Addresses travel as Windows-1251 bytes, like every address inside the program.

#include <QString>

#include <functional>
#include <string>

#include "main/collection/current_script.h"

namespace orv {

struct CollectionPorts {
  std::function<void(const QString&)> setAddressBar;  // the address box InputUrl
  std::function<void(const QString&)> setCaption;     // the main window's caption
  std::function<void(const QString&)> setStatus;      // the status line (hovered links)
  std::function<void(const std::string&)> addToTrackList;   // "Колею"
  std::function<void(const std::string&)> addToExclusions;  // "Исключения"
  // "Add to the current script" on the page for a link that leads out of the copy.
  std::function<collection::ScriptTake(const std::string&)> addToScript;
  std::function<void()> createBookmark;         // a bookmark for the current node
  std::function<void()> chooseCollectionFolder; // the folder chooser ("openfolder")
  std::function<void(bool)> busyChanged;        // the tree's busy mode went on or off
  std::function<bool()> toolJobRunning;         // a help project or conversion job runs
  std::function<void()> interruptSearch;        // the browser's Refresh ends a running search
  std::function<void(bool)> hidePanes;          // "FullScreen": hide or show the tree pane
  std::function<void(bool)> widenBrowser;       // "Onleft": widen or narrow the browser
  // Both schemes share one site folder; true when the site was fetched over HTTPS.
  std::function<bool(const std::string& siteFolder)> siteUsesHttps;
  // "Войти на сайт…": the address opens on the live site for the user to log in.
  std::function<void(const std::string& address)> logIn;
};

}  // namespace orv
