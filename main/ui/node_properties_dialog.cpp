#include "main/ui/node_properties_dialog.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLocale>
#include <QStringList>
#include <QVBoxLayout>

#include <chrono>

#include "common/text.h"
#include "platform/file_attributes.h"

namespace orv {
namespace {

QString Utf(const std::string& bytes) { return QString::fromStdString(DisplayName(bytes)); }

QString TimeText(std::chrono::system_clock::time_point t) {
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count();
  return QLocale(QLocale::Russian).toString(QDateTime::fromMSecsSinceEpoch(ms), "dd.MM.yyyy HH:mm:ss");
}

QString SizeText(long long bytes) {
  QLocale ru(QLocale::Russian);
  return ru.toString(bytes) + " байт (" + ru.formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat) + ")";
}

}  // namespace

NodePropertiesDialog::NodePropertiesDialog(const std::string& localPath, const std::string& webAddress,
                                           QWidget* parent)
    : QDialog(parent) {
  setWindowTitle("Свойства");
  setAccessibleName("Свойства");
  auto* form = new QFormLayout;
  auto row = [&](const QString& name, const QString& value) {
    auto* label = new QLabel(value);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setWordWrap(true);
    label->setObjectName(name);
    label->setAccessibleName(name);
    form->addRow(name + ":", label);
  };
  std::string path = localPath;
  if (path.size() > 1 && path.back() == '/') path.pop_back();
  int attrs = GetFileAttributes(path);
  row("Путь", Utf(localPath));
  row("Адрес", Utf(webAddress));
  if (attrs < 0) {
    row("Состояние", "файла нет в коллекции");
  } else {
    bool folder = (attrs & kAttrDirectory) != 0;
    row("Тип", folder ? "папка" : "файл");
    if (!folder) row("Размер", SizeText(FileLength(path)));
    if (auto times = GetFileTimes(path)) {
      row("Создан", TimeText(times->created));
      row("Изменён", TimeText(times->modified));
      row("Открыт", TimeText(times->accessed));
    }
    QStringList names;
    if (attrs & kAttrReadOnly) names << "только чтение";
    if (attrs & kAttrHidden) names << "скрытый";
    if (attrs & kAttrSystem) names << "системный";
    if (folder) names << "папка";
    row("Атрибуты", names.isEmpty() ? QString("обычные") : names.join(", "));
    if (!folder) {
      row("Загрузка", (attrs & kAttrSystem) ? "не завершена: файл будет докачан при следующей загрузке"
                                              : "завершена");
    }
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
  setMinimumWidth(480);
}

QString NodePropertiesDialog::Value(const QString& row) const {
  auto* label = findChild<QLabel*>(row);
  return label ? label->text() : QString();
}

}  // namespace orv
