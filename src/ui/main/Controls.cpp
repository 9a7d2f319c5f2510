#include "ui/main/Controls.h"

#include <QPalette>
#include <QStyleOptionButton>
#include <QStylePainter>

#include "ui/main/Twips.h"
#include "widgets/FixedColours.h"
#include "widgets/ScrollBars.h"
#include "widgets/ValueLabel.h"

namespace velk {

void PlaceTwips(QWidget* widget, int left, int top, int width, int height) {
  widget->setGeometry(Twips(widget, left), Twips(widget, top), Twips(widget, width),
                      Twips(widget, height));
}

QGroupBox* MakeFrame(QWidget* parent, const char* name, const QString& title, int left, int top,
                     int width, int height) {
  auto* frame = new QGroupBox(title, parent);
  frame->setObjectName(name);
  frame->setAccessibleName(title);
  PlaceTwips(frame, left, top, width, height);
  return frame;
}

QLabel* MakeCaption(QWidget* parent, const QString& text, int left, int top, int width, int height,
                    QWidget* buddy) {
  auto* label = new QLabel(text, parent);
  PlaceTwips(label, left, top, width, height);
  if (buddy != nullptr) {
    label->setBuddy(buddy);
    buddy->setAccessibleName(text);
  }
  return label;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, int left, int top,
                  int width, int height) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setAlignment(Qt::AlignCenter);
  PlaceTwips(label, left, top, width, height);
  return label;
}

QLineEdit* MakeTextBox(QWidget* parent, const char* name, int left, int top, int width, int height,
                       bool readOnly) {
  auto* box = new QLineEdit(parent);
  box->setObjectName(name);
  box->setReadOnly(readOnly);
  // A box that only shows a value is no Tab stop; a click still selects its text.
  if (readOnly) box->setFocusPolicy(Qt::ClickFocus);
  box->setAlignment(Qt::AlignRight);
  PlaceTwips(box, left, top, width, height);
  return box;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, int left,
                        int top, int width, int height) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  button->setAutoDefault(false);
  PlaceTwips(button, left, top, width, height);
  return button;
}

void WrapButton::paintEvent(QPaintEvent*) {
  QStylePainter painter(this);
  QStyleOptionButton option;
  initStyleOption(&option);
  option.text.clear();
  painter.drawControl(QStyle::CE_PushButton, option);
  const int mnemonic = style()->styleHint(QStyle::SH_UnderlineShortcut, &option, this)
                           ? Qt::TextShowMnemonic
                           : Qt::TextHideMnemonic;
  painter.drawText(rect().adjusted(2, 2, -2, -2), Qt::AlignCenter | Qt::TextWordWrap | mnemonic,
                   text());
}

QPushButton* MakeWrapButton(QWidget* parent, const char* name, const QString& caption, int left,
                            int top, int width, int height) {
  auto* button = new WrapButton(caption, parent);
  button->setObjectName(name);
  button->setAutoDefault(false);
  PlaceTwips(button, left, top, width, height);
  return button;
}

QCheckBox* MakeCheckBox(QWidget* parent, const char* name, const QString& caption, int left,
                        int top, int width, int height) {
  auto* box = new QCheckBox(caption, parent);
  box->setObjectName(name);
  PlaceTwips(box, left, top, width, height);
  return box;
}

QScrollBar* MakeScrollBar(QWidget* parent, const char* name, int minimum, int maximum,
                          int largeStep, int left, int top, int width, int height) {
  auto* bar = new QScrollBar(Qt::Horizontal, parent);
  bar->setObjectName(name);
  bar->setRange(minimum, maximum);
  bar->setPageStep(largeStep);
  bar->setSingleStep(1);
  bar->setTracking(false);
  MakeKeyboardScrollBar(bar);
  PlaceTwips(bar, left, top, width, height);
  return bar;
}

void SetBackground(QLabel* label, const QColor& colour) {
  SetFixedColours(label, colour);
}

QColor Background(const QLabel* label) {
  return label->palette().color(QPalette::Window);
}

void ShowIndicator(QLabel* label, bool set, const QString& setText, const QString& clearText) {
  const QColor colour = set ? QColor(255, 0, 0) : QColor(0, 255, 0);
  // Refreshed every read-loop cycle: an unchanged indicator costs no repaint.
  if (label->autoFillBackground() && Background(label) != colour) SetBackground(label, colour);
  if (!label->autoFillBackground()) SetBackground(label, colour);
  ShowValue(label, set ? setText : clearText);
}

}  // namespace velk
