#include "main/scripts/address_tree.h"

#include <algorithm>

#include "common/address_scheme.h"
#include "common/local_path.h"
#include "common/numbers.h"
#include "common/text.h"
#include "platform/file_attributes.h"

namespace orv {

namespace {

constexpr int kRecentShown = 5;             // recent addresses under the busy counter
constexpr std::size_t kShortenAbove = 20;   // longer recent addresses lose their beginning
constexpr std::size_t kShortenFrom = 18;    // 0-based: the text from the 19th character on

std::string RecentLine(const std::string& address) {
  if (address.size() > kShortenAbove) return "..." + address.substr(kShortenFrom);
  return address;
}

}  // namespace

FileState AddressFileState(const std::string& address, const std::string& collectionFolder) {
  // A collection saved before today's names holds the file under its former name.
  std::string path = FoundLocalPath(address, collectionFolder);
  if (!path.empty() && path.back() == '/') path += "index.html";
  const int attrs = GetFileAttributes(path);
  // A folder standing at the name is no downloaded file.
  if (attrs < 0 || (attrs & kAttrDirectory)) return FileState::Missing;
  return (attrs & kAttrSystem) ? FileState::Partial : FileState::Complete;
}

AddressTreeBuilder::AddressTreeBuilder(std::vector<std::string> displayed, Categorize categorize,
                                       FileStateProbe fileState)
    : displayed_(std::move(displayed)),
      categorize_(std::move(categorize)),
      fileState_(std::move(fileState)),
      busyText_(Ru("  работа...") + "\n") {}

int AddressTreeBuilder::Find(std::string_view key) const {
  auto it = index_.find(key);
  return it == index_.end() ? -1 : it->second;
}

int AddressTreeBuilder::AddNode(std::string_view key, std::string_view text, int image, int parent) {
  auto it = index_.find(key);
  if (it != index_.end()) return it->second;  // a second addition is ignored
  const int n = static_cast<int>(nodes_.size());
  nodes_.push_back(AddressTreeNode{std::string(key), std::string(text), image, parent, 0});
  if (parent >= 0) ++nodes_[static_cast<std::size_t>(parent)].children;
  index_.emplace(std::string(key), n);
  return n;
}

void AddressTreeBuilder::Add(const std::string& a, FileState state, int category) {
  const bool partial = state == FileState::Partial;
  const int segmentImage = partial ? category + kPartialImageOffset : kFolderImage;
  const std::size_t len = a.size();
  // The host starts after the scheme; both schemes of a site share its host node.
  std::size_t start = SchemeLength(a);
  int parent = -1;
  bool host = true;
  // Each "/" closes a segment; the rest after the last one is the final segment, closed one
  // past the end. "after" counts the characters behind the closing position.
  for (std::size_t pos = start; pos <= len; ++pos) {
    const bool closing = pos == len || a[pos] == '/';
    if (!closing) continue;
    const std::string_view segment(a.data() + start, pos - start);
    const std::string_view key(a.data(), std::min(pos + 1, len));
    if (host) {
      parent = AddNode(key, segment, kFolderImage, -1);
      host = false;
    } else {
      const long long after = static_cast<long long>(len) - static_cast<long long>(pos) - 1;
      if (after > static_cast<long long>(segment.size()) + 1 || partial) {
        parent = AddNode(key, segment, segmentImage, parent);
      }
    }
    start = pos + 1;
  }
}

bool AddressTreeBuilder::Step() {
  if (done_) return false;
  const std::size_t end = std::min(displayed_.size(), next_ + kAddressesPerStep);
  for (; next_ < end && !stopped_; ++next_) {
    const std::string& a = displayed_[next_];
    ++processed_;
    if (!HasWebScheme(a)) continue;
    const FileState state = fileState_ ? fileState_(a) : FileState::Missing;
    if (state == FileState::Complete) continue;
    Add(a, state, state == FileState::Partial && categorize_ ? categorize_(a) : 0);
  }
  if (next_ < displayed_.size() && !stopped_) {
    busyText_ = Ru("  работа...[") + DecimalText(static_cast<long long>(next_ - 1)) + "]";
    const std::size_t from = next_ > static_cast<std::size_t>(kRecentShown) ? next_ - kRecentShown : 1;
    for (std::size_t k = from; k < next_; ++k) busyText_ += "\n" + RecentLine(displayed_[k]);
    return true;
  }
  done_ = true;
  busyText_ = Ru(" работа завершена.") + "\n" + Ru(" адресов: ") + DecimalText(processed_);
  return false;
}

std::vector<std::string> WithoutAddressesUnder(const std::vector<std::string>& displayed, std::string_view key) {
  if (key.empty()) return displayed;
  std::vector<std::string> out;
  out.reserve(displayed.size());
  for (std::size_t k = 0; k < displayed.size(); ++k) {
    if (k > 0 && displayed[k].compare(0, key.size(), key) == 0) continue;
    out.push_back(displayed[k]);
  }
  if (out.empty()) out.emplace_back();
  return out;
}

}  // namespace orv
