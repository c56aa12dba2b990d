#include "main/collection/bookmarks.h"

#include <algorithm>

#include "common/local_path.h"
#include "common/string_list.h"
#include "common/text.h"

namespace orv {

void BookmarkModel::Load(const std::string& collectionRoot) {
  if (unsaved_) Save();
  root_ = collectionRoot;
  unsaved_ = false;
  categories_.clear();
  DamagedFile damage;
  std::vector<BookmarkRecord> records = LoadBookmarkFile(collectionRoot, &damage);
  if (!damage.file.empty() && setAside_)
    setAside_(SetAsideMessage(Ru("Файл закладок "), damage.file, damage.setAsideAs,
                              Ru("закладки, которые удалось прочитать, оставлены")));
  for (auto& r : records) {
    if (r.key.empty() || Contains(r.key)) continue;  // keys are unique in the whole tree
    BookmarkNode node{std::move(r.key), std::move(r.text), std::move(r.tag), r.image,
                      r.selectedImage};
    if (r.parentKey.empty()) {
      categories_.push_back({std::move(node), {}});
    } else if (BookmarkCategory* c = CategoryByKey(r.parentKey)) {
      c->bookmarks.push_back(std::move(node));
    }
    // A record whose parent is unknown (or is itself a bookmark) cannot be placed.
  }
  Changed();
}

bool BookmarkModel::Save() {
  if (root_.empty()) return false;
  unsaved_ = false;  // a failed write is not retried: errors while writing are ignored
  return SaveBookmarkFile(root_, Records());
}

bool BookmarkModel::Contains(std::string_view key) const { return Find(key) != nullptr; }

bool BookmarkModel::IsCategory(std::string_view key) const {
  return std::any_of(categories_.begin(), categories_.end(),
                     [&](const BookmarkCategory& c) { return c.node.key == key; });
}

std::string BookmarkModel::CategoryOf(std::string_view key) const {
  for (const auto& c : categories_) {
    if (c.node.key == key) return c.node.key;
    for (const auto& b : c.bookmarks) {
      if (b.key == key) return c.node.key;
    }
  }
  return {};
}

const BookmarkNode* BookmarkModel::Find(std::string_view key) const {
  for (const auto& c : categories_) {
    if (c.node.key == key) return &c.node;
    for (const auto& b : c.bookmarks) {
      if (b.key == key) return &b;
    }
  }
  return nullptr;
}

BookmarkCategory* BookmarkModel::CategoryByKey(std::string_view key) {
  for (auto& c : categories_) {
    if (c.node.key == key) return &c;
  }
  return nullptr;
}

std::string BookmarkModel::AddCategory() {
  std::string key;
  for (long long n = 0;; ++n) {
    key = "category_" + std::to_string(n);
    if (!Contains(key)) break;
  }
  categories_.push_back({BookmarkNode{key, key, {}, 0, 0}, {}});
  unsaved_ = true;
  Changed();
  return key;
}

BookmarkModel::Added BookmarkModel::AddBookmark(const BookmarkTarget& file,
                                                std::string_view selectedKey) {
  Added result;
  if (file.key.empty() || Contains(file.key)) return result;
  result.categoryKey = CategoryOf(selectedKey);
  if (result.categoryKey.empty()) {
    result.categoryKey = AddCategory();
    result.categoryCreated = true;
  }
  CategoryByKey(result.categoryKey)
      ->bookmarks.push_back(BookmarkNode{file.key, file.text, {}, file.image, file.selectedImage});
  result.added = true;
  Save();
  Changed();
  return result;
}

bool BookmarkModel::Rename(std::string_view key, std::string_view text) {
  if (text.empty()) return false;
  auto* node = const_cast<BookmarkNode*>(Find(key));
  if (!node) return false;
  node->text = std::string(text);
  unsaved_ = true;
  Changed();
  return true;
}

bool BookmarkModel::Remove(std::string_view key) {
  for (auto c = categories_.begin(); c != categories_.end(); ++c) {
    if (c->node.key == key) {
      categories_.erase(c);
      unsaved_ = true;
      Changed();
      return true;
    }
    auto& list = c->bookmarks;
    auto b = std::find_if(list.begin(), list.end(), [&](const BookmarkNode& n) { return n.key == key; });
    if (b != list.end()) {
      list.erase(b);
      unsaved_ = true;
      Changed();
      return true;
    }
  }
  return false;
}

bool BookmarkModel::Move(std::string_view bookmarkKey, std::string_view dropTargetKey) {
  if (IsCategory(bookmarkKey) || bookmarkKey == dropTargetKey) return false;
  std::string from = CategoryOf(bookmarkKey);
  std::string to = CategoryOf(dropTargetKey);
  if (from.empty() || to.empty()) return false;
  auto& source = CategoryByKey(from)->bookmarks;
  auto it = std::find_if(source.begin(), source.end(),
                         [&](const BookmarkNode& n) { return n.key == bookmarkKey; });
  BookmarkNode moved = std::move(*it);
  source.erase(it);
  CategoryByKey(to)->bookmarks.push_back(std::move(moved));
  unsaved_ = true;
  Changed();
  return true;
}

std::vector<BookmarkRecord> BookmarkModel::Records() const {
  std::vector<BookmarkRecord> records;
  for (const auto& c : categories_) {
    records.push_back({{}, c.node.key, c.node.text, c.node.tag, c.node.image, c.node.selectedImage});
    for (const auto& b : c.bookmarks) {
      records.push_back({c.node.key, b.key, b.text, b.tag, b.image, b.selectedImage});
    }
  }
  return records;
}

void BookmarkModel::Changed() const {
  if (changed_) changed_();
}

std::optional<std::string> BookmarkPathOfAddress(std::string_view address,
                                                 std::string_view collectionRoot) {
  if (address.size() <= 11) return std::nullopt;
  return FoundLocalPath(address, collectionRoot);
}

}  // namespace orv
