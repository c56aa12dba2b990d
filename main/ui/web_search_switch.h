#pragma once
// The address bar's label with the web-search switch chkSearch beside it: checked, the
// label reads "Поиск:" in blue and what the user enters goes to the search engine.
#include <QCheckBox>
#include <QLabel>
#include <QWidget>

#include <functional>

#include "main/collection/web_search.h"

namespace orv {

class WebSearchSwitch final : public QWidget {
 public:
  // focusAddressBar: the address bar takes the focus after every switch.
  WebSearchSwitch(WebSearchMode& mode, std::function<void()> focusAddressBar, QWidget* parent = nullptr);

  QLabel* AddressLabel = nullptr;
  QCheckBox* chkSearch = nullptr;

 private:
  void Show(bool on);

  WebSearchMode& mode_;
  std::function<void()> focusAddressBar_;
};

}  // namespace orv
