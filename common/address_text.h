#pragma once
// Address text utilities of the main program. Pure functions on Windows-1251 text.
// NameEscape lives in local_path.h with the rest of the local-name mapping.

#include <functional>
#include <string>
#include <string_view>

#include "common/local_path.h"

namespace orv {

// An address ending in "..)(.." is never too deep; otherwise its depth is the
// number of "/" from the 9th character on, at least 1, and it is too deep when
// limit is smaller than that. The site root has depth 1.
bool TooDeep(std::string_view address, int limit);

// Folder base of an address: an address ending in "/" is its own folder; otherwise
// the part up to the last "/" after the scheme when the last segment has "." or "?",
// else the address + "/" (a last segment without a dot is a folder; so is a bare
// site name).
std::string FolderOf(std::string_view address);

// Trims address in place (spaces). Host: for text starting with "http://" or "https://"
// (any case) and at least three characters longer than that, the text after the scheme up
// to the first "\" (or, with none, the first "/"), case kept; empty when the separator comes first. A host without
// "." is returned only when lanOrLocalhostOnline (connection mode LAN or localhost
// and the machine on line); otherwise the result is empty.
std::string HostOf(std::string& address, bool lanOrLocalhostOnline);

// The host's distinguishing name followed by ".": the pieces before each "." are taken (the
// piece after the last "." is not); the second piece, or the first when there is only one.
// A host without "." is its own alternate base. "Похожие адреса" lets in the hosts holding it.
std::string AlternateBaseOf(std::string_view host);

// The main program's percent decoder (not the link decoder of local_path.h): an
// escape "%" + two hex digits with value v is replaced by the byte v when v > 128 or
// 0 < v <= 32, and left as it is when 32 < v <= 128; "%00" and "%" without two hex
// digits stay. The scan continues after the "%" (no restart).
void PercentDecodeHighAndControl(std::string& text);

// Every byte <= 32 or >= 128 becomes "%" + its code in upper-case hex without
// leading zeros (a tab gives "%9", a space "%20").
std::string PercentEncode(std::string_view text);

// Distinguishing word of a host or address, used to choose a script automatically:
// ".name." for "www.name.ru", "name." for "http://name.ru/" (or "https://name.ru/"),
// ".name." for "name.ru".
std::string DomainWord(std::string_view address);

// What is remembered beside a site folder (its full path, no closing "/") about the scheme the
// site was fetched with: "https", "http" or empty.
using SiteSchemeLookup = std::function<std::string(const std::string& siteFolder)>;

// Local path -> address: with the collection folder (closing "/" optional) found in the path (case-
// insensitive), the site's scheme + the rest, NameEscape sequences undone; otherwise the
// path itself. "\" are read as "/". The scheme is "https://" when siteScheme tells so for
// the site's folder, else "http://". The ending a name got once more after its query
// (local_path.h) is dropped again.
std::string LocalPathToAddress(std::string_view path, std::string_view collectionFolder,
                               const SiteSchemeLookup& siteScheme = {});

// Undoes every NameEscape sequence in place (any code but 0; sequences without two
// hex digits are left).
void NameUnescape(std::string& text);

}  // namespace orv
