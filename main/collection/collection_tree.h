#pragma once
// The collection's site tree, without widgets: the collection root, one node per site folder
// and, once a site is opened, its whole subtree read from disk breadth first. Long work is
// step-wise: a UI timer (or a test) calls Step(budget) until it returns false, so the one
// thread stays responsive and a stop request or the interrupt flag ends the scan.
//
// Keys are on-disk paths ("/" separators; folder keys end with "/"; the root's key is the
// root path); texts are the shown names (NameEscape and percent escapes decoded). Both are
// Windows-1251 / file-name bytes, converted for display only at the widgets.
//
// Node ids stay valid until the node is removed (refresh, delete, a new root); an id of a
// removed node may be reused by a later node.

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "main/collection/node_kinds.h"

namespace orv::collection {

using NodeId = std::uint32_t;
inline constexpr NodeId kNoNode = 0xFFFFFFFFu;

struct TreeNode {
  std::string key;
  std::string text;
  int image = 0;
  int selectedImage = 0;
  bool bold = false;      // a site marked for the help project and conversion tools
  bool expanded = false;  // mirrors the view: the view reports its changes, the commands ask it
  NodeId parent = kNoNode;
  std::uint32_t row = 0;  // position among the parent's children
  std::vector<NodeId> children;
  std::uint32_t seen = 0;  // scan generation that last found the node on disk
  bool alive = false;
};

// What the tree tells a view (the Qt item model) about its changes. Between Will* and Did*
// the tree is still in its old state, as Qt's begin/end notifications expect.
class TreeObserver {
 public:
  virtual ~TreeObserver() = default;
  virtual void WillReset() {}
  virtual void DidReset() {}
  virtual void WillInsert(NodeId /*parent*/, std::uint32_t /*row*/) {}
  virtual void DidInsert(NodeId /*node*/) {}
  virtual void WillRemove(NodeId /*node*/) {}
  virtual void DidRemove() {}
  virtual void Changed(NodeId /*node*/) {}  // text, image or bold
};

// A set of expand or collapse changes, applied by the view (in steps, with its stop check).
struct ExpansionPass {
  bool expand = true;
  std::vector<NodeId> nodes;  // only nodes with children whose state differs
};

class CollectionTree {
 public:
  CollectionTree();
  ~CollectionTree();
  CollectionTree(const CollectionTree&) = delete;
  CollectionTree& operator=(const CollectionTree&) = delete;

  void SetObserver(TreeObserver* observer) { observer_ = observer; }

  // --- the first level ---
  // Builds the root node and one node per site folder of root (ending with "/"), sorted by
  // shown name. A root other than the last build's removes the whole tree and the loaded-
  // sites list first; then it returns true (callers clear search results and reload the
  // bookmarks). With the same root, sites already present keep their subtrees; sites whose
  // folder is gone are removed.
  bool BuildFirstLevel(std::string_view root);
  // Removes everything and forgets the root (the next build starts afresh).
  void Clear();

  const std::string& Root() const { return root_; }
  NodeId RootNode() const { return rootNode_; }
  const TreeNode& Node(NodeId id) const { return nodes_[id]; }
  bool Alive(NodeId id) const { return id < nodes_.size() && nodes_[id].alive; }
  NodeId Find(std::string_view key) const;
  std::size_t NodeCount() const { return index_.size(); }
  // Every living node in tree order (parents before children), e.g. for a search pass.
  template <typename Visit>
  void ForEachNode(Visit visit) const {
    if (rootNode_ == kNoNode) return;
    std::vector<NodeId> stack{rootNode_};
    while (!stack.empty()) {
      NodeId id = stack.back();
      stack.pop_back();
      visit(id, nodes_[id]);
      const auto& c = nodes_[id].children;
      for (auto it = c.rbegin(); it != c.rend(); ++it) stack.push_back(*it);
    }
  }
  std::vector<NodeId> Sites() const;
  // The site node above (or at) a node; kNoNode for the root.
  NodeId SiteOf(NodeId id) const;

  // --- loading sites ---
  const std::vector<std::string>& LoadedSites() const { return loadedSites_; }
  bool IsLoaded(std::string_view siteKey) const;
  // Removes from the loaded-sites list every key that contains key.
  void ForgetLoadedBelow(std::string_view key);
  // Queues a site for loading unless it is loaded already; it enters the loaded-sites list at
  // once. False when there is nothing to load.
  bool QueueSiteLoad(NodeId site);
  // Rebuilds the first level, forgets the site's loaded state and queues it again; nodes the
  // new scan does not find on disk are removed when it completes.
  bool RefreshSite(NodeId site);
  // "Обновить Всю Структуру": clears the tree, builds the first level and queues every site.
  void RebuildAll();
  // Reads up to budget directory entries of the queued sites. True while work remains.
  bool Step(int budget);
  bool Busy() const { return scan_ != nullptr || !pending_.empty(); }
  // Ends the scan at the next entry: pending sites stay in the loaded list as far as read.
  // Without a scan it does nothing (a stale request must not end the next one).
  void RequestStop() { stopRequested_ = Busy(); }
  void SetInterrupt(bool on) { interrupted_ = on; }
  bool Interrupted() const { return interrupted_; }
  std::uint64_t EntriesRead() const { return entriesRead_; }
  // The scan counter: entries read since it last passed 100 (the busy label is redrawn then).
  int ScanCounter() const { return scanCounter_; }
  const std::string& FolderBeingRead() const;

  // --- the run's saved files ---
  // Files the node chain of a saved address below the root (site 46, folders 1, the file by
  // kind; partial when the file carries the mark). In web-search mode the page is filed in
  // the engine's "results/" (path starting "/yandsearch") or "previews/" folder (the folder's
  // nodes only: the console picks the file names). Returns the
  // last node, or kNoNode when the address is not a web address.
  NodeId AddSavedAddress(std::string_view address, bool webSearchMode = false);
  // For an address whose fetch is over: the tree follows the disk. A file that is there is
  // filed as above (partial when marked); one that is not loses its node, and so does each
  // folder above it that is gone from disk as well. Returns the file's node or kNoNode.
  NodeId ShowFetched(std::string_view address, bool webSearchMode = false);

  // --- commands ---
  void SetBold(NodeId id, bool bold);
  void SetExpanded(NodeId id, bool expanded) { nodes_[id].expanded = expanded; }
  // Removes the node and its subtree from the tree (no disk effect).
  void Remove(NodeId id);

  ExpansionPass ExpandFolder(NodeId current) const;  // "Развернуть Папку"
  ExpansionPass ExpandSite(NodeId current) const;    // "Развернуть Сайт"
  ExpansionPass CollapseSite(NodeId current) const;  // "Свернуть Сайт"
  ExpansionPass ExpandAll() const;                   // "Развернуть Все"
  ExpansionPass CollapseAll() const;                 // "Свернуть Все"
  ExpansionPass CollapseOthers(NodeId current) const;  // "Свернуть Прочие Папки"

 private:
  struct Scan;
  TreeObserver& Obs();
  // The local path a saved address is filed under; empty when it has none below the root.
  std::string SavedPath(std::string_view address, bool webSearchMode) const;
  NodeId NewNode(std::string key, std::string text, int image, int selectedImage, NodeId parent,
                 std::uint32_t row);
  std::uint32_t SiteRow(std::string_view text) const;  // sorted position of a new site
  void ReadEntry(Scan& s, std::string_view name, unsigned char type);
  void FreeSubtree(NodeId id);
  void RenumberFrom(NodeId parent, std::uint32_t from);
  void SetLook(NodeId id, std::string_view text, int image, int selectedImage);
  void StartNextSite();
  void FinishScan(bool complete);
  void RemoveUnseen(NodeId site, std::uint32_t generation);
  ExpansionPass Collect(NodeId top, bool expand) const;

  std::deque<TreeNode> nodes_;
  std::vector<NodeId> free_;
  std::unordered_map<std::string_view, NodeId> index_;  // views into the nodes' keys
  std::string root_;
  NodeId rootNode_ = kNoNode;
  std::vector<std::string> loadedSites_;
  std::deque<std::pair<NodeId, bool>> pending_;  // site, remove what the scan does not find
  std::unique_ptr<Scan> scan_;
  std::uint32_t generation_ = 0;
  bool stopRequested_ = false;
  bool interrupted_ = false;
  std::uint64_t entriesRead_ = 0;
  int scanCounter_ = 0;
  TreeObserver* observer_ = nullptr;
  TreeObserver noObserver_;
};

}  // namespace orv::collection
