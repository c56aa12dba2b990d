// Link arithmetic of the page processor: the extension test of "." anchors, resolving a
// relative link against the page's base, and the relative path between two local names.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orv::page {

// `fromDot`: the text starting at the dot (only its first six characters count). Picks the
// first group whose key those characters contain and passes when they also contain one of
// that group's endings.
bool ExtensionTestPasses(std::string_view fromDot);

// The whole-ending test: the word after the dot is a file ending of the known kinds (pages,
// style sheets, scripts, images, fonts, media, archives, documents) and the character after it
// cannot continue a name (".css\"", ".js?v=2"; not ".classList", ".zipinfo", ".css.map").
bool WholeEndingAt(std::string_view fromDot);

// Resolves a relative link (not starting with "http") against `base`, the folder address of
// the page; `root` is the page's scheme + site + "/". Empty when there is no result (a leading "."
// that is neither "./" nor a run of dots followed by "/").
std::string ResolveRelative(std::string_view link, std::string_view base, std::string_view root);
// The same into `out` (its storage is reused; `out` must not alias the inputs).
void ResolveRelativeTo(std::string_view link, std::string_view base, std::string_view root,
                       std::string& out);

// Relative path from the folder `fromFolder` ("S/a/", local, "/"-separated) to the file
// `toFile` ("S/b/x.html"). nullopt when even the first segment (the site) differs.
std::optional<std::string> RelativeLocalPath(std::string_view fromFolder, std::string_view toFile);
// The same into `out` (storage reused); false, `out` untouched, when there is none.
bool RelativeLocalPathTo(std::string_view fromFolder, std::string_view toFile, std::string& out);

}  // namespace orv::page
