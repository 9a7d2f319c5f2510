#include "ui/main/StripChart.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPen>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <cmath>

#include "ui/main/Twips.h"

namespace velk {

namespace {

constexpr int kDesignWidth = 11475;
constexpr int kDesignHeight = 3348;

}  // namespace

StripChart::StripChart(QWidget* parent) : QWidget(parent) {
  setObjectName("pic1");
  setAccessibleName("Gyro rate chart");
  // Every pixel comes from the picture: skip the background fill.
  setAttribute(Qt::WA_OpaquePaintEvent);
  // A Tab stop, so the keyboard reaches its context menu (Menu key, Shift+F10).
  setFocusPolicy(Qt::StrongFocus);
}

void StripChart::SetTwipsGeometry(int left, int top, int width, int height) {
  twips_ = QRect(left, top, width, height);
  twipsPixels_ =
      QRect(Twips(this, left), Twips(this, top), Twips(this, width), Twips(this, height));
  setGeometry(twipsPixels_);
}

int StripChart::ToTwips(int pixels) const {
  return static_cast<int>(std::nearbyint(pixels * 1440.0 / logicalDpiX()));
}

int StripChart::Width() const {
  return width() == twipsPixels_.width() ? twips_.width() : ToTwips(width());
}

int StripChart::Height() const {
  return height() == twipsPixels_.height() ? twips_.height() : ToTwips(height());
}

int StripChart::Top() const {
  return y() == twipsPixels_.y() ? twips_.y() : ToTwips(y());
}

double StripChart::PixelsPerUnit() const {
  return logicalDpiX() / 1440.0;
}

QSize StripChart::sizeHint() const {
  return {Twips(this, kDesignWidth), Twips(this, kDesignHeight)};
}

// The chart is paper: white with a light grey grid under any desktop palette, so the dark
// trace and the grid read the same in a dark theme.
QColor StripChart::GridColour() const {
  return {176, 176, 176};
}

QColor StripChart::BackgroundColour() const {
  return Qt::white;
}

void StripChart::NewPicture() {
  const qreal ratio = devicePixelRatioF();
  picture_ = QPixmap(size() * ratio);
  picture_.setDevicePixelRatio(ratio);
  if (!picture_.isNull()) picture_.fill(BackgroundColour());
}

void StripChart::Clear() {
  if (picture_.isNull() || picture_.devicePixelRatio() != devicePixelRatioF()) {
    NewPicture();
  } else {
    picture_.fill(BackgroundColour());
  }
  Touched(rect());
}

void StripChart::HoldRepaints(bool hold) {
  if (!hold) ShowHeld();
  held_ = hold;
}

void StripChart::ShowHeld() {
  if (!heldArea_.isEmpty()) update(heldArea_);
  heldArea_ = QRect();
}

void StripChart::Touched(const QRect& area) {
  if (held_) {
    heldArea_ |= area;
  } else {
    update(area);
  }
}

void StripChart::DashedLine(int x1, int y1, int x2, int y2) {
  DrawLine(x1, y1, x2, y2, QPen(GridColour(), 1, Qt::DashLine, Qt::FlatCap));
}

void StripChart::Segment(int x1, int y1, int x2, int y2) {
  // Square caps close the joints between steps of different slope.
  DrawLine(x1, y1, x2, y2, QPen(QColor(kTraceColour), 2, Qt::SolidLine, Qt::SquareCap));
}

void StripChart::DrawLine(int x1, int y1, int x2, int y2, const QPen& pen) {
  if (picture_.isNull()) return;
  const double scale = PixelsPerUnit();
  const QPointF from(x1 * scale, y1 * scale);
  const QPointF to(x2 * scale, y2 * scale);
  {
    QPainter painter(&picture_);
    // Pen widths are whole screen pixels, not chart units.
    painter.setPen(pen);
    painter.drawLine(from, to);
  }
  const int margin = static_cast<int>(pen.widthF()) + 1;
  Touched(QRectF(from, to).normalized().toAlignedRect().adjusted(-margin, -margin, margin, margin));
}

void StripChart::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  if (picture_.isNull()) {
    painter.fillRect(event->rect(), BackgroundColour());
    return;
  }
  const QRect area = event->rect();
  const qreal ratio = picture_.devicePixelRatio();
  painter.drawPixmap(
      area.topLeft(), picture_,
      QRectF(area.x() * ratio, area.y() * ratio, area.width() * ratio, area.height() * ratio));
  if (hasFocus()) {
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    focus.rect = rect().adjusted(1, 1, -1, -1);
    focus.backgroundColor = BackgroundColour();
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
  }
}

void StripChart::focusInEvent(QFocusEvent* event) {
  QWidget::focusInEvent(event);
  update();
}

void StripChart::focusOutEvent(QFocusEvent* event) {
  QWidget::focusOutEvent(event);
  update();
}

void StripChart::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  // A hidden widget gets its resize late (at show or grab), after drawing may have begun.
  if (picture_.size() != size() * devicePixelRatioF()) NewPicture();
}

}  // namespace velk
