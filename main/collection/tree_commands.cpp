#include "main/collection/tree_commands.h"

#include "common/address_text.h"
#include "common/escapes.h"
#include "common/text.h"
#include "platform/file_attributes.h"

namespace orv::collection {

OpenResult OpenNode(CollectionTree& tree, CurrentNode& current, NodeId id, bool markMode) {
  OpenResult result;
  if (!tree.Alive(id)) return result;
  tree.SetInterrupt(false);
  SelectNode(tree, current, id);
  const TreeNode& n = tree.Node(id);
  if (markMode && n.image == kImageSite) tree.SetBold(id, !n.bold);
  result.localPath = n.key;
  if (n.image == kImageSite) result.loadQueued = tree.QueueSiteLoad(id);
  return result;
}

void SelectNode(const CollectionTree& tree, CurrentNode& current, NodeId id) {
  if (!tree.Alive(id)) return;
  const TreeNode& n = tree.Node(id);
  current.set = true;
  current.key = n.key;
  current.text = n.text;
  current.image = n.image;
  current.id = id;
}

TreePopup PrepareTreePopup(int image, bool hasChildren, bool toolJobRunning, bool compilerPresent) {
  TreePopup p;
  bool root = image == kImageRoot;
  bool site = image == kImageSite;
  p.refreshCaption = site ? "Обновить Папку Сайта"
                          : (IsContainerImage(image) ? "Обновить Папку" : "Обновить Окно");
  p.collapseOthersCaption = root ? "Свернуть Узлы" : "Свернуть Прочие";
  p.bookmark = IsFileImage(image);
  p.nodeCommands = !root;
  bool expandable = !root && (!site || hasChildren);
  p.expandSite = p.expandFolder = p.collapseSite = expandable;
  p.rebuildAll = root;
  p.chooseFolder = root && !toolJobRunning;
  p.htmlHelp = !toolJobRunning;
  p.quickCompile = compilerPresent;
  return p;
}

std::string WebAddressOf(std::string_view localPath, std::string_view root, bool httpsSite) {
  // The scheme the site folder remembers from its last fetch; httpsSite insists on https.
  std::string address = LocalPathToAddress(localPath, root, ReadSiteScheme);
  if (httpsSite && StartsWithNoCase(address, "http://")) address.insert(4, "s");
  return address;
}

std::string DecodeFileUrl(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      int h = detail::HexDigit(text[i + 1]), l = detail::HexDigit(text[i + 2]);
      if (h >= 0 && l >= 0 && (h | l) != 0) {
        out.push_back(static_cast<char>(h * 16 + l));
        i += 2;
        continue;
      }
    }
    out.push_back(text[i]);
  }
  return out;
}

namespace {

std::string_view WithoutFileScheme(std::string_view location) {
  if (StartsWithNoCase(location, "file:///")) {
    // Keep the leading "/" of the absolute path.
    location.remove_prefix(7);
  }
  return location;
}

}  // namespace

PageLoaded AfterPageLoaded(std::string_view location, std::string_view title,
                           bool rootOrNothingOpen, std::string_view root, bool httpsSite) {
  PageLoaded result;
  std::string_view path = WithoutFileScheme(location);
  if (ContainsNoCase(path, "bmrorv-0.htm") || ContainsNoCase(path, "bmrorv-1.htm")) {
    result.caption = std::string(title.size() >= 256 ? title.substr(0, 254) : title);
    return result;
  }
  result.setAddressBar = true;
  if (!rootOrNothingOpen) {
    std::string decoded = DecodeFileUrl(path);
    result.addressBar = WebAddressOf(decoded, root, httpsSite);
  }
  result.caption = "ORVANTA  (" + std::string(title) + ")";
  return result;
}

std::string HoverStatus(std::string_view link, std::string_view root, bool httpsSite) {
  if (!StartsWithNoCase(link, "file:///")) return {};
  std::string path = DecodeFileUrl(WithoutFileScheme(link));
  if (!ContainsNoCase(path, root)) return {};
  std::string address = WebAddressOf(path, root, httpsSite);
  PercentDecodeHighAndControl(address);
  return "    " + address;
}

}  // namespace orv::collection
