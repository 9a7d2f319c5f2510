#include "widgets/TabOrder.h"

#include <QLayout>
#include <QWidget>
#include <vector>

namespace velk {

namespace {

// The ancestor of `w` (or `w` itself) that is a direct child of `parent`.
const QWidget* ChildOn(const QWidget* parent, const QWidget* w) {
  while (w != nullptr && w->parentWidget() != parent) w = w->parentWidget();
  return w;
}

bool IsAncestor(const QWidget* ancestor, const QWidget* w) {
  for (; w != nullptr; w = w->parentWidget())
    if (w == ancestor) return true;
  return false;
}

// True when `a` is read before `b`: compare the two siblings that hold them under their
// nearest common parent. Overlapping vertical spans are one row, read left to right.
bool ReadBefore(const QWidget* a, const QWidget* b) {
  const QWidget* common = a;
  while (!IsAncestor(common, b)) common = common->parentWidget();
  // A control goes before the parts inside it.
  if (common == a || common == b) return common == a;
  const QWidget* ca = ChildOn(common, a);
  const QWidget* cb = ChildOn(common, b);
  const QRect ra = ca->geometry();
  const QRect rb = cb->geometry();
  const bool oneRow = ra.top() < rb.bottom() && rb.top() < ra.bottom();
  if (oneRow && ra.left() != rb.left()) return ra.left() < rb.left();
  return ra.top() < rb.top();
}

}  // namespace

void LayOutNow(QWidget* window) {
  // A hidden frame given its size by the layout above lays out its own children only when
  // shown: parents come before children here, so each gets its size first.
  QList<QWidget*> widgets = window->findChildren<QWidget*>();
  widgets.prepend(window);
  for (QWidget* w : widgets) {
    if (w->layout() == nullptr || (w != window && w->window() != window)) continue;
    w->layout()->invalidate();
    w->layout()->activate();
  }
}

void OrderTabsByPosition(QWidget* window) {
  LayOutNow(window);
  std::vector<QWidget*> stops;
  for (QWidget* w : window->findChildren<QWidget*>()) {
    if ((w->focusPolicy() & Qt::TabFocus) == 0 || w->isWindow() || w->window() != window) continue;
    // A part of another control (an editable combo box's line edit) goes with its owner.
    if (w->parentWidget()->focusProxy() == w) continue;
    // An insertion sort: the reading order need not be a strict weak order.
    auto at = stops.begin();
    while (at != stops.end() && !ReadBefore(w, *at)) ++at;
    stops.insert(at, w);
  }
  for (size_t i = 1; i < stops.size(); ++i) QWidget::setTabOrder(stops[i - 1], stops[i]);
}

}  // namespace velk
