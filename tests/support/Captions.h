#pragma once

#include <QAccessible>
#include <QScrollBar>
#include <QString>
#include <QStyleOptionSlider>
#include <QWidget>

namespace velk::test {

// A caption as the user reads it: the access-key marker removed.
inline QString Caption(QString text) {
  return text.remove('&');
}

// What assistive technology hears as the widget's name.
inline QString SpokenName(QWidget* widget) {
  QAccessibleInterface* a = QAccessible::queryAccessibleInterface(widget);
  return a != nullptr ? a->text(QAccessible::Name) : QString();
}

// The Tab stops of a window in the order Tab visits them.
inline QList<QWidget*> TabStops(QWidget* window) {
  QList<QWidget*> stops;
  for (QWidget* w = window->nextInFocusChain(); w != window; w = w->nextInFocusChain())
    if ((w->focusPolicy() & Qt::TabFocus) && w->isEnabled() && w->isVisibleTo(window) &&
        w->window() == window && w->focusProxy() == nullptr)
      stops << w;
  return stops;
}

// Where a part of a scroll bar is drawn with the bar at `value`.
inline QRect ScrollBarPart(QScrollBar* bar, int value, QStyle::SubControl part) {
  QStyleOptionSlider option;
  option.initFrom(bar);
  option.orientation = bar->orientation();
  option.minimum = bar->minimum();
  option.maximum = bar->maximum();
  option.sliderPosition = option.sliderValue = value;
  option.pageStep = bar->pageStep();
  option.singleStep = bar->singleStep();
  return bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, part, bar);
}

}  // namespace velk::test
