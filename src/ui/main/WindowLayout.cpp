#include <QEvent>
#include <QMenuBar>
#include <QStatusBar>
#include <cmath>

#include "ui/main/Controls.h"
#include "ui/main/FrmVelk47120.h"
#include "ui/main/Twips.h"
#include "widgets/ValueLabel.h"

namespace velk {

namespace {

// The client area is the designed window less its title bar, menu bar and borders; these
// allowances turn client twips into the outer size the resize rule is written for.
constexpr int kFrameWidth = 135;
constexpr int kFrameHeight = 840;
constexpr int kDesignedClientWidth = 13080;
constexpr int kDesignedClientHeight = 7785;

constexpr int kMinOuterHeight = 5700;
constexpr int kMinOuterWidth = 8500;
constexpr int kBottomGap = 900;
constexpr int kChartToRowGap = 200;
constexpr int kChartRightGap = 300;

constexpr int kChartLeft = 1440;
constexpr int kChartTop = 860;
constexpr int kPanelHeight = 3372;

int ToTwips(const QWidget* widget, int pixels) {
  return static_cast<int>(std::lround(pixels * 1440.0 / widget->logicalDpiX()));
}

}  // namespace

void frmVelk47120::BuildTopStrip(QWidget* client) {
  // The designed geometry assumes the classic 8-point dialog font; the sans-serif fonts here
  // are wider, and at 7.5 points take the room it took. Points, so the text grows with the
  // screen's DPI exactly as the twips do.
  QFont font = this->font();
  font.setFamilies({"Liberation Sans", "Arial", "Nimbus Sans", "Helvetica", font.family()});
  font.setPointSizeF(7.5);
  setFont(font);

  pic1 = new StripChart(client);
  pic1->SetTwipsGeometry(kChartLeft, kChartTop, 11475, 3348);
  marks = CreateAxisMarks(client);
  plot_ = std::make_unique<Plot47120>(*pic1, marks);

  lblDeviceNumber = MakeLabel(client, "lblDeviceNumber", "", 180, 1350, 735, 165);
  NameValue(lblDeviceNumber, "Device");

  ProgressBar3 = new QProgressBar(client);
  ProgressBar3->setObjectName("ProgressBar3");
  ProgressBar3->setAccessibleName("Angle");
  ProgressBar3->setRange(0, 1440);
  ProgressBar3->setValue(0);
  ProgressBar3->setTextVisible(false);
  PlaceTwips(ProgressBar3, 1440, 528, 5772, 252);
  constexpr int kLabelWidth = 420;
  for (int k = 0; k <= 4; ++k) {
    const int x = 1440 + k * 5772 / 4;
    lblScale.push_back(MakeLabel(client, "lblScale", QString::number(k * 90), x - kLabelWidth / 2,
                                 240, kLabelWidth, 195));
    auto* tick = new QFrame(client);
    tick->setFrameShape(QFrame::VLine);
    tick->setFrameShadow(QFrame::Plain);
    tick->setGeometry(Twips(client, x), Twips(client, 435), 1, Twips(client, 93));
  }
}

bool frmVelk47120::eventFilter(QObject* watched, QEvent* event) {
  if (watched == client_ && event->type() == QEvent::Resize) Form_Resize();
  return QMainWindow::eventFilter(watched, event);
}

void frmVelk47120::Form_Resize() {
  if (pic1 == nullptr || FrmStatus == nullptr) return;  // still being built
  if (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized)) return;
  const int outerHeight =
      std::max(ToTwips(client_, client_->height()) + kFrameHeight, kMinOuterHeight);
  const int outerWidth = std::max(ToTwips(client_, client_->width()) + kFrameWidth, kMinOuterWidth);

  const int rowTop = outerHeight - kPanelHeight - kBottomGap;
  for (QGroupBox* panel : {frameDataReg, FrmStatus, frameSampleRate, frameLoopRun, FrameCal})
    panel->move(panel->x(), Twips(client_, rowTop));

  pic1->SetTwipsGeometry(kChartLeft, kChartTop, outerWidth - kChartLeft - kChartRightGap,
                         rowTop - kChartTop - kChartToRowGap);

  for (int i = 1; i <= 7; ++i) marks.lblYscale[i]->setVisible(true);
  if (outerHeight < 7200)
    for (int i : {1, 3, 5, 7}) marks.lblYscale[i]->setVisible(false);
  if (outerHeight < 6300)
    for (int i : {2, 6}) marks.lblYscale[i]->setVisible(false);
  if (outerHeight < 5900) marks.lblYscale[4]->setVisible(false);

  plot_->RedrawPlot();
  plot_->PlotX = pic1->Width() + 1;
}

// Sizes the window to its designed client area and keeps it from shrinking below the
// smallest outer size.
void frmVelk47120::SizeToDesign() {
  client_->setMinimumSize(Twips(client_, kMinOuterWidth - kFrameWidth),
                          Twips(client_, kMinOuterHeight - kFrameHeight));
  const int bars = menuBar()->sizeHint().height() + statusBar()->sizeHint().height();
  resize(Twips(client_, kDesignedClientWidth), Twips(client_, kDesignedClientHeight) + bars);
  client_->installEventFilter(this);
  Form_Resize();
}

}  // namespace velk
