#pragma once
// The bookmarks of one collection root: categories (top-level nodes, usually keyed
// "category_" + n) holding bookmarks (the full local path of a file as key, so a file
// is bookmarked once). Operations are named after what the user does in the bookmark
// tree; the tree widget shows Categories() and redraws when told of a change.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "main/collection/bookmark_file.h"

namespace orv {

struct BookmarkNode {
  std::string key;
  std::string text;
  std::string tag;
  int image = 0;
  int selectedImage = 0;
};

struct BookmarkCategory {
  BookmarkNode node;
  std::vector<BookmarkNode> bookmarks;
};

// The file a bookmark points at, as the site tree shows it.
struct BookmarkTarget {
  std::string key;  // full local path
  std::string text;
  int image = 0;
  int selectedImage = 0;
};

class BookmarkModel {
 public:
  // Replaces the bookmarks by those of the collection root (ending with "/"); called
  // whenever the site tree's first level is built. Renames, removals and moves not yet
  // written are written to the previous root's file first, so a rebuild or another root
  // does not undo them.
  void Load(const std::string& collectionRoot);
  // Writes the bookmark file of the current root (none when there is no root yet).
  bool Save();

  const std::string& Root() const { return root_; }
  const std::vector<BookmarkCategory>& Categories() const { return categories_; }
  bool Contains(std::string_view key) const;
  bool IsCategory(std::string_view key) const;
  // The category holding a bookmark key, or the key itself for a category; empty when unknown.
  std::string CategoryOf(std::string_view key) const;
  const BookmarkNode* Find(std::string_view key) const;

  // Adds a category with the first free key "category_" + n, named as its key.
  // Returns the key; the tree selects it and opens its name for editing.
  std::string AddCategory();

  struct Added {
    bool added = false;            // false: the file is bookmarked already
    bool categoryCreated = false;  // a category was made for it (its name is opened for editing)
    std::string categoryKey;
  };
  // Bookmarks a file into the category of the selected node (a category or a bookmark);
  // with nothing selected into a new category. A new bookmark is written to the file at once.
  Added AddBookmark(const BookmarkTarget& file, std::string_view selectedKey);

  // Sets the shown name of a node (empty names are refused). False for an unknown key.
  bool Rename(std::string_view key, std::string_view text);
  // Removes a bookmark, or a category with its bookmarks. False for an unknown key.
  bool Remove(std::string_view key);
  // Moves a bookmark into the drop target's category (the target itself when it is a
  // category); it becomes that category's last bookmark. False when nothing moves.
  bool Move(std::string_view bookmarkKey, std::string_view dropTargetKey);

  // Nodes in tree order: each category followed by its bookmarks.
  std::vector<BookmarkRecord> Records() const;

  // Told after every change, so the bookmark tree redraws.
  void SetChangedHandler(std::function<void()> handler) { changed_ = std::move(handler); }
  // Told, once, the message about a bookmark file a load found damaged and set aside.
  void SetSetAsideHandler(std::function<void(const std::string&)> handler) { setAside_ = std::move(handler); }

 private:
  BookmarkCategory* CategoryByKey(std::string_view key);
  void Changed() const;

  std::string root_;
  std::vector<BookmarkCategory> categories_;
  bool unsaved_ = false;
  std::function<void()> changed_;
  std::function<void(const std::string&)> setAside_;
};

// The local file of a channel's address, for bookmarking from the channel list: the
// address-to-name mapping of the console below the collection root. Addresses of 11
// characters or fewer give none.
std::optional<std::string> BookmarkPathOfAddress(std::string_view address,
                                                 std::string_view collectionRoot);

}  // namespace orv
