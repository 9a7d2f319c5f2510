#include <gtest/gtest.h>
#include "ui/noise/frmNoise.h"

#include <QAbstractSlider>
#include <QComboBox>
#include <QMenuBar>
#include <QRadioButton>
#include <QtTest/QTest>
#include <cmath>
#include <set>
#include <tuple>

#include "support/Captions.h"
#include "support/LoopDriver.h"
#include "support/WindowRig.h"
#include "transport/parallel/dialogs/frmPort.h"
#include "transport/usb/dialogs/frmUSBdebug.h"
#include "transport/usb/dialogs/frmUSBselect.h"
#include "ui/dialogs/FrmAlarm.h"
#include "ui/dialogs/frmAbout.h"
#include "ui/dialogs/frmDAC.h"
#include "ui/dialogs/frmGpioMisc.h"
#include "ui/dialogs/frmManualReg.h"
#include "ui/dialogs/frmPowerdown.h"
#include "ui/main/Controls.h"
#include "ui/main/WriteTrace.h"
#include "widgets/TabOrder.h"

namespace velk {
namespace {

// The main window with every value box at the widest value it can show (of boxes alike, the
// widest of theirs), and every dialog.
struct EveryWindow : test::WindowRig {
  EveryWindow() {
    frmVelk47120& w = Open();
    const std::pair<QLineEdit*, const char*> widest[] = {{w.txtReadReg[output::Gyro], "-600.26"},
                                                         {w.txtReadReg[output::Temp], "-272.57"},
                                                         {w.txtScale, "320"},
                                                         {w.txtSamplePeriod, "7749.12"},
                                                         {w.txtRollAvg, "128"},
                                                         {w.txtAvgUpdateRate, "1983.77"},
                                                         {w.txtLoopDelay, "60000.0"},
                                                         {w.txtLoopCount, "9999999"},
                                                         {w.txtGyroOfst, "-4095"},
                                                         {w.txtFileIndex, "999"}};
    for (auto [box, text] : widest) box->setText(text);
    for (QLabel* flag : {w.lblLowSupplyFlag, w.lblErrorAlarmFlag}) ShowIndicator(flag, true);
    w.lblLoop->setText("Running");
    windows = {&w,
               new FrmAlarm(session, &w),
               new frmGpioMisc(session, &w),
               new frmManualReg(session, &w),
               new frmDAC(session, &w),
               new frmPowerdown(session, &w),
               new frmAbout(session, &w),
               new frmPort(session.analyzer, session.giveio, session.parallel, w, &w),
               new frmUSBselect(session.usb, session.ezUsb, messages, modal, &w),
               new frmUSBdebug(session.usb, session.ezUsb, messages, &w)};
    w.mnuNoise_Click();
    windows.push_back(w.findChild<frmNoise*>());
    for (QWidget* d : windows) {
      if (d == &w) continue;
      d->adjustSize();
      LayOutNow(d);
    }
  }
  std::vector<QWidget*> windows;
};

// The room a widget gives its text, in pixels, and the text; width 0 for no text.
std::pair<int, QString> RoomAndText(QWidget* widget) {
  QStyle* style = widget->style();
  if (auto* box = qobject_cast<QLineEdit*>(widget)) {
    QStyleOptionFrame frame;
    frame.initFrom(box);
    frame.lineWidth =
        box->hasFrame() ? style->pixelMetric(QStyle::PM_DefaultFrameWidth, &frame, box) : 0;
    const QMargins m = box->textMargins();
    const int room = style->subElementRect(QStyle::SE_LineEditContents, &frame, box).width() -
                     m.left() - m.right() - 4;  // the line edit's own 2-pixel margins
    return {room, box->text()};
  }
  if (auto* label = qobject_cast<QLabel*>(widget)) {
    if (label->wordWrap() || label->text().isEmpty()) return {0, {}};
    return {label->contentsRect().width() - 2 * label->margin(), test::Caption(label->text())};
  }
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    if (qobject_cast<WrapButton*>(button)) return {0, {}};  // checked as wrapped text below
    QStyleOptionButton option;
    option.initFrom(button);
    const QStyle::SubElement part = qobject_cast<QCheckBox*>(button) ? QStyle::SE_CheckBoxContents
                                    : qobject_cast<QRadioButton*>(button)
                                        ? QStyle::SE_RadioButtonContents
                                        : QStyle::SE_PushButtonContents;
    return {style->subElementRect(part, &option, button).width(), test::Caption(button->text())};
  }
  if (auto* frame = qobject_cast<QGroupBox*>(widget)) return {frame->width() - 16, frame->title()};
  return {0, {}};
}

// The widest values and every caption show whole, every thumb shows where its bar stands, and
// Tab reaches every control that changes something.
TEST(EveryWindow, ShowsEveryCaptionValueAndThumbAndTabReachesEveryControl) {
  EveryWindow all;
  for (QWidget* window : all.windows) {
    const QList<QWidget*> stops = test::TabStops(window);
    for (QWidget* w : window->findChildren<QWidget*>()) {
      if (w->window() != window || !w->isVisibleTo(window)) continue;
      SCOPED_TRACE(window->objectName().toStdString() + " " + w->objectName().toStdString());
      const auto [room, text] = RoomAndText(w);
      const QFontMetrics metrics(w->font());
      if (auto* wrap = qobject_cast<WrapButton*>(w)) {
        const QRect inside = wrap->rect().adjusted(2, 2, -2, -2);
        EXPECT_TRUE(inside.contains(metrics.boundingRect(inside, Qt::AlignCenter | Qt::TextWordWrap,
                                                         test::Caption(wrap->text()))));
      } else if (!text.isEmpty()) {
        EXPECT_LE(metrics.horizontalAdvance(text), room) << text.toStdString();
      }
      if (auto* bar = qobject_cast<QScrollBar*>(w)) {
        using test::ScrollBarPart;
        const int track = ScrollBarPart(bar, 0, QStyle::SC_ScrollBarGroove).width();
        const int travel = ScrollBarPart(bar, bar->maximum(), QStyle::SC_ScrollBarSlider).x() -
                           ScrollBarPart(bar, bar->minimum(), QStyle::SC_ScrollBarSlider).x();
        EXPECT_GE(travel * 3, track);
      }
      auto* box = qobject_cast<QLineEdit*>(w);
      const bool acts = qobject_cast<QAbstractButton*>(w) || qobject_cast<QAbstractSlider*>(w) ||
                        qobject_cast<QComboBox*>(w) || (box && !box->isReadOnly());
      if (!acts || !w->isEnabled() || w->objectName().startsWith("qt_"))  // shown when needed
        continue;
      if (box && qobject_cast<QComboBox*>(box->parentWidget())) continue;
      // Of a group of option buttons Tab visits one; the arrow keys choose in the group.
      if (qobject_cast<QRadioButton*>(w) && w->objectName() != "optUsbPort0") continue;
      EXPECT_TRUE(stops.contains(w->focusProxy() ? w->focusProxy() : w)) << "not reached by Tab";
    }
  }
}

// WCAG contrast ratio of two colours.
double Contrast(const QColor& a, const QColor& b) {
  const auto luminance = [](const QColor& c) {
    const auto lin = [](double v) {
      return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * lin(c.redF()) + 0.7152 * lin(c.greenF()) + 0.0722 * lin(c.blueF());
  };
  const double la = luminance(a), lb = luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

TEST(EveryWindow, FixedBackgroundsKeepReadableTextUnderADarkPalette) {
  test::EnsureQApp();
  const QPalette light = QApplication::palette();
  QPalette dark(QColor(53, 53, 53), QColor(35, 35, 35));
  dark.setColor(QPalette::WindowText, Qt::white);
  dark.setColor(QPalette::Text, Qt::white);
  QApplication::setPalette(dark);
  {
    test::WindowRig rig;
    frmVelk47120& w = rig.Open();
    const auto check = [&] {
      for (QLabel* label : w.findChildren<QLabel*>()) {
        const QPalette p = label->palette();
        if (label->autoFillBackground() &&
            p.color(QPalette::Window) != dark.color(QPalette::Window)) {
          EXPECT_GE(Contrast(p.color(QPalette::Window), p.color(QPalette::WindowText)), 4.5)
              << label->objectName().toStdString() << " " << label->text().toStdString();
        }
      }
    };
    check();  // "Stopped" on white, indicators clear
    rig.sensor.SetSupply(4.0);
    test::LoopDriver loop(rig);
    loop.onCycle = [&](int) { check(); };  // "Running" on green, "Alarm" on red
    loop.Run(1);
    EXPECT_EQ(w.lblLowSupplyFlag->text(), "Alarm");
    const QImage chart = w.pic1->grab().toImage();
    EXPECT_EQ(chart.pixelColor(chart.width() / 3, chart.height() / 16), QColor(Qt::white));
  }
  QApplication::setPalette(light);
}

TEST(Keyboard, TabFollowsTheReadingOrderAndEveryAccessKeyIsUnique) {
  test::WindowRig rig;
  frmVelk47120& w = rig.Open();
  QStringList names;
  for (QWidget* stop : test::TabStops(&w)) names << stop->objectName();
  EXPECT_EQ(names.join(' ').toStdString(),
            "hscScale cmdNewPart cmdResetFactory pic1 ckAngleOut cmdReadData CmdReadLoop "
            "txtLoopDelay chkOneSweep chkDatalog txtDlogFile txtFileIndex CmdUpdateStatus "
            "cmdReadCal txtGyroOfst txtGyroScale CmdNull CmdRst CmdApply hscSmplPrd hscAvgCnt");

  std::set<QString> keys;
  std::vector<QString> texts;
  for (QAction* entry : w.menuBar()->actions()) texts.push_back(entry->text());
  for (QPushButton* button : w.findChildren<QPushButton*>()) texts.push_back(button->text());
  for (const QString& text : texts) {
    const QString key = QKeySequence::mnemonic(text).toString();
    EXPECT_FALSE(key.isEmpty()) << text.toStdString();
    EXPECT_TRUE(keys.insert(key).second) << "clash: " << text.toStdString();
  }
}

TEST(Keyboard, ArrowAndPageKeysWriteWhatTheMouseStepWrites) {
  // The bar, where it starts, the key, the mouse step that matches it and where both leave it.
  for (auto [name, start, key, mouse, moved] :
       {std::tuple{"hscScale", 0, Qt::Key_Right, QStyle::SC_ScrollBarAddLine, 1},
        {"hscScale", 2, Qt::Key_PageUp, QStyle::SC_ScrollBarSubPage, 1},
        {"hscSmplPrd", 10, Qt::Key_Left, QStyle::SC_ScrollBarSubLine, 9},
        {"hscSmplPrd", 10, Qt::Key_PageDown, QStyle::SC_ScrollBarAddPage, 18}}) {
    SCOPED_TRACE(name);
    std::vector<test::ByteWrite> writes[2];
    for (int byKey = 0; byKey < 2; ++byKey) {
      test::WindowRig rig;
      frmVelk47120& w = rig.Open();
      auto* bar = w.findChild<QScrollBar*>(name);
      bar->setValue(start);
      test::WriteTrace trace(rig.sensor, rig.folder / "spi.txt");
      if (byKey)
        QTest::keyClick(bar, key);
      else
        QTest::mouseClick(bar, Qt::LeftButton, {},
                          test::ScrollBarPart(bar, bar->value(), mouse).center());
      EXPECT_EQ(bar->value(), moved);
      writes[byKey] = trace.Take();
    }
    EXPECT_FALSE(writes[0].empty());
    EXPECT_EQ(writes[1], writes[0]);
  }
}

}  // namespace
}  // namespace velk
