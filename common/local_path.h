#pragma once
// The one mapping from an address to its local file in the collection, used by
// both programs. Local paths use "/"; the collection folder ends with "/".
//
// Layout: collection + address without its scheme ("http://" or "https://": both schemes of
// a site share one folder), where "/" and "\" before the
// first "?" are folder separators and the characters file names cannot hold are
// written as NameEscape sequences (",8,,x2" + two upper-case hex digits).
// "S/a.php?x=1/2" is stored as the file "a.php,8,,x23Fx=1,8,,x25C2" in folder "S".
// A path segment made only of dots is stored with each dot as ",8,,x22E", so no
// address ever maps outside the collection. A name part over 255 bytes (the most a file
// system allows) becomes its first bytes, "~", twelve hex digits of a hash of the whole
// part and the part's ending from its last "." (up to 16 bytes): every program that maps
// an address (console, page rewriter, main program) finds the same file.
//
// Two spellings of one address name one file: percent escapes a server reads as the byte
// itself (letters, digits, "-", "_", "~" and bytes from 128 on, so a UTF-8 name arrives as
// the server sent it) are decoded before the name is formed. A browser decides by a local
// file's ending whether it is a page, a style sheet, a script, an image or a font: where a
// query follows such an ending ("theme.css?v=2"), the name ends in it once more
// ("theme.css,8,,x23Fv=2.css"). Names that end right already are mapped as they always were.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orv {

struct LocalName {
  std::string path;            // full local file name
  // The name collections saved before the two rules above gave the address, when it differs
  // from path (empty otherwise): such a collection still holds its files under it.
  std::string formerPath;
  std::string requestAddress;  // the address to request ("/" appended where a folder is meant)
  int levels = 0;              // folder levels below the collection folder
  std::string levelsUp;        // "../" x levels: from the file's folder back to the collection
};

// Escapes ":", "|", "*", "<", ">", "!" everywhere, then "?", "/", "\" from the
// first "?" on. The double quote is kept.
std::string NameEscape(std::string_view text);

// Decodes NameEscape sequences for display with the console's rule: a code above
// 32 is replaced (and the search restarts, so a decoded text forming a new escape
// is decoded too); 32 or below stays encoded. Non-hex digits count as 255.
std::string NameEscapeDecode(std::string_view text);

// Percent decoding of a link before it is mapped: "%" + two hex digits above 32
// becomes that byte, restarting so "%2541" gives "A"; 32 or below ("%20") stays
// encoded; two non-hex characters count as 255. A "%" with fewer than two
// characters after it stays.
std::string LinkPercentDecode(std::string_view text);

// The escapes of an address that a server reads as the bytes themselves, decoded: "%" + two
// hex digits giving an ASCII letter or digit, "-", "_", "~", or a byte from 128 on. Every other
// escape ("%20", "%2F", "%3F", "%25", ...) stays, since decoding it would change what the
// address names. No restart: the result decodes to itself.
std::string DecodeUnreservedEscapes(std::string_view address);

// The ending the local name of an address gets once more: the ending of its path's last
// segment when that is one a browser types a local file by (page, style sheet, script, image,
// font), a query follows and the address does not end in it already. Empty otherwise.
std::string_view RestoredEnding(std::string_view address);

// The way back from a restored ending: the address without the ending its local name was
// given (a query that itself ends in the path's ending, "combo.js?a.js&b.js", is left whole).
std::string WithoutRestoredEnding(std::string_view address);

// Host of an address: only for addresses starting "http://" or "https://" (any case) and
// longer than their scheme; the text after it up to the first "\" (or, with none, the first
// "/") or the end, case kept. Empty when a separator follows the scheme at once;
// nullopt for anything else.
std::optional<std::string> HostRule(std::string_view address);

// The address up to and including its last "/" (all of it when it has none), and
// the text after the last "/" (all of it when it has none).
std::string AddressFolder(std::string_view address);
std::string AddressFilePart(std::string_view address);

// The site folder of a local name (collection + first folder, no closing "/"); empty when
// the name does not lie in a site folder of the collection.
std::string SiteFolderOf(std::string_view localPath, std::string_view collectionFolder);

// Ordinary mapping, pure (no file-system effects).
LocalName LocalNameOf(std::string_view address, std::string_view collectionFolder);

// The local name of an address as found in the collection: the former name when only that
// exists, else the name of today's mapping.
std::string FoundLocalPath(std::string_view address, std::string_view collectionFolder);

// The same, then creates the folders of the name; a file standing where a folder
// is needed is deleted (only below the collection folder). created, when given, receives
// the folders this call made, outermost first.
LocalName PrepareLocalName(std::string_view address, std::string_view collectionFolder,
                           std::vector<std::string>* created = nullptr);

// Creates the folders of a local name (each prefix up to a "/"), deleting a file in
// the way when it lies below collectionFolder (a name with a "." or ".." segment is not
// taken as below it). Returns the levels below it.
int CreateFoldersOf(std::string_view localPath, std::string_view collectionFolder,
                    std::vector<std::string>* created = nullptr);

// Search mode: prefix = collection + engine host + "/previews/preview_" for the
// engine's cached copies, else + "/results/result_".
std::string SearchModePrefix(std::string_view address, std::string_view collectionFolder);
// One candidate name: prefix + FloatText(first) + FloatText(second) + ".htm".
std::string SearchModeCandidate(std::string_view address, std::string_view collectionFolder,
                                float first, float second);

// Draws a number in [0, limit). The default draws from a generator seeded from the
// clock before each draw.
using RandomDraw = std::function<float(float limit)>;

// Search-mode name: candidates (first draw below 50000, second below 50) until one
// names no existing file, then its folders are created. The request address is the
// address unchanged.
LocalName PrepareSearchLocalName(std::string_view address, std::string_view collectionFolder,
                                 const RandomDraw& draw = {});

}  // namespace orv
