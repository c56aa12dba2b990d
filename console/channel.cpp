#include "console/channel.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <optional>
#include <filesystem>
#include <fstream>

#include "common/address_scheme.h"
#include "common/config_keys.h"
#include "common/fetch_outcome.h"
#include "common/local_path.h"
#include "common/certificates.h"
#include "common/numbers.h"
#include "common/string_list.h"
#include "common/text.h"
#include "common/timeline.h"
#include "console/console.h"
#include "console/downloaded_page.h"
#include "console/page/page_processor.h"
#include "console/response.h"
#include "platform/file_attributes.h"
#include "platform/settings.h"
#include "platform/window_link.h"

namespace orv::console {
namespace {

int64_t SizeOf(const std::string& path) {
  long long n = FileLength(path);
  return n < 0 ? 0 : n;
}

// Attribute bits that say how a download stands. A name beginning with "." reports the hidden
// bit, which tells nothing about the download, so a finished ".htaccess" reads 0 like any other.
int DownloadAttributes(const std::string& path) {
  int attrs = GetFileAttributes(path);
  return attrs < 0 ? attrs : attrs & ~kAttrHidden;
}

void DeleteFile(const std::string& path) {
  SetNormalAttributes(path);
  std::error_code ec;
  std::filesystem::remove(path, ec);
}

class ExchangeControlRecords final : public ControlRecords {
 public:
  explicit ExchangeControlRecords(ExchangeFiles& ex) : ex_(ex) {}
  std::string Read(int record) override { return ex_.ReadExt(record); }
  void Write(int record, const std::string& value) override { ex_.WriteExt(record, value); }

 private:
  ExchangeFiles& ex_;
};

class RedirectRecords final : public page::StartRedirectSink {
 public:
  explicit RedirectRecords(ExchangeFiles& ex) : ex_(ex) {}
  void StartRedirect(const std::string& host, const std::string& folder, const std::string& address) override {
    ex_.WriteExt(RedirectHost, host);
    ex_.WriteExt(RedirectFolder, folder);
    ex_.WriteExt(RedirectTarget, address);
  }

 private:
  ExchangeFiles& ex_;
};

}  // namespace

Channel::Channel(Console& console, int index) : console_(console), index_(index) {
  QObject::connect(&takeTimer_, &QTimer::timeout, [this] { TakeTick(); });
  QObject::connect(&watchTimer_, &QTimer::timeout, [this] { WatchTick(); });
  QObject::connect(&connTimer_, &QTimer::timeout, [this] { console_.CheckConnection(); });
  QObject::connect(&holdTimer_, &QTimer::timeout, [this] {
    holdTimer_.stop();
    holding_ = false;
    Recycle();
  });
  holdTimer_.setSingleShot(true);
  watchTimer_.setInterval(150);
  connTimer_.setInterval(2000);
  Create();
}

Channel::~Channel() {
  takeTimer_.stop();
  watchTimer_.stop();
  connTimer_.stop();
  holdTimer_.stop();
  net_.reset();
}

void Channel::Create() {
  frameFlag_ = false;
  net_ = std::make_unique<NetComponent>(this);
  console_.Exchange().WriteExt(ConsoleStarted, "a");
  console_.ReadChannelSettings();
  takeTimer_.setInterval(console_.TakeTickMs());
}

void Channel::EnableTake() { takeTimer_.start(); }

void Channel::Stop() {
  if (holding_) {
    // A stop ends the wait, and the retry it waited for.
    holdTimer_.stop();
    holding_ = false;
    requeued_ = false;
    Recycle();
    return;
  }
  if (net_) net_->Abort("Stopped", true);
}

void Channel::SetIdle() {
  fetching_ = false;
  console_.SetBusy(index_, false);
}

void Channel::TakeTick() {
  if (fetching_ || console_.Quitting()) return;
  bool& taking = console_.TakingFlag();
  if (taking) return;
  double now = Console::SecondsSinceMidnight();
  double& last = console_.LastTake();
  if (now >= last && now - last < console_.TakeIntervalSeconds()) {
    console_.TakeWhenDue(console_.TakeIntervalSeconds() - (now - last));
    return;
  }
  ExchangeFiles& ex = console_.Exchange();
  console_.CounterWindow() = static_cast<WindowHandle>(ex.ReadExtNumber(CounterWindow));
  watchTimer_.stop();
  if (console_.CollectionFolder().empty()) return;
  taking = true;
  foundLinks_.assign(1, std::string());

  std::string address;
  bool fromRetry = false;
  for (int n = 1; n <= kChannelCount; ++n) {
    std::string& slot = console_.RetrySlot(n);
    if (slot.empty()) continue;
    address = slot;
    slot.clear();
    last = now;
    if (DroppedByExclusions(address, console_.Exclusions()) || DroppedByType(address, console_.TypeEntries())) {
      SetIdle();
      taking = false;
      return;
    }
    fromRetry = true;
    timeline::Mark("retaken", address);
    break;
  }
  ChannelRecord& rec = console_.Record(index_);
  ExchangeControlRecords records(ex);
  AddressSettings settings;
  if (fromRetry) ReadAddressSettings(records, settings);
  if (!fromRetry) {
    settings = TakeFromMailbox(records);
    address = settings.address;
    if (!address.empty()) {
      // Only a take starts the interval: a look into an empty mailbox would otherwise hold
      // back the address the main program puts there a moment later.
      last = now;
      timeline::Mark("taken", address);
    }
    if (address.empty()) {
      rec.url.clear();
      rec.statusText.clear();
      rec.sizeText.clear();
      SetIdle();
      taking = false;
      return;
    }
    if (console_.SearchMode() && !console_.SearchTaken().insert(address).second) {
      SetIdle();
      taking = false;
      return;
    }
  }
  std::string& remembered = console_.RememberedProxy();
  if (!remembered.empty()) {
    proxySpec_ = remembered;
    remembered.clear();
  } else {
    proxySpec_ = settings.proxySpec;
  }
  proxy_ = ParseProxySpec(proxySpec_);
  std::string agent = orv::Trim(settings.userAgent);

  taking = false;
  fetching_ = true;
  console_.SetBusy(index_, true);

  taken_ = address;
  folder_ = console_.CollectionFolder();
  MarkedAddress marked = SplitMarkers(address);
  frameFlag_ = marked.frame;
  referrerFolder_ = marked.referrerFolder;
  std::optional<std::string> host = HostRule(marked.url);
  if (!host || host->empty() || folder_.empty()) {
    SetIdle();
    return;
  }
  url_ = marked.url;

  createdFolders_.clear();
  LocalName name = console_.SearchMode() ? PrepareSearchLocalName(url_, folder_)
                                         : PrepareLocalName(url_, folder_, &createdFolders_);
  localPath_ = name.path;
  levelsUp_ = name.levelsUp;
  if (!name.requestAddress.empty()) url_ = name.requestAddress;
  std::string site = SitePart(url_);
  siteRootPrefix_ = "../" + site + "/";
  // The site root keeps the page's scheme: relative links of an https page stay https.
  siteRoot_ = std::string(HasWebScheme(url_) ? SchemeOf(url_) : kHttpScheme) + site + "/";
  // The site remembers its scheme for the main program's way back from a file to its address.
  // An https fetch marks it https; plain http only marks a site that has no mark yet, so the
  // odd "http://" link of a site that moved to https leaves the mark alone.
  if (!console_.SearchMode()) {
    const std::string siteFolder = SiteFolderOf(localPath_, folder_);
    if (!siteFolder.empty() && (IsHttps(url_) || ReadSiteScheme(siteFolder).empty())) {
      RememberSiteScheme(siteFolder, IsHttps(url_) ? "https" : "http");
    }
  }

  // The take goes on to " Start..." in this same step: the main program sees the analysis, and
  // below the resume, only if each is written as it applies.
  rec.statusText = orv::Ru("Анализ...");
  rec.url = url_;
  console_.PublishRecord(index_);

  existsFlag_ = false;
  bool partial = false;
  bool completeCopy = false;
  int attrs = DownloadAttributes(localPath_);
  if (attrs > 0) {
    if (attrs & kAttrSystem) {
      partial = true;
    } else {
      completeCopy = true;
    }
  }
  if (completeCopy) {
    if (ex.ReadExt(RefetchExisting) != "1") {
      SetIdle();
      ex.WriteExt(StartPending, "");
      rec.url.clear();
      rec.statusText.clear();
      return;
    }
    existsFlag_ = true;
  }
  if (partial) {
    rec.statusText = orv::Ru("Докачка...");
    existsFlag_ = true;
    console_.PublishRecord(index_);
  }

  state_ = kStateOk;
  pageFolderUrl_ = AddressFolder(url_);
  HeaderLines lines;
  localSize_ = 0;
  if (partial) {
    localSize_ = SizeOf(localPath_);
    lines.range = RangeLine(localSize_);
  } else if (completeCopy) {
    // The modification time, not the access time: reading a saved page updates its access
    // time, which would make a changed page look unchanged.
    if (auto times = GetFileTimes(localPath_))
      lines.condition = ConditionLine(std::chrono::system_clock::to_time_t(times->modified));
  }
  long long charset = ex.ReadExtNumber(CharsetMode);
  lines.charset = CharsetLine(static_cast<int>(charset));
  rec.statusText = " Start...";
  rec.url = url_;
  lines.auth = AuthorizationLine(url_, console_.Credentials());
  lines.userAgent = UserAgentLine(agent);
  lines.proxyAuth = ProxyAuthLine(proxy_);

  console_.CheckConnection();
  contentLength_ = -1;
  state_ = kStateOk;
  std::string block = HeaderBlock(lines);
  if (!console_.Connected()) {
    fetching_ = false;  // the address is lost; the busy flag stays until the next take
    return;
  }

  connTimer_.start();
  takenMs_ = MonotonicMs();
  timeline::Mark("fetching", url_);
  firstByteMs_ = 0;
  done_ = false;
  complete_ = false;
  forceText_ = false;
  redirectTo_.clear();
  noRetry_ = false;
  requeued_ = false;
  judgments_ = 0;
  errorCode_ = 0;
  lastErrorCode_ = 0;
  httpStatus_ = 0;
  writeFailed_ = timedOut_ = false;
  responseHeaders_.clear();
  acceptsRanges_ = rangeAccepted_ = false;
  net_->BeginAddress(url_);
  FetchArgs args;
  args.address = url_;
  args.proxyHost = proxy_.host;
  args.proxyPort = proxy_.port;
  args.headerBlock = block;
  args.localPath = localPath_;
  args.timeoutSeconds = console_.Timeout();
  args.collection = folder_;
  args.exists = existsFlag_;
  args.minSize = LeadingInt(settings.minSize);
  args.maxSize = LeadingInt(settings.maxSize);
  args.verifyCertificates = !console_.SkipCertificateCheck();
  if (!net_->Fetch(args)) {
    state_ = kStateFailed;
    done_ = true;
  }
  lastActivity_ = std::chrono::steady_clock::now();
  takeTimer_.stop();
  watchTimer_.start();
}

void Channel::HeadersReceived(const std::string& headers, int64_t contentLength) {
  responseHeaders_ = orv::LowerCase(headers);
  httpStatus_ = StatusCodeOf(responseHeaders_);
  HeaderFacts facts = AnalyseHeaders(responseHeaders_, localSize_);
  acceptsRanges_ = facts.acceptsRanges;
  rangeAccepted_ = facts.rangeAccepted;
  if (facts.fullBody && GetFileAttributes(localPath_) >= 0) DeleteFile(localPath_);
  contentLength_ = contentLength;
  console_.Record(index_).sizeText = contentLength < 0 ? std::string("???") : StrText(contentLength);
}

void Channel::StatusMessage(const std::string& text, EventTime time) {
  lastActivity_ = time;
  errorCode_ = 0;
  ChannelRecord& rec = console_.Record(index_);
  if (text.rfind("Err:", 0) == 0) {
    errorCode_ = static_cast<int>(LeadingInt(text.substr(4)));
    lastErrorCode_ = errorCode_;
    console_.CheckConnection();
  }
  if (errorCode_ == kInetInvalidCertificate) {
    // The row tells why, in words; the number stays the channel's error for the outcome.
    console_.Record(index_).statusText = orv::Ru(kCertificateRefusedText);
    return;
  }
  rec.resumable = acceptsRanges_ || rangeAccepted_ ? "1" : "0";
  if (text.rfind("++", 0) == 0) {
    rec.statusText = ProgressText(LeadingInt(text.substr(2)), contentLength_);
  } else {
    rec.statusText = text;
  }
}

void Channel::DataReceived(int64_t bytes, EventTime time) {
  if (firstByteMs_ == 0) {
    firstByteMs_ = MonotonicMs();
    timeline::Mark("first-byte", url_);
  }
  console_.AddBytes(bytes);
  lastActivity_ = time;
}

void Channel::TransferDone(int code, bool complete, const std::string& target) {
  timeline::Mark("done", url_);
  inHandler_ = true;
  complete_ = complete;
  state_ = code;
  if (code == kDoneStopped || code == kDoneTooLarge) {
    noRetry_ = true;
    state_ = kStateLost;
  }
  if (code == kDoneWriteFailed) {
    writeFailed_ = true;
    noRetry_ = true;
    state_ = kStateFailed;
  }
  if (state_ == kStateLost && !done_ && errorCode_ != 0) Retry();
  redirectTo_ = target;
  if (!target.empty()) {
    ExchangeFiles& ex = console_.Exchange();
    if (!ex.ReadExt(StartPending).empty()) {
      ex.WriteExt(RedirectHost, HostRule(target).value_or(std::string()));
      ex.WriteExt(RedirectFolder, AddressFolder(target));
      ex.WriteExt(RedirectTarget, target);
    }
    SendMarker(std::string(kRedirMarker), target);
    SendMarker(std::string(kNotFoundMarker), url_);
    forceText_ = true;
  }
  if (state_ == kStateNotFound) SendMarker(std::string(kNotFoundMarker), url_);
  done_ = true;
  inHandler_ = false;
  // The transfer is over: it is finished now, not at the watch's next tick, so the channel
  // is free for the next address. The component's events all came before this one.
  QTimer::singleShot(0, &watchTimer_, [this] {
    if (watchTimer_.isActive()) WatchTick();  // not when the watch finished it meanwhile
  });
}

void Channel::SendMarker(const std::string& marker, const std::string& address) {
  if (state_ == kStateLost) return;
  ApplyMarking();
  std::string a = marker == kNotFoundMarker ? orv::Trim(address) : address;
  SendReport(MarkerMessageElements(marker, a));
}

bool Channel::WaitForReportSlot() {
  ExchangeFiles& ex = console_.Exchange();
  for (;;) {
    // Unreadable counts as busy: it is being written, or the list before is still unread.
    std::optional<std::string> ready = ex.TryReadExt(ReportReady);
    if (ready && ready->empty()) return true;
    if (console_.Quitting()) return false;
    console_.Yield();
  }
}

bool Channel::SendReport(const std::vector<std::string>& elements) {
  if (!WaitForReportSlot()) return false;
  ExchangeFiles& ex = console_.Exchange();
  // "A" only for a list that is in the file: else the main program reads the previous one.
  if (!ex.WriteUrlList(elements)) return false;
  if (!ex.WriteExt(ReportReady, "A")) return false;
  timeline::Mark("reported", url_);
  return true;
}

void Channel::ApplyMarking() {
  int64_t size = SizeOf(localPath_);
  int attrs = DownloadAttributes(localPath_);
  MarkingDecision d = MarkingAfterTransfer(contentLength_, size, rangeAccepted_, acceptsRanges_, attrs == kAttrSystem);
  if (d.marking == Marking::Normal) SetNormalAttributes(localPath_);
  if (d.marking == Marking::System) SetSystemMark(localPath_);
  if (d.shortFile) state_ = kStateShort;
}

void Channel::Retry() {
  if (errorCode_ == kWsaAborted) return;
  int limit = static_cast<int>(console_.Exchange().ReadExtNumber(RetryLimit));
  // A failed fetch can be judged twice, at its end and by the watch. The address is put back
  // once, when the channel is recycled after both judgments: put back at the first one, another
  // channel could fetch it and fail before the second judgment counted, one fetch too many.
  if (console_.Retries().ShouldRequeue(taken_, limit, noRetry_, state_)) requeued_ = true;
  ++judgments_;
}

void Channel::CompleteRetryJudgment() {
  // A fetch that fails by a short body is judged twice, at its end and by the watch, and the
  // retry counter moves twice. A failure seen only once (a reset before any body, a stall the
  // watch times out) must move it as far, or it would get one fetch more than the limit allows.
  if (judgments_ == 1) Retry();
}

void Channel::WatchTick() {
  if (inWatch_ || inHandler_ || holding_) return;
  inWatch_ = true;
  takeTimer_.stop();
  if (errorCode_ == kWsaAborted || !console_.Connected()) {
    state_ = kStateLost;
  } else if (!done_) {
    double idle = std::chrono::duration<double>(std::chrono::steady_clock::now() - lastActivity_).count();
    if (!TimedOut(idle, console_.Timeout())) {
      inWatch_ = false;
      return;
    }
    state_ = kStateFailed;
    timedOut_ = true;
  }
  // From here the transfer is over: no event of this component may change the fields.
  watchTimer_.stop();
  net_.reset();
  Finish();
  inWatch_ = false;
}

void Channel::Finish() {
  timeline::Mark("finished", url_);
  int64_t size = SizeOf(localPath_);
  std::string outcome;  // a status the row keeps for a moment before the channel recycles
  if (writeFailed_) {
    // What was written stays for a resume where the server offers ranges; elsewhere a cut copy
    // would pass for a finished one.
    if (size > 0 && (acceptsRanges_ || rangeAccepted_)) {
      SetSystemMark(localPath_);
    } else {
      DeleteFile(localPath_);
    }
    outcome = orv::Ru("Ошибка записи файла");
  } else {
    state_ = StateFromSize(state_, contentLength_, size);
    if (size > 0 && state_ == kStateOk && complete_) {
      if (!ProcessAsPage(size)) outcome = orv::Ru("Больше 64 МБ: сохранено без обработки");
    }
    if (size < 1) DeleteFile(localPath_);
    if (console_.Connected() && state_ == kStateShort) Retry();
    // A busy server is asked again after the time it names, within the retry limit.
    if ((httpStatus_ == 429 || httpStatus_ == 503) && state_ == kStateFailed) Retry();
  }
  CompleteRetryJudgment();
  // The outcome log is the main program's one count of what each fetch came to.
  if (!requeued_) LogOutcome(size);
  if (GetFileAttributes(localPath_) < 0) RemoveFoldersLeftEmpty();
  if (requeued_ && (httpStatus_ == 429 || httpStatus_ == 503)) {
    int wait = RetryWaitSeconds(responseHeaders_, console_.Retries().Count(taken_), console_.Timeout(),
                                std::time(nullptr));
    HoldThenRecycle(wait * 1000, orv::Ru("Повтор через ") + std::to_string(wait) + orv::Ru(" с"));
    return;
  }
  if (!outcome.empty()) {
    HoldThenRecycle(1000, outcome);
    return;
  }
  Recycle();
}

void Channel::LogOutcome(int64_t size) {
  OutcomeRecord r;
  // The last error of the transfer, not ErrorCode: a later status text ("Stopped") clears that.
  r.outcome = writeFailed_ ? FetchOutcome::Unwritten
                           : OutcomeOfTransfer(state_, timedOut_ ? kWsaTimedOut : lastErrorCode_, size);
  r.bytes = std::max<int64_t>(0, size);
  r.takenMs = takenMs_;
  r.firstByteMs = firstByteMs_;
  r.doneMs = MonotonicMs();
  r.address = url_;
  r.redirectTo = redirectTo_;
  AppendOutcome(console_.ExchangeFolderPath(), r);
}

void Channel::HoldThenRecycle(int ms, const std::string& status) {
  holding_ = true;
  ChannelRecord& rec = console_.Record(index_);
  rec.url = url_;
  rec.statusText = status;
  holdTimer_.start(ms);
}

void Channel::RemoveFoldersLeftEmpty() {
  // Only folders this take made, innermost first, only while empty and needed by no other
  // running transfer: a missing page leaves no trace.
  for (auto it = createdFolders_.rbegin(); it != createdFolders_.rend(); ++it) {
    if (console_.FolderInUse(*it, this)) break;
    std::error_code ec;
    if (!std::filesystem::is_empty(*it, ec) || ec || !std::filesystem::remove(*it, ec)) break;
  }
  createdFolders_.clear();
}

bool Channel::ProcessAsPage(int64_t receivedSize) {
  DownloadedPage body = ReadDownloadedPage(localPath_, receivedSize, orv::LowerCase(url_), responseHeaders_, forceText_);
  const bool isText = body.kind == DownloadKind::Page;
  std::string text = std::move(body.text);
  pageFolderUrl_ = AddressFolder(url_);
  int& pages = console_.ProcessedPages();
  if (pages < 2) ++pages;
  if (isText) {
    ExchangeFiles& ex = console_.Exchange();
    ChannelRecord& rec = console_.Record(index_);
    rec.url = url_;
    rec.statusText = orv::Ru(" Обработка...");
    page::PageJob job;
    job.url = url_;
    job.page_folder_url = pageFolderUrl_;
    job.referrer_folder = referrerFolder_;
    job.site_root = siteRoot_;
    job.site_root_prefix = siteRootPrefix_;
    job.frame_flag = frameFlag_;
    // Unreadable counts as on.
    std::optional<std::string> frame = ex.TryReadExt(FrameMark);
    job.frame_mode = !frame || *frame == "1";
    job.levels_up = levelsUp_;
    job.search_mode = console_.SearchMode();
    if (job.search_mode) {
      std::string p = orv::LowerCase(ReadSetting(kPreviewKey, "True"));
      job.preview = !(p == "false" || p == "0");
    }
    job.embedded_mode = !ex.ReadExt(StartPending).empty() && !ex.ReadExt(EmbeddedMark).empty();
    job.collection = folder_;
    job.local_path = localPath_;
    console_.SpeedLog(orv::Ru("Начало обработки"));
    RedirectRecords redirect(ex);
    // The rewritten page replaces the downloaded one only once it is complete.
    page::PageResult result = page::ProcessPageFile(std::move(text), job, pages, &redirect);
    console_.SpeedLog(orv::Ru("Конец обработки"));
    rec.statusText.clear();
    foundLinks_ = std::move(result.found_links);
    if (foundLinks_.empty()) foundLinks_.assign(1, std::string());
    SendLinkReport();
    foundLinks_.assign(1, std::string());
  }
  // Marked by the body as received: a page that rewriting made shorter is still complete. The
  // transfer ended complete, so a system mark on the file is the one the component set while
  // writing, not an unfinished copy kept from before: a body without a length is cleared too.
  MarkingDecision d = MarkingAfterTransfer(contentLength_, receivedSize, rangeAccepted_, acceptsRanges_, false);
  if (d.marking == Marking::Normal) SetNormalAttributes(localPath_);
  if (d.marking == Marking::System) SetSystemMark(localPath_);
  if (d.shortFile) state_ = kStateShort;
  return body.kind != DownloadKind::TooLargeToScan;
}

void Channel::SendLinkReport() {
  if (state_ == kStateNotFound) return;
  // Shown while the main program still reads the list before.
  console_.Record(index_).statusText = orv::Ru("Обмен...");
  foundLinks_[0] = DecimalText(static_cast<long long>(foundLinks_.size()) - 1);
  if (!SendReport(foundLinks_)) {
    // An address too long for the list (a hostile page can make one) is left out; the rest go.
    std::vector<std::string> fitting;
    fitting.reserve(foundLinks_.size());
    for (std::string& link : foundLinks_)
      if (link.size() <= kMaxCountedString) fitting.push_back(std::move(link));
    fitting[0] = DecimalText(static_cast<long long>(fitting.size()) - 1);
    if (fitting.size() < foundLinks_.size()) SendReport(fitting);
  }
}

void Channel::Recycle() {
  holdTimer_.stop();
  holding_ = false;
  watchTimer_.stop();
  takeTimer_.stop();
  connTimer_.stop();
  net_.reset();
  if (requeued_) {
    requeued_ = false;
    console_.RememberedProxy() = proxySpec_;
    console_.RetrySlot(index_) = taken_;
  }
  ChannelRecord& rec = console_.Record(index_);
  rec.url.clear();
  rec.statusText.clear();
  rec.sizeText.clear();
  SetIdle();
  timeline::Mark("recycled", url_);
  Create();
  takeTimer_.start();
  console_.Exchange().WriteExt(StartPending, "");
}

}  // namespace orv::console
