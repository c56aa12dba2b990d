#pragma once
// Collection conversion: copies the downloaded files into another folder with every
// NameEscape sequence removed from the names and from the contents, so the copy browses
// with plain names. Files are copied in bounded pieces; the removal is carried across the
// pieces and gives the same bytes as removing from the whole file at once.

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace orv::collection {

// The removal rule: the first ",8,,x2" and the two characters after it (fewer at the end of
// the text) are cut out, and the text is searched again from the start, until none is left.
// A cut can join two halves into a new sequence; that one goes too.
std::string RemoveNameEscapes(std::string_view text);

// The same rule over a stream. Bytes that can no longer be part of a cut are handed to the
// output; a cut reaching back into bytes already handed out takes them back (the output is a
// file the remover may shorten).
class NameEscapeRemover {
 public:
  class Output {
   public:
    virtual ~Output() = default;
    virtual bool Append(std::string_view bytes) = 0;
    // Takes back the last n bytes appended (n never exceeds what was appended); false on
    // failure.
    virtual bool TakeBack(std::size_t n, std::string& bytes) = 0;
  };

  explicit NameEscapeRemover(Output& out, std::size_t holdLimit = 1 << 16)
      : out_(out), holdLimit_(holdLimit) {}

  bool Feed(std::string_view piece);
  bool Finish();
  // Whether any sequence was cut so far.
  bool Removed() const { return removed_; }

 private:
  bool EndsWithMarker();
  bool Flush(std::size_t keep);

  Output& out_;
  std::size_t holdLimit_;
  std::string held_;             // the latest output bytes, not yet handed out
  std::uint64_t handedOut_ = 0;  // bytes handed to out_ and not taken back
  int skip_ = 0;                 // input bytes still to drop after a marker
  bool removed_ = false;
  bool failed_ = false;
};

// The converted name of a path below the collection root: the removal applied to each
// part between "/". A part that would become empty, "." or ".." keeps its name.
std::string ConvertedRelativePath(std::string_view relativePath);

// "name.ext" -> "name(2).ext"; a name without extension gets the number at its end.
std::string NumberedName(std::string_view relativePath, int number);

// Copies source to a new file target with the removal, in pieces of pieceSize bytes. A file
// already at target is never replaced (false). False when the source cannot be read or the
// target cannot be written; a target that failed half-way is removed.
bool CopyWithoutNameEscapes(const std::string& source, const std::string& target,
                            std::size_t pieceSize = 1 << 20);

// Where a conversion may write, for the folder the user chose.
struct ConversionPlace {
  enum class Kind {
    CollectionRoot,    // the chosen folder is the collection root: refused
    InsideCollection,  // it lies inside the collection (the copy would become a site): refused
    Chosen,            // it is empty: the copy goes there
    NewFolder,         // it holds something: the copy goes into a new folder made inside it
    CannotCreate,      // that new folder could not be made
  };
  Kind kind = Kind::CollectionRoot;
  std::string folder;  // ends with "/": where the copy goes, or the folder that could not be made
};
inline constexpr const char* kConvertedFolderName = "converted-collection";
// Decides and, for NewFolder, creates "converted-collection" ("-2", "-3", ... when taken)
// inside the chosen folder, so nothing already there is touched. Paths are compared as the
// file system resolves them (links, "..").
ConversionPlace PlaceConversion(const std::string& collectionRoot, const std::string& chosen);

// One conversion run, step by step so the window stays responsive between files. It never
// deletes or replaces anything in the target folder: a name that something already takes
// (a file of this run or of anyone else, a folder where a file goes, a file where a folder
// goes) is written under a number instead, as the status line tells.
class CollectionConversion {
 public:
  // collectionRoot and targetFolder end with "/"; files are full local paths below the root.
  CollectionConversion(std::string collectionRoot, std::string targetFolder, std::vector<std::string> files);

  // Converts up to maxFiles further files; false once every file is done.
  bool Step(std::size_t maxFiles = 1);
  bool Done() const { return next_ >= files_.size(); }

  std::size_t Copied() const { return copied_; }
  std::size_t Skipped() const { return skipped_; }
  std::uint64_t BytesRead() const { return bytesRead_; }
  // Target paths (below the target folder) written under a numbered name because something
  // already took their converted name or one of its folders.
  const std::vector<std::string>& Renamed() const { return renamed_; }
  // The status line (UTF-8) after a run with renamed files; empty otherwise.
  std::string RenamedStatus() const;

 private:
  void ConvertOne(const std::string& source);
  // Makes the folders of a name below the target; a folder's place taken by anything else
  // gets a number. The name as placed, or empty when a folder cannot be made.
  std::string PlaceFolders(std::string name) const;

  std::string root_, target_;
  std::vector<std::string> files_;
  std::size_t next_ = 0, copied_ = 0, skipped_ = 0;
  std::uint64_t bytesRead_ = 0;
  std::set<std::string> written_;
  std::vector<std::string> renamed_;
};

// Conversion takes the files of the tree with these images (every complete or incomplete
// kind but the bitmap kind 3).
inline bool IsConvertedImage(int image) { return image > 3 && image < 37; }

}  // namespace orv::collection
