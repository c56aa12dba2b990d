#ifdef ORV_HAVE_WIDGETS
#include "main/ui/collection_tools_ui.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QUrl>

#include "main/collection/site_marks.h"
#include "main/ui/folder_chooser.h"

namespace orv {

namespace {

const char* const kMessageTitle = "Orvanta       ";

QString U(const std::string& utf8) { return QString::fromStdString(utf8); }
QString PathText(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }
std::string PathBytes(const QString& path) { return QFile::encodeName(path).toStdString(); }

QString QueryXdgMime(const QStringList& arguments) {
  QProcess query;
  query.start("xdg-mime", arguments);
  if (!query.waitForFinished(5000) || query.exitStatus() != QProcess::NormalExit || query.exitCode() != 0) return {};
  return QString::fromLocal8Bit(query.readAllStandardOutput()).trimmed();
}

// The desktop's program for a file: its type's default application, as xdg-open would pick it.
collection::ToolsPort::OpenResult OpenWithDesktopProgram(const std::string& path) {
  const QString file = PathText(path);
  const QString type = QueryXdgMime({"query", "filetype", file});
  if (type.isEmpty() || QueryXdgMime({"query", "default", type}).isEmpty())
    return collection::ToolsPort::OpenResult::NoProgram;
  return QDesktopServices::openUrl(QUrl::fromLocalFile(file)) ? collection::ToolsPort::OpenResult::Opened
                                                               : collection::ToolsPort::OpenResult::Failed;
}

}  // namespace

CollectionToolsUi::CollectionToolsUi(collection::CollectionTree& tree, collection::CurrentNode& current,
                                     QWidget* window, Hooks hooks)
    : tree_(tree), current_(current), window_(window), hooks_(std::move(hooks)), tools_(*this) {}

void CollectionToolsUi::FillMenu(QMenu* help) {
  auto add = [](QMenu* menu, const char* text, bool enabled, auto run) {
    QAction* a = menu->addAction(QString::fromUtf8(text));
    a->setObjectName(QString::fromUtf8(text));
    a->setEnabled(enabled);
    QObject::connect(a, &QAction::triggered, a, [run] { run(); });
    return a;
  };
  const bool idle = !Busy();
  add(help, "Создать и открыть проект .hhp", idle, [this] { MakeAndOpenProject(); });
  const std::string unavailable = QuickCompileUnavailable();
  QAction* compile = add(help, "Создание и быстрая компиляция .chm", idle && unavailable.empty(), [this] { QuickCompile(); });
  compile->setToolTip(U(unavailable));
  help->setToolTipsVisible(true);
  help->addSeparator();
  add(help, "Преобразовать коллекцию", idle, [this] { ConvertCollection(); });
  help->addSeparator();
  QMenu* marks = help->addMenu(QString::fromUtf8("Пометки"));
  marks->setObjectName(QString::fromUtf8("Пометки"));
  QAction* pointer = add(marks, "Выбор указателем мыши", true, [this] { SetMarkMode(!markMode_); });
  pointer->setCheckable(true);
  pointer->setChecked(markMode_);
  add(marks, "Выбрать все", true, [this] { collection::MarkAllSites(tree_); });
  add(marks, "Снять все пометки", true, [this] { collection::ClearAllMarks(tree_); });
  add(marks, "Инвертировать пометки", true, [this] { collection::InvertSiteMarks(tree_); });
}

void CollectionToolsUi::SetMarkMode(bool on) {
  markMode_ = on;
  if (hooks_.markModeChanged) hooks_.markModeChanged(on);
}

collection::NodeId CollectionToolsUi::CurrentOrRoot() const {
  return current_.set && tree_.Alive(current_.id) ? current_.id : tree_.RootNode();
}

void CollectionToolsUi::MakeAndOpenProject() {
  tools_.MakeAndOpenProject(hooks_.collectionRoot(), hooks_.defpath ? hooks_.defpath() : std::string(),
                            collection::SiteFilesToProcess(tree_, CurrentOrRoot()));
}

void CollectionToolsUi::QuickCompile() {
  tools_.QuickCompile(hooks_.collectionRoot(), hooks_.defpath ? hooks_.defpath() : std::string(),
                      hooks_.programFolder, collection::SiteFilesToProcess(tree_, CurrentOrRoot()));
}

void CollectionToolsUi::ConvertCollection() {
  tools_.ConvertCollection(hooks_.collectionRoot(), collection::ConversionFiles(tree_));
}

std::optional<std::string> CollectionToolsUi::AskChmPath(const std::string& startFolder) {
  if (hooks_.askChmPath) return hooks_.askChmPath(startFolder);
  const QString chosen = QFileDialog::getSaveFileName(window_, QString::fromUtf8(collection::kSaveChmTitle),
                                                      PathText(startFolder), "*.chm");
  if (chosen.isEmpty()) return std::nullopt;
  return PathBytes(chosen);
}

std::optional<std::string> CollectionToolsUi::ChooseFolder(collection::FolderChoiceMode mode) {
  const std::string start = hooks_.collectionRoot();
  if (hooks_.chooseFolder) return hooks_.chooseFolder(mode, start);
  return FolderChooser::Choose(mode, start, window_);
}

void CollectionToolsUi::ShowMessage(const std::string& text) {
  if (hooks_.showMessage) return hooks_.showMessage(U(text));
  QMessageBox::information(window_, kMessageTitle, U(text));
}

bool CollectionToolsUi::AskYesNo(const std::string& text) {
  if (hooks_.askYesNo) return hooks_.askYesNo(U(text));
  return QMessageBox::question(window_, kMessageTitle, U(text), QMessageBox::Yes | QMessageBox::No) ==
         QMessageBox::Yes;
}

void CollectionToolsUi::ShowStatus(const std::string& text) {
  if (hooks_.setStatus) hooks_.setStatus(U(text));
}

void CollectionToolsUi::SetBusy(bool on) {
  if (hooks_.setBusy) hooks_.setBusy(on);
}

void CollectionToolsUi::SetWaitCursor(bool on) {
  if (on) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
}

void CollectionToolsUi::ProcessEvents() { QCoreApplication::processEvents(); }

collection::ToolsPort::OpenResult CollectionToolsUi::OpenWithDesktop(const std::string& path) {
  if (hooks_.openWithDesktop) return hooks_.openWithDesktop(path);
  return OpenWithDesktopProgram(path);
}

void CollectionToolsUi::OpenWebPage(const std::string& address) { QDesktopServices::openUrl(QUrl(U(address))); }

int CollectionToolsUi::RunAndWait(const std::string& program, const std::string& argument,
                                  const std::string& workingFolder) {
  QProcess process;
  process.setWorkingDirectory(PathText(workingFolder));
  process.start(PathText(program), {PathText(argument)});
  if (!process.waitForStarted(10000)) return -1;
  while (!process.waitForFinished(50)) {
    if (process.state() == QProcess::NotRunning) break;
    QCoreApplication::processEvents();
  }
  return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

void CollectionToolsUi::SaveDefaultProjectFolder(const std::string& folder) {
  if (hooks_.saveDefpath) hooks_.saveDefpath(folder);
}

void CollectionToolsUi::UseCollectionRoot(const std::string& root) {
  if (hooks_.useCollectionRoot) hooks_.useCollectionRoot(root);
}

void CollectionToolsUi::RebuildFirstLevel() {
  if (hooks_.rebuildFirstLevel) hooks_.rebuildFirstLevel();
}

}  // namespace orv
#endif  // ORV_HAVE_WIDGETS
