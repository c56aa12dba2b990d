#include "main/ui/web_search_switch.h"

#include <QHBoxLayout>
#include <QPalette>

namespace orv {

WebSearchSwitch::WebSearchSwitch(WebSearchMode& mode, std::function<void()> focusAddressBar,
                                 QWidget* parent)
    : QWidget(parent), mode_(mode), focusAddressBar_(std::move(focusAddressBar)) {
  setObjectName("WebSearchSwitch");
  AddressLabel = new QLabel(this);
  AddressLabel->setObjectName("AddressLabel");
  chkSearch = new QCheckBox(this);
  chkSearch->setObjectName("chkSearch");
  chkSearch->setAccessibleName(QString::fromUtf8("Поиск через Yandex"));
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(AddressLabel);
  layout->addWidget(chkSearch);
  chkSearch->setChecked(mode_.On());
  Show(mode_.On());
  connect(chkSearch, &QCheckBox::toggled, this, [this](bool on) {
    mode_.Set(on);
    Show(on);
    if (focusAddressBar_) focusAddressBar_();
  });
}

void WebSearchSwitch::Show(bool on) {
  WebSearchLook look = WebSearchLookFor(on);
  AddressLabel->setText(QString::fromUtf8(look.label.data(), static_cast<qsizetype>(look.label.size())));
  QPalette palette = AddressLabel->parentWidget()->palette();
  if (look.blue) palette.setColor(QPalette::WindowText, Qt::blue);
  AddressLabel->setPalette(palette);
  chkSearch->setToolTip(QString::fromUtf8(look.tooltip.data(), static_cast<qsizetype>(look.tooltip.size())));
}

}  // namespace orv
