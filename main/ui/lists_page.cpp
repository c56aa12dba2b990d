#include "main/ui/lists_page.h"

#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QVBoxLayout>

#include <functional>

#include "main/lists/lists_model.h"
#include "main/ui/key_dispatcher.h"
#include "main/ui/ui_text.h"

namespace orv {
namespace {

// Runs a function on chosen events of a watched object.
class EventHook final : public QObject {
 public:
  EventHook(QObject* watched, std::function<void(QEvent::Type)> on)
      : QObject(watched), on_(std::move(on)) {
    watched->installEventFilter(this);
  }
  bool eventFilter(QObject*, QEvent* event) override {
    on_(event->type());
    return false;
  }

 private:
  std::function<void(QEvent::Type)> on_;
};

// Label editing of a fragment list goes through the model's rules: a checked entry is not
// edited, and the edited label is taken or reverted by the model.
class LabelEditor final : public QStyledItemDelegate {
 public:
  LabelEditor(FragmentList& model, std::function<void()> refresh, QObject* parent)
      : QStyledItemDelegate(parent), model_(model), refresh_(std::move(refresh)) {}
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    if (!model_.BeginEdit(index.row())) return nullptr;
    return QStyledItemDelegate::createEditor(parent, option, index);
  }
  void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex&) const override {
    if (auto* line = qobject_cast<QLineEdit*>(editor)) model_.FinishEdit(FromQ(line->text()));
  }
  void destroyEditor(QWidget* editor, const QModelIndex& index) const override {
    if (model_.Editing() >= 0) model_.CancelEdit();
    QStyledItemDelegate::destroyEditor(editor, index);
    QMetaObject::invokeMethod(parent(), refresh_, Qt::QueuedConnection);
  }

 private:
  FragmentList& model_;
  std::function<void()> refresh_;
};

QListWidget* NamedList(const char* name, const QString& title, QWidget* parent) {
  auto* list = new QListWidget(parent);
  list->setObjectName(QString::fromLatin1(name));
  list->setAccessibleName(title);
  list->setContextMenuPolicy(Qt::CustomContextMenu);
  return list;
}

QLineEdit* PanelField(const QString& label, QGridLayout* grid, int row, QWidget* parent) {
  auto* caption = new QLabel(label, parent);
  auto* field = new QLineEdit(parent);
  field->setAccessibleName(label);
  caption->setBuddy(field);
  grid->addWidget(caption, row, 0);
  grid->addWidget(field, row, 1);
  return field;
}

EntryPanel MakePanel(const QString& addressLabel, QWidget* parent) {
  EntryPanel p;
  p.frame = new QGroupBox(parent);
  auto* grid = new QGridLayout(p.frame);
  p.address = PanelField(addressLabel, grid, 0, p.frame);
  p.user = PanelField(RuQ("Имя:"), grid, 1, p.frame);
  p.password = PanelField(RuQ("Пароль:"), grid, 2, p.frame);
  p.password->setEchoMode(QLineEdit::PasswordEchoOnEdit);
  p.accept = new QPushButton(RuQ("Годится"), p.frame);
  p.cancel = new QPushButton(RuQ("Отмена"), p.frame);
  p.accept->setAccessibleName(p.accept->text());
  p.cancel->setAccessibleName(p.cancel->text());
  grid->addWidget(p.accept, 3, 0);
  grid->addWidget(p.cancel, 3, 1);
  p.frame->hide();
  // Enter in the first two fields moves on to the next one.
  QObject::connect(p.address, &QLineEdit::returnPressed, p.user, [u = p.user] { u->setFocus(); });
  QObject::connect(p.user, &QLineEdit::returnPressed, p.password, [w = p.password] { w->setFocus(); });
  return p;
}

void SetChecks(QListWidgetItem* item, bool checked) {
  item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
  item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

}  // namespace

ListsPage::ListsPage(ListsModel& lists, KeyDispatcher& keys, QWidget* parent)
    : QWidget(parent), lists_(lists), keys_(keys) {
  auto* layout = new QHBoxLayout(this);
  auto* fragments = new QVBoxLayout;
  auto* access = new QVBoxLayout;
  layout->addLayout(fragments, 1);
  layout->addLayout(access, 1);

  exclusions_ = MakeFragmentList(lists_.exclusions, "ViewIskl0", "Исключения", true);
  tracks_ = MakeFragmentList(lists_.tracks, "AFilter", "Колея", false);
  for (QListWidget* l : {exclusions_, tracks_}) {
    fragments->addWidget(new QLabel(l->accessibleName(), this));
    fragments->addWidget(l);
  }

  // Proxies.
  proxies_ = NamedList("ProxyList", RuQ("Прокси"), this);
  access->addWidget(new QLabel(proxies_->accessibleName(), this));
  auto* proxyRow = new QHBoxLayout;
  proxyRow->addWidget(proxies_, 1);
  proxyPanel_ = MakePanel(RuQ("Адрес : Порт"), this);
  for (QLineEdit* f : {proxyPanel_.address, proxyPanel_.user, proxyPanel_.password}) {
    f->setToolTip(RuQ("Адрес прокси сервера и его порт через ':'"));
    // Leading blanks go while typing; surrounding blanks when the field is clicked.
    connect(f, &QLineEdit::textEdited, f, [f](const QString& text) {
      qsizetype n = 0;
      while (n < text.size() && text[n] == ' ') ++n;
      if (n > 0) f->setText(text.mid(n));
    });
    new EventHook(f, [f](QEvent::Type t) {
      if (t == QEvent::MouseButtonPress && f->text() != f->text().trimmed()) f->setText(f->text().trimmed());
    });
  }
  connect(proxyPanel_.password, &QLineEdit::returnPressed, proxyPanel_.accept, [b = proxyPanel_.accept] { b->setFocus(); });
  connect(proxyPanel_.accept, &QPushButton::clicked, this, [this] { AcceptProxyPanel(); });
  connect(proxyPanel_.cancel, &QPushButton::clicked, this, [this] {
    lists_.proxies.PanelCancel();
    ShowProxyPanel();
  });
  proxyRow->addWidget(proxyPanel_.frame);
  access->addLayout(proxyRow);
  proxiesMenu_ = new QMenu(this);
  proxiesMenu_->addAction(RuQ("Добавить Запись"), this, [this] {
    lists_.proxies.PanelAdd();
    ShowProxyPanel();
  });
  proxiesMenu_->addAction(RuQ("Изменить Данные"), this, [this] {
    lists_.proxies.PanelLoadSelected();
    ShowProxyPanel();
  });
  proxiesMenu_->addAction(RuQ("Удалить Элемент      Ctrl+D"), this, [this] {
    lists_.proxies.DeleteSelected();
    RefreshProxies();
  });
  connect(proxies_, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
    if (refreshing_) return;
    const int row = proxies_->row(item);
    const bool on = item->checkState() == Qt::Checked;
    if (lists_.proxies.Entries().at(static_cast<std::size_t>(row)).checked == on) return;
    lists_.proxies.SetChecked(row, on);
    QMetaObject::invokeMethod(this, [this] { RefreshProxies(); }, Qt::QueuedConnection);
  });
  connect(proxies_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (!refreshing_) lists_.proxies.Select(row);
  });
  // Dragging an entry to another place reorders the list and rewrites `orvproxy`.
  proxies_->setDragDropMode(QAbstractItemView::InternalMove);
  proxies_->setDefaultDropAction(Qt::MoveAction);
  connect(proxies_->model(), &QAbstractItemModel::rowsMoved, this,
          [this](const QModelIndex&, int from, int, const QModelIndex&, int before) {
            if (!refreshing_) ProxyDropped(from, before);
          });
  connect(proxies_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
    lists_.proxies.Select(proxies_->row(item));
    lists_.proxies.PanelLoadSelected();
    ShowProxyPanel();
  });
  keys_.Register(
      proxies_, 'D', [this] { return lists_.proxies.Size() > 0; },
      [this] {
        if (lists_.proxies.Selected() < 0) return false;
        lists_.proxies.DeleteSelected();
        RefreshProxies();
        return true;
      });

  // Server credentials.
  auth_ = NamedList("HttpAuten", RuQ("Url сайта"), this);
  access->addWidget(new QLabel(auth_->accessibleName(), this));
  auto* authRow = new QHBoxLayout;
  authRow->addWidget(auth_, 1);
  authPanel_ = MakePanel(RuQ("Адрес:"), this);
  connect(authPanel_.password, &QLineEdit::returnPressed, this, [this] { AcceptAuthPanel(); });
  connect(authPanel_.accept, &QPushButton::clicked, this, [this] { AcceptAuthPanel(); });
  connect(authPanel_.cancel, &QPushButton::clicked, this, [this] {
    lists_.auth.PanelCancel();
    ShowAuthPanel();
  });
  authRow->addWidget(authPanel_.frame);
  access->addLayout(authRow);
  authMenu_ = new QMenu(this);
  authMenu_->addAction(RuQ("Добавить Запись"), this, [this] {
    lists_.auth.PanelAdd();
    ShowAuthPanel();
  });
  authMenu_->addAction(RuQ("Изменить Данные"), this, [this] {
    lists_.auth.PanelLoadSelected();
    ShowAuthPanel();
  });
  authMenu_->addAction(RuQ("УдалитьЭлемент      Ctrl+D"), this, [this] {
    lists_.auth.DeleteSelected();
    RefreshCredentials();
  });
  connect(auth_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (!refreshing_) lists_.auth.Select(row);
  });
  connect(auth_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
    lists_.auth.Select(auth_->row(item));
    lists_.auth.PanelLoadSelected();
    ShowAuthPanel();
  });
  keys_.Register(
      auth_, 'D', [this] { return lists_.auth.Size() > 0; },
      [this] {
        if (lists_.auth.Selected() < 0) return false;
        lists_.auth.DeleteSelected();
        RefreshCredentials();
        return true;
      });

  for (QListWidget* l : {proxies_, auth_}) {
    connect(l, &QWidget::customContextMenuRequested, this, [this, l](const QPoint& at) {
      if (QListWidgetItem* item = l->itemAt(at)) l->setCurrentItem(item);
      MenuFor(l)->exec(l->viewport()->mapToGlobal(at));
    });
  }

  // User-Agent presets.
  auto* agentBox = new QGroupBox(RuQ("User-Agent"), this);
  auto* agentLayout = new QHBoxLayout(agentBox);
  agentPresets_ = new QComboBox(agentBox);
  agentPresets_->setObjectName(QStringLiteral("UserAgTxt"));
  agentPresets_->setAccessibleName(RuQ("User-Agent"));
  for (int i = 0; i < UserAgentPresets::kSlots; ++i) agentPresets_->addItem(QString::fromLatin1(UserAgentPresets::Caption(i)));
  agentText_ = new QLineEdit(agentBox);
  agentText_->setObjectName(QStringLiteral("TxtUserAgTxt"));
  agentText_->setAccessibleName(RuQ("Строка User-Agent"));
  agentLayout->addWidget(agentPresets_);
  agentLayout->addWidget(agentText_, 1);
  access->addWidget(agentBox);
  connect(agentPresets_, &QComboBox::activated, this, [this](int slot) {
    lists_.userAgents.Choose(slot);
    Refresh();
  });
  connect(agentText_, &QLineEdit::textEdited, this, [this](const QString& text) {
    lists_.userAgents.EditText(FromQ(text));
    agentText_->setToolTip(ToQ(lists_.userAgents.Tooltip()));
  });
  Refresh();
  listenToken_ = lists_.Listen([this](ListKind kind) { ListChanged(static_cast<int>(kind)); });
}

ListsPage::~ListsPage() { lists_.Forget(listenToken_); }

void ListsPage::ListChanged(int kind) {
  const unsigned bit = 1u << kind;
  if (pendingRefresh_ & bit) return;
  pendingRefresh_ |= bit;
  QMetaObject::invokeMethod(
      this,
      [this, kind, bit] {
        pendingRefresh_ &= ~bit;
        switch (static_cast<ListKind>(kind)) {
          // An open label editor refreshes its list when it closes.
          case ListKind::Exclusions:
            if (lists_.exclusions.Editing() < 0) RefreshFragments(exclusions_, lists_.exclusions);
            break;
          case ListKind::Tracks:
            if (lists_.tracks.Editing() < 0) RefreshFragments(tracks_, lists_.tracks);
            break;
          case ListKind::Proxies: RefreshProxies(); break;
          case ListKind::Credentials: RefreshCredentials(); break;
        }
      },
      Qt::QueuedConnection);
}

void ListsPage::ProxyDropped(int from, int before) {
  // The view moved the row itself; the model's Move takes the row's final place.
  lists_.proxies.Move(from, before > from ? before - 1 : before);
}

QListWidget* ListsPage::MakeFragmentList(FragmentList& model, const char* name, const char* title, bool exclusions) {
  QListWidget* view = NamedList(name, RuQ(title), this);
  view->setItemDelegate(new LabelEditor(model, [this, view, &model] { RefreshFragments(view, model); }, view));
  view->setEditTriggers(QAbstractItemView::EditKeyPressed);
  QMenu* menu = new QMenu(this);
  (exclusions ? exclusionsMenu_ : tracksMenu_) = menu;
  menu->addAction(RuQ("Добавить"), this, [this, view, &model] {
    const int at = model.AddEmpty();
    RefreshFragments(view, model);
    if (at >= 0 && model.Editing() == at) {
      // The track list opens the new entry's label at once.
      model.CancelEdit();
      view->editItem(view->item(at));
    }
  });
  menu->addAction(RuQ(exclusions ? "Удалить        Ctrl+D" : "Удалить                   Ctrl+D"), this, [this, view, &model] {
    model.DeleteSelected();
    RefreshFragments(view, model);
  });
  menu->addAction(RuQ("Изменить"), this, [view, &model] {
    if (model.Selected() >= 0) view->editItem(view->item(model.Selected()));
  });
  menu->addAction(RuQ(exclusions ? "Выбрать Все" : "Выбрать все"), this, [this, view, &model] {
    model.CheckAll();
    RefreshFragments(view, model);
  });
  menu->addAction(RuQ(exclusions ? "Снять Пометки" : "Снять пометки"), this, [this, view, &model] {
    model.UncheckAll();
    RefreshFragments(view, model);
  });
  menu->addAction(RuQ("Инвертировать"), this, [this, view, &model] {
    model.Invert();
    RefreshFragments(view, model);
  });
  connect(view, &QWidget::customContextMenuRequested, this, [this, view](const QPoint& at) {
    if (QListWidgetItem* item = view->itemAt(at)) view->setCurrentItem(item);
    MenuFor(view)->exec(view->viewport()->mapToGlobal(at));
  });
  connect(view, &QListWidget::currentRowChanged, this, [this, &model](int row) {
    if (!refreshing_) model.Select(row);
  });
  connect(view, &QListWidget::itemChanged, this, [this, view, &model](QListWidgetItem* item) {
    if (refreshing_) return;
    const int row = view->row(item);
    const bool on = item->checkState() == Qt::Checked;
    if (model.Entries().at(static_cast<std::size_t>(row)).checked == on) return;
    model.SetChecked(row, on);
    QMetaObject::invokeMethod(this, [this, view, &model] { RefreshFragments(view, model); }, Qt::QueuedConnection);
  });
  new EventHook(view, [&model](QEvent::Type t) {
    if (t == QEvent::FocusIn || t == QEvent::FocusOut) model.FocusChanged();
  });
  keys_.Register(
      view, 'D', [&model] { return model.Size() > 0; },
      [this, view, &model] {
        if (model.Selected() < 0) return false;
        model.DeleteSelected();
        RefreshFragments(view, model);
        return true;
      });
  return view;
}

QMenu* ListsPage::MenuFor(QListWidget* list) {
  QMenu* menu = nullptr;
  bool any = list->count() > 0;
  if (list == exclusions_) menu = exclusionsMenu_;
  if (list == tracks_) menu = tracksMenu_;
  if (list == proxies_) menu = proxiesMenu_;
  if (list == auth_) menu = authMenu_;
  if (!menu) return nullptr;
  const auto actions = menu->actions();
  // Everything but the first item (add) needs an entry to act on.
  for (qsizetype i = 1; i < actions.size(); ++i) actions[i]->setEnabled(any);
  return menu;
}

void ListsPage::RefreshFragments(QListWidget* view, const FragmentList& model) {
  refreshing_ = true;
  view->clear();
  for (const ListEntry& e : model.Entries()) {
    auto* item = new QListWidgetItem(ToQ(e.text), view);
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    SetChecks(item, e.checked);
  }
  if (model.Selected() >= 0 && model.Selected() < view->count()) {
    view->setCurrentRow(model.Selected());
    view->scrollToItem(view->currentItem());
  }
  refreshing_ = false;
}

void ListsPage::RefreshProxies() {
  refreshing_ = true;
  proxies_->clear();
  for (const ProxyEntry& e : lists_.proxies.Entries()) SetChecks(new QListWidgetItem(ToQ(e.text), proxies_), e.checked);
  if (lists_.proxies.Selected() >= 0) proxies_->setCurrentRow(lists_.proxies.Selected());
  refreshing_ = false;
}

void ListsPage::RefreshCredentials() {
  refreshing_ = true;
  auth_->clear();
  for (const AuthEntry& e : lists_.auth.Entries()) new QListWidgetItem(ToQ(e.text), auth_);
  if (lists_.auth.Selected() >= 0) auth_->setCurrentRow(lists_.auth.Selected());
  refreshing_ = false;
}

void ListsPage::ShowProxyPanel() {
  const orv::ProxyPanel& p = lists_.proxies.Panel();
  proxyPanel_.address->setText(ToQ(p.address));
  proxyPanel_.user->setText(ToQ(p.user));
  proxyPanel_.password->setText(ToQ(p.password));
  proxyPanel_.frame->setVisible(p.visible);
  if (p.visible) proxyPanel_.address->setFocus();
}

void ListsPage::ShowAuthPanel() {
  const orv::AuthPanel& p = lists_.auth.Panel();
  authPanel_.address->setText(ToQ(p.site));
  authPanel_.user->setText(ToQ(p.user));
  authPanel_.password->setText(ToQ(p.password));
  authPanel_.frame->setVisible(p.visible);
  if (p.visible) authPanel_.address->setFocus();
}

void ListsPage::AcceptProxyPanel() {
  orv::ProxyPanel& p = lists_.proxies.Panel();
  p.address = FromQ(proxyPanel_.address->text());
  p.user = FromQ(proxyPanel_.user->text());
  p.password = FromQ(proxyPanel_.password->text());
  lists_.proxies.PanelAccept();
  ShowProxyPanel();
  RefreshProxies();
}

void ListsPage::AcceptAuthPanel() {
  orv::AuthPanel& p = lists_.auth.Panel();
  p.site = FromQ(authPanel_.address->text());
  p.user = FromQ(authPanel_.user->text());
  p.password = FromQ(authPanel_.password->text());
  lists_.auth.PanelAccept();
  ShowAuthPanel();
  RefreshCredentials();
}

void ListsPage::Refresh() {
  RefreshFragments(exclusions_, lists_.exclusions);
  RefreshFragments(tracks_, lists_.tracks);
  RefreshProxies();
  RefreshCredentials();
  agentPresets_->setCurrentIndex(lists_.userAgents.Chosen());
  agentText_->setText(ToQ(lists_.userAgents.Text()));
  agentText_->setToolTip(ToQ(lists_.userAgents.Tooltip()));
}

}  // namespace orv
