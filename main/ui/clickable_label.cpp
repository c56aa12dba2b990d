#include "main/ui/clickable_label.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QMouseEvent>

#include <cassert>

namespace orv {
namespace {

// The label's own role and texts (name, and its state as description), plus the press action.
class ClickableLabelAccessible final : public QAccessibleWidget {
 public:
  explicit ClickableLabelAccessible(ClickableLabel* label) : QAccessibleWidget(label, QAccessible::StaticText) {}
  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
      return static_cast<const QLabel*>(widget())->text();
    return QAccessibleWidget::text(t);
  }
  QStringList actionNames() const override { return QAccessibleWidget::actionNames() << pressAction(); }
  void doAction(const QString& name) override {
    if (name == pressAction() && widget()->isEnabled())
      static_cast<ClickableLabel*>(widget())->Click();
    else
      QAccessibleWidget::doAction(name);
  }
};

// Marks a clickable label for the factory, which is asked about every object, the browser
// engine's too (built without RTTI, so no dynamic_cast there).
constexpr char kClickableProperty[] = "orvClickableLabel";

QAccessibleInterface* ClickableLabelFactory(const QString& className, QObject* object) {
  if (object == nullptr || className != QLatin1String("QLabel") || !object->property(kClickableProperty).toBool())
    return nullptr;
  return new ClickableLabelAccessible(static_cast<ClickableLabel*>(object));
}

}  // namespace

ClickableLabel::ClickableLabel(std::function<void()> onClick, QWidget* parent)
    : QLabel(parent), onClick_(std::move(onClick)) {
  assert(onClick_ && "a clickable label without its click");
  setProperty(kClickableProperty, true);
  static const bool installed = [] {
    QAccessible::installFactory(&ClickableLabelFactory);
    return true;
  }();
  (void)installed;
}

void ClickableLabel::Click() {
  if (onClick_) onClick_();
}

void ClickableLabel::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QLabel::mousePressEvent(event);
  Click();
  event->accept();
}

}  // namespace orv
