#include "widgets/ScrollBars.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QProxyStyle>
#include <QScrollBar>
#include <QStyleOptionSlider>
#include <algorithm>

namespace velk {

namespace {

// The desktop style, except that the thumb's least length is at most a third of the track:
// on a short bar the style's own minimum fills the whole track and hides the position.
class ThumbStyle final : public QProxyStyle {
 public:
  int pixelMetric(PixelMetric metric, const QStyleOption* option,
                  const QWidget* widget) const override {
    const int base = QProxyStyle::pixelMetric(metric, option, widget);
    const auto* bar = qstyleoption_cast<const QStyleOptionSlider*>(option);
    if (metric != PM_ScrollBarSliderMin || bar == nullptr) return base;
    const int length = bar->orientation == Qt::Horizontal ? bar->rect.width() : bar->rect.height();
    const int track = length - 2 * QProxyStyle::pixelMetric(PM_ScrollBarExtent, option, widget);
    return std::clamp(track / 3, 4, std::max(base, 4));
  }
};

// The keys step the bar through the same actions as its arrows and track, the way a
// horizontal bar reads: left (or up) towards the minimum, Page Up a page towards it.
// QScrollBar's own key handling runs a horizontal bar backwards.
class KeySteps final : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* bar = qobject_cast<QScrollBar*>(watched);
    if (bar == nullptr || event->type() != QEvent::KeyPress) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() & ~Qt::KeypadModifier) return false;
    const bool backwards = bar->isRightToLeft() && bar->orientation() == Qt::Horizontal;
    QAbstractSlider::SliderAction action = QAbstractSlider::SliderNoAction;
    switch (key->key()) {
      case Qt::Key_Left:
        action =
            backwards ? QAbstractSlider::SliderSingleStepAdd : QAbstractSlider::SliderSingleStepSub;
        break;
      case Qt::Key_Right:
        action =
            backwards ? QAbstractSlider::SliderSingleStepSub : QAbstractSlider::SliderSingleStepAdd;
        break;
      case Qt::Key_Up:
        action = QAbstractSlider::SliderSingleStepSub;
        break;
      case Qt::Key_Down:
        action = QAbstractSlider::SliderSingleStepAdd;
        break;
      case Qt::Key_PageUp:
        action = QAbstractSlider::SliderPageStepSub;
        break;
      case Qt::Key_PageDown:
        action = QAbstractSlider::SliderPageStepAdd;
        break;
      case Qt::Key_Home:
        action = QAbstractSlider::SliderToMinimum;
        break;
      case Qt::Key_End:
        action = QAbstractSlider::SliderToMaximum;
        break;
      default:
        return false;
    }
    bar->triggerAction(action);
    return true;
  }
};

template <typename Shared>
Shared* OneFor(QPointer<Shared>& shared) {
  if (shared.isNull()) {
    shared = new Shared;
    shared->setParent(qApp);
  }
  return shared;
}

}  // namespace

void MakeKeyboardScrollBar(QScrollBar* bar) {
  static QPointer<ThumbStyle> style;
  static QPointer<KeySteps> keys;
  bar->setFocusPolicy(Qt::StrongFocus);
  bar->setStyle(OneFor(style));
  bar->installEventFilter(OneFor(keys));
}

}  // namespace velk
