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

// Copies source to target with the removal, in pieces of pieceSize bytes. Any old target is
// replaced. False when the source cannot be read or the target cannot be written; a failed
// target is removed.
bool CopyWithoutNameEscapes(const std::string& source, const std::string& target,
                            std::size_t pieceSize = 1 << 20);

// One conversion run, step by step so the window stays responsive between files.
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
  // Target paths (below the target folder) written under a numbered name because an
  // earlier file of this run, or a folder, already took their converted name.
  const std::vector<std::string>& Renamed() const { return renamed_; }
  // The status line (UTF-8) after a run with renamed files; empty otherwise.
  std::string RenamedStatus() const;

 private:
  void ConvertOne(const std::string& source);

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
