#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

#include "noise/Analysis.h"
#include "ui/noise/LogAxes.h"
#include "ui/noise/PlotModel.h"

namespace velk {

struct PlotStyle;

// The Allan deviation of an analysis on log-log axes over whole decades: each point with its
// interval (hollow when the fit left it out), the fitted total, each term's line and where the
// datasheet reads N, B and K, and a key of the slopes. Painted as the strip chart is, from the
// palette and the widget's font; the same picture renders to an image for Copy and Save.
class NoisePlot : public QWidget {
  Q_OBJECT
 public:
  enum class Unit { DegPerHour, DegPerSecond };

  explicit NoisePlot(QWidget* parent = nullptr);

  void SetAnalysis(const noise::Analysis& analysis);
  void SetUnit(Unit unit);
  Unit ShownUnit() const { return unit_; }
  // Forgets the analysis: the axes and the message alone.
  void Clear();
  // Shown while there are no points; "Waiting for samples" at first.
  void SetMessage(const QString& text);

  // The picture at `size` logical pixels, `dpr` device pixels each.
  QImage Render(QSize size, qreal dpr = 1) const;
  // Where a picture of `size` puts its axes: tau in s, the deviation in the shown unit.
  LogAxes Axes(QSize size) const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  PlotStyle Style() const;
  double Scale() const;
  double DpiScale() const;
  void Paint(QPainter& painter, QSize size) const;
  void ShowTip(QPoint at, QPoint global);
  void Describe();

  PlotModel model_;
  QString description_;
  Unit unit_ = Unit::DegPerHour;
  QString message_;
};

}  // namespace velk
