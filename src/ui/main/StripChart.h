#pragma once

#include <QPen>
#include <QPixmap>
#include <QRect>
#include <QWidget>

namespace velk {

// The chart picture `pic1`: an off-screen picture in chart units (twips, so a sweep holds
// about 1000 points at any screen DPI), painted onto the widget. Each drawing operation
// repaints only the rectangle it touched. Resizing starts a blank picture; the owner redraws.
class StripChart : public QWidget {
  Q_OBJECT
 public:
  explicit StripChart(QWidget* parent = nullptr);

  // Places the chart in its parent in twips; the plot arithmetic then uses exactly these.
  void SetTwipsGeometry(int left, int top, int width, int height);

  // Size and top edge in twips. After a resize in pixels (not through SetTwipsGeometry)
  // they are converted back from the pixels.
  int Width() const;
  int Height() const;
  int Top() const;

  void Clear();
  // Grid line: dashed, 1 pixel, light grey.
  void DashedLine(int x1, int y1, int x2, int y2);
  // Trace segment: solid dark blue, 2 pixels.
  void Segment(int x1, int y1, int x2, int y2);
  // While held, drawing only gathers the area it touched and ShowHeld asks for one repaint
  // of it: a fast read loop repaints the chart once a frame, not once a point. Releasing
  // shows what was gathered.
  void HoldRepaints(bool hold);
  void ShowHeld();

  QSize sizeHint() const override;

  static constexpr QRgb kTraceColour = qRgb(0, 0, 128);
  QColor GridColour() const;
  QColor BackgroundColour() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  void NewPicture();
  void DrawLine(int x1, int y1, int x2, int y2, const QPen& pen);
  void Touched(const QRect& area);
  int ToTwips(int pixels) const;
  double PixelsPerUnit() const;

  QPixmap picture_;
  QRect twips_;        // as last set by SetTwipsGeometry
  QRect twipsPixels_;  // the pixel geometry that setting produced
  bool held_ = false;
  QRect heldArea_;
};

}  // namespace velk
