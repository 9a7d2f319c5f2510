#include "ui/noise/PlotPainter.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

namespace velk {

namespace {

using noise::kTermCount;

// Mid-luminance colours (about 0.2), so each term keeps some 3:1 against a white base and a
// near-black one alike; told apart by hue, and by the colour-blind too (Q R seldom shown).
const std::array<QColor, kTermCount> kTermColour = {QColor(130, 130, 0), QColor(213, 94, 0),
                                                    QColor(0, 158, 115), QColor(190, 100, 160),
                                                    QColor(170, 100, 50)};

constexpr int kCurveSamples = 30;  // per decade of tau: segments of a few pixels

struct Key {
  QRectF box;
  double length = 0.0;  // of a segment along tau, pixels
};

double Pow10(double x) {
  return std::pow(10.0, x);
}

QPen Pen(const QColor& colour, double width, Qt::PenStyle style = Qt::SolidLine) {
  QPen pen(colour, width, style, Qt::FlatCap, Qt::BevelJoin);
  if (style == Qt::DashLine) pen.setDashPattern({5.0, 3.0});
  return pen;
}

// The fitted total along the whole tau axis, in picture coordinates.
QPolygonF TotalCurve(const LogAxes& axes, const PlotScene& scene) {
  QPolygonF curve;
  if (!scene.model.HasFit()) return curve;
  const int n = kCurveSamples * axes.tau.Count();
  curve.reserve(n + 1);
  for (int i = 0; i <= n; ++i) {
    const double tau = Pow10(axes.tau.lo + axes.tau.Count() * static_cast<double>(i) / n);
    const double dev = scene.model.Total(tau) * scene.scale;
    if (dev > 0.0) curve << axes.At(tau, dev);
  }
  return curve;
}

// Aliased lines in whole pixels, or neighbouring lines come out 1 and 2 pixels wide.
double Hairline(const PlotStyle& s) {
  return std::max(1.0, std::round(s.px));
}

void PaintGrid(QPainter& p, const LogAxes& axes, const PlotStyle& s) {
  p.setPen(Pen(s.mid, Hairline(s)));
  const QRectF& a = axes.area;
  for (int e = axes.tau.lo + 1; e < axes.tau.hi; ++e) {
    const double x = std::round(axes.X(Pow10(e)));
    p.drawLine(QPointF(x, a.top()), QPointF(x, a.bottom()));
  }
  for (int e = axes.dev.lo + 1; e < axes.dev.hi; ++e) {
    const double y = std::round(axes.Y(Pow10(e)));
    p.drawLine(QPointF(a.left(), y), QPointF(a.right(), y));
  }
}

void PaintLines(QPainter& p, const LogAxes& axes, const PlotScene& scene, const QPolygonF& total,
                const PlotStyle& s) {
  const PlotModel& m = scene.model;
  const double from = Pow10(axes.tau.lo);
  const double to = Pow10(axes.tau.hi);
  for (int t = 0; t < kTermCount; ++t) {
    if (m.coefficient[t] <= 0.0) continue;
    // Every term is a straight line on log-log axes.
    p.setPen(Pen(kTermColour[t], 1.5 * s.px, Qt::DashLine));
    p.drawLine(axes.At(from, m.Term(noise::Term(t), from) * scene.scale),
               axes.At(to, m.Term(noise::Term(t), to) * scene.scale));
  }
  p.setPen(Pen(s.text, 2.0 * s.px));
  p.drawPolyline(total);
}

void PaintPoints(QPainter& p, const LogAxes& axes, const PlotScene& scene, const PlotStyle& s) {
  const double r = PointRadius(s);
  p.setPen(Pen(s.highlight, s.px));
  for (const AdevMark& m : scene.model.points) {
    if (!m.lo || !m.hi) continue;
    const double x = axes.X(m.tau);
    const double top = axes.Y(*m.hi * scene.scale);
    const double bottom = axes.Y(*m.lo * scene.scale);
    p.drawLine(QPointF(x, top), QPointF(x, bottom));
    p.drawLine(QPointF(x - 0.6 * r, top), QPointF(x + 0.6 * r, top));
    p.drawLine(QPointF(x - 0.6 * r, bottom), QPointF(x + 0.6 * r, bottom));
  }
  p.setPen(Pen(s.highlight, 1.5 * s.px));
  for (const AdevMark& m : scene.model.points) {
    p.setBrush(m.inFit ? s.highlight : s.base);
    p.drawEllipse(axes.At(m.tau, m.dev * scene.scale), r, r);
  }
  p.setBrush(Qt::NoBrush);
}

// A ring on a term's line where the datasheet reads it, its letter beside it towards `away`
// (x -1, 0, +1; y +1 below): off the line and below it, as the total runs above every term.
void PaintMarker(QPainter& p, const LogAxes& axes, QPointF at, noise::Term term, QPoint away,
                 const PlotStyle& s) {
  const QRectF& a = axes.area;
  if (!a.contains(at)) return;
  const double r = 1.9 * PointRadius(s);
  p.setPen(Pen(kTermColour[term], 1.5 * s.px));
  p.drawEllipse(at, r, r);

  QFont bold = s.font;
  bold.setBold(true);
  p.setFont(bold);
  const QString letter = term == noise::kN ? "N" : term == noise::kK ? "K" : "B";
  const QSizeF size = QFontMetricsF(bold, p.device()).size(0, letter);
  const auto place = [&](QPoint side) {
    QRectF label(QPointF(), size);
    const double reach = side.x() == 0 ? r + 0.5 * size.height() : 0.75 * r;
    label.moveCenter(at + QPointF(side.x() * (1.2 * r + 0.5 * size.width()), side.y() * reach));
    return label;
  };
  QRectF label = place(away);
  // The other side of the line, then above it.
  if (!a.contains(label)) label = place(-away);
  if (!a.contains(label)) label = place(QPoint(away.x(), -away.y()));
  // A ring on the frame's edge keeps its letter inside, clear of the frame line.
  label.moveLeft(
      std::max(a.left() + s.px, std::min(label.left(), a.right() - s.px - label.width())));
  label.moveTop(
      std::max(a.top() + s.px, std::min(label.top(), a.bottom() - s.px - label.height())));
  p.drawText(label, Qt::AlignCenter, letter);
  p.setFont(s.font);
}

void PaintMarkers(QPainter& p, const LogAxes& axes, const PlotScene& scene, const QPolygonF& total,
                  const PlotStyle& s) {
  const PlotModel& m = scene.model;
  if (m.coefficient[noise::kN] > 0.0)
    PaintMarker(p, axes, axes.At(1.0, m.Term(noise::kN, 1.0) * scene.scale), noise::kN,
                QPoint(-1, 1), s);
  if (m.coefficient[noise::kK] > 0.0)
    PaintMarker(p, axes, axes.At(3.0, m.Term(noise::kK, 3.0) * scene.scale), noise::kK,
                QPoint(1, 1), s);
  if (m.coefficient[noise::kB] > 0.0 && !total.isEmpty()) {
    const auto lowest = std::max_element(total.begin(), total.end(),
                                         [](QPointF a, QPointF b) { return a.y() < b.y(); });
    PaintMarker(p, axes, *lowest, noise::kB, QPoint(0, 1), s);
  }
}

void PaintFrame(QPainter& p, const LogAxes& axes, const PlotStyle& s, double em) {
  const QRectF& a = axes.area;
  p.setPen(Pen(s.text, Hairline(s)));
  p.drawRect(a);
  const double major = 0.45 * em;
  const double minor = 0.25 * em;
  const bool minorX = axes.PerDecadeX() >= 1.5 * em;
  const bool minorY = axes.PerDecadeY() >= 1.5 * em;
  for (int e = axes.tau.lo; e < axes.tau.hi; ++e) {
    for (int k = 1; k <= 9; ++k) {
      if (k > 1 && !minorX) break;
      const double x = std::round(axes.X(k * Pow10(e)));
      const double len = k == 1 ? major : minor;
      p.drawLine(QPointF(x, a.bottom()), QPointF(x, a.bottom() - len));
      p.drawLine(QPointF(x, a.top()), QPointF(x, a.top() + len));
    }
  }
  for (int e = axes.dev.lo; e < axes.dev.hi; ++e) {
    for (int k = 1; k <= 9; ++k) {
      if (k > 1 && !minorY) break;
      const double y = std::round(axes.Y(k * Pow10(e)));
      const double len = k == 1 ? major : minor;
      p.drawLine(QPointF(a.left(), y), QPointF(a.left() + len, y));
      p.drawLine(QPointF(a.right(), y), QPointF(a.right() - len, y));
    }
  }
}

bool Labelled(int exponent, int step) {
  return ((exponent % step) + step) % step == 0;
}

void PaintLabels(QPainter& p, const LogAxes& axes, const PlotScene& scene, const PlotStyle& s,
                 const QFontMetricsF& fm) {
  const QRectF& a = axes.area;
  const double em = fm.height();
  const double gap = 0.35 * em;
  p.setPen(s.text);
  for (int e = axes.tau.lo; e <= axes.tau.hi; ++e) {
    if (!Labelled(e, axes.tauStep)) continue;
    const QString text = axes.tau.Label(e);
    const double w = fm.horizontalAdvance(text);
    p.drawText(QRectF(axes.X(Pow10(e)) - w / 2, a.bottom() + gap, w, em), Qt::AlignCenter, text);
  }
  for (int e = axes.dev.lo; e <= axes.dev.hi; ++e) {
    if (!Labelled(e, axes.devStep)) continue;
    const QString text = axes.dev.Label(e);
    const double w = fm.horizontalAdvance(text);
    p.drawText(QRectF(a.left() - gap - w, axes.Y(Pow10(e)) - em / 2, w, em),
               Qt::AlignRight | Qt::AlignVCenter, text);
  }

  const QString tauTitle = "tau (s)";
  p.drawText(QRectF(a.left(), a.bottom() + gap + 1.3 * em, a.width(), em), Qt::AlignCenter,
             tauTitle);
  const QString& devTitle =
      fm.horizontalAdvance(scene.devTitle) <= a.height() ? scene.devTitle : scene.devTitleShort;
  p.save();
  p.translate(0.5 * em + 0.5 * em, a.center().y());
  p.rotate(-90.0);
  p.drawText(QRectF(-a.height() / 2, -em / 2, a.height(), em), Qt::AlignCenter, devTitle);
  p.restore();
}

// The key's box in the corner the data leave freest: lower left first, where an Allan
// deviation seldom goes.
std::optional<Key> PlaceKey(const LogAxes& axes, const PlotScene& scene, const QPolygonF& total,
                            const QFontMetricsF& fm) {
  const QRectF& a = axes.area;
  const double em = fm.height();
  const double rise = axes.PerDecadeY() / axes.PerDecadeX();  // pixels up per pixel along
  // Neighbouring slopes' ends must be a line of text apart; the fan no taller than a third.
  const double shortest = std::max(1.2 * em, 2.1 * em / rise);
  const double longest = std::min(0.3 * a.width(), 0.33 * a.height() / (2.0 * rise));
  if (shortest > longest) return std::nullopt;
  const double length = shortest;
  const double labels = fm.horizontalAdvance(QString::fromUtf8("−1/2"));
  const double height = std::max(2.0 * length * rise, 4.2 * em) + em;
  const QSizeF size(length + 0.3 * em + labels + 0.8 * em, height + 0.2 * em);
  if (size.width() > 0.5 * a.width() || size.height() > 0.5 * a.height()) return std::nullopt;

  const double inset = 0.4 * em;
  const std::array<QPointF, 4> corners = {
      QPointF(a.left() + inset, a.bottom() - inset - size.height()),
      QPointF(a.right() - inset - size.width(), a.top() + inset),
      QPointF(a.right() - inset - size.width(), a.bottom() - inset - size.height()),
      QPointF(a.left() + inset, a.top() + inset)};
  std::optional<Key> best;
  int fewest = 0;
  for (const QPointF& corner : corners) {
    const QRectF box(corner, size);
    int hits = 0;
    for (const AdevMark& m : scene.model.points) {
      const double x = axes.X(m.tau);
      const double top = axes.Y(m.hi.value_or(m.dev) * scene.scale);
      const double bottom = axes.Y(m.lo.value_or(m.dev) * scene.scale);
      if (box.intersects(QRectF(x - 4.0, top - 4.0, 8.0, bottom - top + 8.0))) hits += 4;
    }
    for (const QPointF& c : total) hits += box.contains(c) ? 1 : 0;
    if (!best || hits < fewest) {
      best = Key{box, length};
      fewest = hits;
    }
  }
  return best;
}

void PaintKey(QPainter& p, const LogAxes& axes, const Key& key, const PlotStyle& s,
              const QFontMetricsF& fm) {
  static const std::array<std::pair<double, const char*>, 5> kSlopes = {
      {{-1.0, "−1"}, {-0.5, "−1/2"}, {0.0, "0"}, {0.5, "+1/2"}, {1.0, "+1"}}};
  const double em = fm.height();
  const double rise = axes.PerDecadeY() / axes.PerDecadeX();
  p.setPen(Pen(s.mid, s.px));
  p.setBrush(s.base);
  p.drawRect(key.box);
  p.setBrush(Qt::NoBrush);
  const QPointF origin(key.box.left() + 0.4 * em, key.box.center().y());
  for (const auto& [slope, text] : kSlopes) {
    const QPointF end = origin + QPointF(key.length, -slope * key.length * rise);
    p.setPen(Pen(s.text, 1.25 * s.px));
    p.drawLine(origin, end);
    const QString label = QString::fromUtf8(text);
    p.drawText(QRectF(end.x() + 0.3 * em, end.y() - em / 2, fm.horizontalAdvance(label), em),
               Qt::AlignLeft | Qt::AlignVCenter, label);
  }
}

}  // namespace

double PointRadius(const PlotStyle& style) {
  return 3.5 * style.px;
}

void PaintPlot(QPainter& p, const LogAxes& axes, const PlotScene& scene, const PlotStyle& s) {
  p.setFont(s.font);
  const QFontMetricsF fm(s.font, p.device());
  const double em = fm.height();
  const QPolygonF total = TotalCurve(axes, scene);

  p.setRenderHint(QPainter::Antialiasing, false);
  PaintGrid(p, axes, s);

  p.setRenderHint(QPainter::Antialiasing, true);
  p.save();
  p.setClipRect(axes.area);
  PaintLines(p, axes, scene, total, s);
  p.restore();
  PaintPoints(p, axes, scene, s);
  PaintMarkers(p, axes, scene, total, s);

  p.setRenderHint(QPainter::Antialiasing, false);
  PaintFrame(p, axes, s, em);
  PaintLabels(p, axes, scene, s, fm);

  p.setRenderHint(QPainter::Antialiasing, true);
  if (scene.model.points.empty()) {
    p.setPen(s.text);
    p.drawText(axes.area.adjusted(em, em, -em, -em), Qt::AlignCenter | Qt::TextWordWrap,
               scene.message);
  } else if (const std::optional<Key> key = PlaceKey(axes, scene, total, fm)) {
    PaintKey(p, axes, *key, s, fm);
  }
}

}  // namespace velk
