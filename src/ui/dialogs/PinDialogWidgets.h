#pragma once

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QString>

#include "core/Delay.h"
#include "widgets/ScrollBars.h"

namespace velk::pin_dialogs {

// Controls of the alarm and GPIO dialogs, named as object names.

inline QGroupBox* Frame(QWidget* parent, const QString& name, const QString& title) {
  auto* frame = new QGroupBox(title, parent);
  frame->setObjectName(name);
  frame->setAccessibleName(title);
  return frame;
}

inline QPushButton* Button(QWidget* parent, const QString& name, const QString& caption) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  // Enter in a number box must never press a button of these dialogs.
  button->setAutoDefault(false);
  return button;
}

inline QLineEdit* TextBox(QWidget* parent, const QString& name, bool readOnly) {
  auto* box = new QLineEdit(parent);
  box->setObjectName(name);
  box->setReadOnly(readOnly);
  box->setAlignment(Qt::AlignRight);
  return box;
}

// Tracking is off: a drag changes the value once, on release.
inline QScrollBar* ScrollBar(QWidget* parent, const QString& name, int maximum, int pageStep) {
  auto* bar = new QScrollBar(Qt::Horizontal, parent);
  bar->setObjectName(name);
  bar->setRange(0, maximum);
  bar->setSingleStep(1);
  bar->setPageStep(pageStep);
  bar->setTracking(false);
  MakeKeyboardScrollBar(bar);
  return bar;
}

// The caption beside a control. A button keeps its own caption as its accessible name (it
// shows the state) and gets the caption beside as its description.
inline QLabel* Caption(QWidget* parent, const QString& text, QWidget* buddy, bool naming = true) {
  auto* label = new QLabel(text, parent);
  label->setBuddy(buddy);
  if (naming)
    buddy->setAccessibleName(text);
  else
    buddy->setAccessibleDescription(text);
  return label;
}

// The chip's settling time after a configuration write.
inline void Settle() {
  DelayMs(150.0f);
}

}  // namespace velk::pin_dialogs
