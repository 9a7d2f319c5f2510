#include "ui/noise/LogAxes.h"

#include <algorithm>
#include <cmath>

namespace velk {

namespace {

constexpr int kPlainLo = -4;
constexpr int kPlainHi = 4;

QString Superscript(int n) {
  static const char16_t kDigits[] = u"⁰¹²³⁴⁵⁶⁷⁸⁹";
  QString text = n < 0 ? QString(QChar(u'⁻')) : QString();
  for (QChar c : QString::number(std::abs(n))) text += QChar(kDigits[c.digitValue()]);
  return text;
}

// The smallest step of decades whose labels keep `room` apart.
int LabelStep(double perDecade, double room) {
  for (int step : {1, 2, 3, 5, 10, 20})
    if (perDecade * step >= room) return step;
  return 50;
}

}  // namespace

bool Decades::Powers() const {
  return lo < kPlainLo || hi > kPlainHi;
}

QString Decades::Label(int exponent) const {
  if (Powers()) return exponent == 0 ? QString("1") : "10" + Superscript(exponent);
  if (exponent >= 0) return QString::number(std::pow(10.0, exponent), 'f', 0);
  return QString::number(std::pow(10.0, exponent), 'f', -exponent);
}

Decades DecadesAround(double min, double max) {
  if (!(min > 0.0) || !(max >= min) || !std::isfinite(max)) return {};
  // A hair of slack, so a value a rounding error off a power of ten keeps its decade.
  const int lo = static_cast<int>(std::floor(std::log10(min) + 1e-9));
  const int hi = static_cast<int>(std::ceil(std::log10(max) - 1e-9));
  return {lo, std::max(hi, lo + 1)};
}

double LogAxes::X(double t) const {
  return area.left() + (std::log10(t) - tau.lo) * PerDecadeX();
}

double LogAxes::Y(double d) const {
  return area.bottom() - (std::log10(d) - dev.lo) * PerDecadeY();
}

LogAxes PlaceAxes(QSizeF size, Decades tau, Decades dev, const QFontMetricsF& metrics) {
  const double em = metrics.height();
  const double pad = 0.5 * em;
  const double gap = 0.35 * em;
  double devLabels = 0.0;
  for (int e = dev.lo; e <= dev.hi; ++e)
    devLabels = std::max(devLabels, metrics.horizontalAdvance(dev.Label(e)));
  const double lastTau = metrics.horizontalAdvance(tau.Label(tau.hi));

  const double left = std::ceil(pad + em + gap + devLabels + gap);
  const double top = std::ceil(pad + 0.5 * em);
  const double right = std::ceil(pad + std::max(0.5 * lastTau, 0.5 * em));
  const double bottom = std::ceil(gap + em + 0.3 * em + em + pad);

  LogAxes axes;
  axes.tau = tau;
  axes.dev = dev;
  axes.area = QRectF(left, top, std::max(1.0, size.width() - left - right),
                     std::max(1.0, size.height() - top - bottom));
  double tauLabels = 0.0;
  for (int e = tau.lo; e <= tau.hi; ++e)
    tauLabels = std::max(tauLabels, metrics.horizontalAdvance(tau.Label(e)));
  axes.tauStep = LabelStep(axes.PerDecadeX(), tauLabels + em);
  axes.devStep = LabelStep(axes.PerDecadeY(), 1.2 * em);
  return axes;
}

}  // namespace velk
