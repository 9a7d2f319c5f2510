#include "ui/noise/NoisePlot.h"

#include <QFontMetricsF>
#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QToolTip>
#include <algorithm>
#include <cmath>
#include <limits>

#include "noise/Units.h"
#include "ui/noise/PlotPainter.h"

namespace velk {

namespace {

// The default decades with nothing to show: tau 10 ms to 1000 s, 1 to 1000 deg/h.
constexpr Decades kEmptyTau{-2, 3};
constexpr double kEmptyLoDps = 1.0 / noise::kBiToDegPerHour;
constexpr double kEmptyHiDps = 1000.0 / noise::kBiToDegPerHour;

QString ThreeFigures(double v) {
  return QString::number(v, 'g', 3);
}

}  // namespace

NoisePlot::NoisePlot(QWidget* parent) : QWidget(parent), message_("Waiting for samples") {
  setAccessibleName("Allan deviation plot");
  setAttribute(Qt::WA_OpaquePaintEvent);
  // A Tab stop, as the strip chart is, so the keyboard reaches whatever menu the window adds.
  setFocusPolicy(Qt::StrongFocus);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  Describe();
}

void NoisePlot::SetAnalysis(const noise::Analysis& analysis) {
  model_ = MakePlotModel(analysis);
  description_ = model_.points.empty() ? QString() : DescribeTerms(analysis, model_.points.size());
  Describe();
  update();
}

void NoisePlot::SetUnit(Unit unit) {
  if (unit == unit_) return;
  unit_ = unit;
  update();
}

void NoisePlot::Clear() {
  model_ = PlotModel();
  description_.clear();
  Describe();
  update();
}

void NoisePlot::SetMessage(const QString& text) {
  message_ = text;
  Describe();
  if (model_.points.empty()) update();
}

void NoisePlot::Describe() {
  setAccessibleDescription(description_.isEmpty() ? message_ : description_);
}

double NoisePlot::Scale() const {
  return unit_ == Unit::DegPerHour ? noise::kBiToDegPerHour : 1.0;
}

// Denser fonts (144 dpi) thicken the lines and the hints with them; a higher device pixel
// ratio does so by itself.
double NoisePlot::DpiScale() const {
  return std::max(1.0, logicalDpiY() / 96.0);
}

PlotStyle NoisePlot::Style() const {
  const QPalette& p = palette();
  return PlotStyle{.text = p.color(QPalette::Text),
                   .mid = p.color(QPalette::Mid),
                   .highlight = p.color(QPalette::Highlight),
                   .base = p.color(QPalette::Base),
                   .font = font(),
                   .px = DpiScale()};
}

LogAxes NoisePlot::Axes(QSize size) const {
  Decades tau = kEmptyTau;
  double lo = kEmptyLoDps;
  double hi = kEmptyHiDps;
  if (!model_.points.empty()) {
    double first = std::numeric_limits<double>::max();
    double last = 0.0;
    lo = std::numeric_limits<double>::max();
    hi = 0.0;
    for (const AdevMark& m : model_.points) {
      first = std::min(first, m.tau);
      last = std::max(last, m.tau);
      lo = std::min(lo, m.lo.value_or(m.dev));
      hi = std::max(hi, m.hi.value_or(m.dev));
    }
    tau = DecadesAround(first, last);
  }
  return PlaceAxes(QSizeF(size), tau, DecadesAround(lo * Scale(), hi * Scale()),
                   QFontMetricsF(font(), this));
}

void NoisePlot::Paint(QPainter& painter, QSize size) const {
  const QString unit = unit_ == Unit::DegPerHour ? "°/h" : "°/s";
  const PlotScene scene{.model = model_,
                        .scale = Scale(),
                        .devTitle = "Allan deviation (" + unit + ")",
                        .devTitleShort = "ADEV (" + unit + ")",
                        .message = message_};
  PaintPlot(painter, Axes(size), scene, Style());
}

QImage NoisePlot::Render(QSize size, qreal dpr) const {
  if (size.isEmpty() || !(dpr > 0)) return QImage();
  QImage image(size * dpr, QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(dpr);
  // The widget's font resolution, so the picture's text is the size the screen shows.
  image.setDotsPerMeterX(qRound(logicalDpiX() / 0.0254));
  image.setDotsPerMeterY(qRound(logicalDpiY() / 0.0254));
  image.fill(palette().color(QPalette::Base));
  QPainter painter(&image);
  Paint(painter, size);
  return image;
}

void NoisePlot::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().color(QPalette::Base));
  Paint(painter, size());
  if (hasFocus()) {
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    focus.rect = rect().adjusted(1, 1, -1, -1);
    focus.backgroundColor = palette().color(QPalette::Base);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
  }
}

bool NoisePlot::event(QEvent* event) {
  if (event->type() != QEvent::ToolTip) return QWidget::event(event);
  const auto* help = static_cast<QHelpEvent*>(event);
  ShowTip(help->pos(), help->globalPos());
  return true;
}

// The point under the mouse, read out in full.
void NoisePlot::ShowTip(QPoint at, QPoint global) {
  const LogAxes axes = Axes(size());
  const double reach = PointRadius(Style()) + 3.0;
  const AdevMark* nearest = nullptr;
  double best = reach * reach;
  for (const AdevMark& m : model_.points) {
    const QPointF d = axes.At(m.tau, m.dev * Scale()) - QPointF(at);
    const double distance = QPointF::dotProduct(d, d);
    if (distance <= best) {
      best = distance;
      nearest = &m;
    }
  }
  if (nearest == nullptr) {
    QToolTip::hideText();
    return;
  }
  const double s = Scale();
  QString text = QString("tau %1 s: %2 %3")
                     .arg(ThreeFigures(nearest->tau), ThreeFigures(nearest->dev * s),
                          unit_ == Unit::DegPerHour ? "°/h" : "°/s");
  if (nearest->lo && nearest->hi)
    text +=
        QString(" (%1 to %2)").arg(ThreeFigures(*nearest->lo * s), ThreeFigures(*nearest->hi * s));
  if (!nearest->inFit) text += "\nnot fitted";
  QToolTip::showText(global, text, this);
}

QSize NoisePlot::sizeHint() const {
  return QSize(480, 360) * DpiScale();
}

QSize NoisePlot::minimumSizeHint() const {
  return QSize(320, 240) * DpiScale();
}

}  // namespace velk
