#include "main/ui/collection_tree_pane.h"

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QTreeView>
#include <QVBoxLayout>

#include "common/text.h"
#include "main/collection/site_start.h"
#include "main/ui/collection_tree_model.h"
#include "main/ui/node_properties_dialog.h"

namespace orv {

using collection::kImageRoot;
using collection::kImageSite;
using collection::kNoNode;
using collection::NodeId;

namespace {

QString Utf(const std::string& bytes) { return QString::fromStdString(DisplayName(bytes)); }

constexpr int kEntriesPerTick = 100;
constexpr char kBusyText[] = "  работа...\n";

}  // namespace

CollectionTreePane::CollectionTreePane(collection::CollectionTree& tree,
                                       collection::CurrentNode& current, CollectionPorts ports,
                                       QWidget* parent)
    : QWidget(parent), tree_(tree), current_(current), ports_(std::move(ports)) {
  setObjectName("CollectionTreePane");
  model_ = new CollectionTreeModel(tree_, this);
  view_ = new QTreeView;
  view_->setObjectName("TTree");
  view_->setAccessibleName("TTree");
  view_->setAccessibleDescription("Коллекция: сайты, их папки и файлы");
  view_->setHeaderHidden(true);
  view_->setUniformRowHeights(true);
  view_->setIconSize(QSize(16, 16));
  view_->setModel(model_);
  view_->setContextMenuPolicy(Qt::CustomContextMenu);
  view_->setExpandsOnDoubleClick(true);
  busyLabel_ = new QLabel(kBusyText);
  busyLabel_->setObjectName("BusyLabel");
  busyLabel_->setAccessibleName("работа...");
  busyLabel_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  busyLabel_->setWordWrap(true);
  // While busy, the label stands in for the tree, with the user's stop beneath it (Esc too).
  busyPanel_ = new QWidget;
  busyPanel_->setObjectName("BusyPanel");
  stopButton_ = new QPushButton("Стоп");
  stopButton_->setObjectName("TreeStop");
  stopButton_->setAccessibleName("Стоп");
  stopButton_->setToolTip("Остановить чтение папок");
  connect(stopButton_, &QPushButton::clicked, this, [this] { RequestStop(); });
  auto* busyLayout = new QVBoxLayout(busyPanel_);
  busyLayout->setContentsMargins(0, 0, 0, 0);
  busyLayout->addWidget(busyLabel_, 1);
  busyLayout->addWidget(stopButton_, 0, Qt::AlignLeft);
  stack_ = new QStackedWidget;
  stack_->addWidget(view_);
  stack_->addWidget(busyPanel_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(stack_);

  view_->installEventFilter(this);
  view_->viewport()->installEventFilter(this);
  connect(view_, &QTreeView::clicked, this, [this](const QModelIndex& i) { Open(model_->NodeOf(i)); });
  connect(view_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& now, const QModelIndex&) {
            NodeId id = model_->NodeOf(now);
            if (id == kNoNode) return;
            // A mouse press opens on the click; the keyboard opens only with the active
            // cursor or a shift key held.
            if (QGuiApplication::mouseButtons() != Qt::NoButton) return;
            bool shift = QGuiApplication::queryKeyboardModifiers() & Qt::ShiftModifier;
            if (ActiveCursor() || shift) {
              Open(id);
            } else {
              collection::SelectNode(tree_, current_, id);
            }
          });
  connect(view_, &QTreeView::expanded, this,
          [this](const QModelIndex& i) { tree_.SetExpanded(model_->NodeOf(i), true); });
  connect(view_, &QTreeView::collapsed, this,
          [this](const QModelIndex& i) { tree_.SetExpanded(model_->NodeOf(i), false); });
  connect(view_, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
    NodeId id = model_->NodeOf(view_->indexAt(pos));
    if (id == kNoNode) return;
    view_->setCurrentIndex(model_->IndexOf(id));
    collection::SelectNode(tree_, current_, id);
    QMenu* menu = BuildPopup(id);
    menu->exec(view_->viewport()->mapToGlobal(pos));
    menu->deleteLater();
  });
  scanTimer_.setInterval(0);
  connect(&scanTimer_, &QTimer::timeout, this, [this] { ScanTick(); });
}

CollectionTreePane::~CollectionTreePane() { view_->setModel(nullptr); }

void CollectionTreePane::keyPressEvent(QKeyEvent* event) {
  if (busy_ && event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    RequestStop();
    return;
  }
  QWidget::keyPressEvent(event);
}

bool CollectionTreePane::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::KeyPress) {
    tree_.SetInterrupt(false);
  }
  if (watched == view_ && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (ActiveCursor() && key->modifiers() == Qt::NoModifier &&
        (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter || key->key() == Qt::Key_Space)) {
      NodeId id = Selected();
      if (id != kNoNode) Open(id);
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void CollectionTreePane::Build(const std::string& root) {
  tree_.BuildFirstLevel(root);
  NodeId r = tree_.RootNode();
  if (r != kNoNode) view_->expand(model_->IndexOf(r));
}

bool CollectionTreePane::Busy() const { return busy_; }

void CollectionTreePane::RequestStop() {
  if (!busy_) return;
  stopRequested_ = true;
  tree_.RequestStop();
}

NodeId CollectionTreePane::Selected() const {
  NodeId id = model_->NodeOf(view_->currentIndex());
  return tree_.Alive(id) ? id : kNoNode;
}

std::string CollectionTreePane::WebAddress(const std::string& localPath) const {
  bool https = false;
  if (ports_.siteUsesHttps) {
    NodeId site = tree_.SiteOf(tree_.Find(localPath));
    if (site != kNoNode) https = ports_.siteUsesHttps(tree_.Node(site).key);
  }
  return collection::WebAddressOf(localPath, tree_.Root(), https);
}

void CollectionTreePane::Open(NodeId id) {
  if (!tree_.Alive(id)) return;
  collection::OpenResult r = collection::OpenNode(tree_, current_, id, markMode_);
  // A site opens on its start page, not on a listing of its folder.
  if (tree_.Node(id).image == kImageSite)
    r.localPath = collection::SiteStartPage(r.localPath, tree_.Root(), collection::ScriptStartAddresses(tree_.Root()));
  if (browser_ != nullptr) browser_->ShowLocalPath(r.localPath);
  if (r.loadQueued) {
    revealAfterScan_ = id;
    StartScan();
  }
  view_->setFocus();
}

void CollectionTreePane::Reveal(NodeId id) {
  QModelIndex i = model_->IndexOf(id);
  if (!i.isValid()) return;
  view_->setCurrentIndex(i);
  view_->scrollTo(i);
}

// --- reading sites ---

void CollectionTreePane::StartScan() {
  stopRequested_ = false;
  SetBusy(true);
  scanTimer_.start();
}

void CollectionTreePane::ScanTick() {
  bool more = tree_.Step(kEntriesPerTick);
  busyLabel_->setText(QString(kBusyText) + QString("прочитано: %1\n").arg(tree_.EntriesRead()) +
                      Utf(tree_.FolderBeingRead()));
  if (more) return;
  scanTimer_.stop();
  SetBusy(false);
  if (tree_.Alive(revealAfterScan_)) view_->expand(model_->IndexOf(revealAfterScan_));
  revealAfterScan_ = kNoNode;
}

void CollectionTreePane::SetBusy(bool on) {
  if (busy_ == on) return;
  busy_ = on;
  // The stop button takes the focus from the tree it hides, and gives it back.
  bool treeHadFocus = view_->hasFocus();
  bool stopHadFocus = stopButton_->hasFocus();
  stack_->setCurrentWidget(on ? busyPanel_ : static_cast<QWidget*>(view_));
  if (on && treeHadFocus) stopButton_->setFocus();
  if (!on && stopHadFocus) view_->setFocus();
  if (!on) busyLabel_->setText(kBusyText);
  if (ports_.busyChanged) ports_.busyChanged(on);
}

// --- the popup ---

collection::TreePopup CollectionTreePane::PopupFor(NodeId id) const {
  const collection::TreeNode& n = tree_.Node(id);
  bool jobRunning = ports_.toolJobRunning && ports_.toolJobRunning();
  bool compiler = compilerPresent_ && compilerPresent_();
  return collection::PrepareTreePopup(n.image, !n.children.empty(), jobRunning, compiler);
}

QMenu* CollectionTreePane::BuildPopup(NodeId id) {
  collection::TreePopup p = PopupFor(id);
  auto* menu = new QMenu(this);
  menu->setObjectName("TreePopup");
  auto add = [](QMenu* m, const QString& text, bool enabled, auto run) {
    QAction* a = m->addAction(text);
    a->setObjectName(text.trimmed());
    a->setEnabled(enabled);
    QObject::connect(a, &QAction::triggered, a, [run] { run(); });
    return a;
  };
  add(menu, QString::fromUtf8(p.refreshCaption), true, [this] { RefreshNode(); });
  add(menu, "Обновить Всю Структуру", p.rebuildAll, [this] { RebuildAll(); });
  add(menu, "Выбрать Папку Коллекции", p.chooseFolder && bool(ports_.chooseCollectionFolder),
      [this] { ports_.chooseCollectionFolder(); });
  add(menu, "Свойства", true, [this] { ShowProperties(); });
  menu->addSeparator();
  QMenu* expand = menu->addMenu("Развернуть");
  add(expand, "Развернуть Папку", p.expandFolder,
      [this] { RunExpansion(tree_.ExpandFolder(current_.id), false); });
  add(expand, "Развернуть Сайт", p.expandSite,
      [this] { RunExpansion(tree_.ExpandSite(current_.id), false); });
  add(expand, "Развернуть Все", true, [this] { CollapseOrExpandAll(true); });
  QMenu* collapse = menu->addMenu("Свернуть");
  add(collapse, "Свернуть Сайт", p.collapseSite,
      [this] { RunExpansion(tree_.CollapseSite(current_.id), false); });
  add(collapse, "Свернуть Все", true, [this] { CollapseOrExpandAll(false); });
  add(collapse, QString::fromUtf8(p.collapseOthersCaption), true,
      [this] { RunExpansion(tree_.CollapseOthers(current_.id), false); });
  menu->addSeparator();
  QMenu* put = menu->addMenu("Поместить адрес в");
  put->setEnabled(p.nodeCommands);
  add(put, "Адресную строку", p.nodeCommands, [this] { PutAddress(0); });
  add(put, "Колею", p.nodeCommands && bool(ports_.addToTrackList), [this] { PutAddress(1); });
  add(put, "Исключения", p.nodeCommands && bool(ports_.addToExclusions), [this] { PutAddress(2); });
  QMenu* copy = menu->addMenu("Копировать");
  copy->setEnabled(p.nodeCommands);
  add(copy, "Адрес URL", p.nodeCommands, [this] { CopyWebAddress(); });
  add(copy, "Полный Локальный Путь", p.nodeCommands, [this] { CopyLocalPath(); });
  add(copy, "Только Имя ", p.nodeCommands, [this] { CopyName(); });
  add(menu, "Войти на сайт…", p.nodeCommands && bool(ports_.logIn), [this] {
    if (current_.set && current_.image != kImageRoot) ports_.logIn(WebAddress(current_.key));
  });
  add(menu, "Создать Закладку", p.bookmark && bool(ports_.createBookmark),
      [this] { ports_.createBookmark(); });
  QMenu* help = menu->addMenu("HtmlHelp [.chm]");
  help->setObjectName("HtmlHelp [.chm]");
  help->setEnabled(p.htmlHelp);
  if (fillHtmlHelp_) fillHtmlHelp_(help);
  menu->addSeparator();
  QMenu* removal = menu->addMenu("Удаление");
  removal->setEnabled(p.nodeCommands);
  add(removal, "Удалить", p.nodeCommands, [this] { DeleteBranch(); });
  return menu;
}

// --- commands ---

bool CollectionTreePane::RefreshNode() {
  if (!current_.set || !tree_.Alive(current_.id)) return false;
  if (current_.image == kImageSite) {
    if (!tree_.RefreshSite(current_.id)) return false;
    current_.id = tree_.Find(current_.key);
    revealAfterScan_ = current_.id;
    StartScan();
  } else if (browser_ != nullptr) {
    browser_->RefreshCurrent();
  }
  return true;
}

bool CollectionTreePane::RebuildAll() {
  if (tree_.RootNode() == kNoNode) return false;
  tree_.RebuildAll();
  current_ = {};
  view_->expand(model_->IndexOf(tree_.RootNode()));
  StartScan();
  view_->setFocus();
  if (rebuilt_) rebuilt_();
  return true;
}

bool CollectionTreePane::DeleteBranch() {
  NodeId id = current_.set ? current_.id : kNoNode;
  if (!tree_.Alive(id) || id == tree_.RootNode()) return false;
  std::string path = tree_.Node(id).key;
  if (path.size() > 1 && path.back() == '/') path.pop_back();
  // Without the user's data folder (XDG_DATA_HOME, e.g. a fresh account) the trash lands in
  // the current folder ("files/", "info/" there): the home trash needs its parent.
  QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
  // The node goes even when the trash refuses the files.
  QFile::moveToTrash(QFile::decodeName(path.c_str()));
  tree_.Remove(id);
  current_ = {};
  return true;
}

bool CollectionTreePane::ShowProperties() {
  if (!current_.set) return false;
  NodePropertiesDialog dialog(current_.key, WebAddress(current_.key), this);
  dialog.exec();
  return true;
}

bool CollectionTreePane::CopyWebAddress() {
  if (!current_.set || current_.image == kImageRoot) return false;
  QGuiApplication::clipboard()->clear();
  QGuiApplication::clipboard()->setText(Utf(WebAddress(current_.key)));
  return true;
}

bool CollectionTreePane::CopyLocalPath() {
  if (!current_.set || current_.image == kImageRoot) return false;
  QGuiApplication::clipboard()->clear();
  QGuiApplication::clipboard()->setText(Utf(current_.key));
  return true;
}

bool CollectionTreePane::CopyName() {
  if (!current_.set || current_.image == kImageRoot) return false;
  QGuiApplication::clipboard()->clear();
  QGuiApplication::clipboard()->setText(Utf(current_.text));
  return true;
}

bool CollectionTreePane::PutAddress(int where) {
  if (!current_.set || current_.image == kImageRoot) return false;
  std::string address = WebAddress(current_.key);
  switch (where) {
    case 0:
      if (!ports_.setAddressBar) return false;
      ports_.setAddressBar(Utf(address));
      return true;
    case 1:
      if (!ports_.addToTrackList) return false;
      ports_.addToTrackList(address);
      return true;
    case 2:
      if (!ports_.addToExclusions) return false;
      ports_.addToExclusions(address);
      return true;
    default:
      return false;
  }
}

bool CollectionTreePane::RunExpansion(collection::ExpansionPass pass, bool everything) {
  stopRequested_ = false;
  SetBusy(true);
  if (everything) {
    pass.expand ? view_->expandAll() : view_->collapseAll();
    for (NodeId id : pass.nodes) tree_.SetExpanded(id, pass.expand);
  } else {
    int done = 0;
    for (NodeId id : pass.nodes) {
      if (stopRequested_) break;
      view_->setExpanded(model_->IndexOf(id), pass.expand);
      if (++done % 100 == 0) QCoreApplication::processEvents();
    }
  }
  SetBusy(false);
  return true;
}

void CollectionTreePane::CollapseOrExpandAll(bool expand) {
  RunExpansion(expand ? tree_.ExpandAll() : tree_.CollapseAll(), true);
  if (expand && current_.set && tree_.Alive(current_.id)) view_->scrollTo(model_->IndexOf(current_.id));
  view_->setFocus();
}

std::vector<CollectionTreePane::KeyCommand> CollectionTreePane::KeyCommands() {
  // Each rule is read from the popup prepared for the selected node.
  auto when = [this](auto rule) {
    return [this, rule] {
      NodeId id = Selected();
      if (id == kNoNode) return false;
      collection::SelectNode(tree_, current_, id);
      return rule(PopupFor(id));
    };
  };
  using P = const collection::TreePopup&;
  return {
      {'D', when([](P p) { return p.nodeCommands; }), [this] { return DeleteBranch(); }},
      {'L', when([this](P p) { return p.bookmark && bool(ports_.createBookmark); }),
       [this] {
         ports_.createBookmark();
         return true;
       }},
      {'N', when([this](P p) { return p.chooseFolder && bool(ports_.chooseCollectionFolder); }),
       [this] {
         ports_.chooseCollectionFolder();
         return true;
       }},
      {'O', when([](P p) { return p.rebuildAll; }), [this] { return RebuildAll(); }},
      {'P', when([](P) { return true; }), [this] { return ShowProperties(); }},
      {'R', when([](P) { return true; }), [this] { return RefreshNode(); }},
      {'U', when([](P p) { return p.nodeCommands; }), [this] { return CopyWebAddress(); }},
      {'X', when([](P) { return true; }),
       [this] { return RunExpansion(tree_.CollapseOthers(current_.id), false); }},
  };
}

}  // namespace orv
