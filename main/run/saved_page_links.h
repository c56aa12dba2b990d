#pragma once
// The links of a page already saved in the collection, as addresses again. A saved page's
// links were rewritten to relative paths of local copies; a run that meets a complete copy
// (a rerun after a crash, a site fetched before) reads them back, so it goes on to the
// pages they lead to instead of stopping at the first complete one. Pure: no file access
// but through ReadSavedPageLinks.
#include <string>
#include <string_view>
#include <vector>

#include "common/address_text.h"

namespace orv {

// The href, src and url(...) values of `text`, a page saved at `pagePath` in the collection:
// a relative value is resolved against the page's folder and turned into its address; an
// http or https address stays as it is; fragments, other schemes and values leading out of
// the collection are dropped. Each address once, in order of appearance.
std::vector<std::string> SavedPageLinks(std::string_view text, std::string_view pagePath,
                                        std::string_view collectionFolder,
                                        const SiteSchemeLookup& siteScheme = {});

// The same for the file at pagePath, when its name says it is a page or a style sheet and it is
// not larger than a page usually is; empty otherwise.
std::vector<std::string> ReadSavedPageLinks(const std::string& pagePath, std::string_view collectionFolder,
                                            const SiteSchemeLookup& siteScheme = {});

}  // namespace orv
