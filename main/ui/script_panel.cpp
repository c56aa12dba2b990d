#include "main/base/unwired.h"
#include "main/ui/script_panel.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QClipboard>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <array>

#include "common/numbers.h"
#include "common/text.h"
#include "main/lists/lists_model.h"
#include "main/scripts/script_model.h"
#include "main/scripts/messages.h"
#include "main/ui/script_images.h"

namespace orv {

namespace {

constexpr int kKeyRole = Qt::UserRole;        // the node's key, Windows-1251 bytes
constexpr int kImageRole = Qt::UserRole + 1;  // the node's image number
constexpr int kSlotColumns = 4;
constexpr std::size_t kTrackKeyAbove = 8;     // "В колею" takes keys longer than this
constexpr std::size_t kExclusionKeyFrom = 9;  // "В исключения" takes keys at least this long

QString Q(const std::string& cp1251) { return QString::fromStdString(Cp1251ToUtf8(cp1251)); }

std::string KeyOf(const QTreeWidgetItem* item) {
  const QByteArray bytes = item->data(0, kKeyRole).toByteArray();
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

const QIcon& TreeIcon(int image) {
  static std::array<QIcon, kFolderImage + 1> icons;
  static bool drawn = false;
  if (!drawn) {
    for (int i = 0; i <= kFolderImage; ++i) icons[static_cast<std::size_t>(i)] = AddressTreeImage(i);
    drawn = true;
  }
  return icons[static_cast<std::size_t>(image >= 0 && image <= kFolderImage ? image : 0)];
}

}  // namespace

ScriptPanel::ScriptPanel(ScriptModel& scripts, ListsModel& lists, AddressTreeBuilder::Categorize categorize,
                         ScriptPanelPorts ports, QWidget* parent)
    : QWidget(parent),
      scripts_(scripts),
      lists_(lists),
      categorize_(std::move(categorize)),
      ports_(std::move(ports)) {
  setAccessibleName(QString::fromUtf8("Сценарии"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(2, 2, 2, 2);

  slotGrid_ = new QGridLayout;
  slotGrid_->setSpacing(2);
  slots_ = new QButtonGroup(this);
  for (int slot = 0; slot < kUserSlots; ++slot) {
    const QString caption = QString::fromUtf8("Сценарий № ") + QString::number(slot);
    auto* button = new QRadioButton(caption, this);
    button->setObjectName(QStringLiteral("SelScript%1").arg(slot));
    button->setAccessibleName(caption);
    slots_->addButton(button, slot);
  }
  ArrangeSlotButtons(kSlotColumns);
  // In a narrow pane the buttons scroll, so the tree keeps most of the height.
  slotArea_ = new QScrollArea(this);
  auto* slotBox = new QWidget(slotArea_);
  slotBox->setLayout(slotGrid_);
  slotArea_->setWidget(slotBox);
  slotArea_->setWidgetResizable(true);
  slotArea_->setFrameShape(QFrame::NoFrame);
  slotArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  slotArea_->setMaximumHeight(4 * (SlotButton(0)->sizeHint().height() + slotGrid_->verticalSpacing()) + 4);
  slotArea_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
  layout->addWidget(slotArea_);
  connect(slots_, &QButtonGroup::idClicked, this, [this](int slot) { ChooseSlot(slot); });

  deleteScript_ = new QPushButton(QString::fromUtf8("Удалить сценарий"), this);
  deleteScript_->setAccessibleName(deleteScript_->text());
  connect(deleteScript_, &QPushButton::clicked, this, [this] { DeleteScript(); });
  // The saved script sets open under the list and close again with the same button.
  sets_ = new QPushButton(QString::fromUtf8("Наборы сценариев"), this);
  sets_->setObjectName(QStringLiteral("ScriptSetsButton"));
  sets_->setAccessibleName(sets_->text());
  sets_->setToolTip(QString::fromUtf8("Сохранить, загрузить, экспортировать или импортировать весь блок сценариев"));
  connect(sets_, &QPushButton::clicked, this, [this] {
    CallPort(ports_.toggleScriptSets, "ScriptPanelPorts::toggleScriptSets");
  });
  // One under the other: side by side they would not fit a narrow pane.
  layout->addWidget(deleteScript_, 0, Qt::AlignLeft);
  layout->addWidget(sets_, 0, Qt::AlignLeft);

  busy_ = new QLabel(this);
  busy_->setObjectName(QStringLiteral("ScriptTreeBusy"));
  busy_->setAccessibleName(QString::fromUtf8("Состояние списка адресов"));
  busy_->setTextFormat(Qt::PlainText);
  layout->addWidget(busy_);

  tree_ = new QTreeWidget(this);
  tree_->setObjectName(QStringLiteral("ShowScriptList"));
  tree_->setAccessibleName(QString::fromUtf8("Адреса сценария"));
  tree_->setHeaderHidden(true);
  tree_->setUniformRowHeights(true);
  tree_->setContextMenuPolicy(Qt::CustomContextMenu);
  layout->addWidget(tree_, 1);
  connect(tree_, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item, int) { NodeClicked(item); });

  menu_ = new QMenu(this);
  auto add = [this](const char* caption, void (ScriptPanel::*command)()) {
    QAction* a = menu_->addAction(QString::fromUtf8(caption));
    connect(a, &QAction::triggered, this, command);
    return a;
  };
  expand_ = add("Развернуть", &ScriptPanel::ExpandAll);
  collapse_ = add("Свернуть", &ScriptPanel::CollapseAll);
  copy_ = add("Копировать", &ScriptPanel::CopyKey);
  choose_ = add("Выбрать", &ScriptPanel::ChooseAddress);
  toTrack_ = add("В колею", &ScriptPanel::ToTrackList);
  toExclusions_ = add("В исключения", &ScriptPanel::ToExclusionList);
  showFiles_ = menu_->addAction(QString::fromUtf8("Показывать файлы"));
  showFiles_->setCheckable(true);
  delete_ = add("Удалить", &ScriptPanel::DeleteNode);
  menu_->addSeparator();
  forgetCookies_ = add("Забыть cookies", &ScriptPanel::ForgetCookies);
  forgetCookies_->setObjectName(QStringLiteral("ForgetCookies"));
  QAction* sets = menu_->addAction(QString::fromUtf8("Наборы Сценариев"));
  connect(sets, &QAction::triggered, this, [this] {
    CallPort(ports_.toggleScriptSets, "ScriptPanelPorts::toggleScriptSets");
  });
  connect(tree_, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
    if (QTreeWidgetItem* item = tree_->itemAt(pos)) {
      tree_->setCurrentItem(item);
      Remember(item);
    }
    PrepareMenu();
    menu_->popup(tree_->viewport()->mapToGlobal(pos));
  });

  stepTimer_.setInterval(0);
  connect(&stepTimer_, &QTimer::timeout, this, [this] { BuildStep(); });
}

ScriptPanel::~ScriptPanel() { stepTimer_.stop(); }

void ScriptPanel::ArrangeSlotButtons(int columns) {
  if (columns == slotColumns_) return;
  slotColumns_ = columns;
  for (int slot = 0; slot < kUserSlots; ++slot) slotGrid_->removeWidget(slots_->button(slot));
  for (int slot = 0; slot < kUserSlots; ++slot) slotGrid_->addWidget(slots_->button(slot), slot / columns, slot % columns);
}

void ScriptPanel::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  // As many columns of slot buttons as the width holds whole captions.
  const int buttonWidth = slots_->button(kUserSlots - 1)->sizeHint().width() + slotGrid_->horizontalSpacing() + 2;
  ArrangeSlotButtons(std::clamp((width() - 20) / std::max(1, buttonWidth), 1, kSlotColumns));
}

QRadioButton* ScriptPanel::SlotButton(int slot) const { return qobject_cast<QRadioButton*>(slots_->button(slot)); }

void ScriptPanel::SelectSlotButton(int slot) {
  QAbstractButton* button = slots_->button(slot);
  if (!button) return;
  const QSignalBlocker block(slots_);
  button->setChecked(true);
  slotArea_->ensureWidgetVisible(button);
}

void ScriptPanel::ChooseSlot(int slot) {
  if (slot < 0 || slot >= kUserSlots) return;
  SelectSlotButton(slot);
  scripts_.currentSlot = slot;
  CallPort(ports_.storeSlot, "ScriptPanelPorts::storeSlot", slot);
  scripts_.LoadForDisplay(slot);
  if (CallPort(ports_.runActive, "ScriptPanelPorts::runActive")) return;
  BuildAddressTree([this, slot] {
    // An empty tree gets one more reload and build.
    if (tree_->topLevelItemCount() == 0 && scripts_.currentSlot == slot) {
      scripts_.LoadForDisplay(slot);
      BuildAddressTree();
    }
  });
}

void ScriptPanel::BuildAddressTree(std::function<void()> onDone) {
  stepTimer_.stop();
  tree_->clear();
  nodeKey_.clear();
  tree_->hide();
  const std::string folder = scripts_.collectionFolder;
  builder_ = std::make_unique<AddressTreeBuilder>(
      scripts_.displayed, categorize_,
      [folder](const std::string& address) { return AddressFileState(address, folder); });
  onBuilt_ = std::move(onDone);
  ++builds_;
  busy_->setText(Q(builder_->BusyText()));
  busy_->show();
  CallPort(ports_.setBusy, "ScriptPanelPorts::setBusy", true);
  stepTimer_.start();
}

void ScriptPanel::BuildStep() {
  if (!builder_) {
    stepTimer_.stop();
    return;
  }
  const bool more = builder_->Step();
  busy_->setText(Q(builder_->BusyText()));
  if (more) return;
  stepTimer_.stop();
  FillTreeFromBuilder();
  builder_.reset();
  tree_->show();
  CallPort(ports_.setBusy, "ScriptPanelPorts::setBusy", false);
  if (ports_.busyFinished) {
    QPointer<ScriptPanel> self(this);
    const int build = builds_;
    ports_.busyFinished([self, build] {
      if (self && !self->builder_ && self->builds_ == build) self->busy_->hide();
    });
  }
  if (auto done = std::move(onBuilt_)) {
    onBuilt_ = nullptr;
    done();
  }
}

void ScriptPanel::FillTreeFromBuilder() {
  const auto& nodes = builder_->Nodes();
  std::vector<QTreeWidgetItem*> items(nodes.size());
  QList<QTreeWidgetItem*> hosts;
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    const AddressTreeNode& n = nodes[i];
    auto* item = n.parent < 0 ? new QTreeWidgetItem : new QTreeWidgetItem(items[static_cast<std::size_t>(n.parent)]);
    item->setText(0, Q(n.text));
    item->setData(0, kKeyRole, QByteArray(n.key.data(), static_cast<qsizetype>(n.key.size())));
    item->setData(0, kImageRole, n.image);
    item->setIcon(0, TreeIcon(n.image));
    items[i] = item;
    if (n.parent < 0) hosts.append(item);
  }
  tree_->addTopLevelItems(hosts);
}

void ScriptPanel::StopBuild() {
  if (builder_) builder_->Stop();
}

void ScriptPanel::ClearTree() {
  stepTimer_.stop();
  if (builder_) {
    builder_.reset();
    onBuilt_ = nullptr;
    CallPort(ports_.setBusy, "ScriptPanelPorts::setBusy", false);
  }
  tree_->clear();
  tree_->show();
  busy_->clear();
  nodeKey_.clear();
}

void ScriptPanel::Remember(QTreeWidgetItem* item) {
  nodeKey_ = KeyOf(item);
  nodeText_ = item->text(0).toStdString();
  nodeImage_ = item->data(0, kImageRole).toInt();
  nodeHasChildren_ = item->childCount() > 0;
}

void ScriptPanel::PrepareMenu() {
  const bool idle = !Building();
  const bool node = !nodeKey_.empty();
  for (QAction* a : {expand_, collapse_}) a->setEnabled(idle);
  for (QAction* a : {copy_, toTrack_, toExclusions_, delete_}) a->setEnabled(idle && node);
  choose_->setEnabled(idle && node && tree_->topLevelItemCount() > 0);
  const bool scriptRuns = CallPort(ports_.runActive, "ScriptPanelPorts::runActive") && scripts_.runSlot == scripts_.currentSlot;
  forgetCookies_->setEnabled(!scriptRuns && scripts_.HasCookieJar());
}

void ScriptPanel::NodeClicked(QTreeWidgetItem* item) {
  if (!item) return;
  Remember(item);
  CallPort(ports_.setAddress, "ScriptPanelPorts::setAddress", nodeKey_);
  if (showFiles_->isChecked()) CallPort(ports_.showInCollection, "ScriptPanelPorts::showInCollection", nodeKey_);
}

bool ScriptPanel::Ask(const std::string& text) {
  if (ports_.ask) return ports_.ask(text);
  return QMessageBox::question(this, QString::fromLatin1(kMessageTitle), Q(text), QMessageBox::Yes | QMessageBox::No) ==
         QMessageBox::Yes;
}

void ScriptPanel::DeleteNode() {
  if (nodeKey_.empty() || Building()) return;
  if (nodeHasChildren_ &&
      !Ask(Ru("Удаление этого адреса приведет к удалению имеющихся ветвей.") + "\n" + Ru("Удалить?")))
    return;
  const int slot = scripts_.currentSlot;
  scripts_.RewriteScript(slot, WithoutAddressesUnder(scripts_.displayed, nodeKey_));
  BuildAddressTree();
}

void ScriptPanel::CopyKey() {
  if (nodeKey_.empty()) return;
  QApplication::clipboard()->setText(Q(nodeKey_));
}

void ScriptPanel::ToTrackList() {
  if (nodeKey_.size() <= kTrackKeyAbove) return;
  if (lists_.Track(nodeKey_)) CallPort(ports_.showListsPage, "ScriptPanelPorts::showListsPage");
}

void ScriptPanel::ToExclusionList() {
  if (nodeKey_.size() < kExclusionKeyFrom) return;
  if (lists_.Exclude(nodeKey_)) CallPort(ports_.showListsPage, "ScriptPanelPorts::showListsPage");
}

void ScriptPanel::ExpandAll() { tree_->expandAll(); }

void ScriptPanel::CollapseAll() { tree_->collapseAll(); }

void ScriptPanel::ChooseAddress() {
  if (!nodeKey_.empty() && ports_.setAddress) ports_.setAddress(nodeKey_);
}

void ScriptPanel::ForgetCookies() {
  const bool runActive = CallPort(ports_.runActive, "ScriptPanelPorts::runActive");
  using F = ScriptModel::CookiesForgotten;
  switch (scripts_.ForgetCookies(runActive)) {
    case F::Forgotten:
      Tell("Cookies сценария № " + std::to_string(scripts_.currentSlot) + " забыты");
      break;
    case F::NoJar: Tell("У сценария нет cookies"); break;
    case F::ScriptRuns: Tell("Сценарий выполняется: cookies можно забыть после его окончания"); break;
    case F::NotRemoved: Tell("Файл cookies сценария не удалось удалить"); break;
  }
}

void ScriptPanel::Tell(const std::string& text) {
  CallPort(ports_.tell, "ScriptPanelPorts::tell", text);
}

void ScriptPanel::DeleteScript() {
  // A run writes its script back at its end: deleting it meanwhile would not last.
  if (CallPort(ports_.runActive, "ScriptPanelPorts::runActive")) return;
  if (!scripts_.DeleteScript()) return;
  scripts_.LoadForDisplay(scripts_.currentSlot);
  ClearTree();
}

}  // namespace orv
