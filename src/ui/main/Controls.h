#pragma once

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QString>

namespace velk {

// Controls placed at designed twips inside their parent (a frame's origin is its top-left
// corner, caption included). Names are set as object names, captions as accessible names.

void PlaceTwips(QWidget* widget, int left, int top, int width, int height);

QGroupBox* MakeFrame(QWidget* parent, const char* name, const QString& title, int left, int top,
                     int width, int height);
// A caption; `buddy` makes it the accessible name of that control too.
QLabel* MakeCaption(QWidget* parent, const QString& text, int left, int top, int width, int height,
                    QWidget* buddy = nullptr);
QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, int left, int top,
                  int width, int height);
QLineEdit* MakeTextBox(QWidget* parent, const char* name, int left, int top, int width, int height,
                       bool readOnly = false);
QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, int left,
                        int top, int width, int height);
// A button whose caption wraps onto as many lines as its designed size needs.
class WrapButton : public QPushButton {
  Q_OBJECT
 public:
  using QPushButton::QPushButton;
  QSize sizeHint() const override { return size(); }

 protected:
  void paintEvent(QPaintEvent* event) override;
};
QPushButton* MakeWrapButton(QWidget* parent, const char* name, const QString& caption, int left,
                            int top, int width, int height);
QCheckBox* MakeCheckBox(QWidget* parent, const char* name, const QString& caption, int left,
                        int top, int width, int height);
// Tracking is off: a drag changes the value once, on release.
QScrollBar* MakeScrollBar(QWidget* parent, const char* name, int minimum, int maximum,
                          int largeStep, int left, int top, int width, int height);

// A flag indicator: red with `setText` when set, green with `clearText` when clear.
void ShowIndicator(QLabel* label, bool set, const QString& setText = "Alarm",
                   const QString& clearText = "OK");
// Background colour of a label (filled background), with a text colour that reads on it.
void SetBackground(QLabel* label, const QColor& colour);
QColor Background(const QLabel* label);

}  // namespace velk
