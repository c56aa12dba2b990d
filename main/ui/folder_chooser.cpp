#ifdef ORV_HAVE_WIDGETS
#include "main/ui/folder_chooser.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStorageInfo>
#include <QTreeView>
#include <QVBoxLayout>

namespace orv {

namespace {

const char* const kTitle = "Выбор папки";
const char* const kMessageBoxTitle = "Orvanta       ";

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

}  // namespace

QStringList FolderChooser::Places() {
  QStringList places{QDir::homePath(), "/"};
  for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
    if (!volume.isValid() || !volume.isReady()) continue;
    QString path = volume.rootPath();
    // Real volumes: block devices and the usual mount folders; not /proc, /sys and the like.
    bool removable = path.startsWith("/media/") || path.startsWith("/mnt/") || path.startsWith("/run/media/");
    if (!removable && !volume.device().startsWith("/dev/")) continue;
    if (!places.contains(path)) places << path;
  }
  return places;
}

FolderChooser::FolderChooser(collection::FolderChoiceMode mode, const std::string& startFolder, QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(U(kTitle));
  setAccessibleName(U(kTitle));
  auto* layout = new QVBoxLayout(this);

  prompt_ = new QLabel(U(collection::FolderChoicePrompt(mode)), this);
  prompt_->setWordWrap(true);
  layout->addWidget(prompt_);

  places_ = new QComboBox(this);
  places_->setAccessibleName(U("Места"));
  places_->addItems(Places());
  layout->addWidget(places_);

  model_ = new QFileSystemModel(this);
  model_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Hidden);
  model_->setRootPath("/");
  folders_ = new QTreeView(this);
  folders_->setAccessibleName(U("Папки"));
  folders_->setModel(model_);
  folders_->setHeaderHidden(true);
  for (int c = 1; c < model_->columnCount(); ++c) folders_->hideColumn(c);
  layout->addWidget(folders_, 1);

  path_ = new QLineEdit(this);
  path_->setReadOnly(true);
  path_->setAccessibleName(U("Выбранная папка"));
  layout->addWidget(path_);

  newPrompt_ = new QLabel(U(collection::NewFolderPrompt(mode)), this);
  newPrompt_->setWordWrap(true);
  layout->addWidget(newPrompt_);
  auto* newRow = new QHBoxLayout;
  newName_ = new QLineEdit(this);
  newName_->setAccessibleName(U(collection::NewFolderPrompt(mode)));
  create_ = new QPushButton(U("Создать папку"), this);
  create_->setAccessibleName(U("Создать папку"));
  create_->setEnabled(false);
  newRow->addWidget(newName_, 1);
  newRow->addWidget(create_);
  layout->addLayout(newRow);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText(U("Выбрать"));
  buttons->button(QDialogButtonBox::Ok)->setAccessibleName(U("Выбрать"));
  buttons->button(QDialogButtonBox::Cancel)->setText(U("Отмена"));
  buttons->button(QDialogButtonBox::Cancel)->setAccessibleName(U("Отмена"));
  layout->addWidget(buttons);

  showMessage_ = [this](const QString& text) { QMessageBox::warning(this, U(kMessageBoxTitle), text); };

  connect(places_, &QComboBox::activated, this, [this](int index) { SetCurrentFolder(places_->itemText(index)); });
  connect(folders_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& index) { path_->setText(model_->filePath(index)); });
  // The model reads folders in the background: keep the chosen folder in sight as they arrive.
  connect(model_, &QFileSystemModel::directoryLoaded, this,
          [this] {
            const QModelIndex current = folders_->currentIndex();
            for (QModelIndex up = current.parent(); up.isValid(); up = up.parent()) folders_->expand(up);
            folders_->scrollTo(current, QAbstractItemView::PositionAtCenter);
          });
  connect(newName_, &QLineEdit::textEdited, this, [this](const QString& text) { NameEdited(text); });
  connect(create_, &QPushButton::clicked, this, [this] { CreateFolder(); });
  newName_->installEventFilter(this);
  connect(buttons, &QDialogButtonBox::accepted, this, [this] { Confirm(); });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  QString start = QFile::decodeName(QByteArray::fromStdString(startFolder));
  SetCurrentFolder(QDir(start).exists() && !start.isEmpty() ? start : QDir::homePath());
  resize(520, 480);
}

bool FolderChooser::eventFilter(QObject* watched, QEvent* event) {
  if (watched == newName_ && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      CreateFolder();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

QString FolderChooser::CurrentFolder() const { return path_->text(); }

void FolderChooser::SetCurrentFolder(const QString& folder) {
  QString clean = QDir::cleanPath(folder);
  QModelIndex index = model_->index(clean);
  if (!index.isValid()) return;
  for (QModelIndex up = index.parent(); up.isValid(); up = up.parent()) folders_->expand(up);
  folders_->setCurrentIndex(index);
  folders_->scrollTo(index, QAbstractItemView::PositionAtCenter);
  path_->setText(clean);
  // The place the folder lies in: the longest place that holds it.
  int best = -1;
  for (int i = 0; i < places_->count(); ++i) {
    const QString place = places_->itemText(i);
    const bool holds = clean == place || clean.startsWith(place.endsWith('/') ? place : place + '/');
    if (holds && (best < 0 || place.size() > places_->itemText(best).size())) best = i;
  }
  if (best >= 0) places_->setCurrentIndex(best);
}

void FolderChooser::NameEdited(const QString& text) {
  std::string utf8 = text.toStdString();
  if (collection::HasForbiddenFolderNameChar(utf8)) {
    int cursor = newName_->cursorPosition();
    QString cleaned = QString::fromStdString(collection::WithoutForbiddenFolderNameChars(utf8));
    newName_->setText(cleaned);
    newName_->setCursorPosition(std::min<int>(cursor, static_cast<int>(cleaned.size())));
    showMessage_(U(collection::kForbiddenFolderNameMessage));
  }
  create_->setEnabled(!newName_->text().trimmed().isEmpty());
}

void FolderChooser::CreateFolder() {
  QString name = newName_->text().trimmed();
  if (name.isEmpty() || name == "." || name == "..") return;
  QDir parent(CurrentFolder().isEmpty() ? QDir::homePath() : CurrentFolder());
  if (!parent.exists(name) && !parent.mkdir(name)) {
    showMessage_(U("Не удается создать папку ") + parent.filePath(name));
    return;
  }
  newName_->clear();
  create_->setEnabled(false);
  SetCurrentFolder(parent.filePath(name));
}

void FolderChooser::Confirm() {
  if (CurrentFolder().isEmpty()) return;
  chosen_ = collection::WithTrailingSlash(QFile::encodeName(CurrentFolder()).toStdString());
  accept();
}

std::optional<std::string> FolderChooser::Choose(collection::FolderChoiceMode mode, const std::string& startFolder,
                                                 QWidget* parent) {
  FolderChooser chooser(mode, startFolder, parent);
  if (chooser.exec() != QDialog::Accepted) return std::nullopt;
  return chooser.Chosen();
}

}  // namespace orv
#endif  // ORV_HAVE_WIDGETS
