#pragma once
// The page a site of the collection opens on: the local copy of a start address the scripts
// hold for that site, else index.html or index.htm at the site's top. Local paths and
// addresses are Windows-1251 bytes; folders end with "/".
#include <string>
#include <vector>

namespace orv::collection {

// The local file a web address was saved as ("index.html" for a folder address).
std::string StartPageOf(const std::string& address, const std::string& collectionFolder);

// The first of startAddresses whose saved file lies in siteFolder, else the site's index page;
// siteFolder itself when the site has neither.
std::string SiteStartPage(const std::string& siteFolder, const std::string& collectionFolder,
                          const std::vector<std::string>& startAddresses);

// The start address of each script slot of the collection (slots without one left out).
std::vector<std::string> ScriptStartAddresses(const std::string& collectionFolder);

}  // namespace orv::collection
