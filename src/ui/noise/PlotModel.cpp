#include "ui/noise/PlotModel.h"

#include <QStringList>
#include <cmath>

#include "noise/Units.h"

namespace velk {

namespace {

using noise::kTermCount;

// Datasheet units back to the fit's deg/s units, Q R in their own.
constexpr std::array<double, kTermCount> kFromDatasheet = {
    1.0, 1.0 / noise::kArwToDegPerRootHour, 1.0 / noise::kBiToDegPerHour,
    1.0 / noise::kRrwToDegPerHourRootHour, 1.0 / noise::kRampToDegPerHourSquared};

constexpr std::array<const char*, kTermCount> kLetter = {"Q", "N", "B", "K", "R"};
constexpr std::array<const char*, kTermCount> kUnit = {"°", "°/√h", "°/h", "°/h/√h", "°/h²"};

bool Positive(double v) {
  return std::isfinite(v) && v > 0.0;
}

// Two significant figures, never in exponent form: "0.60", "40", "610".
QString TwoFigures(double v) {
  if (!Positive(v)) return "0";
  const int decimals = 1 - static_cast<int>(std::floor(std::log10(v)));
  if (decimals >= 0) return QString::number(v, 'f', std::min(decimals, 8));
  const double unit = std::pow(10.0, -decimals);
  return QString::number(std::round(v / unit) * unit, 'f', 0);
}

}  // namespace

double PlotModel::Term(noise::Term term, double tau) const {
  const double c = coefficient[term];
  return c * std::sqrt(noise::TermShape(term, tau));
}

double PlotModel::Total(double tau) const {
  double sum = 0.0;
  for (int t = 0; t < kTermCount; ++t) {
    const double c = coefficient[t];
    sum += c * c * noise::TermShape(noise::Term(t), tau);
  }
  return std::sqrt(sum);
}

bool PlotModel::HasFit() const {
  for (double c : coefficient)
    if (c > 0.0) return true;
  return false;
}

PlotModel MakePlotModel(const noise::Analysis& a) {
  PlotModel model;
  for (const noise::AdevRow& row : a.adev) {
    if (!Positive(row.tau) || !Positive(row.adev)) continue;
    AdevMark mark;
    mark.tau = row.tau;
    mark.dev = row.adev;
    mark.inFit = row.inFit;
    if (row.lo && Positive(*row.lo)) mark.lo = row.lo;
    if (row.hi && Positive(*row.hi)) mark.hi = row.hi;
    model.points.push_back(mark);
  }
  // Only a detected term has a line: one not detected is bounded, not measured.
  for (int t = 0; t < kTermCount; ++t) {
    const noise::TermReport& term = a.terms[t];
    if (!a.notEstimated && term.detected && term.value && Positive(*term.value))
      model.coefficient[t] = *term.value * kFromDatasheet[t];
  }
  return model;
}

QString DescribeTerms(const noise::Analysis& a, size_t points) {
  QStringList parts;
  if (a.notEstimated) parts << "terms not estimated";
  for (int t = 0; t < kTermCount && !a.notEstimated; ++t) {
    const noise::TermReport& term = a.terms[t];
    if (!term.shown) continue;
    const QString unit = QString::fromUtf8(kUnit[t]);
    if (term.detected && term.value && Positive(*term.value)) {
      parts << QString("%1 %2 %3").arg(kLetter[t], TwoFigures(*term.value), unit);
    } else if (term.upperLimit && Positive(*term.upperLimit)) {
      parts << QString("%1 < %2 %3").arg(kLetter[t], TwoFigures(*term.upperLimit), unit);
    } else {
      parts << QString("%1 not detected").arg(kLetter[t]);
    }
  }
  const QString count = points == 1 ? QString("1 point") : QString("%1 points").arg(points);
  return parts.isEmpty() ? count : parts.join(", ") + "; " + count;
}

}  // namespace velk
