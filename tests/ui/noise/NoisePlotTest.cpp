#include <gtest/gtest.h>

#include <QPalette>
#include <cmath>
#include <functional>

#include "support/QtApp.h"
#include "ui/noise/NoisePlot.h"

namespace velk {
namespace {

constexpr double kN = 0.01;  // deg/sqrt(s): 0.6 deg/sqrt(h)
const QColor kBase(30, 30, 30);
const QColor kPoint(42, 130, 218);

// Octaves 1/64 s .. 256 s on white noise alone, sigma = N / sqrt(tau), +-10 %; the first
// three left out of the fit.
noise::Analysis WhiteNoise() {
  noise::Analysis a;
  a.tau0 = 1.0 / 64;
  a.samples = 100000;
  for (int i = -6; i <= 8; ++i) {
    const double tau = std::ldexp(1.0, i);
    const double adev = kN / std::sqrt(tau);
    a.adev.push_back(
        {.tau = tau, .adev = adev, .lo = 0.9 * adev, .hi = 1.1 * adev, .inFit = i >= -3});
  }
  a.terms[noise::kN].allowed = a.terms[noise::kN].shown = a.terms[noise::kN].detected = true;
  a.terms[noise::kN].value = kN * 60.0;
  return a;
}

struct Plot {
  Plot() {
    QPalette dark;
    dark.setColor(QPalette::Base, kBase);
    dark.setColor(QPalette::Text, QColor(230, 230, 230));
    dark.setColor(QPalette::Mid, QColor(80, 80, 80));
    dark.setColor(QPalette::Highlight, kPoint);
    widget.setPalette(dark);
  }
  // The colour at the point (tau, dev in the shown unit), placed by the axes' own decades.
  QColor At(const QImage& image, double tau, double dev) const {
    const LogAxes axes = widget.Axes(kSize);
    const QRectF& a = axes.area;
    const double x = a.left() + (std::log10(tau) - axes.tau.lo) / axes.tau.Count() * a.width();
    const double y = a.bottom() - (std::log10(dev) - axes.dev.lo) / axes.dev.Count() * a.height();
    const qreal dpr = image.devicePixelRatio();
    return image.pixelColor(static_cast<int>(x * dpr), static_cast<int>(y * dpr));
  }
  static constexpr QSize kSize{640, 480};
  bool app = (test::EnsureQApp(), true);  // before the widget
  NoisePlot widget;
};

TEST(NoisePlot, PointsLandWhereWholeDecadeAxesPutThem) {
  struct Case {
    NoisePlot::Unit unit;
    double scale;
    Decades dev;  // around 0.9 x 36/16 .. 1.1 x 36 x 8 deg/h
    const char* top;
    qreal dpr;
  };
  const Case cases[] = {{NoisePlot::Unit::DegPerHour, 3600.0, {0, 3}, "1000", 1.0},
                        {NoisePlot::Unit::DegPerSecond, 1.0, {-4, -1}, "0.1", 2.0}};
  for (const Case& c : cases) {
    Plot plot;
    plot.widget.SetAnalysis(WhiteNoise());
    plot.widget.SetUnit(c.unit);
    const LogAxes axes = plot.widget.Axes(Plot::kSize);
    EXPECT_EQ(axes.tau.lo, -2);
    EXPECT_EQ(axes.tau.hi, 3);
    EXPECT_EQ(axes.dev.lo, c.dev.lo);
    EXPECT_EQ(axes.dev.hi, c.dev.hi);
    EXPECT_EQ(axes.dev.Label(axes.dev.hi).toStdString(), c.top);
    const QImage image = plot.widget.Render(Plot::kSize, c.dpr);
    EXPECT_EQ(image.size(), Plot::kSize * c.dpr);
    EXPECT_EQ(plot.At(image, 1.0, kN * c.scale), kPoint) << c.scale;
    EXPECT_EQ(plot.At(image, 16.0, kN / 4 * c.scale), kPoint) << c.scale;
  }
}

// Hollow: left out of the fit. Missed samples are bridged, so however many, they hollow none.
TEST(NoisePlot, HollowPointsAreTheUnfitted) {
  struct Case {
    int64_t lost;  // of 100000 read
    double tau;
    bool filled;
  };
  const Case cases[] = {{0, 1.0 / 16, false},
                        {0, 1.0 / 8, true},
                        {11000, 1.0 / 16, false},
                        {11000, 1.0 / 8, true},
                        {50000, 2.0, true}};
  for (const Case& c : cases) {
    Plot plot;
    noise::Analysis a = WhiteNoise();
    a.lost = c.lost;
    a.samples -= c.lost;
    plot.widget.SetAnalysis(a);
    const QImage image = plot.widget.Render(Plot::kSize);
    EXPECT_EQ(plot.At(image, c.tau, kN / std::sqrt(c.tau) * 3600.0), c.filled ? kPoint : kBase)
        << c.lost << " lost, tau " << c.tau;
  }
}

// The shown terms: a detected one by its value, one not detected by its bound, and none when
// nothing could be fitted.
TEST(NoisePlot, DescriptionGivesTheShownTermsInDatasheetUnits) {
  struct Case {
    const char* name;
    std::function<void(noise::Analysis&)> change;
    const char* description;
  };
  const auto bound = [](noise::Analysis& a) {
    a.terms[noise::kB].shown = a.terms[noise::kK].shown = true;
    a.terms[noise::kB].detected = true;
    a.terms[noise::kB].value = 40.0;
    a.terms[noise::kK].upperLimit = 612.0;
    a.terms[noise::kR].upperLimit = 1e5;  // not shown
  };
  const Case cases[] = {
      {"detected and bounded", bound, "N 0.60 °/√h, B 40 °/h, K < 610 °/h/√h; 15 points"},
      {"Q detected",
       [](noise::Analysis& a) {
         a.terms[noise::kQ].shown = a.terms[noise::kQ].detected = true;
         a.terms[noise::kQ].value = 0.00065;
       },
       "Q 0.00065 °, N 0.60 °/√h; 15 points"},
      {"not estimated",
       [](noise::Analysis& a) {
         a.notEstimated = "no octave point";
         a.terms = {};
       },
       "terms not estimated; 15 points"},
  };
  for (const Case& c : cases) {
    Plot plot;
    noise::Analysis a = WhiteNoise();
    c.change(a);
    plot.widget.SetAnalysis(a);
    EXPECT_EQ(plot.widget.accessibleDescription().toStdString(), c.description) << c.name;
  }
  Plot plot;
  plot.widget.SetAnalysis(WhiteNoise());
  plot.widget.Clear();
  EXPECT_EQ(plot.widget.accessibleDescription().toStdString(), "Waiting for samples");
}

}  // namespace
}  // namespace velk
