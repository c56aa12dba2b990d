#pragma once
// What the collection page does with a node of the site tree, without widgets: opening it,
// the enable rules and captions of the tree popup, and how local paths and browser
// locations read as web addresses.

#include <string>
#include <string_view>

#include "main/collection/collection_tree.h"

namespace orv::collection {

// The node last opened (or selected) in the tree; the popup commands, the bookmarks and the
// browser read it. Copied, so it outlives the node.
struct CurrentNode {
  bool set = false;
  std::string key;
  std::string text;
  int image = 0;
  NodeId id = kNoNode;
};

// Opening a node: it becomes the current node, the interrupt flag is cleared, in mark mode a
// site's mark toggles, and a site not loaded yet is queued for loading (the caller shows busy
// mode and drives Step). Returns the local path the browser shows.
struct OpenResult {
  std::string localPath;
  bool loadQueued = false;
};
OpenResult OpenNode(CollectionTree& tree, CurrentNode& current, NodeId id, bool markMode);

// Remembers the node as current without opening it (the selection moved).
void SelectNode(const CollectionTree& tree, CurrentNode& current, NodeId id);

// The tree popup prepared from the node under the pointer.
struct TreePopup {
  std::string refreshCaption;        // "Обновить Папку" / "Обновить Окно" / "Обновить Папку Сайта"
  std::string collapseOthersCaption;  // "Свернуть Узлы" on the root, else "Свернуть Прочие"
  bool rebuildAll = false;           // "Обновить Всю Структуру"
  bool chooseFolder = false;         // "Выбрать Папку Коллекции"
  bool bookmark = false;             // "Создать Закладку"
  bool nodeCommands = false;         // "Удалить", "Поместить адрес в", "Копировать", "Пометить"
  bool expandSite = false;           // "Развернуть Сайт"
  bool expandFolder = false;         // "Развернуть Папку"
  bool collapseSite = false;         // "Свернуть Сайт"
  bool htmlHelp = false;             // "HtmlHelp [.chm]"
  bool quickCompile = false;         // "Создание и быстрая компиляция .chm"
};
// image: the node's kind; hasChildren: it has child nodes; toolJobRunning: a help project or
// conversion job runs; compilerPresent: the help compiler sits in the program folder. Texts are
// UTF-8 (they go to widgets only).
TreePopup PrepareTreePopup(int image, bool hasChildren, bool toolJobRunning, bool compilerPresent);

// The web address a local path stands for: "http://" + the part below the root, NameEscape
// undone; a path outside the root comes back with "/" separators. When httpsSite says the
// site was fetched over HTTPS, the address gets that scheme (both schemes share one folder).
std::string WebAddressOf(std::string_view localPath, std::string_view root, bool httpsSite = false);

// After a browser finished loading: start pages set the caption to their title (cut to 254
// characters from 256 on); other pages set "ORVANTA  (" + title + ")" and the address bar:
// empty when no node or the root is open, else the web address of the percent-decoded
// location. location is the browser's location (a "file:///" prefix is dropped).
struct PageLoaded {
  std::string caption;
  bool setAddressBar = false;
  std::string addressBar;
};
PageLoaded AfterPageLoaded(std::string_view location, std::string_view title,
                           bool rootOrNothingOpen, std::string_view root, bool httpsSite = false);

// The status line for a hovered link: four spaces + its web address when it is a "file:///"
// location inside the root (percent and NameEscape decoded); empty otherwise.
std::string HoverStatus(std::string_view link, std::string_view root, bool httpsSite = false);

// Decodes every "%" + two hex digits to its byte (the browser's location of a local file is
// percent-encoded UTF-8 of the on-disk bytes).
std::string DecodeFileUrl(std::string_view text);

}  // namespace orv::collection
