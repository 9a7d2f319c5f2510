#pragma once

#include <QAccessible>
#include <QString>
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

}  // namespace velk::test
