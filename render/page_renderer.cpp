#include "render/page_renderer.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QTimer>
#include <QWebEngineDownloadRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <QNetworkCookie>
#include <QWebEngineCookieStore>
#include <filesystem>
#include <set>

#include "common/cookie_file.h"

#include "render/render_policy.h"

namespace orv::render {
namespace {

// Lets through only what the policy allows and tells the job of every request its scripts make.
class RequestGate final : public QWebEngineUrlRequestInterceptor {
 public:
  RequestGate(std::string pageAddress, bool similarHosts, std::function<void(const std::string&)> seen)
      : page_(std::move(pageAddress)), similar_(similarHosts), seen_(std::move(seen)) {}
  void interceptRequest(QWebEngineUrlRequestInfo& info) override {
    const QUrl url = info.requestUrl();
    // The page itself arrives as a data address; nothing else leaves but what the policy allows.
    if (url.scheme() == QLatin1String("data") || url.scheme() == QLatin1String("blob")) return;
    const std::string address = url.toString(QUrl::FullyEncoded).toStdString();
    if (!RequestAllowed(address, page_, similar_)) {
      info.block(true);
      return;
    }
    seen_(address);
  }

 private:
  std::string page_;
  bool similar_;
  std::function<void(const std::string&)> seen_;
};

// A page that opens no windows and goes nowhere after its own content: a script's navigation
// is noted as an address of the site instead of being followed.
class QuietPage final : public QWebEnginePage {
 public:
  QuietPage(QWebEngineProfile* profile, std::function<void(const std::string&)> navigation)
      : QWebEnginePage(profile), navigation_(std::move(navigation)) {}

 protected:
  QWebEnginePage* createWindow(WebWindowType) override { return nullptr; }
  bool acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) override {
    if (url.scheme() == QLatin1String("data")) return true;
    if (isMainFrame) {
      navigation_(url.toString(QUrl::FullyEncoded).toStdString());
      return false;
    }
    return true;  // frames load as the gate allows
  }
  void javaScriptAlert(const QUrl&, const QString&) override {}
  bool javaScriptConfirm(const QUrl&, const QString&) override { return false; }
  bool javaScriptPrompt(const QUrl&, const QString&, const QString&, QString*) override { return false; }
  void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString&, int, const QString&) override {}

 private:
  std::function<void(const std::string&)> navigation_;
};

// Prepares the document as it is to be saved. Its characters are declared UTF-8, the encoding it
// is handed back in, so the saved page reads right whatever charset it came in. Its scripts have
// run: what they built is in the document now, and run again in the copy they would build it a
// second time (a list its script fills from data it reads would show every item twice), so they
// are kept as inert text, their own type beside it.
constexpr char kDeclareUtf8[] = R"(
(function () {
  const runs = t => !t || /^(module|(text|application)\/(x-)?(java|ecma)script)$/i.test(t.trim());
  for (const s of document.querySelectorAll('script'))
    if (runs(s.getAttribute('type'))) {
      if (s.hasAttribute('type')) s.setAttribute('data-type', s.getAttribute('type'));
      s.setAttribute('type', 'text/plain');
    }
  for (const m of document.querySelectorAll('meta[charset]')) m.setAttribute('charset', 'utf-8');
  for (const m of document.querySelectorAll('meta[http-equiv]'))
    if (m.getAttribute('http-equiv').toLowerCase() === 'content-type') m.setAttribute('content', 'text/html; charset=utf-8');
  if (!document.querySelector('meta[charset]') && document.head) {
    const m = document.createElement('meta');
    m.setAttribute('charset', 'utf-8');
    document.head.insertBefore(m, document.head.firstChild);
  }
  const d = document.doctype;
  return d ? '<!DOCTYPE ' + d.name + (d.publicId ? ' PUBLIC "' + d.publicId + '"' : '') +
             (d.systemId ? (d.publicId ? ' "' : ' SYSTEM "') + d.systemId + '"' : '') + '>' : '';
})())";

}  // namespace

class RenderJob final : public QObject {
 public:
  RenderJob(QWebEngineProfile* profile, const RenderRequest& request, std::function<void(const RenderReply&)> done)
      : request_(request), done_(std::move(done)),
        watch_(RenderTimes{request.quietMs, request.maxMs}, 0) {
    clock_.start();
    reply_.id = request.id;
    auto note = [this](const std::string& address) { Note(address); };
    gate_ = std::make_unique<RequestGate>(request.address, request.similarHosts, [this, note](const std::string& a) {
      watch_.RequestBegan(clock_.elapsed());
      note(a);
      Schedule();
    });
    page_ = std::make_unique<QuietPage>(profile, note);
    page_->setUrlRequestInterceptor(gate_.get());
    QWebEngineSettings* s = page_->settings();
    s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    s->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    s->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
    s->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);
    s->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, true);
    s->setAttribute(QWebEngineSettings::ShowScrollBars, false);
    QObject::connect(page_.get(), &QWebEnginePage::loadFinished, this, [this](bool) {
      watch_.LoadFinished(clock_.elapsed());
      Schedule();
    });
    QObject::connect(page_.get(), &QWebEnginePage::renderProcessTerminated, this,
                     [this](QWebEnginePage::RenderProcessTerminationStatus, int) { Fail("the page's process ended"); });
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { Check(); });
    const QString mime = request.charset.empty() ? QStringLiteral("text/html")
                                                 : QStringLiteral("text/html;charset=") + QString::fromStdString(request.charset);
    page_->setContent(QByteArray::fromStdString(request.body), mime, QUrl(QString::fromStdString(request.address)));
    Schedule();
  }
  ~RenderJob() override {
    // The page goes first: the gate it points at must outlive it.
    page_.reset();
  }

 private:
  void Note(const std::string& address) {
    if (address == request_.address || !RequestAllowed(address, request_.address, request_.similarHosts)) return;
    if (noted_.insert(address).second) reply_.requested.push_back(address);
  }
  void Schedule() {
    if (reading_ || finished_) return;
    timer_.start(static_cast<int>(std::min<int64_t>(watch_.MsUntilNextCheck(clock_.elapsed()), 60000)) + 1);
  }
  void Check() {
    if (reading_ || finished_) return;
    const SettleWatch::Verdict v = watch_.Check(clock_.elapsed());
    if (v == SettleWatch::Verdict::Waiting) {
      Schedule();
      return;
    }
    // At the maximum the document is taken as it stands; what still loads is stopped first.
    if (v == SettleWatch::Verdict::TimedOut) page_->triggerAction(QWebEnginePage::Stop);
    reading_ = true;
    page_->runJavaScript(QString::fromLatin1(kDeclareUtf8), [this](const QVariant& doctype) {
      const QString declared = doctype.toString();
      page_->toHtml([this, declared](const QString& html) {
        // The serialisation leaves the doctype out; the page keeps the one it came with.
        QString whole = html;
        if (!declared.isEmpty() && !html.trimmed().startsWith(QLatin1String("<!"), Qt::CaseInsensitive))
          whole = declared + QLatin1Char('\n') + html;
        reply_.outcome = RenderOutcome::Rendered;
        reply_.html = whole.toUtf8().toStdString();
        Done();
      });
    });
  }
  void Fail(const std::string& reason) {
    if (finished_) return;
    reply_.outcome = RenderOutcome::Failed;
    reply_.reason = reason;
    reply_.html.clear();
    Done();
  }
  void Done() {
    if (finished_) return;
    finished_ = true;
    timer_.stop();
    // The sink may delete this job: nothing of it is touched afterwards.
    QTimer::singleShot(0, this, [this] { done_(reply_); });
  }

  RenderRequest request_;
  std::function<void(const RenderReply&)> done_;
  SettleWatch watch_;
  QElapsedTimer clock_;
  QTimer timer_;
  std::unique_ptr<RequestGate> gate_;
  std::unique_ptr<QuietPage> page_;
  RenderReply reply_;
  std::set<std::string> noted_;
  bool reading_ = false, finished_ = false;
};

PageRenderer::PageRenderer(ReplySink sink, QObject* parent)
    : QObject(parent), sink_(std::move(sink)), profile_(new QWebEngineProfile(this)) {
  // No storage name: an off-the-record profile, nothing kept on disk, nothing shared with the
  // browsing profile of the collection page; the run's own cookie jar is the one store it takes
  // cookies from (TakeCookieJar), and what scripts set stays in memory.
  profile_->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
  profile_->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
  QObject::connect(profile_, &QWebEngineProfile::downloadRequested, this,
                   [](QWebEngineDownloadRequest* download) { download->cancel(); });
}

PageRenderer::~PageRenderer() { jobs_.clear(); }

void PageRenderer::TakeCookieJar(const std::string& path) {
  if (path.empty()) return;
  std::error_code ec;
  const auto modified = std::filesystem::last_write_time(path, ec);
  if (ec) return;
  const long long stamp = modified.time_since_epoch().count();
  auto [it, fresh] = jarsTaken_.emplace(path, stamp);
  if (!fresh && it->second == stamp) return;
  it->second = stamp;
  QWebEngineCookieStore* store = profile_->cookieStore();
  for (const Cookie& c : ReadCookieFile(path).cookies) {
    QNetworkCookie cookie(QByteArray::fromStdString(c.name), QByteArray::fromStdString(c.value));
    std::string domain = c.domain;
    if (c.includeSubdomains && !domain.empty() && domain.front() != '.') domain.insert(domain.begin(), '.');
    cookie.setDomain(QString::fromStdString(domain));
    cookie.setPath(QString::fromStdString(c.path));
    cookie.setSecure(c.secure);
    cookie.setHttpOnly(c.httpOnly);
    if (c.expires > 0) cookie.setExpirationDate(QDateTime::fromSecsSinceEpoch(c.expires));
    store->setCookie(cookie);
  }
}

void PageRenderer::Render(const RenderRequest& request) {
  if (request.body.size() > kMaxRenderedBody) {
    RenderReply reply;
    reply.id = request.id;
    reply.reason = "the page is too large to render";
    sink_(reply);
    return;
  }
  TakeCookieJar(request.cookieJar);
  jobs_[request.id] = std::make_unique<RenderJob>(profile_, request,
                                                  [this, id = request.id](const RenderReply& r) { Finished(id, r); });
}

void PageRenderer::Finished(uint64_t id, const RenderReply& reply) {
  sink_(reply);
  auto it = jobs_.find(id);
  if (it == jobs_.end()) return;
  // The page is deleted once the engine's call that brought the answer has returned.
  it->second.release()->deleteLater();
  jobs_.erase(it);
}

}  // namespace orv::render
