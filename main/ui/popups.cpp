#ifdef ORV_HAVE_WIDGETS
#include "main/ui/popups.h"

#include <QApplication>
#include <QWidget>

#include <string>
#include <vector>

#include "common/text.h"
#include "main/run/popup_closer.h"

namespace orv {

bool CloseStalledPopup(bool fullList) {
  std::vector<QWidget*> windows;
  std::vector<std::string> captions;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->isHidden() || w->windowTitle().isEmpty()) continue;
    windows.push_back(w);
    captions.push_back(Utf8ToCp1251(w->windowTitle().toStdString()));
  }
  const int index = PopupToClose(captions, fullList);
  if (index < 0) return false;
  // Like a posted close message: the window closes when the event loop gets to it.
  QMetaObject::invokeMethod(windows[static_cast<std::size_t>(index)], &QWidget::close, Qt::QueuedConnection);
  return true;
}

}  // namespace orv
#endif
