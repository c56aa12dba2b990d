#ifdef ORV_HAVE_WIDGETS
#include "main/ui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QPushButton>
#include <QTimer>
#include <QHeaderView>
#include <QLineEdit>
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
#ifdef ORV_HAVE_MULTIMEDIA
#include <QSoundEffect>
#endif

#include "common/numbers.h"
#include "common/text.h"
#include "main/ui/orv_app.h"

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
  for (int c = 1; c <= 8; ++c) categoryIcons_[c] = CategoryIcon(c);

  toolbar_ = addToolBar(Q(Ru("Команды")));
  toolbar_->setMovable(false);
  toolbar_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  runStop_ = toolbar_->addAction(style()->standardIcon(QStyle::SP_MediaPlay), Q(Ru("Пуск ")));
  runStop_->setToolTip(Q(Ru("Запустить закачку")));
  actions_["run"] = runStop_;
  connect(runStop_, &QAction::triggered, this, [this] { OnRunStop(); });
  actions_["openfolder"] = toolbar_->addAction(style()->standardIcon(QStyle::SP_DirOpenIcon), Q(Ru("Папка")));
  actions_["scripts"] = toolbar_->addAction(style()->standardIcon(QStyle::SP_FileDialogDetailedView),
                                            Q(Ru("Сценарии")));
  actions_["scripts"]->setCheckable(true);

  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(4, 4, 4, 4);

  InputUrl = new QComboBox(central);
  InputUrl->setObjectName("InputUrl");
  InputUrl->setEditable(true);
  InputUrl->setInsertPolicy(QComboBox::NoInsert);
  InputUrl->lineEdit()->installEventFilter(this);
  connect(InputUrl->lineEdit(), &QLineEdit::returnPressed, this, [this] {
    if (app_) app_->Run().AddressEnter(AddressText());
  });
  layout->addWidget(InputUrl);

  auto* split = new QSplitter(Qt::Vertical, central);
  // The pages of the window (options, lists, scripts, collection) live in this stack.
  pages_ = new QStackedWidget(split);
  pages_->addWidget(new QWidget(pages_));
  ListCons = new QTreeWidget(split);
  ListCons->setObjectName("ListCons");
  ListCons->setRootIsDecorated(false);
  ListCons->setColumnCount(3);
  ListCons->setHeaderLabels({Q(Ru("Адрес")), Q(Ru("Статус")), Q(Ru("Размер"))});
  ListCons->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  split->addWidget(pages_);
  split->addWidget(ListCons);
  split->setStretchFactor(0, 1);
  split->setStretchFactor(1, 2);
  layout->addWidget(split, 1);
  setCentralWidget(central);

  connection_ = new QLabel(this);
  connection_->setFixedWidth(18);  // the indicator picture comes later; the panels must not move
  connection_->installEventFilter(this);
  statusBar()->addWidget(connection_);
  // Each panel is as wide as its usual text during a run, measured in the panel's own font;
  // panel 3 stretches for its longer texts. The window is never narrower than the five
  // together, so their texts cannot run into one another.
  const char* const widest[] = {"", " Адреса: 00000", " 0000000 kb", " выполнено 99.8% сценария",
                                " 0000000 B/sec [общая]", "00:00:00"};
  for (int i = 1; i <= 5; ++i) {
    panels_[i] = new QLabel(this);
    panels_[i]->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    panels_[i]->setMinimumWidth(panels_[i]->fontMetrics().horizontalAdvance(Q(Ru(widest[i]))) +
                                2 * panels_[i]->frameWidth() + 6);
    panels_[i]->installEventFilter(this);
    statusBar()->addWidget(panels_[i], i == 3 ? 1 : 0);
  }
  panels_[4]->setToolTip(Q(Ru("Общая скорость")));
  resize(900, 600);
}

OrvMainWindow::~OrvMainWindow() = default;

void OrvMainWindow::showEvent(QShowEvent* event) {
  // The status bar knows its full width (size grip included) only once it is shown.
  setMinimumWidth(statusBar()->minimumSizeHint().width());
  QMainWindow::showEvent(event);
}

bool OrvMainWindow::eventFilter(QObject* watched, QEvent* event) {
  for (int panel = 1; panel <= 5; ++panel) {
    if (event->type() == QEvent::MouseButtonPress && watched == panels_[panel] && app_) {
      app_->Run().ClickStatusPanel(panel);
      return true;
    }
  }
  if (watched == connection_ && event->type() == QEvent::MouseButtonPress && app_) {
    ShowConnectionMenu();
    return true;
  }
  if (watched == InputUrl->lineEdit() && app_) {
    if (event->type() == QEvent::Drop) {
      auto* drop = static_cast<QDropEvent*>(event);
      const QMimeData* data = drop->mimeData();
      QString text = data->text();
      if (data->hasUrls() && data->urls().front().isLocalFile()) text = data->urls().front().toLocalFile();
      const std::string address = AddressFromDrop(B(text), app_->Program().CollectionFolder());
      if (!address.empty()) SetAddressText(address);
      drop->acceptProposedAction();
      return true;
    }
    if (event->type() == QEvent::MouseButtonDblClick) {
      InputUrl->lineEdit()->clear();
      return true;
    }
    if (event->type() == QEvent::MouseButtonPress && InputUrl->lineEdit()->text().isEmpty()) {
      InputUrl->lineEdit()->setText("http://");
      InputUrl->lineEdit()->setCursorPosition(7);
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
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
  if (runStopKey_ == "run")
    app_->Run().RunButton();
  else
    app_->Run().StopRun();
}

void OrvMainWindow::closeEvent(QCloseEvent* event) {
  if (closeAllowed_ || !app_) {
    event->accept();
    return;
  }
  RunController& run = app_->Run();
  if (run.State().running) {
    // The run is written back first; the close sequence closes the window afterwards.
    run.StopAndExit();
    SetStatusPanel(1, Ru(" Завершение"));
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

void OrvMainWindow::SetStatusPanel(int panel, const std::string& text) {
  if (panel >= 1 && panel <= 5) panels_[panel]->setText(Q(text));
}

std::string OrvMainWindow::StatusPanel(int panel) const {
  return panel >= 1 && panel <= 5 ? B(panels_[panel]->text()) : std::string();
}

void OrvMainWindow::ProcessPendingEvents() { QApplication::processEvents(); }

void OrvMainWindow::SetMaximized(bool m) {
  if (m) showMaximized();
}

void OrvMainWindow::SetWindowSize(int widthTwips, int heightTwips) {
  resize(std::max(640, widthTwips / 15), std::max(400, heightTwips / 15));
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
  connection_->setPixmap(style()
                             ->standardIcon(online ? QStyle::SP_DialogApplyButton : QStyle::SP_DialogCancelButton)
                             .pixmap(16, 16));
}

void OrvMainWindow::SetSpeedPanelToolTip(const std::string& text) { panels_[4]->setToolTip(Q(text)); }

void OrvMainWindow::SetStatusPanelEnabled(int panel, bool enabled) {
  if (panel >= 1 && panel <= 5) panels_[panel]->setEnabled(enabled);
}

QTreeWidgetItem* OrvMainWindow::RowItem(int channel) const {
  for (int i = 0; i < ListCons->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = ListCons->topLevelItem(i);
    if (item->data(0, Qt::UserRole).toInt() == channel) return item;
  }
  return nullptr;
}

bool OrvMainWindow::FindChannelRow(int channel, ChannelRow& row) const {
  QTreeWidgetItem* item = RowItem(channel);
  if (!item) return false;
  row.channel = channel;
  row.address = B(item->text(0));
  row.status = B(item->text(1));
  row.size = B(item->text(2));
  row.iconCategory = item->data(0, Qt::UserRole + 1).toInt();
  row.tag = B(item->data(0, Qt::UserRole + 2).toString());
  row.resumable = item->data(0, Qt::UserRole + 3).toBool();
  return true;
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
  item->setData(0, Qt::UserRole + 1, icon);
  item->setData(0, Qt::UserRole + 2, Q(row.tag));
  item->setData(0, Qt::UserRole + 3, row.resumable);
  item->setForeground(2, row.resumable ? QColor(0, 128, 0) : QColor(Qt::black));
}

void OrvMainWindow::RemoveChannelRow(int channel) { delete RowItem(channel); }
void OrvMainWindow::ClearChannelList() { ListCons->clear(); }

int RunWindow(int argc, char** argv) {
  QApplication app(argc, argv);
  OrvMainWindow window;
  PublishedWindows windows;
  int exitCode = -1;
  OrvApp::Hooks hooks;
  hooks.endProgram = [&](int code) {
    exitCode = code;
    QApplication::exit(code);
  };
  hooks.closeWindow = [&] { return window.CloseForGood(); };
  hooks.confirmScriptDeletion = [&](int slot) {
    // ScrDel: twenty seconds to cancel, then the script goes.
    QDialog dialog(&window);
    dialog.setWindowTitle(Q(Ru("Автоудаление сценария")));
    auto* layout = new QVBoxLayout(&dialog);
    auto* text = new QLabel(&dialog);
    auto* cancel = new QPushButton(Q(Ru("Отмена")), &dialog);
    layout->addWidget(text);
    layout->addWidget(cancel);
    int left = 20;
    auto show = [&] {
      text->setText(Q(Ru("Сценарий № ") + std::to_string(slot) + Ru(" будет удален через") + "\n\n" +
                      std::to_string(left) + Ru(" секунд.")));
    };
    show();
    QTimer tick;
    tick.setInterval(1000);
    QObject::connect(&tick, &QTimer::timeout, &dialog, [&] {
      if (--left <= 0) dialog.accept();
      show();
    });
    QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
    tick.start();
    return dialog.exec() == QDialog::Accepted;
  };
#ifdef ORV_HAVE_MULTIMEDIA
  QSoundEffect sound;
  hooks.playSound = [&](const std::string& path) {
    sound.setSource(QUrl::fromLocalFile(QString::fromStdString(path)));
    sound.play();
  };
#endif
  OrvApp orvApp(window, windows, hooks);
  window.SetHandles(static_cast<std::uint32_t>(windows.mainWindow),
                    static_cast<std::uint32_t>(windows.exchangeButton));
  window.Attach(&orvApp);
  const int started = orvApp.StartUp();
  if (started >= 0) return started;
  std::string address;
  for (int i = 1; i < argc; ++i) address += (address.empty() ? "" : " ") + std::string(argv[i]);
  orvApp.Run().SetCommandLineAddress(Utf8ToCp1251(address));
  QObject::connect(&orvApp.Timer(RunTimer::Tim2), &QTimer::timeout, &window, [&] {
    if (!orvApp.Run().Ending()) orvApp.Run().Tim2Tick();
  });
  window.show();
  orvApp.StartTimers();
  const int code = app.exec();
  return exitCode >= 0 ? exitCode : code;
}

}  // namespace orv
#endif
