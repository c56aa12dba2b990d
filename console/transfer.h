// What one take of a channel knows about its address and its transfer. The channel replaces the
// record whole when it takes an address, so nothing of the address before (a redirect target, an
// error number, a retry judgment) can carry over into the next one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "console/net_component.h"
#include "console/request.h"
#include "console/response.h"

namespace orv::console {

struct Transfer {
  // The address.
  std::string taken;           // as taken, markers included: the retry key
  std::string url;             // as fetched
  std::string servedUrl;       // where the page came from: url, or url under the other scheme
  std::string referrerFolder;  // from the "(((((" marker
  bool frame = false;          // carried the frame marker
  std::string proxySpec;
  ProxyParts proxy;

  // Where it is saved.
  std::string collection;
  std::string localPath;
  std::string levelsUp;
  std::string siteRoot, siteRootPrefix, pageFolderUrl;
  std::vector<std::string> createdFolders;  // folders this take made for its local file
  bool exists = false;  // a copy is there, being resumed or revalidated
  bool keepsCopy = false;  // a finished copy is there: only a whole new body replaces it
  int64_t localSize = 0;  // the resumed copy's size

  // The answer.
  std::string responseHeaders;  // lower case
  int httpStatus = 0;
  int64_t contentLength = -1;
  bool acceptsRanges = false;
  bool rangeAccepted = false;
  std::string redirectTo;  // the target of a redirect answer
  bool forceText = false;  // a redirect answer's body is scanned as a page

  // How it went.
  int state = kStateOk;
  bool done = false;
  bool complete = false;
  EventTime lastActivity{};
  int errorCode = 0;      // the current status's "Err:" number (status texts reset it)
  int lastErrorCode = 0;  // the transfer's last "Err:" number
  bool writeFailed = false;
  bool timedOut = false;
  bool stopped = false;  // the user stopped it (the stop-all button or the run's stop)
  bool noRetry = false;
  bool requeued = false;  // the address goes back to its retry slot when the channel recycles
  int judgments = 0;      // retry judgments (its end, the watch)

  // Rendering in the browser engine ("Выполнять скрипты страниц"), between the transfer's end
  // and the page's processing.
  enum class Render { NotAsked, Rendering, Over } render = Render::NotAsked;
  uint64_t renderId = 0;
  std::string renderedPage;              // the document as the scripts left it (UTF-8)
  std::vector<std::string> scriptAsked;  // addresses of the site the page's scripts requested
  bool unrendered = false;               // rendering was asked and failed: saved as received

  // For the outcome log (monotonic milliseconds).
  int64_t takenMs = 0;
  int64_t firstByteMs = 0;
};

}  // namespace orv::console
