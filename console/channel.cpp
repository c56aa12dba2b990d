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
#include "console/run_cookies.h"
#include "console/downloaded_page.h"
#include "console/page/page_processor.h"
#include "console/page_render_client.h"
#include "render/render_policy.h"
#include "console/response.h"
#include "console/take_policy.h"
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
  if (t_.render == Transfer::Render::Rendering && console_.Renderer()) console_.Renderer()->Cancel(t_.renderId);
  takeTimer_.stop();
  watchTimer_.stop();
  connTimer_.stop();
  holdTimer_.stop();
  net_.reset();
}

void Channel::Create() {
  net_ = std::make_unique<NetComponent>(this);
  console_.Exchange().WriteExt(ConsoleStarted, "a");
  console_.ReadChannelSettings();
  takeTimer_.setInterval(console_.Takes().TickMs());
}

void Channel::EnableTake() { takeTimer_.start(); }

void Channel::Stop() {
  if (t_.render == Transfer::Render::Rendering) {
    // A stop ends the rendering; the page is kept as it was received.
    console_.Renderer()->Cancel(t_.renderId);
    render::RenderReply abandoned;
    abandoned.reason = "stopped";
    RenderingOver(abandoned);
    return;
  }
  if (holding_) {
    // A stop ends the wait, and the retry it waited for.
    holdTimer_.stop();
    holding_ = false;
    t_.requeued = false;
    Recycle();
    return;
  }
  t_.stopped = true;
  if (net_) net_->Abort("Stopped", true);
}

void Channel::SetIdle() {
  fetching_ = false;
  console_.SetBusy(index_, false);
}

void Channel::TakeTick() {
  if (fetching_ || console_.Quitting()) return;
  TakePolicy& policy = console_.Takes();
  if (policy.Taking()) return;
  const double now = Console::SecondsSinceMidnight();
  if (const double wait = policy.SecondsUntilDue(now); wait > 0) {
    console_.TakeWhenDue(wait);
    return;
  }
  ExchangeFiles& ex = console_.Exchange();
  console_.CounterWindow() = static_cast<WindowHandle>(ex.ReadExtNumber(CounterWindow));
  watchTimer_.stop();
  if (console_.CollectionFolder().empty()) return;
  policy.BeginTake();
  std::optional<AddressSettings> next = NextAddress(now);
  policy.EndTake();
  if (next) StartTransfer(*next);
}

std::optional<AddressSettings> Channel::NextAddress(double now) {
  TakePolicy& policy = console_.Takes();
  ExchangeControlRecords records(console_.Exchange());
  AddressSettings next;
  if (std::optional<std::string> retried = policy.TakePutBack()) {
    policy.Took(now);
    if (DroppedByExclusions(*retried, console_.Exclusions()) || DroppedByType(*retried, console_.TypeEntries())) {
      SetIdle();
      return std::nullopt;
    }
    timeline::Mark("retaken", *retried);
    ReadAddressSettings(records, next);
    next.address = *retried;
    return next;
  }
  // Busy before the mailbox is emptied: the main program, which sees the address taken once the
  // mailbox is empty, must never read the console idle in between and end the run.
  if (!records.Read(orv::NextUrl).empty()) console_.SetBusy(index_, true);
  next = TakeFromMailbox(records);
  if (next.address.empty()) {
    ChannelRecord& rec = console_.Record(index_);
    rec.url.clear();
    rec.statusText.clear();
    rec.sizeText.clear();
    SetIdle();
    return std::nullopt;
  }
  policy.Took(now);
  timeline::Mark("taken", next.address);
  if (console_.SearchMode() && !console_.SearchTaken().insert(next.address).second) {
    SetIdle();
    return std::nullopt;
  }
  return next;
}

void Channel::StartTransfer(const AddressSettings& next) {
  t_ = Transfer{};
  t_.proxySpec = console_.Takes().TakeRememberedProxy();
  if (t_.proxySpec.empty()) t_.proxySpec = next.proxySpec;
  // A proxy that refused connections a moment ago is left out; the next one of the list serves.
  std::string leftOut;
  if (!t_.proxySpec.empty() && ProxiesAlternate()) {
    ProxyRotation::Choice choice = console_.Proxies().Choose(t_.proxySpec, MonotonicMs() / 1000.0);
    t_.proxySpec = choice.spec;
    leftOut = choice.skipped;
  }
  t_.proxy = ParseProxySpec(t_.proxySpec);
  fetching_ = true;
  console_.SetBusy(index_, true);

  t_.taken = next.address;
  t_.collection = console_.CollectionFolder();
  MarkedAddress marked = SplitMarkers(next.address);
  t_.frame = marked.frame;
  t_.referrerFolder = marked.referrerFolder;
  std::optional<std::string> host = HostRule(marked.url);
  if (!host || host->empty() || t_.collection.empty()) {
    SetIdle();
    return;
  }
  t_.url = marked.url;
  PlaceLocalFile();

  // The take goes on to " Start..." in this same step: the main program sees the analysis, and
  // below the resume, only if each is written as it applies.
  ExchangeFiles& ex = console_.Exchange();
  ChannelRecord& rec = console_.Record(index_);
  rec.statusText = orv::Ru("Анализ...");
  rec.url = t_.url;
  console_.PublishRecord(index_);

  const LocalCopy copy = ExistingCopy();
  const int attrs = DownloadAttributes(t_.localPath);
  t_.keepsCopy = attrs >= 0 && (attrs & (kAttrSystem | kAttrDirectory)) == 0;
  if (copy == LocalCopy::Complete) {
    if (ex.ReadExt(RefetchExisting) != "1") {
      SetIdle();
      ex.WriteExt(StartPending, "");
      rec.url.clear();
      rec.statusText.clear();
      return;
    }
    t_.exists = true;
  }
  if (copy == LocalCopy::Partial) {
    rec.statusText = orv::Ru("Докачка...");
    t_.exists = true;
    console_.PublishRecord(index_);
  }

  t_.pageFolderUrl = AddressFolder(t_.url);
  HeaderLines lines = RequestLines(copy, orv::Trim(next.userAgent));
  rec.statusText = " Start...";
  if (!leftOut.empty())
    rec.statusText = orv::Ru("Прокси ") + leftOut + orv::Ru(" не отвечает и пропускается: через ") + t_.proxy.host +
                     ":" + std::to_string(t_.proxy.port);
  rec.url = t_.url;
  console_.CheckConnection();
  const std::string block = HeaderBlock(lines);
  if (!console_.Connected()) {
    fetching_ = false;  // the address is lost; the busy flag stays until the next take
    return;
  }
  BeginFetch(block, next);
}

void Channel::PlaceLocalFile() {
  LocalName name = console_.SearchMode() ? PrepareSearchLocalName(t_.url, t_.collection)
                                         : PrepareLocalName(t_.url, t_.collection, &t_.createdFolders);
  t_.localPath = name.path;
  t_.levelsUp = name.levelsUp;
  if (!name.requestAddress.empty()) t_.url = name.requestAddress;
  t_.servedUrl = t_.url;
  const std::string site = SitePart(t_.url);
  t_.siteRootPrefix = "../" + site + "/";
  // The site root keeps the page's scheme: relative links of an https page stay https.
  t_.siteRoot = std::string(HasWebScheme(t_.url) ? SchemeOf(t_.url) : kHttpScheme) + site + "/";
  // The site remembers its scheme for the main program's way back from a file to its address.
  // An https fetch marks it https; plain http only marks a site that has no mark yet, so the
  // odd "http://" link of a site that moved to https leaves the mark alone.
  if (!console_.SearchMode()) {
    const std::string siteFolder = SiteFolderOf(t_.localPath, t_.collection);
    if (!siteFolder.empty() && (IsHttps(t_.url) || ReadSiteScheme(siteFolder).empty())) {
      RememberSiteScheme(siteFolder, IsHttps(t_.url) ? "https" : "http");
    }
  }
}

Channel::LocalCopy Channel::ExistingCopy() const {
  // Clear attributes are how every finished download is left: such a file is simply fetched.
  const int attrs = DownloadAttributes(t_.localPath);
  if (attrs <= 0) return LocalCopy::None;
  return attrs & kAttrSystem ? LocalCopy::Partial : LocalCopy::Complete;
}

HeaderLines Channel::RequestLines(LocalCopy copy, const std::string& agent) {
  HeaderLines lines;
  if (copy == LocalCopy::Partial) {
    t_.localSize = SizeOf(t_.localPath);
    lines.range = RangeLine(t_.localSize);
  } else if (copy == LocalCopy::Complete) {
    // The modification time, not the access time: reading a saved page updates its access
    // time, which would make a changed page look unchanged.
    if (auto times = GetFileTimes(t_.localPath))
      lines.condition = ConditionLine(std::chrono::system_clock::to_time_t(times->modified));
  }
  lines.charset = CharsetLine(static_cast<int>(console_.Exchange().ReadExtNumber(CharsetMode)));
  lines.auth = AuthorizationLine(t_.url, console_.Credentials());
  lines.userAgent = UserAgentLine(agent);
  lines.proxyAuth = ProxyAuthLine(t_.proxy);
  return lines;
}

void Channel::BeginFetch(const std::string& headerBlock, const AddressSettings& next) {
  connTimer_.start();
  t_.takenMs = MonotonicMs();
  timeline::Mark("fetching", t_.url);
  net_->BeginAddress(t_.url);
  FetchArgs args;
  args.address = t_.url;
  args.proxyHost = t_.proxy.host;
  args.proxyPort = t_.proxy.port;
  args.headerBlock = headerBlock;
  args.localPath = t_.localPath;
  args.timeoutSeconds = console_.Timeout();
  args.collection = t_.collection;
  args.exists = t_.exists;
  args.keepCopy = t_.keepsCopy;
  args.minSize = LeadingInt(next.minSize);
  args.maxSize = LeadingInt(next.maxSize);
  args.verifyCertificates = !console_.SkipCertificateCheck();
  if (!net_->Fetch(args)) {
    t_.state = kStateFailed;
    t_.done = true;
  }
  t_.lastActivity = std::chrono::steady_clock::now();
  takeTimer_.stop();
  watchTimer_.start();
}

void Channel::HeadersReceived(const std::string& headers, int64_t contentLength) {
  t_.responseHeaders = orv::LowerCase(headers);
  t_.httpStatus = StatusCodeOf(t_.responseHeaders);
  HeaderFacts facts = AnalyseHeaders(t_.responseHeaders, t_.localSize);
  t_.acceptsRanges = facts.acceptsRanges;
  t_.rangeAccepted = facts.rangeAccepted;
  // A full body replaces a partial copy from its first byte; a finished copy stays until the
  // new body is whole, and the component replaces it then.
  if (facts.fullBody && !t_.keepsCopy && GetFileAttributes(t_.localPath) >= 0) DeleteFile(t_.localPath);
  t_.contentLength = contentLength;
  console_.Record(index_).sizeText = contentLength < 0 ? std::string("???") : StrText(contentLength);
}

void Channel::StatusMessage(const std::string& text, EventTime time) {
  t_.lastActivity = time;
  t_.errorCode = 0;
  ChannelRecord& rec = console_.Record(index_);
  if (text.rfind("Err:", 0) == 0) {
    t_.errorCode = static_cast<int>(LeadingInt(text.substr(4)));
    t_.lastErrorCode = t_.errorCode;
    console_.CheckConnection();
  }
  // The row tells why, in words; the number stays the channel's error for the outcome.
  if (t_.errorCode == kInetInvalidCertificate) {
    rec.statusText = orv::Ru(kCertificateRefusedText);
    return;
  }
  if (t_.errorCode == kErrAccessDenied) {
    rec.statusText = orv::Ru(kAccessDeniedText) + " (" + std::to_string(t_.httpStatus) + ")";
    return;
  }
  if (t_.errorCode == kErrProxyLogin || t_.errorCode == kErrProxyDown) {
    rec.statusText = orv::Ru("Прокси ") + t_.proxy.host + ":" + std::to_string(t_.proxy.port) + " " +
                     orv::Ru(t_.errorCode == kErrProxyLogin ? kProxyLoginRefusedText : kProxyDownText);
    return;
  }
  rec.resumable = t_.acceptsRanges || t_.rangeAccepted ? "1" : "0";
  if (text.rfind("++", 0) == 0) {
    rec.statusText = ProgressText(LeadingInt(text.substr(2)), t_.contentLength);
  } else {
    rec.statusText = text;
  }
}

void Channel::DataReceived(int64_t bytes, EventTime time) {
  if (t_.firstByteMs == 0) {
    t_.firstByteMs = MonotonicMs();
    timeline::Mark("first-byte", t_.url);
  }
  console_.AddBytes(bytes);
  t_.lastActivity = time;
}

void Channel::TransferDone(int code, bool complete, const std::string& target) {
  timeline::Mark("done", t_.url);
  inHandler_ = true;
  t_.complete = complete;
  t_.state = code;
  if (code == kDoneStopped || code == kDoneTooLarge) {
    t_.noRetry = true;
    t_.state = kStateLost;
  }
  if (code == kDoneWriteFailed) {
    t_.writeFailed = true;
    t_.noRetry = true;
    t_.state = kStateFailed;
  }
  if (t_.state == kStateLost && !t_.done && t_.errorCode != 0) Retry();
  t_.redirectTo = target;
  if (!target.empty()) {
    ExchangeFiles& ex = console_.Exchange();
    if (!ex.ReadExt(StartPending).empty()) {
      ex.WriteExt(RedirectHost, HostRule(target).value_or(std::string()));
      ex.WriteExt(RedirectFolder, AddressFolder(target));
      ex.WriteExt(RedirectTarget, target);
    }
    SendMarker(std::string(kRedirMarker), target);
    SendMarker(std::string(kNotFoundMarker), t_.url);
    t_.forceText = true;
  }
  if (t_.state == kStateNotFound) SendMarker(std::string(kNotFoundMarker), t_.url);
  t_.done = true;
  inHandler_ = false;
  // The transfer is over: it is finished now, not at the watch's next tick, so the channel
  // is free for the next address. The component's events all came before this one.
  QTimer::singleShot(0, &watchTimer_, [this] {
    if (watchTimer_.isActive()) WatchTick();  // not when the watch finished it meanwhile
  });
}

void Channel::AddressMoved(const std::string& address) {
  // The page is read at the address that served it; reports and the outcome keep the address
  // that was handed out. The site folder now remembers the scheme the site moved to.
  t_.servedUrl = address;
  t_.siteRoot = std::string(SchemeOf(address)) + SitePart(address) + "/";
  const std::string siteFolder = console_.SearchMode() ? std::string() : SiteFolderOf(t_.localPath, t_.collection);
  if (!siteFolder.empty()) RememberSiteScheme(siteFolder, IsHttps(address) ? "https" : "http");
}

void Channel::SendMarker(const std::string& marker, const std::string& address) {
  if (t_.state == kStateLost) return;
  if (!t_.keepsCopy) ApplyMarking();  // no body of this answer reached a kept copy
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
  timeline::Mark("reported", t_.url);
  return true;
}

void Channel::ApplyMarking() {
  int64_t size = SizeOf(t_.localPath);
  int attrs = DownloadAttributes(t_.localPath);
  MarkingDecision d = MarkingAfterTransfer(t_.contentLength, size, t_.rangeAccepted, t_.acceptsRanges, attrs == kAttrSystem);
  if (d.marking == Marking::Normal) SetNormalAttributes(t_.localPath);
  if (d.marking == Marking::System) SetSystemMark(t_.localPath);
  if (d.shortFile) t_.state = kStateShort;
}

void Channel::Retry() {
  if (t_.errorCode == kWsaAborted) return;
  int limit = static_cast<int>(console_.Exchange().ReadExtNumber(RetryLimit));
  // A failed fetch can be judged twice, at its end and by the watch. The address is put back
  // once, when the channel is recycled after both judgments: put back at the first one, another
  // channel could fetch it and fail before the second judgment counted, one fetch too many.
  if (console_.Retries().ShouldRequeue(t_.taken, limit, t_.noRetry, t_.state)) t_.requeued = true;
  ++t_.judgments;
}

void Channel::CompleteRetryJudgment() {
  // A fetch that fails by a short body is judged twice, at its end and by the watch, and the
  // retry counter moves twice. A failure seen only once (a reset before any body, a stall the
  // watch times out) must move it as far, or it would get one fetch more than the limit allows.
  if (t_.judgments == 1) Retry();
}

void Channel::WatchTick() {
  if (inWatch_ || inHandler_ || holding_) return;
  inWatch_ = true;
  takeTimer_.stop();
  if (t_.errorCode == kWsaAborted || !console_.Connected()) {
    t_.state = kStateLost;
  } else if (!t_.done) {
    double idle = std::chrono::duration<double>(std::chrono::steady_clock::now() - t_.lastActivity).count();
    if (!TimedOut(idle, console_.Timeout())) {
      inWatch_ = false;
      return;
    }
    t_.state = kStateFailed;
    t_.timedOut = true;
  }
  // From here the transfer is over: no event of this component may change the fields.
  watchTimer_.stop();
  net_.reset();
  Finish();
  inWatch_ = false;
}

bool Channel::BeginRendering() {
  RenderClient* renderer = console_.Renderer();
  if (!renderer || t_.render != Transfer::Render::NotAsked || console_.SearchMode() || console_.Quitting()) return false;
  // Only a whole new body, as the page processing below takes it.
  if (t_.writeFailed || !t_.complete || t_.state != kStateOk) return false;
  const int64_t size = SizeOf(t_.localPath);
  if (size < 1 || StateFromSize(t_.state, t_.contentLength, size) != kStateOk) return false;
  const std::string contentType = HeaderValue(t_.responseHeaders, "content-type");
  DownloadedPage body = ReadDownloadedPage(t_.localPath, size, orv::LowerCase(t_.url), t_.responseHeaders, t_.forceText);
  if (body.kind != DownloadKind::Page || !t_.redirectTo.empty() ||
      !render::WorthRendering(contentType, orv::LowerCase(t_.servedUrl), body.text.substr(0, 512)))
    return false;
  t_.render = Transfer::Render::Rendering;
  if (body.text.size() > render::kMaxRenderedBody) {
    t_.render = Transfer::Render::Over;
    t_.unrendered = true;
    return false;
  }
  render::RenderRequest request;
  request.address = t_.servedUrl;
  request.charset = render::CharsetOfContentType(contentType);
  request.body = std::move(body.text);
  request.similarHosts = console_.Exchange().ReadExt(SimilarHosts) == "1";
  request.cookieJar = orv::Trim(console_.Exchange().ReadExt(CookieJar));
  ChannelRecord& rec = console_.Record(index_);
  rec.url = t_.url;
  rec.statusText = orv::Ru(" Выполнение скриптов...");
  timeline::Mark("rendering", t_.url);
  t_.renderId = renderer->Submit(std::move(request), [this](const render::RenderReply& reply) { RenderingOver(reply); });
  return true;
}

void Channel::RenderingOver(const render::RenderReply& reply) {
  if (t_.render != Transfer::Render::Rendering) return;
  t_.render = Transfer::Render::Over;
  timeline::Mark("rendered", t_.url);
  if (reply.outcome == render::RenderOutcome::Rendered && !reply.html.empty()) {
    t_.renderedPage = reply.html;
    t_.scriptAsked = reply.requested;
  } else {
    t_.unrendered = true;
    console_.SpeedLog(orv::Ru("Страница сохранена без выполнения скриптов (") + reply.reason + "): " + t_.url);
  }
  Finish();
}

void Channel::Finish() {
  if (BeginRendering()) return;
  timeline::Mark("finished", t_.url);
  // The jar is current before the main program hears of the fetch (its links, its outcome):
  // the run may end with it, and a link that would log out is judged by it.
  RunCookies::Instance().SaveIfChanged();
  // A finished copy that no whole new body replaced is the copy from before, exactly as it was:
  // nothing of this fetch is on disk, so nothing of it counts as saved.
  const bool copyLeftAsItWas = t_.keepsCopy && !t_.complete && t_.state != kStateNotFound &&
                               (t_.state != kStateOk || (t_.httpStatus >= 200 && t_.httpStatus < 300));
  int64_t size = copyLeftAsItWas ? 0 : SizeOf(t_.localPath);
  std::string outcome;  // a status the row keeps for a moment before the channel recycles
  if (t_.writeFailed) {
    // What was written stays for a resume where the server offers ranges; elsewhere a cut copy
    // would pass for a finished one. A kept copy was never written to.
    if (!copyLeftAsItWas) {
      if (size > 0 && (t_.acceptsRanges || t_.rangeAccepted)) {
        SetSystemMark(t_.localPath);
      } else {
        DeleteFile(t_.localPath);
      }
    }
    outcome = orv::Ru("Ошибка записи файла");
  } else {
    if (copyLeftAsItWas) {
      // A cut body is retried as any short one is.
      if (t_.state == kStateLost && !t_.noRetry) t_.state = kStateShort;
    } else {
      t_.state = StateFromSize(t_.state, t_.contentLength, size);
      if (size > 0 && t_.state == kStateOk && t_.complete) {
        if (!ProcessAsPage(size)) outcome = orv::Ru("Больше 64 МБ: сохранено без обработки");
      }
      if (size < 1) DeleteFile(t_.localPath);
    }
    if (console_.Connected() && t_.state == kStateShort) Retry();
    // A busy server is asked again after the time it names, within the retry limit.
    if ((t_.httpStatus == 429 || t_.httpStatus == 503) && t_.state == kStateFailed) Retry();
  }
  CompleteRetryJudgment();
  const std::string proxyNote = t_.requeued || t_.writeFailed ? std::string() : RetryThroughNextProxy(size);
  // The outcome log is the main program's one count of what each fetch came to.
  if (!t_.requeued) {
    LogOutcome(size);
    console_.Proxies().Forget(t_.taken);
  }
  if (GetFileAttributes(t_.localPath) < 0) RemoveFoldersLeftEmpty();
  if (t_.requeued && (t_.httpStatus == 429 || t_.httpStatus == 503)) {
    int wait = RetryWaitSeconds(t_.responseHeaders, console_.Retries().Count(t_.taken), console_.Timeout(),
                                std::time(nullptr));
    HoldThenRecycle(wait * 1000, orv::Ru("Повтор через ") + std::to_string(wait) + orv::Ru(" с"));
    return;
  }
  if (!proxyNote.empty()) outcome = proxyNote;
  if (!outcome.empty()) {
    HoldThenRecycle(1000, outcome);
    return;
  }
  Recycle();
}

bool Channel::ProxiesAlternate() { return console_.Exchange().ReadExt(ProxyAlternates) == "1"; }

std::string Channel::RetryThroughNextProxy(int64_t size) {
  const FetchOutcome failure = OutcomeOfTransfer(t_.state, t_.lastErrorCode, size);
  if (!IsProxyFault(failure) || !ProxiesAlternate()) return {};
  const bool refused = failure == FetchOutcome::ProxyDown;
  std::optional<std::string> next =
      console_.Proxies().RetryThrough(t_.taken, t_.proxySpec, refused, MonotonicMs() / 1000.0);
  if (!next) return {};
  const std::string failed = t_.proxy.host + ":" + std::to_string(t_.proxy.port);
  t_.proxySpec = *next;
  t_.requeued = true;
  const ProxyParts through = ParseProxySpec(*next);
  return orv::Ru("Прокси ") + failed + " " + orv::Ru(refused ? kProxyDownText : kProxyLoginRefusedText) +
         orv::Ru(refused ? ", пропускается " + std::to_string(static_cast<int>(ProxyRotation::kSkipSeconds)) + " с" : "") +
         orv::Ru(": повтор через ") + through.host + ":" + std::to_string(through.port);
}

void Channel::LogOutcome(int64_t size) {
  OutcomeRecord r;
  // The last error of the transfer, not ErrorCode: a later status text ("Stopped") clears that.
  r.outcome = t_.writeFailed ? FetchOutcome::Unwritten
                           : OutcomeOfTransfer(t_.state, t_.timedOut ? kWsaTimedOut : t_.lastErrorCode, size);
  // A transfer the stop broke off is not the site's failure: its partial copy waits for the next run.
  if (t_.stopped && r.outcome == FetchOutcome::Failed) r.outcome = FetchOutcome::Stopped;
  r.bytes = std::max<int64_t>(0, size);
  r.takenMs = t_.takenMs;
  r.firstByteMs = t_.firstByteMs;
  r.doneMs = MonotonicMs();
  r.address = t_.url;
  r.redirectTo = t_.redirectTo;
  r.unrendered = t_.unrendered;
  AppendOutcome(console_.ExchangeFolderPath(), r);
}

void Channel::HoldThenRecycle(int ms, const std::string& status) {
  holding_ = true;
  ChannelRecord& rec = console_.Record(index_);
  rec.url = t_.url;
  rec.statusText = status;
  holdTimer_.start(ms);
}

void Channel::RemoveFoldersLeftEmpty() {
  // Only folders this take made, innermost first, only while empty and needed by no other
  // running transfer: a missing page leaves no trace.
  for (auto it = t_.createdFolders.rbegin(); it != t_.createdFolders.rend(); ++it) {
    if (console_.FolderInUse(*it, this)) break;
    std::error_code ec;
    if (!std::filesystem::is_empty(*it, ec) || ec || !std::filesystem::remove(*it, ec)) break;
  }
  t_.createdFolders.clear();
}

bool Channel::ProcessAsPage(int64_t receivedSize) {
  DownloadedPage body = ReadDownloadedPage(t_.localPath, receivedSize, orv::LowerCase(t_.url), t_.responseHeaders, t_.forceText);
  const bool isText = body.kind == DownloadKind::Page;
  std::string text = std::move(body.text);
  // The document as the page's scripts built it takes the received body's place.
  if (isText && !t_.renderedPage.empty()) text = std::move(t_.renderedPage);
  t_.pageFolderUrl = AddressFolder(t_.servedUrl);
  int& pages = console_.ProcessedPages();
  if (pages < 2) ++pages;
  if (isText) {
    ExchangeFiles& ex = console_.Exchange();
    ChannelRecord& rec = console_.Record(index_);
    rec.url = t_.url;
    rec.statusText = orv::Ru(" Обработка...");
    page::PageJob job;
    job.url = t_.servedUrl;
    job.page_folder_url = t_.pageFolderUrl;
    job.referrer_folder = t_.referrerFolder;
    job.site_root = t_.siteRoot;
    job.site_root_prefix = t_.siteRootPrefix;
    job.frame_flag = t_.frame;
    // Unreadable counts as on.
    std::optional<std::string> frame = ex.TryReadExt(FrameMark);
    job.frame_mode = !frame || *frame == "1";
    job.levels_up = t_.levelsUp;
    job.search_mode = console_.SearchMode();
    if (job.search_mode) {
      std::string p = orv::LowerCase(ReadSetting(kPreviewKey, "True"));
      job.preview = !(p == "false" || p == "0");
    }
    job.embedded_mode = !ex.ReadExt(StartPending).empty() && !ex.ReadExt(EmbeddedMark).empty();
    job.collection = t_.collection;
    job.local_path = t_.localPath;
    job.file_names_in_text = ex.ReadExt(TextFileNames) == "1";
    job.content_type = HeaderValue(t_.responseHeaders, "content-type");
    console_.SpeedLog(orv::Ru("Начало обработки"));
    RedirectRecords redirect(ex);
    // The rewritten page replaces the downloaded one only once it is complete.
    page::PageResult result = page::ProcessPageFile(std::move(text), job, pages, &redirect);
    console_.SpeedLog(orv::Ru("Конец обработки"));
    rec.statusText.clear();
    std::vector<std::string> found = std::move(result.found_links);
    if (found.empty()) found.assign(1, std::string());
    // What the scripts fetched (their data, fragments, images) is saved with the page.
    for (std::string& asked : t_.scriptAsked) found.push_back(std::move(asked));
    SendLinkReport(std::move(found));
  }
  // Marked by the body as received: a page that rewriting made shorter is still complete. The
  // transfer ended complete, so a system mark on the file is the one the component set while
  // writing, not an unfinished copy kept from before: a body without a length is cleared too.
  MarkingDecision d = MarkingAfterTransfer(t_.contentLength, receivedSize, t_.rangeAccepted, t_.acceptsRanges, false);
  if (d.marking == Marking::Normal) SetNormalAttributes(t_.localPath);
  if (d.marking == Marking::System) SetSystemMark(t_.localPath);
  if (d.shortFile) t_.state = kStateShort;
  return body.kind != DownloadKind::TooLargeToScan;
}

void Channel::SendLinkReport(std::vector<std::string> foundLinks) {
  if (t_.state == kStateNotFound) return;
  // Shown while the main program still reads the list before.
  console_.Record(index_).statusText = orv::Ru("Обмен...");
  foundLinks[0] = DecimalText(static_cast<long long>(foundLinks.size()) - 1);
  if (!SendReport(foundLinks)) {
    // An address too long for the list (a hostile page can make one) is left out; the rest go.
    std::vector<std::string> fitting;
    fitting.reserve(foundLinks.size());
    for (std::string& link : foundLinks)
      if (link.size() <= kMaxCountedString) fitting.push_back(std::move(link));
    fitting[0] = DecimalText(static_cast<long long>(fitting.size()) - 1);
    if (fitting.size() < foundLinks.size()) SendReport(fitting);
  }
}

void Channel::Recycle() {
  holdTimer_.stop();
  holding_ = false;
  watchTimer_.stop();
  takeTimer_.stop();
  connTimer_.stop();
  net_.reset();
  if (t_.requeued) {
    t_.requeued = false;
    console_.Takes().PutBack(index_, t_.taken, t_.proxySpec);
  }
  ChannelRecord& rec = console_.Record(index_);
  rec.url.clear();
  rec.statusText.clear();
  rec.sizeText.clear();
  SetIdle();
  timeline::Mark("recycled", t_.url);
  Create();
  takeTimer_.start();
  console_.Exchange().WriteExt(StartPending, "");
}

}  // namespace orv::console
