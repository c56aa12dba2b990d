#pragma once
// The folder chooser window "Выбор папки": picks a collection root or the target folder of a
// conversion. Places (the home folder, the file system root and the mounted volumes) stand
// where drives would; below them the folders, then a field to create a new folder.

#include <QDialog>
#include <QString>
#include <functional>
#include <optional>
#include <string>

#include "main/collection/folder_choice.h"

class QComboBox;
class QFileSystemModel;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeView;

namespace orv {

class FolderChooser : public QDialog {
 public:
  FolderChooser(collection::FolderChoiceMode mode, const std::string& startFolder, QWidget* parent = nullptr);

  // The chosen folder as a local path ending with "/"; empty until a folder is chosen.
  std::string Chosen() const { return chosen_; }
  // The folder currently selected (without the trailing "/").
  QString CurrentFolder() const;
  void SetCurrentFolder(const QString& folder);

  // How a refused folder name is reported; by default a message box titled "Orvanta       ".
  void SetMessageShower(std::function<void(const QString&)> show) { showMessage_ = std::move(show); }

  // Shows the window; the chosen folder, or nullopt on cancel.
  static std::optional<std::string> Choose(collection::FolderChoiceMode mode, const std::string& startFolder,
                                           QWidget* parent = nullptr);

  // The places offered in place of drives: home folder, "/", the mounted volumes.
  static QStringList Places();

 protected:
  // Enter in the new folder's name field creates the folder and nothing else: the dialog's
  // default button must not confirm the choice with it.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void NameEdited(const QString& text);
  void CreateFolder();
  void Confirm();

  QLabel* prompt_;
  QComboBox* places_;
  QTreeView* folders_;
  QFileSystemModel* model_;
  QLineEdit* path_;
  QLabel* newPrompt_;
  QLineEdit* newName_;
  QPushButton* create_;
  std::string chosen_;
  std::function<void(const QString&)> showMessage_;
};

}  // namespace orv
