#ifdef ORV_HAVE_WIDGETS
#include "main/ui/main_window.h"

#include <QAbstractButton>
#include <QAction>
#include <QActionGroup>
#include <QDesktopServices>
#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenuBar>
#include <QScreen>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QPushButton>
#include <QTimer>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QDropEvent>
#include <QUrl>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QSplitter>
#include <QStatusBar>
#include <QVBoxLayout>

#include <algorithm>

#include "common/numbers.h"
#include "common/search_engine.h"
#include "common/text.h"
#include "main/ui/folder_chooser.h"
#include "main/ui/lists_page.h"
#include "main/ui/option_pages.h"
#include "main/app/orv_app.h"
#include "main/ui/browser_pane.h"
#include "main/ui/clickable_label.h"
#include "main/ui/collection_page.h"
#include "main/ui/collection_tree_pane.h"
#include "main/ui/popups.h"
#include "main/ui/script_panel.h"
#include "main/ui/script_panes.h"
#include "main/ui/search_page.h"
#include "platform/process.h"

namespace orv {

namespace {

QString Q(const std::string& cp1251) { return QString::fromStdString(Cp1251ToUtf8(cp1251)); }
std::string B(const QString& text) { return Utf8ToCp1251(text.toStdString()); }

// Small icons of the eight file categories for the channel list.
QIcon CategoryIcon(int category) {
  static const char* const kColors[] = {"#808080", "#2f6fd0", "#30a050", "#c08020", "#a040c0",
                                        "#707070", "#d04040", "#404040", "#909090"};
  static const char* const kLetters[] = {"", "H", "I", "S", "V", "T", "J", "B", "?"};
  QPixmap pm(16, 16);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setBrush(QColor(kColors[category]));
  p.setPen(Qt::NoPen);
  p.drawRoundedRect(1, 1, 14, 14, 3, 3);
  p.setPen(Qt::white);
  QFont f = p.font();
  f.setPixelSize(11);
  f.setBold(true);
  p.setFont(f);
  p.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, kLetters[category]);
  return QIcon(pm);
}

}  // namespace

OrvMainWindow::OrvMainWindow() {
  setWindowTitle("Orvanta");
  setAccessibleName("Orvanta");
  for (int c = 1; c <= 8; ++c) categoryIcons_[c] = CategoryIcon(c);
  BuildToolbar();
  BuildMenu();

  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(4, 4, 4, 4);

  InputUrl = new QComboBox(central);
  InputUrl->setObjectName("InputUrl");
  InputUrl->setAccessibleName(Q(Ru("Адрес")));
  InputUrl->setEditable(true);
  InputUrl->setInsertPolicy(QComboBox::NoInsert);
  InputUrl->lineEdit()->installEventFilter(this);
  InputUrl->lineEdit()->setAccessibleName(Q(Ru("Адрес")));
  InputUrl->view()->setAccessibleName(Q(Ru("История адресов")));
  // The address box's menu: the line editor's own commands, then "Войти на сайт…".
  InputUrl->lineEdit()->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(InputUrl->lineEdit(), &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    QMenu* menu = BuildAddressMenu();
    menu->exec(InputUrl->lineEdit()->mapToGlobal(at));
    menu->deleteLater();
  });
  connect(InputUrl->lineEdit(), &QLineEdit::returnPressed, this, [this] {
    if (app_) app_->Run().AddressEnter(AddressText());
  });
  addressRow_ = new QHBoxLayout;
  addressRow_->addWidget(InputUrl, 1);
  layout->addLayout(addressRow_);

  // Collection column: the tab strip TabS1 over the frames GSpan (tree, search, bookmarks).
  treeSplit_ = new QSplitter(Qt::Horizontal, central);
  treeSplit_->setObjectName("TRSPV");
  treeSplit_->setAccessibleName(Q(Ru("Разделитель коллекции")));
  treeSplit_->setChildrenCollapsible(false);
  auto* column = new QWidget(treeSplit_);
  column->setObjectName("collectionColumn");
  collectionColumn_ = column;
  column->setMinimumWidth(200);
  auto* columnLayout = new QVBoxLayout(column);
  columnLayout->setContentsMargins(0, 0, 0, 0);
  columnLayout->setSpacing(0);
  TabS1 = new QTabBar(column);
  TabS1->setObjectName("TabS1");
  TabS1->setAccessibleName(Q(Ru("Вкладки коллекции")));
  TabS1->setExpanding(false);
  GSpan = new QStackedWidget(column);
  GSpan->setObjectName("GSpan");
  GSpan->setAccessibleName(Q(Ru("Коллекция")));
  Frame(Pane::CollectionTree) = MakeFrame(GSpan, "Коллекция", "Дерево коллекции");
  Frame(Pane::Search) = MakeFrame(GSpan, "Поиск", "Поиск в коллекции");
  Frame(Pane::Bookmarks) = MakeFrame(GSpan, "Закладки", "Закладки");
  for (Pane p : {Pane::CollectionTree, Pane::Search, Pane::Bookmarks}) {
    GSpan->addWidget(Frame(p).frame);
    TabS1->addTab(Frame(p).frame->accessibleName());
  }
  connect(TabS1, &QTabBar::currentChanged, GSpan, &QStackedWidget::setCurrentIndex);
  TabS1->setUsesScrollButtons(false);
  column->setMinimumWidth(std::max(200, TabS1->sizeHint().width()));
  columnLayout->addWidget(TabS1);
  columnLayout->addWidget(GSpan, 1);

  // The rest: the script list or the browser beside the option pages, and below them the
  // channel list with the information frame.
  lowerSplit_ = new QSplitter(Qt::Vertical, treeSplit_);
  lowerSplit_->setObjectName("wespl");
  lowerSplit_->setAccessibleName(Q(Ru("Разделитель списка каналов")));
  lowerSplit_->setChildrenCollapsible(false);
  browserSplit_ = new QSplitter(Qt::Horizontal, lowerSplit_);
  browserSplit_->setObjectName("BRSPH");
  browserSplit_->setAccessibleName(Q(Ru("Разделитель браузера")));
  browserSplit_->setChildrenCollapsible(false);
  auto* side = new QWidget(browserSplit_);
  side->setObjectName("sidePanes");
  side->setMinimumWidth(220);
  auto* sideLayout = new QVBoxLayout(side);
  sideLayout->setContentsMargins(0, 0, 0, 0);
  Frame(Pane::ScriptList) = MakeFrame(side, "Сценарии", "Список сценариев");
  Frame(Pane::ScriptSets) = MakeFrame(side, "Наборы сценариев", "Наборы сценариев");
  Frame(Pane::Browser) = MakeFrame(side, "Браузер", "Браузер коллекции");
  sideLayout->addWidget(Frame(Pane::ScriptList).frame, 2);
  sideLayout->addWidget(Frame(Pane::ScriptSets).frame, 1);
  sideLayout->addWidget(Frame(Pane::Browser).frame, 1);
  optionPages_ = new QStackedWidget(browserSplit_);
  optionPages_->setObjectName("optionPages");
  optionPages_->setAccessibleName(Q(Ru("Страницы настроек")));
  optionPages_->setMinimumWidth(320);
  const char* const pageNames[] = {"Настройки", "Категории", "Сеть", "Списки"};
  const char* const pageTexts[] = {"Параметры сценария", "Категории файлов", "Сеть", "Списки"};
  for (int i = 0; i < 4; ++i) {
    const Pane p = static_cast<Pane>(static_cast<int>(Pane::OptionsPage1) + i);
    Frame(p) = MakeFrame(optionPages_, pageNames[i], pageTexts[i]);
    optionPages_->addWidget(Frame(p).frame);
  }
  browserSplit_->addWidget(side);
  browserSplit_->addWidget(optionPages_);
  browserSplit_->setStretchFactor(0, 0);
  browserSplit_->setStretchFactor(1, 1);

  lowerArea_ = new QWidget(lowerSplit_);
  auto* lowerLayout = new QHBoxLayout(lowerArea_);
  lowerLayout->setContentsMargins(0, 0, 0, 0);
  channelFrame_ = new QFrame(lowerArea_);
  channelFrame_->setObjectName("channelFrame");
  channelFrame_->setAccessibleName(Q(Ru("Каналы")));
  auto* channelLayout = new QVBoxLayout(channelFrame_);
  channelLayout->setContentsMargins(0, 0, 0, 0);
  ListCons = new QTreeWidget(channelFrame_);
  ListCons->setObjectName("ListCons");
  ListCons->setAccessibleName(Q(Ru("Каналы")));
  ListCons->setRootIsDecorated(false);
  ListCons->setColumnCount(3);
  ListCons->setHeaderLabels({Q(Ru("Адрес")), Q(Ru("Статус")), Q(Ru("Размер"))});
  ListCons->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  channelLayout->addWidget(ListCons);
  BuildRunReport(channelFrame_);
  channelLayout->addWidget(report_);
  ListCons->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(ListCons, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    QTreeWidgetItem* item = ListCons->itemAt(at);
    if (!item) return;
    std::unique_ptr<QMenu> menu(ChannelMenu(item->data(0, Qt::UserRole).toInt()));
    if (menu) menu->exec(ListCons->viewport()->mapToGlobal(at));
  });
  infoFrame_ = new QFrame(lowerArea_);
  infoFrame_->setObjectName("infoFrame");
  infoFrame_->setAccessibleName(Q(Ru("Информация")));
  infoFrame_->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  infoFrame_->setMinimumWidth(160);
  infoFrame_->setMaximumWidth(260);
  auto* infoLayout = new QVBoxLayout(infoFrame_);
  auto* info = new QLabel(Q(Ru("Введите адрес сайта в поле вверху и нажмите Enter: "
                               "начнётся закачка по текущему сценарию. Строки каналов "
                               "показывают, что загружается сейчас.")),
                          infoFrame_);
  info->setObjectName("infoText");
  info->setAccessibleName(Q(Ru("Информация")));
  info->setAccessibleDescription(info->text());  // the name alone would hide what it says
  info->setWordWrap(true);
  info->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  infoLayout->addWidget(info);
  lowerLayout->addWidget(channelFrame_, 1);
  lowerLayout->addWidget(infoFrame_);
  lowerSplit_->addWidget(browserSplit_);
  lowerSplit_->addWidget(lowerArea_);
  lowerSplit_->setStretchFactor(0, 3);
  lowerSplit_->setStretchFactor(1, 2);

  treeSplit_->addWidget(column);
  treeSplit_->addWidget(lowerSplit_);
  treeSplit_->setStretchFactor(0, 0);
  treeSplit_->setStretchFactor(1, 1);
  layout->addWidget(treeSplit_, 1);
  setCentralWidget(central);

  connection_ = new ClickableLabel([this] {
    if (app_) ShowConnectionMenu();
  }, this);
  connection_->setObjectName("connection");
  connection_->setAccessibleName(Q(Ru("Соединение")));
  connection_->setToolTip(Q(Ru("Подключение: Модем, Локалка или localhost")));
  connection_->setFixedWidth(18);  // the indicator picture comes later; the panels must not move
  statusBar()->addWidget(connection_);
  // Each panel is as wide as its usual text during a run, measured in the panel's own font;
  // panel 3 stretches for its longer texts. The window is never narrower than the five
  // together, so their texts cannot run into one another.
  const char* const widest[] = {"", " Адреса: 00000", " 0000000 kb", " выполнено 99.8% сценария",
                                " 0000000 B/sec [общая]", "00:00:00"};
  for (int i = 1; i <= 5; ++i) {
    panels_[i] = new ClickableLabel([this, i] {
      if (app_) app_->Run().ClickStatusPanel(i);
    }, this);
    panels_[i]->setObjectName(QString("StatusPanel%1").arg(i));
    panels_[i]->setAccessibleName(Q(Ru("Панель состояния ")) + QString::number(i));
    panels_[i]->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    panels_[i]->setMinimumWidth(panels_[i]->fontMetrics().horizontalAdvance(Q(Ru(widest[i]))) +
                                2 * panels_[i]->frameWidth() + 6);
    statusBar()->addWidget(panels_[i], i == 3 ? 1 : 0);
  }
  panels_[4]->setToolTip(Q(Ru("Общая скорость")));

  // The window sees every key before its controls (keyboard commands).
  qApp->installEventFilter(this);
  ApplyLayout();
  SetWindowSize(kDefaultWidthTwips, kDefaultHeightTwips);
}

OrvMainWindow::PaneFrame OrvMainWindow::MakeFrame(QWidget* parent, const char* name, const char* placeholder) {
  PaneFrame f;
  f.frame = new QFrame(parent);
  f.frame->setObjectName(Q(Ru(name)));
  f.frame->setAccessibleName(Q(Ru(name)));
  auto* l = new QVBoxLayout(f.frame);
  l->setContentsMargins(0, 0, 0, 0);
  f.busy = new QLabel(Q(Ru("  работа...")) + "\n", f.frame);
  f.busy->setObjectName("busy");
  f.busy->setAccessibleName(Q(Ru("работа...")));
  f.busy->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  f.busy->hide();
  auto* label = new QLabel(Q(Ru(placeholder)), f.frame);
  label->setObjectName("placeholder");
  label->setAccessibleName(Q(Ru(placeholder)));
  label->setAlignment(Qt::AlignCenter);
  label->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  label->setEnabled(false);
  f.content = label;
  l->addWidget(f.busy);
  l->addWidget(f.content, 1);
  return f;
}

void OrvMainWindow::BuildToolbar() {
  toolbar_ = addToolBar(Q(Ru("Команды")));
  toolbar_->setObjectName("Toolbar1");
  toolbar_->setAccessibleName(Q(Ru("Команды")));
  toolbar_->setMovable(false);
  toolbar_->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  runStop_ = toolbar_->addAction(style()->standardIcon(QStyle::SP_MediaPlay), Q(Ru("Пуск ")));
  runStop_->setToolTip(Q(Ru("Запустить закачку")));
  actions_["run"] = runStop_;
  connect(runStop_, &QAction::triggered, this, [this] { OnRunStop(); });
  toolbar_->addSeparator();

  struct Button {
    const char* key;
    const char* caption;
    QStyle::StandardPixmap icon;
    const char* tip;
  };
  static const Button kButtons[] = {
      {"options", "Настройки", QStyle::SP_FileDialogContentsView, "Параметры сценария"},
      {"kateg", "Категории", QStyle::SP_FileDialogListView, "Категории файлов"},
      {"net", "Сеть", QStyle::SP_DriveNetIcon, "Сеть: связь, кодировка страниц, подключение, сертификаты"},
      {"lists", "Списки", QStyle::SP_FileDialogDetailedView,
       "Списки: исключения, колея, прокси, авторизация на сайтах, User-Agent"},
      {"scripts", "Сценарии", QStyle::SP_DirHomeIcon, "Показать или скрыть список сценариев"},
      {"brows", "Браузер", QStyle::SP_ComputerIcon, "Показать или скрыть браузер коллекции"},
      {"openfolder", "Папка", QStyle::SP_DirOpenIcon, "Выбрать папку коллекции"},
      {"help", "Справка", QStyle::SP_DialogHelpButton, "Справка"},
  };
  pageButtons_ = new QActionGroup(this);
  pageButtons_->setExclusive(true);
  for (const Button& b : kButtons) {
    QAction* a = toolbar_->addAction(style()->standardIcon(b.icon), Q(Ru(b.caption)));
    a->setObjectName(b.key);
    a->setToolTip(Q(Ru(b.tip)));
    const std::string key = b.key;
    const bool page = key == "options" || key == "kateg" || key == "net" || key == "lists";
    if (page) {
      a->setCheckable(true);
      pageButtons_->addAction(a);
    }
    if (key == "scripts" || key == "brows") a->setCheckable(true);
    if (QWidget* w = toolbar_->widgetForAction(a)) {
      w->setObjectName(b.key);
      w->setAccessibleName(Q(Ru(b.caption)));
    }
    if (a->isCheckable()) {
      // A toggle acts on its checked state, however it changed: a click, the keyboard, or a
      // screen reader's toggle action (which checks the button without a click).
      connect(a, &QAction::toggled, this, [this, key, page](bool on) {
        if (applyingLayout_) return;
        if (page && !on) {
          // The page shown keeps its button pressed; checking another page released it.
          QMetaObject::invokeMethod(this, [this] { ApplyLayout(); }, Qt::QueuedConnection);
          return;
        }
        OnToolbarButton(key, on);
      });
      // A click on the page button already pressed toggles nothing, yet brings its page
      // back from beside a widened browser.
      if (page) {
        connect(a, &QAction::triggered, this, [this, key] {
          if (ShownPage() != key || !layout_.Shown().optionPages) OnToolbarButton(key, true);
        });
      }
    } else {
      connect(a, &QAction::triggered, this, [this, key](bool checked) { OnToolbarButton(key, checked); });
    }
    actions_[key] = a;
    if (key == "lists" || key == "brows") toolbar_->addSeparator();
  }
  if (QWidget* w = toolbar_->widgetForAction(runStop_)) {
    w->setObjectName("run");
    w->setAccessibleName(Q(Ru("Пуск")));
  }
}

void OrvMainWindow::BuildMenu() {
  QMenu* menu = menuBar()->addMenu(Q(Ru("Параметры")));
  menu->setAccessibleName(Q(Ru("Параметры")));
  activeCursor_ = menu->addAction(Q(Ru("Активный Курсор")));
  activeCursor_->setObjectName("mdtxa");
  activeCursor_->setCheckable(true);
  activeCursor_->setChecked(true);
  connect(activeCursor_, &QAction::triggered, this, [this](bool on) {
    CallPort(hooks_.activeCursorChanged, "activeCursorChanged", on);
  });
  preview_ = menu->addAction(Q(Ru("Включая предпросмотр")));
  preview_->setObjectName("preview");
  preview_->setCheckable(true);
  preview_->setChecked(true);
  connect(preview_, &QAction::triggered, this, [this](bool on) {
    CallPort(hooks_.previewChanged, "previewChanged", on);
  });
  QMenu* help = menuBar()->addMenu(Q(Ru("Справка")));
  help->setAccessibleName(Q(Ru("Справка")));
  QAction* contents = help->addAction(Q(Ru("Содержание")));
  connect(contents, &QAction::triggered, this, [this] { OnToolbarButton("help", false); });
}

OrvMainWindow::~OrvMainWindow() { qApp->removeEventFilter(this); }

void OrvMainWindow::showEvent(QShowEvent* event) {
  // The status bar knows its full width (size grip included) only once it is shown.
  setMinimumWidth(statusBar()->minimumSizeHint().width());
  QMainWindow::showEvent(event);
  if (!splittersApplied_) QTimer::singleShot(0, this, [this] { ApplySplitters(); });
}

bool OrvMainWindow::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type == QEvent::KeyPress || type == QEvent::ShortcutOverride) return DispatchKey(watched, event);
  if (watched == InputUrl->lineEdit() && app_) {
    if (type == QEvent::Drop) {
      auto* drop = static_cast<QDropEvent*>(event);
      const QMimeData* data = drop->mimeData();
      QString text = data->text();
      if (data->hasUrls() && data->urls().front().isLocalFile()) text = data->urls().front().toLocalFile();
      const std::string address = AddressFromDrop(B(text), app_->Program().CollectionFolder());
      if (!address.empty()) SetAddressText(address);
      drop->acceptProposedAction();
      return true;
    }
    if (type == QEvent::MouseButtonDblClick) {
      InputUrl->lineEdit()->clear();
      return true;
    }
    if (type == QEvent::MouseButtonPress && InputUrl->lineEdit()->text().isEmpty()) {
      InputUrl->lineEdit()->setText("http://");
      InputUrl->lineEdit()->setCursorPosition(7);
      return true;
    }
  }
  return false;
}

bool OrvMainWindow::DispatchKey(QObject* watched, QEvent* event) {
  // Only registered controls take commands. Found by address before anything is asked of the
  // receiver: the embedded browser sends key events to its own items while it replaces them.
  QWidget* widget = keys_.ControlAt(watched);
  if (widget == nullptr) return false;
  if (widget->window() != this) return false;
  auto* key = static_cast<QKeyEvent*>(event);
  const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
  if (mods != Qt::ControlModifier || key->key() < Qt::Key_A || key->key() > Qt::Key_Z) return false;
  const QChar letter(static_cast<char16_t>('A' + (key->key() - Qt::Key_A)));
  if (!keys_.Handles(widget, letter)) return false;
  if (event->type() == QEvent::ShortcutOverride) {
    // The key goes to the control as a key press rather than to a menu shortcut.
    event->accept();
    return true;
  }
  keys_.Dispatch(widget, letter);
  return true;
}

// --- Pages and panes ---

void OrvMainWindow::InstallAddressSwitch(QWidget* control) {
  control->setParent(InputUrl->parentWidget());
  addressRow_->insertWidget(0, control);
}

void OrvMainWindow::FocusAddressBox() { InputUrl->setFocus(); }

QMenu* OrvMainWindow::BuildAddressMenu() {
  QMenu* menu = InputUrl->lineEdit()->createStandardContextMenu();
  menu->setObjectName("AddressMenu");
  menu->addSeparator();
  QAction* logIn = menu->addAction(Q(Ru("Войти на сайт…")));
  logIn->setObjectName("LogIn");
  const std::string address = AddressText();
  const bool web = StartsWithNoCase(address, "http://") || StartsWithNoCase(address, "https://");
  logIn->setEnabled(bool(hooks_.logIn) && web && address.size() > 8);
  connect(logIn, &QAction::triggered, this, [this, address] { hooks_.logIn(address); });
  return menu;
}

void OrvMainWindow::InstallPane(Pane where, QWidget* pane) {
  PaneFrame& f = Frame(where);
  if (!pane || pane == f.content) return;
  delete f.content;
  f.content = pane;
  pane->setParent(f.frame);
  f.frame->layout()->addWidget(pane);
  pane->setVisible(f.busy->isHidden());
}

QWidget* OrvMainWindow::InstalledPane(Pane where) const {
  const PaneFrame& f = Frame(where);
  return f.content && f.content->objectName() != "placeholder" ? f.content : nullptr;
}

bool OrvMainWindow::PaneVisible(Pane where) const {
  const PaneFrame& f = Frame(where);
  switch (where) {
    case Pane::OptionsPage1:
    case Pane::OptionsPage2:
    case Pane::OptionsPage3:
    case Pane::OptionsPage4: return optionPages_->currentWidget() == f.frame;
    case Pane::CollectionTree:
    case Pane::Search:
    case Pane::Bookmarks: return GSpan->currentWidget() == f.frame;
    case Pane::ScriptList: return layout_.Shown().scriptList;
    case Pane::ScriptSets: return layout_.Shown().scriptSets;
    case Pane::Browser: return layout_.Shown().browser;
  }
  return false;
}

void OrvMainWindow::ShowScriptSets(bool visible) {
  if (visible != layout_.Shown().scriptSets) ToggleScriptSets();
}

void OrvMainWindow::ToggleScriptSets() {
  layout_.ToggleSets();
  ApplyLayout();
}

QLabel* OrvMainWindow::BusyLabelOf(BusyLabel which) const {
  switch (which) {
    case BusyLabel::CollectionTree: return Frame(Pane::CollectionTree).busy;
    case BusyLabel::ScriptTree: return Frame(Pane::ScriptList).busy;
    case BusyLabel::BlendPanel: return Frame(Pane::ScriptSets).busy;
  }
  return nullptr;
}

void OrvMainWindow::SetBusyLabel(BusyLabel which, bool visible) {
  busy_[static_cast<std::size_t>(which)] = visible;
  QLabel* label = BusyLabelOf(which);
  label->setVisible(visible);
  // The busy label stands in for the pane while long work fills it.
  for (const PaneFrame& f : frames_)
    if (f.busy == label && f.content) f.content->setVisible(!visible);
}

bool OrvMainWindow::BusyLabelVisible(BusyLabel which) const { return busy_[static_cast<std::size_t>(which)]; }

void OrvMainWindow::BusyWorkFinished(std::function<void()> hide) {
  finishedBusy_.push_back(std::move(hide));
  if (app_) app_->ArmBusyLabelCountdown();
}

void OrvMainWindow::HideBusyLabels() {
  std::vector<std::function<void()>> due;
  due.swap(finishedBusy_);
  for (const auto& hide : due) hide();
}

// --- Toolbar ---

QAction* OrvMainWindow::ToolbarAction(const std::string& key) const {
  auto it = actions_.find(key);
  return it == actions_.end() ? nullptr : it->second;
}

bool OrvMainWindow::ToolbarButtonPressed(const std::string& key) const {
  QAction* a = ToolbarAction(key);
  return a && a->isCheckable() && a->isChecked();
}

void OrvMainWindow::PressToolbarButton(const std::string& key, bool pressed) {
  QAction* a = ToolbarAction(key);
  if (!a) return;
  if (a->isCheckable() && a->isChecked() != pressed) {
    a->setChecked(pressed);  // its toggle carries the button out
  } else {
    OnToolbarButton(key, pressed);
  }
}

void OrvMainWindow::OnToolbarButton(const std::string& key, bool pressed) {
  if (const int page = PaneLayout::PageOfKey(key)) {
    layout_.PressPage(page);
    ApplyLayout();
    CallPort(hooks_.pageShown, "pageShown", key);
    return;
  }
  if (key == "openfolder") {
    OpenFolder();
  } else if (key == "help") {
    CallPort(hooks_.showHelp, "showHelp");
  } else if (key == "scripts") {
    layout_.PressScripts(pressed);
  } else if (key == "brows") {
    layout_.PressBrows(pressed);
  }
  ApplyLayout();
}

void OrvMainWindow::ApplyLayout() {
  const PaneShown& s = layout_.Shown();
  applyingLayout_ = true;
  actions_["scripts"]->setChecked(s.scriptsPressed);
  actions_["brows"]->setChecked(s.browsPressed);
  const Pane page = static_cast<Pane>(static_cast<int>(Pane::OptionsPage1) + s.page - 1);
  optionPages_->setCurrentWidget(Frame(page).frame);
  actions_[PaneLayout::KeyOfPage(s.page)]->setChecked(true);
  applyingLayout_ = false;

  PlaceCollectionColumn(s.collectionColumn);
  Frame(Pane::ScriptList).frame->setVisible(s.scriptList);
  Frame(Pane::ScriptSets).frame->setVisible(s.scriptSets);
  Frame(Pane::Browser).frame->setVisible(s.browser);
  channelFrame_->setVisible(s.lowerArea);
  infoFrame_->setVisible(s.lowerArea);
  lowerArea_->setVisible(s.lowerArea);

  QWidget* side = Frame(Pane::ScriptList).frame->parentWidget();
  const bool anySide = s.scriptList || s.scriptSets || s.browser;
  const bool sideShared = !side->isHidden() && !optionPages_->isHidden();
  // The script list's width is kept (BRSPH) while the pages stand beside it.
  if (sideShared && !s.browser && splittersApplied_ && !anySide)
    browserTwips_ = browserSplit_->sizes().value(0) * kTwipsPerPixel;
  side->setVisible(anySide);
  optionPages_->setVisible(s.optionPages || !anySide);
  if (!anySide || !s.optionPages || !splittersApplied_ || keepBrowserSplit_) return;
  const QList<int> sizes = browserSplit_->sizes();
  const int total = sizes.value(0) + sizes.value(1);
  int first = sideShared ? sizes.value(0) : browserTwips_ / kTwipsPerPixel;
  // The browser keeps at least half beside a page, and leaves the page the width it is read
  // at while it keeps that half.
  if (s.browser && !sideShared && first < total / 2)
    first = std::max(total / 2, std::min(total * 2 / 3, total - optionPages_->sizeHint().width()));
  if (total > 0 && first != sizes.value(0)) browserSplit_->setSizes({first, total - first});
}

std::string OrvMainWindow::ShownPage() const { return PaneLayout::KeyOfPage(layout_.Shown().page); }

void OrvMainWindow::ShowOptionsPage(const std::string& key) {
  layout_.PressPage(std::max(1, PaneLayout::PageOfKey(key)));
  ApplyLayout();
}

void OrvMainWindow::OpenFolder() {
  QAction* button = actions_["openfolder"];
  const bool busy = BusyLabelVisible(BusyLabel::CollectionTree) || BusyLabelVisible(BusyLabel::ScriptTree) ||
                    BusyLabelVisible(BusyLabel::BlendPanel) || layout_.ToolBusy() || folderChoiceRunning_;
  if (!busy) {
    folderChoiceRunning_ = true;
    const std::string current = CallPort(hooks_.collectionFolder, "collectionFolder");
    std::optional<std::string> chosen;
    if (hooks_.chooseCollectionFolder) {
      chosen = hooks_.chooseCollectionFolder(current);
    } else {
      chosen = FolderChooser::Choose(collection::FolderChoiceMode::CollectionRoot, current, this);
    }
    if (chosen) CallPort(hooks_.collectionFolderChosen, "collectionFolderChosen", *chosen);
    folderChoiceRunning_ = false;
  }
  if (button->isCheckable()) button->setChecked(false);
}

// --- Geometry ---

void OrvMainWindow::SetLowerSplitter(int twips) { lowerTwips_ = twips; splittersApplied_ = false; }
void OrvMainWindow::SetTreeSplitter(int twips) { treeTwips_ = twips; splittersApplied_ = false; }
void OrvMainWindow::SetBrowserSplitter(int twips) { browserTwips_ = twips; splittersApplied_ = false; }

int OrvMainWindow::LowerSplitter() const {
  return splittersApplied_ && !lowerArea_->isHidden() ? lowerSplit_->sizes().value(0) * kTwipsPerPixel : lowerTwips_;
}
int OrvMainWindow::TreeSplitter() const {
  return splittersApplied_ ? treeSplit_->sizes().value(0) * kTwipsPerPixel : treeTwips_;
}
int OrvMainWindow::BrowserSplitter() const {
  const bool shared = !browserSplit_->widget(0)->isHidden() && !optionPages_->isHidden();
  return splittersApplied_ && shared ? browserSplit_->sizes().value(0) * kTwipsPerPixel : browserTwips_;
}

void OrvMainWindow::ArrangePanes() {
  if (isVisible()) ApplySplitters();
}

void OrvMainWindow::ApplySplitters() {
  if (!isVisible()) return;
  const auto place = [](QSplitter* split, int twips) {
    const QList<int> sizes = split->sizes();
    const int total = sizes.value(0) + sizes.value(1);
    const int first = std::clamp(twips / kTwipsPerPixel, 0, std::max(0, total));
    split->setSizes({first, total - first});
  };
  place(treeSplit_, treeTwips_);
  place(lowerSplit_, lowerTwips_);
  if (!browserSplit_->widget(0)->isHidden() && !optionPages_->isHidden()) place(browserSplit_, browserTwips_);
  splittersApplied_ = true;
}

void OrvMainWindow::SetActiveCursorMenu(bool checked) { activeCursor_->setChecked(checked); }
bool OrvMainWindow::ActiveCursorMenu() const { return activeCursor_->isChecked(); }
void OrvMainWindow::SetPreviewMenu(bool checked) { preview_->setChecked(checked); }
bool OrvMainWindow::PreviewMenu() const { return preview_->isChecked(); }

void OrvMainWindow::HideScriptPanels() {
  layout_.HideScriptPanels();
  ApplyLayout();
}

void OrvMainWindow::ShowConnectionMenu() {
  // "Модем", "Локалка", "localhost": disabled while a run is active.
  QMenu menu(this);
  ConnectionControl& c = app_->Connection();
  const bool running = app_->Run().State().running;
  const std::pair<const char*, ConnectionMode> entries[] = {
      {"Модем", ConnectionMode::Modem}, {"Локалка", ConnectionMode::Lan}, {"localhost", ConnectionMode::Localhost}};
  for (const auto& [caption, mode] : entries) {
    QAction* a = menu.addAction(Q(Ru(caption)));
    a->setCheckable(true);
    a->setChecked(c.Mode() == mode);
    a->setEnabled(!running);
    const ConnectionMode m = mode;
    connect(a, &QAction::triggered, this, [this, m] {
      app_->Connection().SelectMode(m, app_->Run().State().running);
      app_->Connection().RefreshOnline();
      SetConnectionIndicator(app_->Connection().Online());
    });
  }
  menu.exec(QCursor::pos());
}

void OrvMainWindow::OnRunStop() {
  if (!app_) return;
  if (runStopKey_ == "run") {
    app_->Run().RunButton();
  } else {
    CallPort(hooks_.userStop, "userStop");
    app_->Run().StopRun();
  }
}

void OrvMainWindow::SetCollectionColumnHidden(bool hidden) {
  layout_.FullScreen(hidden);
  ApplyLayout();
}

void OrvMainWindow::PlaceCollectionColumn(bool shown) {
  if (collectionColumn_->isHidden() != shown) return;
  // The browser takes the column's width and gives it back; the option pages keep theirs.
  const QList<int> before = browserSplit_->sizes();
  collectionColumn_->setVisible(shown);
  treeSplit_->refresh();
  const int total = browserSplit_->width() - browserSplit_->handleWidth();
  if (!shown) {
    columnBrowserSizes_ = before;
    if (before.size() == 2 && total > before[1]) browserSplit_->setSizes({total - before[1], before[1]});
  } else if (columnBrowserSizes_.size() == 2) {
    browserSplit_->setSizes(columnBrowserSizes_);
  }
}

void OrvMainWindow::SetBrowserWide(bool wide) {
  // The option pages step aside and come back to the width the splitter kept for them.
  layout_.Onleft(wide);
  keepBrowserSplit_ = true;
  ApplyLayout();
  keepBrowserSplit_ = false;
}

void OrvMainWindow::closeEvent(QCloseEvent* event) {
  if (closeAllowed_ || !app_) {
    event->accept();
    return;
  }
  // A wait for the dial window or the console ends now; a run is written back first, and the
  // close sequence closes the window afterwards.
  if (app_->Run().CloseRequested()) {
    app_->Status().Ending();
    event->ignore();
    return;
  }
  app_->Shutdown(true);
  closeAllowed_ = true;
  event->accept();
}

bool OrvMainWindow::CloseForGood() {
  closeAllowed_ = true;
  return close();
}

void OrvMainWindow::ShowMessage(const std::string& text, MessageIcon icon) {
  QMessageBox box(this);
  box.setWindowTitle(icon == MessageIcon::None ? QString() : QString::fromLatin1(kMessageTitle));
  box.setText(Q(text));
  switch (icon) {
    case MessageIcon::Information: box.setIcon(QMessageBox::Information); break;
    case MessageIcon::Warning: box.setIcon(QMessageBox::Warning); break;
    case MessageIcon::Error: box.setIcon(QMessageBox::Critical); break;
    case MessageIcon::Question: box.setIcon(QMessageBox::Question); break;
    case MessageIcon::None: break;
  }
  box.exec();
}

bool OrvMainWindow::AskYesNo(const std::string& text) {
  return QMessageBox::question(this, QString::fromLatin1(kMessageTitle), Q(text)) == QMessageBox::Yes;
}

void OrvMainWindow::ShowStatusPanel(int panel, const std::string& text) {
  if (panel < 1 || panel > 5) return;
  panels_[panel]->setText(Q(text));
  // A screen reader reads the panel's name and then what it shows.
  panels_[panel]->setAccessibleDescription(Q(text).trimmed());
}


void OrvMainWindow::SetMaximized(bool m) {
  // Shown maximised when the window appears; its normal size stays what WI and mehey say.
  setWindowState(m ? windowState() | Qt::WindowMaximized : windowState() & ~Qt::WindowMaximized);
}

QSize OrvMainWindow::NormalSize() const {
  const QRect normal = normalGeometry();
  return isMaximized() && normal.isValid() ? normal.size() : size();
}

int OrvMainWindow::WindowWidth() const { return NormalSize().width() * kTwipsPerPixel; }
int OrvMainWindow::WindowHeight() const { return NormalSize().height() * kTwipsPerPixel; }

void OrvMainWindow::SetWindowSize(int widthTwips, int heightTwips) {
  // Resizing ends the maximised state; a window to be shown maximised stays so.
  const bool maximized = windowState() & Qt::WindowMaximized;
  ResizeNormal(widthTwips, heightTwips);
  if (maximized) setWindowState(windowState() | Qt::WindowMaximized);
}

void OrvMainWindow::ResizeNormal(int widthTwips, int heightTwips) {
  if (widthTwips == kDefaultWidthTwips && heightTwips == kDefaultHeightTwips) {
    // Nothing stored yet: a size that suits today's screens, within the one at hand.
    QSize natural(1200, 780);
    if (QScreen* screen = QGuiApplication::primaryScreen())
      natural = natural.boundedTo(screen->availableGeometry().size() * 9 / 10);
    resize(natural);
    return;
  }
  resize(std::max(320, widthTwips / kTwipsPerPixel), std::max(240, heightTwips / kTwipsPerPixel));
}

void OrvMainWindow::SetAddressText(const std::string& text) { InputUrl->setEditText(Q(text)); }
std::string OrvMainWindow::AddressText() const { return B(InputUrl->currentText()); }

void OrvMainWindow::SetAddressHistory(const std::vector<std::string>& entries) {
  const QString text = InputUrl->currentText();
  InputUrl->clear();
  for (const std::string& e : entries) InputUrl->addItem(Q(e));
  InputUrl->setEditText(text);
}

std::vector<std::string> OrvMainWindow::AddressHistory() const {
  std::vector<std::string> out;
  for (int i = 0; i < InputUrl->count(); ++i) out.push_back(B(InputUrl->itemText(i)));
  return out;
}

void OrvMainWindow::SetToolbarButtonEnabled(const std::string& key, bool enabled) {
  auto it = actions_.find(key);
  if (it != actions_.end()) it->second->setEnabled(enabled);
}

void OrvMainWindow::SetToolbarButtonPressed(const std::string& key, bool pressed) {
  // The two toggles say what is shown: releasing one is pressing it off.
  if (key == "scripts" || key == "brows") {
    if (key == "scripts") layout_.PressScripts(pressed);
    if (key == "brows") layout_.PressBrows(pressed);
    ApplyLayout();
    return;
  }
  auto it = actions_.find(key);
  if (it != actions_.end() && it->second->isCheckable()) it->second->setChecked(pressed);
}

void OrvMainWindow::SetRunStopButton(const std::string& key, const std::string& caption, int image,
                                  const std::string& toolTip) {
  if (key == runStopKey_) return;
  runStopKey_ = key;
  runStop_->setText(Q(caption));
  runStop_->setToolTip(Q(toolTip));
  runStop_->setIcon(style()->standardIcon(image == 1 ? QStyle::SP_MediaStop : QStyle::SP_MediaPlay));
}

void OrvMainWindow::SetConnectionIndicator(bool online) {
  connection_->setAccessibleDescription(Q(Ru(online ? "на связи" : "нет связи")));
  connection_->setPixmap(style()
                             ->standardIcon(online ? QStyle::SP_DialogApplyButton : QStyle::SP_DialogCancelButton)
                             .pixmap(16, 16));
}

void OrvMainWindow::ShowSpeedPanelToolTip(const std::string& text) { panels_[4]->setToolTip(Q(text)); }

void OrvMainWindow::EnableStatusPanel(int panel, bool enabled) {
  if (panel >= 1 && panel <= 5) panels_[panel]->setEnabled(enabled);
}

QTreeWidgetItem* OrvMainWindow::RowItem(int channel) const {
  for (int i = 0; i < ListCons->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = ListCons->topLevelItem(i);
    if (item->data(0, Qt::UserRole).toInt() == channel) return item;
  }
  return nullptr;
}

void OrvMainWindow::SetChannelRow(const ChannelRow& row) {
  QTreeWidgetItem* item = RowItem(row.channel);
  if (!item) {
    item = new QTreeWidgetItem(ListCons);
    item->setData(0, Qt::UserRole, row.channel);
  }
  item->setText(0, Q(row.address));
  item->setText(1, Q(row.status));
  item->setText(2, Q(row.size));
  const int icon = row.iconCategory >= 1 && row.iconCategory <= 8 ? row.iconCategory : 8;
  item->setIcon(0, categoryIcons_[icon]);
  item->setForeground(2, row.resumable ? QColor(0, 128, 0) : QColor(Qt::black));
}

void OrvMainWindow::RemoveChannelRow(const ChannelRow& row) { delete RowItem(row.channel); }

// --- Run report ---

void OrvMainWindow::BuildRunReport(QWidget* parent) {
  report_ = new QFrame(parent);
  report_->setObjectName("runReport");
  report_->setAccessibleName(Q(Ru("Итог закачки")));
  auto* layout = new QVBoxLayout(report_);
  layout->setContentsMargins(0, 0, 0, 0);
  reportHeading_ = new QLabel(report_);
  reportHeading_->setObjectName("runReportHeading");
  reportHeading_->setAccessibleName(Q(Ru("Итог закачки")));
  reportHeading_->setWordWrap(true);
  reportHeading_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  reportFailures_ = new QListWidget(report_);
  reportFailures_->setObjectName("runReportFailures");
  reportFailures_->setAccessibleName(Q(Ru("Ошибки закачки")));
  auto* buttons = new QHBoxLayout;
  reportOpen_ = new QPushButton(Q(Ru("Открыть сайт")), report_);
  reportOpen_->setObjectName("runReportOpen");
  reportOpen_->setAccessibleName(reportOpen_->text());
  reportOpen_->setToolTip(Q(Ru("Показать начальную страницу закачки в браузере коллекции")));
  auto* close = new QPushButton(Q(Ru("Скрыть")), report_);
  close->setObjectName("runReportClose");
  close->setAccessibleName(Q(Ru("Скрыть итог")));
  buttons->addWidget(reportOpen_);
  buttons->addWidget(close);
  buttons->addStretch(1);
  layout->addWidget(reportHeading_);
  layout->addWidget(reportFailures_, 1);
  layout->addLayout(buttons);
  connect(reportOpen_, &QPushButton::clicked, this, [this] {
    if (hooks_.openStartPage && !reportStart_.empty()) hooks_.openStartPage(reportStart_);
  });
  connect(close, &QPushButton::clicked, this, [this] {
    report_->hide();
    ListCons->show();
  });
  report_->hide();
}

void OrvMainWindow::ShowRunReport(const RunReport& report) {
  const std::vector<std::string> lines = RunReportLines(report);
  reportHeading_->setText(Q(lines.front()));
  reportHeading_->setAccessibleDescription(reportHeading_->text());
  reportFailures_->clear();
  for (std::size_t i = 1; i < lines.size(); ++i) reportFailures_->addItem(Q(lines[i]));
  reportFailures_->setVisible(lines.size() > 1);
  reportStart_ = report.startAddress;
  reportOpen_->setEnabled(!reportStart_.empty() && bool(hooks_.openStartPage));
  ListCons->hide();
  report_->show();
}

void OrvMainWindow::PhaseChanged(RunPhase phase) {
  if (phase == RunPhase::HandingOut) {
    // A new run: its channels take the report's place.
    report_->hide();
    ListCons->show();
  } else if (phase == RunPhase::Done) {
    if (const std::optional<RunReport> report = CallPort(hooks_.runReport, "runReport")) ShowRunReport(*report);
  }
}

QMenu* OrvMainWindow::ChannelMenu(int channel) {
  const ChannelRow* row = CallPort(hooks_.channelRow, "channelRow", channel);
  if (!row || row->address.empty()) return nullptr;
  // The menu keeps the address the row had when it opened; the channel may move on meanwhile.
  const std::string address = row->address;
  auto* menu = new QMenu(this);
  menu->setObjectName("channelMenu");
  menu->setAccessibleName(Q(Ru("Меню канала")));
  const auto add = [&](const char* caption, const char* name, std::function<void()> run) {
    QAction* a = menu->addAction(Q(Ru(caption)));
    a->setObjectName(name);
    connect(a, &QAction::triggered, this, std::move(run));
    return a;
  };
  add("Закрыть Канал", "closeChannel", [this, channel] {
    CallPort(hooks_.closeChannel, "closeChannel", channel);
  });
  QAction* bookmark = add("Создать Закладку", "bookmark", [this, address] {
    if (hooks_.bookmarkAddress) hooks_.bookmarkAddress(address);
  });
  // The search engine's pages are results of a web search, not pages to keep.
  bookmark->setEnabled(hooks_.bookmarkAddress && !StartsWithNoCase(address, kSearchEngineRoot));
  add("В Исключения", "exclude", [this, address] {
    CallPort(hooks_.excludeAddress, "excludeAddress", address);
  });
  add("В Колею", "track", [this, address] {
    CallPort(hooks_.trackAddress, "trackAddress", address);
  });
  add("Копировать", "copy", [address] { QGuiApplication::clipboard()->setText(Q(address)); });
  return menu;
}

}  // namespace orv
#endif
