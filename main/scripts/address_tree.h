#pragma once
// The address tree of the displayed script: what the current script still has to fetch,
// grouped by host and folder, built step by step so the window stays responsive (a UI timer
// calls Step until it returns false; tests and benchmarks call it in a loop).
//
// Nodes: a host node (key = the address up to and including the first "/" after "http://",
// image 24), folder nodes (key = the address up to and including a later "/", image 24) and
// file nodes (key = the whole address, image = category + 8). Completely downloaded addresses
// are not shown. A segment is added only when the text after it is longer than the segment
// plus one, or when its address is partly downloaded; a segment added for a partly downloaded
// address shows that address's category image + 8. Keys are unique: a node added a second time
// is ignored. Text is Windows-1251 bytes.

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace orv {

inline constexpr int kFolderImage = 24;
inline constexpr int kPartialImageOffset = 8;
inline constexpr int kAddressesPerStep = 101;

// State of an address's local file: missing, present with the unfinished-download mark, or
// present otherwise (complete).
enum class FileState { Missing = 0, Partial = 1, Complete = 2 };

// The local file of an address (the collection mapping, "index.html" for a folder address)
// and its state.
FileState AddressFileState(const std::string& address, const std::string& collectionFolder);

struct AddressTreeNode {
  std::string key;
  std::string text;
  int image = kFolderImage;
  int parent = -1;  // index into the node list; -1 for a host node (child of the root)
  int children = 0;
};

class AddressTreeBuilder {
 public:
  using Categorize = std::function<int(std::string_view address)>;
  using FileStateProbe = std::function<FileState(const std::string& address)>;

  // displayed: the displayed script (element 0 the header). categorize gives 1..8.
  AddressTreeBuilder(std::vector<std::string> displayed, Categorize categorize, FileStateProbe fileState);

  // Processes the next kAddressesPerStep addresses. False once everything is done (or after
  // Stop); the final text is then set.
  bool Step();
  // Runs every step at once.
  void Finish() {
    while (Step()) {
    }
  }
  // Stops early (the user stops, the window closes); the next Step finishes.
  void Stop() { stopped_ = true; }
  bool Done() const { return done_; }

  // The text that covers the tree: "  работа...[n]" with the recent addresses while busy,
  // " работа завершена." with the count of processed addresses at the end.
  const std::string& BusyText() const { return busyText_; }
  int Processed() const { return processed_; }

  const std::vector<AddressTreeNode>& Nodes() const { return nodes_; }
  // Index of the node with this key, or -1.
  int Find(std::string_view key) const;

 private:
  void Add(const std::string& address, FileState state, int category);
  int AddNode(std::string_view key, std::string_view text, int image, int parent);

  struct KeyHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  std::vector<std::string> displayed_;
  Categorize categorize_;
  FileStateProbe fileState_;
  std::size_t next_ = 1;
  int processed_ = 0;
  bool stopped_ = false;
  bool done_ = false;
  std::string busyText_;
  std::vector<AddressTreeNode> nodes_;
  std::unordered_map<std::string, int, KeyHash, std::equal_to<>> index_;
};

// The displayed script without every address that begins with key (byte comparison), the
// others in their order; element 0 is kept.
std::vector<std::string> WithoutAddressesUnder(const std::vector<std::string>& displayed, std::string_view key);

}  // namespace orv
