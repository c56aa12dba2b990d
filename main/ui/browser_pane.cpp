#include "main/ui/browser_pane.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QMenu>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QSplitter>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <QWebEngineCookieStore>
#include <QWebEngineDownloadRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <cassert>

#include "common/text.h"
#include "main/collection/text_editor.h"
#include "main/ui/node_properties_dialog.h"
#include "platform/file_attributes.h"

#if defined(__SANITIZE_ADDRESS__)
// Qt WebEngine's own allocator frees some of its objects with a size AddressSanitizer does not
// expect (a report from inside the engine, not from this program); the rest stays checked.
extern "C" const char* __asan_default_options() { return "new_delete_type_mismatch=0"; }
#endif

namespace orv {

using collection::kImageRoot;

namespace {

constexpr char kActionHost[] = "orvanta.action";

QString Utf(const std::string& bytes) { return QString::fromStdString(DisplayName(bytes)); }
std::string LocalBytes(const QString& path) { return QFile::encodeName(path).toStdString(); }
QUrl FileUrl(const std::string& localPath) { return QUrl::fromLocalFile(QFile::decodeName(localPath.c_str())); }

// The address a missing local file stands for: a folder's page is stored as "index.html".
std::string OfferedAddress(std::string address) {
  constexpr std::string_view kIndex = "/index.html";
  if (address.size() > kIndex.size() && address.ends_with(kIndex)) address.resize(address.size() - kIndex.size() + 1);
  return address;
}

}  // namespace

class CollectionWebPage : public QWebEnginePage {
 public:
  CollectionWebPage(BrowserPane* pane, int index, QObject* parent)
      : QWebEnginePage(parent), pane_(pane), index_(index) {}

 protected:
  bool acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) override {
    return !isMainFrame || pane_->AcceptNavigation(index_, url);
  }

 private:
  BrowserPane* pane_;
  int index_;
};

QString OfflinePageHtml(const std::string& webAddress, const std::string& localPath, bool partial,
                        bool offerScript) {
  QString address = Utf(webAddress).toHtmlEscaped();
  QString path = Utf(localPath).toHtmlEscaped();
  auto offer = [](const char* action, const QString& text) {
    return QString("<p><a class=\"offer\" href=\"http://%1/%2\">%3</a></p>\n").arg(kActionHost, action, text);
  };
  QString title = partial ? "Файл загружен не полностью" : "Этой страницы нет в копии";
  QString html =
      "<!DOCTYPE html><html lang=\"ru\"><head><meta charset=\"utf-8\"><title>" + title + ": " + address +
      "</title><style>body{font-family:sans-serif;margin:2em;color:#222}"
      "h1{font-size:1.3em;color:#b35900}.address{font-size:1.1em;word-break:break-all;"
      "background:#f4f4f4;padding:.5em;border-left:4px solid #2980b9}"
      "a.offer{display:inline-block;padding:.4em .8em;margin:.1em 0;border:1px solid #2980b9;"
      "border-radius:4px;text-decoration:none;color:#1c5d8a}.result{color:#1e7b34;font-weight:bold}"
      "small{color:#666}</style></head><body>\n"
      "<h1>" + title + "</h1>\n";
  if (partial) {
    long long size = FileLength(localPath);
    html += "<p>Загрузка этого файла была прервана; получено " + QString::number(size < 0 ? 0 : size) +
            " байт. При следующей загрузке сценария файл будет докачан с места остановки.</p>\n";
  } else {
    html += "<p>Ссылка ведёт на адрес, который не был загружен в коллекцию (он лежал вне границ "
            "сценария или загрузка ещё не дошла до него).</p>\n";
  }
  html += "<p class=\"address\">" + address + "</p>\n";
  if (partial) html += offer("view", "Показать загруженную часть");
  html += offer("online", "Открыть в сети (во внешнем браузере)");
  html += offer("address", "Поместить адрес в адресную строку");
  if (offerScript) {
    html += offer("script", partial ? "Добавить адрес в текущий сценарий, чтобы докачать"
                                    : "Добавить адрес в текущий сценарий");
    html += "<p id=\"script-result\" class=\"result\"></p>\n";
  }
  html += "<p><small>Локальный файл: " + path + "</small></p>\n</body></html>\n";
  return html;
}

BrowserPane::BrowserPane(collection::CollectionTree& tree, collection::CurrentNode& current,
                         std::string programFolder, CollectionPorts ports, QWidget* parent)
    : QWidget(parent), tree_(tree), node_(current), programFolder_(std::move(programFolder)),
      ports_(std::move(ports)) {
  setObjectName("BrowserPane");
  auto* splitter = new QSplitter(Qt::Vertical);
  for (int i = 0; i < 2; ++i) {
    auto* view = new QWebEngineView;
    view->setObjectName(QString("Browser%1").arg(i));
    view->setAccessibleName(QString("Браузер %1").arg(i + 1));
    pages_[i] = new CollectionWebPage(this, i, view);
    view->setPage(pages_[i]);
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view, &QWidget::customContextMenuRequested, this, [this, i, view](const QPoint& pos) {
      SetCurrentIndex(i);
      QMenu* menu = BuildPagePopup();
      menu->exec(view->mapToGlobal(pos));
      menu->deleteLater();
    });
    // The title may arrive after the load finished: the caption follows it.
    connect(view, &QWebEngineView::loadFinished, this, [this, i](bool ok) { PageLoaded(i, ok); });
    connect(view, &QWebEngineView::titleChanged, this, [this, i] { PageLoaded(i, true); });
    connect(pages_[i], &QWebEnginePage::linkHovered, this, [this](const QString& link) {
      if (!ports_.setStatus) return;
      if (link.isEmpty()) {
        ports_.setStatus(QString());
        return;
      }
      std::string encoded = QUrl(link).toEncoded().toStdString();
      std::string path = collection::DecodeFileUrl(encoded);
      std::string status = collection::HoverStatus(encoded, tree_.Root(), SiteHttps(path.size() > 7 ? path.substr(7) : path));
      if (!status.empty()) ports_.setStatus(Utf(status));
    });
    views_[i] = view;
    splitter->addWidget(view);
  }
  splitter->setStretchFactor(0, 3);
  splitter->setStretchFactor(1, 1);
  BuildToolBar();
  // The login bar: shown while the user logs in on a live site.
  loginBar_ = new QWidget;
  loginBar_->setObjectName("LoginBar");
  loginBar_->setAccessibleName(QStringLiteral("Вход на сайт"));
  auto* loginRow = new QHBoxLayout(loginBar_);
  loginRow->setContentsMargins(4, 2, 4, 2);
  loginText_ = new QLabel;
  loginText_->setObjectName("LoginText");
  loginText_->setAccessibleName(QStringLiteral("Вход на сайт"));
  loginText_->setWordWrap(true);
  auto* done = new QPushButton(QStringLiteral("Готово"));
  done->setObjectName("LoginDone");
  done->setAccessibleName(QStringLiteral("Готово"));
  done->setAccessibleDescription(QStringLiteral("Взять cookies сайта в текущий сценарий"));
  connect(done, &QPushButton::clicked, this, [this] { FinishLogin(); });
  loginRow->addWidget(loginText_, 1);
  loginRow->addWidget(done);
  loginBar_->hide();
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(toolbar_);
  layout->addWidget(loginBar_);
  layout->addWidget(splitter, 1);

  // Both browsers share one profile: its cookie store tells of every cookie set or removed.
  QWebEngineCookieStore* store = pages_[0]->profile()->cookieStore();
  connect(store, &QWebEngineCookieStore::cookieAdded, this, [this](const QNetworkCookie& cookie) {
    cookies_.removeIf([&](const QNetworkCookie& c) { return c.hasSameIdentifier(cookie); });
    cookies_.append(cookie);
  });
  connect(store, &QWebEngineCookieStore::cookieRemoved, this, [this](const QNetworkCookie& cookie) {
    cookies_.removeIf([&](const QNetworkCookie& c) { return c.hasSameIdentifier(cookie); });
  });
  store->loadAllCookies();

  // The current browser follows the focus.
  connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
    for (QWidget* w = now; w != nullptr; w = w->parentWidget()) {
      for (int i = 0; i < 2; ++i) {
        if (w == views_[i]) {
          current_index_ = i;
          return;
        }
      }
    }
  });
  for (int i = 0; i < 2; ++i) {
    views_[i]->load(QUrl::fromLocalFile(
        QFile::decodeName((programFolder_ + "bmrorv-" + std::to_string(i) + ".htm").c_str())));
  }
}

BrowserPane::~BrowserPane() = default;

void BrowserPane::SetCurrentIndex(int index) {
  if (index == 0 || index == 1) current_index_ = index;
}

std::string BrowserPane::OfflineAddress(int index) const { return offline_[index].address; }

void BrowserPane::BuildToolBar() {
  toolbar_ = new QToolBar;
  toolbar_->setObjectName("BrowserToolBar");
  toolbar_->setAccessibleName("Панель браузера");
  toolbar_->setIconSize(QSize(20, 20));
  QStyle* s = style();
  auto add = [this](const char* key, const QIcon& icon, const QString& tip, auto run) {
    QAction* a = toolbar_->addAction(icon, tip);
    a->setObjectName(key);
    a->setToolTip(tip);
    connect(a, &QAction::triggered, this, run);
    return a;
  };
  add("GoBack", s->standardIcon(QStyle::SP_ArrowBack), "Назад", [this] { views_[current_index_]->back(); });
  add("GoForward", s->standardIcon(QStyle::SP_ArrowForward), "Вперёд",
      [this] { views_[current_index_]->forward(); });
  add("Stop", s->standardIcon(QStyle::SP_BrowserStop), "Остановить", [this] { views_[current_index_]->stop(); });
  add("Refresh", s->standardIcon(QStyle::SP_BrowserReload), "Обновить", [this] {
    // Ends a running site scan or collection search first.
    tree_.SetInterrupt(true);
    if (ports_.interruptSearch) ports_.interruptSearch();
    RefreshCurrent();
  });
  toolbar_->addSeparator();
  add("Print", QIcon::fromTheme("document-print", s->standardIcon(QStyle::SP_FileDialogContentsView)), "Печать",
      [this] { PrintCurrent(); });
  add("Save", s->standardIcon(QStyle::SP_DialogSaveButton), "Сохранить", [this] { SaveCurrent(); });
  add("Edit", QIcon::fromTheme("accessories-text-editor", s->standardIcon(QStyle::SP_FileDialogDetailedView)),
      "Редактировать", [this] { EditCurrent(); });
  toolbar_->addSeparator();
  QAction* collapse = add("Collapse", s->standardIcon(QStyle::SP_TitleBarUnshadeButton), "Развернуть дерево", [] {});
  collapse->setCheckable(true);
  connect(collapse, &QAction::toggled, this, [this, collapse](bool expand) {
    collapse->setToolTip(expand ? "Свернуть дерево" : "Развернуть дерево");
    if (collapse_) collapse_(expand);
  });
  QAction* full = fullScreen_ = add("FullScreen", s->standardIcon(QStyle::SP_TitleBarMaxButton), "Спрятать панель", [] {});
  full->setCheckable(true);
  connect(full, &QAction::toggled, this, [this, full](bool hide) {
    full->setToolTip(hide ? "Показать панель" : "Спрятать панель");
    if (ports_.hidePanes) ports_.hidePanes(hide);
  });
  QAction* left = onLeft_ = add("Onleft", s->standardIcon(QStyle::SP_ArrowLeft), "Раздвинуть окно", [] {});
  left->setCheckable(true);
  connect(left, &QAction::toggled, this, [this, left](bool wide) {
    left->setToolTip(wide ? "Сдвинуть окно" : "Раздвинуть окно");
    if (ports_.widenBrowser) ports_.widenBrowser(wide);
  });
  add("SelBrowser", s->standardIcon(QStyle::SP_DesktopIcon), "Перейти в браузер",
      [this] { views_[current_index_]->setFocus(); });
  for (QAction* a : toolbar_->actions()) {
    if (QWidget* w = toolbar_->widgetForAction(a)) {
      w->setObjectName(a->objectName());
      w->setAccessibleName(a->toolTip());
    }
  }
}

bool BrowserPane::LogIn(const std::string& address) {
  const QUrl url(Utf(address).trimmed());
  if (!url.isValid() || (url.scheme() != "http" && url.scheme() != "https") || url.host().isEmpty()) return false;
  if (LoginActive()) FinishLogin();
  loginHost_ = url.host().toStdString();
  loginText_->setText(QStringLiteral("Войдите на сайт %1 как в любом браузере и нажмите «Готово»: "
                                     "его cookies перейдут в текущий сценарий.")
                          .arg(url.host()));
  loginBar_->show();
  views_[current_index_]->load(url);
  return true;
}

void BrowserPane::FinishLogin() {
  if (!LoginActive()) return;
  const std::string host = loginHost_;
  loginHost_.clear();
  loginBar_->hide();
  assert(loginDone_ && "a login without its handler");
  if (loginDone_) loginDone_(host, cookies_);
}

void BrowserPane::hideEvent(QHideEvent* event) {
  // Closing the browser ends a login as "Готово" does.
  FinishLogin();
  // Only when the window hides the browser and stays: not as the whole window goes.
  if (!event->spontaneous() && window()->isVisible()) {
    fullScreen_->setChecked(false);
    onLeft_->setChecked(false);
  }
  QWidget::hideEvent(event);
}

QMenu* BrowserPane::BuildPagePopup() {
  auto* menu = new QMenu(this);
  menu->setObjectName("PagePopup");
  auto add = [menu, this](const QString& text, bool enabled, auto run) {
    QAction* a = menu->addAction(text);
    a->setObjectName(text);
    a->setEnabled(enabled);
    connect(a, &QAction::triggered, this, run);
  };
  bool file = !CurrentLocalFile().empty();
  add("Свойства", file, [this] { PageProperties(); });
  add("Печать", true, [this] { PrintCurrent(); });
  add("Сохранить", true, [this] { SaveCurrent(); });
  add("Закладка", file && bool(pageBookmark_), [this] { pageBookmark_(CurrentLocalFile()); });
  return menu;
}

void BrowserPane::ShowLocalPath(const std::string& localPath) {
  views_[current_index_]->load(FileUrl(localPath));
}

void BrowserPane::RefreshCurrent() {
  const Offline& o = offline_[current_index_];
  if (!o.localPath.empty()) {
    ShowLocalPath(o.localPath);  // the file may have arrived meanwhile
  } else {
    views_[current_index_]->reload();
  }
}

bool BrowserPane::SiteHttps(const std::string& localPath) const {
  if (!ports_.siteUsesHttps || tree_.Root().empty()) return false;
  const std::string& root = tree_.Root();
  if (localPath.compare(0, root.size(), root) != 0) return false;
  std::size_t end = localPath.find('/', root.size());
  if (end == std::string::npos) return false;
  return ports_.siteUsesHttps(localPath.substr(0, end + 1));
}

bool BrowserPane::AcceptNavigation(int index, const QUrl& url) {
  if (url.host() == kActionHost) {
    QString action = url.path().mid(1);
    QTimer::singleShot(0, this, [this, index, action] { RunOfflineAction(index, action); });
    return false;
  }
  if (url.scheme() == "data") return true;  // the offline page itself
  Offline& o = offline_[index];
  if (url.isLocalFile()) {
    std::string path = LocalBytes(url.toLocalFile());
    const std::string& root = tree_.Root();
    bool inCollection = !root.empty() && ContainsNoCase(path, root.substr(0, root.size() - 1));
    if (inCollection) {
      std::string probe = path;
      if (probe.size() > 1 && probe.back() == '/') probe.pop_back();
      int attrs = GetFileAttributes(probe);
      bool missing = attrs < 0;
      bool partial = !missing && (attrs & kAttrSystem) && !(attrs & kAttrDirectory);
      bool bypass = o.bypass && o.localPath == path;
      if (missing || (partial && !bypass)) {
        QTimer::singleShot(0, this, [this, index, path, partial] { ShowOfflinePage(index, path, partial); });
        return false;
      }
    }
  }
  o = Offline{};
  return true;
}

void BrowserPane::ShowOfflinePage(int index, const std::string& localPath, bool partial) {
  Offline& o = offline_[index];
  o.localPath = localPath;
  o.address = OfferedAddress(collection::WebAddressOf(localPath, tree_.Root(), SiteHttps(localPath)));
  o.partial = partial;
  o.bypass = false;
  views_[index]->setHtml(OfflinePageHtml(o.address, localPath, partial, bool(ports_.addToScript)));
}

void BrowserPane::RunOfflineAction(int index, const QString& action) {
  const Offline& o = offline_[index];
  if (o.address.empty()) return;
  if (action == "online") {
    QDesktopServices::openUrl(QUrl(Utf(o.address)));
  } else if (action == "address") {
    if (ports_.setAddressBar) ports_.setAddressBar(Utf(o.address));
  } else if (action == "script") {
    if (!ports_.addToScript) return;
    // The outcome is written on the page itself: the status line gives way to the next hover.
    QString text = QString::fromStdString(collection::ScriptTakeText(ports_.addToScript(o.address)));
    if (ports_.setStatus) ports_.setStatus(text);
    QString quoted = text;
    quoted.replace('\\', "\\\\").replace('\'', "\\'");
    views_[index]->page()->runJavaScript(
        "var r = document.getElementById('script-result'); if (r) r.textContent = '" + quoted + "';");
  } else if (action == "view" && o.partial) {
    std::string path = o.localPath;
    offline_[index].bypass = true;
    views_[index]->load(FileUrl(path));
  }
}

void BrowserPane::PageLoaded(int index, bool) {
  if (index != current_index_) return;
  QString title = views_[index]->title();
  const Offline& o = offline_[index];
  if (!o.address.empty()) {
    if (ports_.setAddressBar) ports_.setAddressBar(Utf(o.address));
    if (ports_.setCaption) ports_.setCaption("ORVANTA  (" + title + ")");
    return;
  }
  std::string location = views_[index]->url().toEncoded().toStdString();
  std::string path = collection::DecodeFileUrl(location);
  bool rootOrNothing = !node_.set || node_.image == kImageRoot;
  collection::PageLoaded r = collection::AfterPageLoaded(location, title.toStdString(), rootOrNothing,
                                                         tree_.Root(), SiteHttps(path.size() > 7 ? path.substr(7) : path));
  if (ports_.setCaption) ports_.setCaption(QString::fromStdString(r.caption));
  if (r.setAddressBar && ports_.setAddressBar) ports_.setAddressBar(Utf(r.addressBar));
}

std::string BrowserPane::CurrentLocalFile() const {
  const Offline& o = offline_[current_index_];
  if (!o.localPath.empty()) return o.localPath;
  QUrl url = views_[current_index_]->url();
  return url.isLocalFile() ? LocalBytes(url.toLocalFile()) : std::string();
}

void BrowserPane::EditCurrent() {
  std::string file = CurrentLocalFile();
  if (file.empty() || GetFileAttributes(file) < 0) return;
  // The desktop's program for plain text, so a page opens as text rather than in a browser.
  std::string desktopExec;
  QProcess query;
  query.start("xdg-mime", {"query", "default", "text/plain"});
  if (query.waitForFinished(3000)) {
    const QString entry = QString::fromLocal8Bit(query.readAllStandardOutput()).trimmed();
    const QString path = entry.isEmpty() ? QString() : QStandardPaths::locate(QStandardPaths::ApplicationsLocation, entry);
    QFile desktop(path);
    if (!path.isEmpty() && desktop.open(QIODevice::ReadOnly))
      desktopExec = collection::DesktopEntryExec(desktop.readAll().toStdString());
  }
  const std::vector<std::string> command =
      collection::EditorCommand(qEnvironmentVariable("VISUAL").toStdString(), qEnvironmentVariable("EDITOR").toStdString(),
                                desktopExec, QFile::decodeName(file.c_str()).toStdString());
  QStringList args;
  for (std::size_t i = 1; i < command.size(); ++i) args << QString::fromStdString(command[i]);
  QProcess::startDetached(QString::fromStdString(command.front()), args);
}

void BrowserPane::PrintCurrent() {
  auto printer = std::make_shared<QPrinter>();
  QPrintDialog dialog(printer.get(), this);
  if (dialog.exec() != QDialog::Accepted) return;
  QWebEngineView* view = views_[current_index_];
  auto keep = std::make_shared<QMetaObject::Connection>();
  *keep = connect(view, &QWebEngineView::printFinished, this, [printer, keep](bool) { QObject::disconnect(*keep); });
  view->print(printer.get());
}

void BrowserPane::SaveCurrent() {
  QString name = QFileDialog::getSaveFileName(this, "Сохранить", views_[current_index_]->title() + ".html");
  if (name.isEmpty()) return;
  views_[current_index_]->page()->save(name, QWebEngineDownloadRequest::CompleteHtmlSaveFormat);
}

void BrowserPane::PageProperties() {
  std::string file = CurrentLocalFile();
  if (file.empty()) return;
  NodePropertiesDialog dialog(file, collection::WebAddressOf(file, tree_.Root(), SiteHttps(file)), this);
  dialog.exec();
}

}  // namespace orv
