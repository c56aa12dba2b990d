#pragma once
// A label that answers a click (the status panels, the connection indicator). A screen reader
// gets the same as its press action, so a label that shows state can still be operated
// without a mouse.
#include <QLabel>

#include <functional>

namespace orv {

class ClickableLabel : public QLabel {
 public:
  explicit ClickableLabel(std::function<void()> onClick, QWidget* parent = nullptr);
  // What a click and the accessible press action do.
  void Click();

 protected:
  void mousePressEvent(QMouseEvent* event) override;

 private:
  std::function<void()> onClick_;
};

}  // namespace orv
