#include "ui/main/AxisMarks.h"

#include "ui/main/Twips.h"

namespace velk {

namespace {

// Designed geometry, twips.
// Right edge as designed; wider to the left so "-320" fits in any font.
constexpr int kLabelLeft = 636;
constexpr int kLabelWidth = 612;
constexpr int kLabelHeight = 252;
constexpr int kTickLeft = 1290;
constexpr int kTickWidth = 150;

}  // namespace

AxisMarks CreateAxisMarks(QWidget* parent) {
  AxisMarks marks;
  for (int i = 0; i < 9; ++i) {
    const QString index = QString::number(i);
    auto* tick = new QFrame(parent);
    tick->setObjectName("LineX" + index);
    tick->setAccessibleName("Axis tick " + index);
    tick->setFrameShape(QFrame::HLine);
    tick->setFrameShadow(QFrame::Plain);
    tick->setLineWidth(1);
    // One pixel high: the widget's top is the mark's height.
    tick->setGeometry(Twips(parent, kTickLeft), 0, Twips(parent, kTickWidth), 1);
    marks.LineX[i] = tick;

    auto* label = new QLabel(parent);
    label->setObjectName("lblYscale" + index);
    label->setAccessibleDescription("Chart axis, degrees per second");
    label->setAlignment(Qt::AlignRight | Qt::AlignTop);
    label->setGeometry(Twips(parent, kLabelLeft), 0, Twips(parent, kLabelWidth),
                       Twips(parent, kLabelHeight));
    marks.lblYscale[i] = label;
  }
  return marks;
}

}  // namespace velk
