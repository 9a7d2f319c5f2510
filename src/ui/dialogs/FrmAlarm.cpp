#include "ui/dialogs/FrmAlarm.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QShowEvent>
#include <QVBoxLayout>
#include <utility>

#include "ui/dialogs/PinDialogWidgets.h"
#include "widgets/TabOrder.h"

namespace velk {

FrmAlarm::FrmAlarm(Session& session, QWidget* parent) : QDialog(parent), session_(session) {
  setObjectName("FrmAlarm");
  setWindowTitle("Alarms");

  FrmAlmCtrl1 = BuildAlarmFrame(0);
  FrmAlmCtrl2 = BuildAlarmFrame(1);
  FrmAlmOutCtrl = BuildOutputFrame();
  // Until the first activation reads the chip.
  for (int n = 0; n < 2; ++n) {
    ShowComparison(n, Comparison::kLess);
    ShowMode(n, ThresholdMode::kFixed);
  }
  ShowOutputEnabled(false);
  ShowOutputPolarity(Polarity::kActiveLow);
  ShowOutputLine(Line::kDio0);
  ComOK = pin_dialogs::Button(this, "ComOK", "OK");

  auto* alarms = new QHBoxLayout;
  alarms->addWidget(FrmAlmCtrl1);
  alarms->addWidget(FrmAlmCtrl2);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(FrmAlmOutCtrl);
  bottom->addStretch();
  bottom->addWidget(ComOK, 0, Qt::AlignBottom);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(alarms);
  layout->addLayout(bottom);
  OrderTabsByPosition(this);

  // A closed box also reports arrow keys, the wheel and leaving it as activations.
  connect(cmboA1S, &QComboBox::activated, this, [this] {
    if (std::exchange(listChoice_[0], false)) cmboA1S_Click();
  });
  connect(cmboA2S, &QComboBox::activated, this, [this] {
    if (std::exchange(listChoice_[1], false)) cmboA2S_Click();
  });
  connect(cmdAlarm1GT, &QPushButton::clicked, this, &FrmAlarm::cmdAlarm1GT_Click);
  connect(cmdAlarm2GT, &QPushButton::clicked, this, &FrmAlarm::cmdAlarm2GT_Click);
  connect(cmdAlarm1mode, &QPushButton::clicked, this, &FrmAlarm::cmdAlarm1mode_Click);
  connect(cmdAlarm2mode, &QPushButton::clicked, this, &FrmAlarm::cmdAlarm2mode_Click);
  connect(cmdAlarmOut, &QPushButton::clicked, this, &FrmAlarm::cmdAlarmOut_Click);
  connect(cmdAlarmPin, &QPushButton::clicked, this, &FrmAlarm::cmdAlarmPin_Click);
  connect(cmdAlarmPolarity, &QPushButton::clicked, this, &FrmAlarm::cmdAlarmPolarity_Click);
  connect(hscAlarm1sp, &QScrollBar::valueChanged, this, &FrmAlarm::hscAlarm1sp_Change);
  connect(hscAlarm2sp, &QScrollBar::valueChanged, this, &FrmAlarm::hscAlarm2sp_Change);
  connect(hscAlarm1thresh, &QScrollBar::valueChanged, this, &FrmAlarm::hscAlarm1thresh_Change);
  connect(hscAlarm2thresh, &QScrollBar::valueChanged, this, &FrmAlarm::hscAlarm2thresh_Change);
  connect(ComOK, &QPushButton::clicked, this, &FrmAlarm::ComOK_Click);
}

QGroupBox* FrmAlarm::BuildAlarmFrame(int n) {
  using namespace pin_dialogs;
  const QString number = QString::number(n + 1);
  auto* frame = Frame(this, QString("FrmAlmCtrl%1").arg(number), "ALARM " + number + " Setup");

  QComboBox*& source = n == 0 ? cmboA1S : cmboA2S;
  source = new QComboBox(frame);
  source->setObjectName(QString("cmboA%1S").arg(number));
  // Editable: a refresh shows names the list does not hold ("Aux ADC").
  source->setEditable(true);
  source->setInsertPolicy(QComboBox::NoInsert);
  source->addItems({"Disabled", "PS", "Gyro Out", "Aux Adc", "Temp Out"});
  source->setEditText("Disabled");
  for (QObject* part :
       {static_cast<QObject*>(source), static_cast<QObject*>(source->lineEdit()),
        static_cast<QObject*>(source->view()), static_cast<QObject*>(source->view()->viewport())})
    part->installEventFilter(this);
  QPushButton*& mode = n == 0 ? cmdAlarm1mode : cmdAlarm2mode;
  mode = Button(frame, QString("cmdAlarm%1mode").arg(number), {});

  QGroupBox*& magFrame = n == 0 ? frameAlm1mag : frameAlm2mag;
  magFrame = Frame(frame, QString("frameAlm%1mag").arg(number), "ALM_MAG" + number);
  QPushButton*& gt = n == 0 ? cmdAlarm1GT : cmdAlarm2GT;
  gt = Button(magFrame, QString("cmdAlarm%1GT").arg(number), {});
  gt->setAccessibleDescription("Comparison");
  QScrollBar*& thresh = n == 0 ? hscAlarm1thresh : hscAlarm2thresh;
  thresh = ScrollBar(magFrame, QString("hscAlarm%1thresh").arg(number), 16383, 32);
  thresh->setAccessibleName("Threshold code");
  QLineEdit*& code = n == 0 ? txtAlarmThreshold1 : txtAlarmThreshold2;
  code = TextBox(magFrame, QString("txtAlarmThreshold%1").arg(number), true);
  code->setAccessibleName("Threshold code");
  QLineEdit*& value = n == 0 ? txtAlarm1Thresh : txtAlarm2Thresh;
  value = TextBox(magFrame, QString("txtAlarm%1Thresh").arg(number), false);
  value->setText("0");
  value->installEventFilter(this);
  QLabel*& units = n == 0 ? LblAlm1Mag : LblAlm2Mag;
  units = new QLabel("Units", magFrame);
  units->setObjectName(QString("LblAlm%1Mag").arg(number));
  const int numberWidth = fontMetrics().horizontalAdvance("-00000.000") + 12;
  code->setMinimumWidth(numberWidth);
  value->setMinimumWidth(numberWidth);
  thresh->setMinimumWidth(numberWidth * 2);
  auto* mag = new QGridLayout(magFrame);
  mag->addWidget(gt, 0, 0);
  mag->addWidget(thresh, 0, 1);
  mag->addWidget(code, 0, 2);
  mag->addWidget(Caption(magFrame, "Threshold", value), 1, 0);
  mag->addWidget(value, 1, 1, Qt::AlignLeft);
  mag->addWidget(units, 1, 2);
  mag->setColumnStretch(1, 1);

  QGroupBox*& smplFrame = n == 0 ? frameAlm1smpl : frameAlm2Smpl;
  smplFrame = Frame(frame, n == 0 ? "frameAlm1smpl" : "frameAlm2Smpl", "ALM_SMPL" + number);
  QScrollBar*& sp = n == 0 ? hscAlarm1sp : hscAlarm2sp;
  sp = ScrollBar(smplFrame, QString("hscAlarm%1sp").arg(number), 255, 8);
  sp->setAccessibleName("Sample Period");
  QLineEdit*& spText = n == 0 ? txtAlarm1sp : txtAlarm2sp;
  spText = TextBox(smplFrame, QString("txtAlarm%1sp").arg(number), true);
  spText->setMinimumWidth(numberWidth);
  auto* smpl = new QGridLayout(smplFrame);
  smpl->addWidget(sp, 0, 0, 1, 3);
  smpl->addWidget(Caption(smplFrame, "Sample Period", spText), 1, 0);
  smpl->addWidget(spText, 1, 1);
  smpl->setColumnStretch(2, 1);

  auto* grid = new QGridLayout(frame);
  grid->addWidget(Caption(frame, "Source", source), 0, 0);
  grid->addWidget(source, 0, 1);
  grid->addWidget(Caption(frame, "Mode", mode, false), 1, 0);
  grid->addWidget(mode, 1, 1);
  grid->addWidget(magFrame, 2, 0, 1, 2);
  grid->addWidget(smplFrame, 3, 0, 1, 2);
  return frame;
}

QGroupBox* FrmAlarm::BuildOutputFrame() {
  using namespace pin_dialogs;
  auto* frame = Frame(this, "FrmAlmOutCtrl", "Alarm Output");
  cmdAlarmOut = Button(frame, "cmdAlarmOut", {});
  cmdAlarmPolarity = Button(frame, "cmdAlarmPolarity", {});
  cmdAlarmPin = Button(frame, "cmdAlarmPin", {});
  auto* grid = new QGridLayout(frame);
  grid->addWidget(Caption(frame, "State", cmdAlarmOut, false), 0, 0);
  grid->addWidget(Caption(frame, "Polarity", cmdAlarmPolarity, false), 0, 1);
  grid->addWidget(Caption(frame, "Pin Select", cmdAlarmPin, false), 0, 2);
  grid->addWidget(cmdAlarmOut, 1, 0);
  grid->addWidget(cmdAlarmPolarity, 1, 1);
  grid->addWidget(cmdAlarmPin, 1, 2);
  return frame;
}

FrmAlarm::Alarm FrmAlarm::Of(int n) {
  Reg47120& reg = session_.reg;
  if (n == 0)
    return {cmboA1S,
            cmdAlarm1mode,
            cmdAlarm1GT,
            hscAlarm1thresh,
            txtAlarmThreshold1,
            txtAlarm1Thresh,
            LblAlm1Mag,
            hscAlarm1sp,
            txtAlarm1sp,
            reg.AlmMag1,
            reg.AlmSmpl1,
            Alarm1Source,
            slot::Alm_Mag1,
            slot::Alm_Smp1,
            11,
            8,
            "Temp Out"};
  return {cmboA2S,
          cmdAlarm2mode,
          cmdAlarm2GT,
          hscAlarm2thresh,
          txtAlarmThreshold2,
          txtAlarm2Thresh,
          LblAlm2Mag,
          hscAlarm2sp,
          txtAlarm2sp,
          reg.AlmMag2,
          reg.AlmSmpl2,
          Alarm2Source,
          slot::Alm_Mag2,
          slot::Alm_Smp2,
          15,
          12,
          "Temp out"};
}

void FrmAlarm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Restoring a minimised window is no new activation.
  if (!event->spontaneous()) Form_Activate();
}

bool FrmAlarm::FilterSourceEvent(int n, QObject* watched, QEvent* event) {
  QComboBox* source = n == 0 ? cmboA1S : cmboA2S;
  if (source == nullptr) return false;  // still being built
  const QEvent::Type type = event->type();
  const auto key = [event] { return static_cast<QKeyEvent*>(event)->key(); };
  const auto enter = [&] { return key() == Qt::Key_Return || key() == Qt::Key_Enter; };
  if (watched == source->view() || watched == source->view()->viewport()) {
    if (type == QEvent::MouseButtonRelease ||
        ((type == QEvent::ShortcutOverride || type == QEvent::KeyPress) && enter()))
      listChoice_[static_cast<size_t>(n)] = true;
    return false;
  }
  if (watched != source && watched != source->lineEdit()) return false;
  if (type == QEvent::Wheel) return true;
  if (type == QEvent::FocusOut) {
    listChoice_[static_cast<size_t>(n)] = false;
    if (watched == source->lineEdit()) source->setEditText(shownSource_[static_cast<size_t>(n)]);
    return false;
  }
  if (type != QEvent::KeyPress) return false;
  listChoice_[static_cast<size_t>(n)] = false;
  if (enter()) {
    SourceClick(n);
    return true;
  }
  const bool altDown =
      key() == Qt::Key_Down && (static_cast<QKeyEvent*>(event)->modifiers() & Qt::AltModifier) != 0;
  return !altDown && (key() == Qt::Key_Up || key() == Qt::Key_Down || key() == Qt::Key_PageUp ||
                      key() == Qt::Key_PageDown);
}

bool FrmAlarm::eventFilter(QObject* watched, QEvent* event) {
  for (int n = 0; n < 2; ++n)
    if (FilterSourceEvent(n, watched, event)) return true;
  if ((watched == txtAlarm1Thresh || watched == txtAlarm2Thresh) &&
      event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (watched == txtAlarm1Thresh)
      txtAlarm1Thresh_KeyDown(key);
    else
      txtAlarm2Thresh_KeyDown(key);
    // Enter belongs to the threshold box; it must not reach the dialog.
    return key == Qt::Key_Return || key == Qt::Key_Enter;
  }
  return QDialog::eventFilter(watched, event);
}

void FrmAlarm::Form_Activate() {
  ReadAlarmSetup();
}

void FrmAlarm::ComOK_Click() {
  accept();
}

}  // namespace velk
