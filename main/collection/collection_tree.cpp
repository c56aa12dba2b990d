#include "main/collection/collection_tree.h"

#include <dirent.h>

#include <algorithm>
#include <unordered_set>

#include "common/local_path.h"
#include "main/collection/web_search.h"
#include "common/text.h"
#include "platform/file_attributes.h"

namespace orv::collection {
namespace {

bool IsDotName(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Sites sort as the tree control sorts: letter case ignored, then byte order.
bool ShownBefore(std::string_view a, std::string_view b) {
  std::string la = LowerCase(a), lb = LowerCase(b);
  if (la != lb) return la < lb;
  return a < b;
}

std::string WithSlash(std::string_view folder) {
  std::string s(folder);
  if (s.empty() || s.back() != '/') s.push_back('/');
  return s;
}

}  // namespace

struct CollectionTree::Scan {
  NodeId site = kNoNode;
  bool removeUnseen = false;
  std::uint32_t generation = 0;
  std::deque<NodeId> folders;  // folder nodes waiting to be read, breadth first
  DIR* dir = nullptr;
  NodeId folder = kNoNode;
  std::string folderPath;
  ~Scan() {
    if (dir != nullptr) closedir(dir);
  }
};

CollectionTree::CollectionTree() = default;
CollectionTree::~CollectionTree() = default;

TreeObserver& CollectionTree::Obs() { return observer_ != nullptr ? *observer_ : noObserver_; }

NodeId CollectionTree::Find(std::string_view key) const {
  auto it = index_.find(key);
  return it == index_.end() ? kNoNode : it->second;
}

std::vector<NodeId> CollectionTree::Sites() const {
  if (rootNode_ == kNoNode) return {};
  return nodes_[rootNode_].children;
}

NodeId CollectionTree::SiteOf(NodeId id) const {
  if (!Alive(id) || id == rootNode_) return kNoNode;
  while (nodes_[id].parent != rootNode_ && nodes_[id].parent != kNoNode) id = nodes_[id].parent;
  return nodes_[id].parent == rootNode_ ? id : kNoNode;
}

const std::string& CollectionTree::FolderBeingRead() const {
  static const std::string kNone;
  return scan_ != nullptr ? scan_->folderPath : kNone;
}

// --- building blocks ---

NodeId CollectionTree::NewNode(std::string key, std::string text, int image, int selectedImage,
                               NodeId parent, std::uint32_t row) {
  NodeId id;
  if (!free_.empty()) {
    id = free_.back();
    free_.pop_back();
  } else {
    id = static_cast<NodeId>(nodes_.size());
    nodes_.emplace_back();
  }
  TreeNode& n = nodes_[id];
  n.key = std::move(key);
  n.text = std::move(text);
  n.image = image;
  n.selectedImage = selectedImage;
  n.seen = generation_;
  n.alive = true;
  n.parent = parent;
  Obs().WillInsert(parent, row);
  index_.emplace(std::string_view(n.key), id);
  if (parent == kNoNode) {
    rootNode_ = id;
  } else {
    auto& c = nodes_[parent].children;
    c.insert(c.begin() + row, id);
    RenumberFrom(parent, row);
  }
  Obs().DidInsert(id);
  return id;
}

void CollectionTree::RenumberFrom(NodeId parent, std::uint32_t from) {
  auto& c = nodes_[parent].children;
  for (std::uint32_t i = from; i < c.size(); ++i) nodes_[c[i]].row = i;
}

std::uint32_t CollectionTree::SiteRow(std::string_view text) const {
  const auto& c = nodes_[rootNode_].children;
  auto it = std::upper_bound(c.begin(), c.end(), text, [this](std::string_view t, NodeId id) {
    return ShownBefore(t, nodes_[id].text);
  });
  return static_cast<std::uint32_t>(it - c.begin());
}

void CollectionTree::SetLook(NodeId id, std::string_view text, int image, int selectedImage) {
  TreeNode& n = nodes_[id];
  if (n.text == text && n.image == image && n.selectedImage == selectedImage) return;
  n.text = std::string(text);
  n.image = image;
  n.selectedImage = selectedImage;
  Obs().Changed(id);
}

void CollectionTree::FreeSubtree(NodeId top) {
  std::vector<NodeId> stack{top};
  while (!stack.empty()) {
    NodeId id = stack.back();
    stack.pop_back();
    TreeNode& n = nodes_[id];
    for (NodeId c : n.children) stack.push_back(c);
    if (n.image == kImageSite) {
      std::erase(loadedSites_, n.key);
    }
    index_.erase(std::string_view(n.key));
    n = TreeNode{};
    free_.push_back(id);
  }
}

void CollectionTree::Remove(NodeId id) {
  if (!Alive(id)) return;
  if (id == rootNode_) {
    Clear();
    return;
  }
  Obs().WillRemove(id);
  NodeId parent = nodes_[id].parent;
  std::uint32_t row = nodes_[id].row;
  auto& c = nodes_[parent].children;
  c.erase(c.begin() + row);
  RenumberFrom(parent, row);
  FreeSubtree(id);
  Obs().DidRemove();
}

void CollectionTree::Clear() {
  Obs().WillReset();
  scan_.reset();
  pending_.clear();
  nodes_.clear();
  free_.clear();
  index_.clear();
  loadedSites_.clear();
  rootNode_ = kNoNode;
  root_.clear();
  Obs().DidReset();
}

void CollectionTree::SetBold(NodeId id, bool bold) {
  if (!Alive(id) || nodes_[id].bold == bold) return;
  nodes_[id].bold = bold;
  Obs().Changed(id);
}

// --- the first level ---

bool CollectionTree::BuildFirstLevel(std::string_view rootPath) {
  std::string root = WithSlash(rootPath);
  bool newRoot = root != root_;
  if (newRoot) {
    Clear();
    root_ = root;
  }
  struct Site {
    std::string name, shown;
  };
  std::vector<Site> found;
  if (DIR* dir = opendir(root_.c_str())) {
    while (dirent* e = readdir(dir)) {
      if (IsDotName(e->d_name)) continue;
      bool folder = e->d_type == DT_DIR;
      if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
        int attrs = GetFileAttributes(root_ + e->d_name);
        folder = attrs >= 0 && (attrs & kAttrDirectory) != 0;
      }
      if (folder) found.push_back({e->d_name, ShownName(e->d_name)});
    }
    closedir(dir);
  }
  std::sort(found.begin(), found.end(),
            [](const Site& a, const Site& b) { return ShownBefore(a.shown, b.shown); });
  ++generation_;
  if (rootNode_ == kNoNode) {
    NewNode(root_, root_, kImageRoot, kImageRoot, kNoNode, 0);
  }
  nodes_[rootNode_].seen = generation_;
  for (Site& s : found) {
    std::string key = root_ + s.name + "/";
    NodeId id = Find(key);
    if (id != kNoNode) {
      nodes_[id].seen = generation_;
      continue;
    }
    std::uint32_t row = SiteRow(s.shown);
    NewNode(std::move(key), std::move(s.shown), kImageSite, kImageSite, rootNode_, row);
  }
  // Sites whose folder is gone leave the tree (unless a scan is reading them right now).
  std::vector<NodeId> gone;
  for (NodeId id : nodes_[rootNode_].children) {
    if (nodes_[id].seen != generation_ && !(scan_ && scan_->site == id)) gone.push_back(id);
  }
  for (NodeId id : gone) Remove(id);
  return newRoot;
}

// --- loading sites ---

bool CollectionTree::IsLoaded(std::string_view siteKey) const {
  return std::find(loadedSites_.begin(), loadedSites_.end(), siteKey) != loadedSites_.end();
}

void CollectionTree::ForgetLoadedBelow(std::string_view key) {
  std::erase_if(loadedSites_,
                [key](const std::string& k) { return k.find(key) != std::string::npos; });
}

bool CollectionTree::QueueSiteLoad(NodeId site) {
  if (!Alive(site) || nodes_[site].image != kImageSite || IsLoaded(nodes_[site].key)) return false;
  loadedSites_.push_back(nodes_[site].key);
  pending_.emplace_back(site, false);
  return true;
}

bool CollectionTree::RefreshSite(NodeId site) {
  if (!Alive(site) || nodes_[site].image != kImageSite) return false;
  std::string key = nodes_[site].key;
  BuildFirstLevel(root_);
  site = Find(key);
  if (site == kNoNode) return false;  // the site folder is gone
  ForgetLoadedBelow(key);
  loadedSites_.push_back(key);
  pending_.emplace_back(site, true);
  return true;
}

void CollectionTree::RebuildAll() {
  std::string root = root_;
  Clear();
  BuildFirstLevel(root);
  for (NodeId site : Sites()) QueueSiteLoad(site);
}

void CollectionTree::StartNextSite() {
  auto [site, removeUnseen] = pending_.front();
  pending_.pop_front();
  if (!Alive(site)) return;
  scan_ = std::make_unique<Scan>();
  scan_->site = site;
  scan_->removeUnseen = removeUnseen;
  scan_->generation = ++generation_;
  scan_->folders.push_back(site);
  nodes_[site].seen = generation_;
}

void CollectionTree::FinishScan(bool complete) {
  if (scan_ == nullptr) return;
  NodeId site = scan_->site;
  bool removeUnseen = scan_->removeUnseen && complete;
  std::uint32_t generation = scan_->generation;
  scan_.reset();
  if (removeUnseen && Alive(site)) RemoveUnseen(site, generation);
}

void CollectionTree::RemoveUnseen(NodeId site, std::uint32_t generation) {
  std::vector<NodeId> gone, stack{site};
  while (!stack.empty()) {
    NodeId id = stack.back();
    stack.pop_back();
    for (NodeId c : nodes_[id].children) {
      if (nodes_[c].seen != generation) {
        gone.push_back(c);
      } else {
        stack.push_back(c);
      }
    }
  }
  for (NodeId id : gone) Remove(id);
}

bool CollectionTree::Step(int budget) {
  int done = 0;
  while (done < budget) {
    if (stopRequested_ || interrupted_) {
      stopRequested_ = false;
      pending_.clear();
      FinishScan(false);
      return false;
    }
    if (scan_ == nullptr) {
      if (pending_.empty()) return false;
      StartNextSite();
      continue;
    }
    Scan& s = *scan_;
    if (s.dir != nullptr && !Alive(s.folder)) {  // the folder was removed meanwhile
      closedir(s.dir);
      s.dir = nullptr;
    }
    if (s.dir == nullptr) {
      if (s.folders.empty()) {
        FinishScan(true);
        continue;
      }
      s.folder = s.folders.front();
      s.folders.pop_front();
      if (!Alive(s.folder)) continue;
      s.folderPath = nodes_[s.folder].key;
      s.dir = opendir(s.folderPath.c_str());  // an unreadable folder is skipped
      continue;
    }
    dirent* e = readdir(s.dir);
    if (e == nullptr) {
      closedir(s.dir);
      s.dir = nullptr;
      continue;
    }
    if (IsDotName(e->d_name)) continue;
    ++done;
    ++entriesRead_;
    if (++scanCounter_ >= 100) scanCounter_ = 0;
    ReadEntry(s, e->d_name, e->d_type);
  }
  return Busy();
}

void CollectionTree::ReadEntry(Scan& s, std::string_view name, unsigned char type) {
  std::string path = s.folderPath;
  path.append(name);
  // A symbolic link is shown as a file and never followed, so a link cycle cannot trap the scan.
  bool folder = type == DT_DIR;
  bool partial = false;
  if (type == DT_UNKNOWN || !folder) {
    int attrs = GetFileAttributes(path);
    if (attrs < 0) return;  // attributes unreadable: skipped
    if (type == DT_UNKNOWN) folder = (attrs & kAttrDirectory) != 0;
    partial = !folder && (attrs & kAttrSystem) != 0;
  }
  std::string shown = ShownName(name);
  if (folder) {
    path.push_back('/');
    NodeId id = Find(path);
    if (id == kNoNode) {
      id = NewNode(std::move(path), std::move(shown), kImageFolder, kImageFolderSelected, s.folder, 0);
    } else {
      SetLook(id, shown, kImageFolder, kImageFolderSelected);
    }
    nodes_[id].seen = s.generation;
    s.folders.push_back(id);
    return;
  }
  int image = FileImage(name, partial);
  NodeId id = Find(path);
  if (id == kNoNode) {
    auto row = static_cast<std::uint32_t>(nodes_[s.folder].children.size());
    id = NewNode(std::move(path), std::move(shown), image, image, s.folder, row);
  } else {
    SetLook(id, shown, image, image);
  }
  nodes_[id].seen = s.generation;
}

// --- the run's saved files ---

std::string CollectionTree::SavedPath(std::string_view address, bool webSearchMode) const {
  if (rootNode_ == kNoNode) return {};
  std::string path;
  if (webSearchMode) {
    path = WebSearchFilingFolder(address, root_);
  } else {
    // Both schemes share one site folder.
    std::string plain(address);
    if (StartsWithNoCase(plain, "https://")) plain.erase(4, 1);
    if (!StartsWithNoCase(plain, "http://") || plain.size() <= 7) return {};
    path = LocalNameOf(plain, root_).path;
  }
  if (path.size() <= root_.size() || path.compare(0, root_.size(), root_) != 0) return {};
  return path;
}

NodeId CollectionTree::ShowFetched(std::string_view address, bool webSearchMode) {
  const std::string path = SavedPath(address, webSearchMode);
  if (path.empty()) return kNoNode;
  if (GetFileAttributes(path) >= 0) return AddSavedAddress(address, webSearchMode);
  // Nothing arrived: the node goes, and with it each folder above that is gone from disk too
  // (the console removes the folders a failed fetch made).
  NodeId id = Find(path);
  for (std::string key = path; id == kNoNode && key.size() > root_.size();) {
    key.resize(key.find_last_of('/', key.size() - 2) + 1);
    if (GetFileAttributes(key) >= 0) return kNoNode;
    id = Find(key);
  }
  while (Alive(id) && id != rootNode_) {
    const NodeId parent = nodes_[id].parent;
    Remove(id);
    if (parent == rootNode_ || !nodes_[parent].children.empty() || GetFileAttributes(nodes_[parent].key) >= 0) break;
    id = parent;
  }
  return kNoNode;
}

NodeId CollectionTree::AddSavedAddress(std::string_view address, bool webSearchMode) {
  const std::string path = SavedPath(address, webSearchMode);
  if (path.empty()) return kNoNode;

  NodeId parent = rootNode_;
  std::size_t from = root_.size();
  while (from < path.size()) {
    std::size_t slash = path.find('/', from);
    bool isFile = slash == std::string::npos;
    std::size_t end = isFile ? path.size() : slash + 1;
    std::string_view name = std::string_view(path).substr(from, (isFile ? end : slash) - from);
    std::string key = path.substr(0, end);
    from = end;
    if (name.empty()) continue;
    NodeId id = Find(key);
    if (isFile) {
      int attrs = GetFileAttributes(key);
      int image = FileImage(name, attrs >= 0 && (attrs & kAttrSystem) != 0);
      if (id == kNoNode) {
        auto row = static_cast<std::uint32_t>(nodes_[parent].children.size());
        id = NewNode(std::move(key), ShownName(name), image, image, parent, row);
      } else if (attrs >= 0) {
        SetLook(id, nodes_[id].text, image, image);
      }
    } else if (id == kNoNode) {
      std::string shown = ShownName(name);
      if (parent == rootNode_) {
        std::uint32_t row = SiteRow(shown);
        id = NewNode(std::move(key), std::move(shown), kImageSite, kImageSite, parent, row);
      } else {
        id = NewNode(std::move(key), std::move(shown), kImageFolder, kImageFolderSelected, parent, 0);
      }
    }
    parent = id;
  }
  return parent == rootNode_ ? kNoNode : parent;
}

// --- expand and collapse ---

ExpansionPass CollectionTree::Collect(NodeId top, bool expand) const {
  ExpansionPass pass;
  pass.expand = expand;
  if (!Alive(top)) return pass;
  std::vector<NodeId> stack{top};
  while (!stack.empty()) {
    NodeId id = stack.back();
    stack.pop_back();
    const TreeNode& n = nodes_[id];
    if (n.children.empty()) continue;
    if (n.expanded != expand) pass.nodes.push_back(id);
    for (auto it = n.children.rbegin(); it != n.children.rend(); ++it) stack.push_back(*it);
  }
  return pass;
}

ExpansionPass CollectionTree::ExpandFolder(NodeId current) const { return Collect(current, true); }
ExpansionPass CollectionTree::ExpandSite(NodeId current) const { return Collect(SiteOf(current), true); }
ExpansionPass CollectionTree::CollapseSite(NodeId current) const {
  return Collect(SiteOf(current), false);
}
ExpansionPass CollectionTree::ExpandAll() const { return Collect(rootNode_, true); }
ExpansionPass CollectionTree::CollapseAll() const { return Collect(rootNode_, false); }

ExpansionPass CollectionTree::CollapseOthers(NodeId current) const {
  ExpansionPass pass = Collect(rootNode_, false);
  std::unordered_set<NodeId> chain;
  for (NodeId id = current; Alive(id); id = nodes_[id].parent) chain.insert(id);
  std::erase_if(pass.nodes, [&chain](NodeId id) { return chain.count(id) != 0; });
  return pass;
}

}  // namespace orv::collection
