#pragma once
// The properties of a local file or folder of the collection: path, size, times, attributes
// and whether the download is finished.

#include <QDialog>

#include <string>

namespace orv {

class NodePropertiesDialog : public QDialog {
 public:
  // localPath: file-name bytes; webAddress: the address it stands for (Windows-1251).
  NodePropertiesDialog(const std::string& localPath, const std::string& webAddress,
                       QWidget* parent = nullptr);
  // The shown value of a row ("Размер", "Атрибуты", ...), for tests and screen readers.
  QString Value(const QString& row) const;
};

}  // namespace orv
