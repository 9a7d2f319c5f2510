#include "ui/dialogs/frmDAC.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QShowEvent>
#include <QVBoxLayout>
#include <algorithm>

#include "core/NumberText.h"
#include "widgets/ScrollBars.h"
#include "widgets/TabOrder.h"

namespace velk {

namespace {

constexpr int32_t kMaxCode = 4095;
constexpr double kMaxVolts = 2.5;
constexpr int32_t kLatchDac = 4;

bool IsEnter(int key) {
  return key == Qt::Key_Return || key == Qt::Key_Enter;
}

}  // namespace

frmDAC::frmDAC(Session& session, QWidget* parent) : QDialog(parent), session_(session) {
  setObjectName("frmDAC");
  setWindowTitle("AUX DAC Settings");

  frameAuxDac = new QGroupBox("Auxiliary DAC  (AUX_DAC)", this);
  hscAuxDAC = new QScrollBar(Qt::Horizontal, frameAuxDac);
  hscAuxDAC->setObjectName("hscAuxDAC");
  hscAuxDAC->setRange(0, kMaxCode);
  hscAuxDAC->setPageStep(16);
  // A drag writes once, on release.
  hscAuxDAC->setTracking(false);
  MakeKeyboardScrollBar(hscAuxDAC);
  hscAuxDAC->setAccessibleName("Auxiliary DAC");
  hscAuxDAC->setMinimumWidth(240);
  txtAuxDacIn = new QLineEdit(frameAuxDac);
  txtAuxDacIn->setObjectName("txtAuxDacIn");
  txtAuxDacIn->setAccessibleName("DAC Code");
  lblAuxDacOut = new QLabel("Output (Volts)", frameAuxDac);
  txtAuxDacOut = new QLineEdit(frameAuxDac);
  txtAuxDacOut->setObjectName("txtAuxDacOut");
  lblAuxDacOut->setBuddy(txtAuxDacOut);
  txtAuxDacOut->setAccessibleName(lblAuxDacOut->text());
  for (QLineEdit* box : {txtAuxDacIn, txtAuxDacOut}) {
    box->setMaximumWidth(80);
    box->installEventFilter(this);
  }

  auto* grid = new QGridLayout(frameAuxDac);
  grid->addWidget(hscAuxDAC, 0, 0);
  grid->addWidget(txtAuxDacIn, 0, 1);
  auto* output = new QHBoxLayout;
  output->addStretch();
  output->addWidget(lblAuxDacOut);
  output->addWidget(txtAuxDacOut);
  grid->addLayout(output, 1, 0, 1, 2);

  cmdOK = new QPushButton("OK", this);
  cmdOK->setObjectName("cmdOK");
  cmdOK->setAutoDefault(false);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(cmdOK);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(frameAuxDac);
  layout->addLayout(buttons);

  OrderTabsByPosition(this);

  connect(hscAuxDAC, &QScrollBar::valueChanged, this, &frmDAC::hscAuxDAC_Change);
  connect(cmdOK, &QPushButton::clicked, this, &frmDAC::cmdOK_Click);
}

void frmDAC::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) Form_Activate();
}

bool frmDAC::eventFilter(QObject* watched, QEvent* event) {
  if ((watched == txtAuxDacIn || watched == txtAuxDacOut) && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (watched == txtAuxDacIn)
      txtAuxDacIn_KeyDown(key);
    else
      txtAuxDacOut_KeyDown(key);
    // Enter belongs to the box; it must not reach the dialog.
    return IsEnter(key);
  }
  return QDialog::eventFilter(watched, event);
}

float frmDAC::Scale() const {
  return session_.reg.RegScale[slot::Aux_DAC];
}

void frmDAC::Form_Activate() {
  Spi47120& spi = session_.spi;
  spi.ReadRegister(slot::Aux_DAC);
  const int32_t code = std::min(spi.RegData, kMaxCode);
  // Moving the scroll bar writes the code, as any move does.
  hscAuxDAC->setValue(code);
  txtAuxDacOut->setText(QString::fromStdString(FormatFixed(spi.RegValue, 4)));
  txtAuxDacIn->setText(QString::number(code));
}

void frmDAC::ShowCode(int32_t code) {
  const float volts = static_cast<float>(code) * Scale();
  txtAuxDacIn->setText(QString::number(code));
  txtAuxDacOut->setText(QString::fromStdString(FormatFixed(volts, 4)));
}

void frmDAC::WriteCode(int32_t code) {
  session_.spi.WriteRegister(slot::Aux_DAC, code);
  session_.spi.WriteRegister(slot::Command, kLatchDac);
}

void frmDAC::hscAuxDAC_Change() {
  const int32_t code = hscAuxDAC->value();
  ShowCode(code);
  WriteCode(code);
}

void frmDAC::txtAuxDacOut_KeyDown(int key) {
  if (!IsEnter(key) || txtAuxDacOut->text().isEmpty()) return;
  double volts = LeadingDecimalNumber(txtAuxDacOut->text().toStdString());
  if (!(volts >= 0.0)) volts = 0.0;
  if (volts > kMaxVolts) volts = kMaxVolts;
  const int32_t code = std::min(RoundToInt32(volts / Scale()), kMaxCode);
  hscAuxDAC->setValue(code);
  // The entry gives way to the voltage the code really produces.
  ShowCode(code);
  WriteCode(code);
}

void frmDAC::txtAuxDacIn_KeyDown(int key) {
  if (!IsEnter(key) || txtAuxDacIn->text().isEmpty()) return;
  const int32_t code = std::clamp(
      RoundToInt32(LeadingDecimalNumber(txtAuxDacIn->text().toStdString())), 0, kMaxCode);
  hscAuxDAC->setValue(code);
  ShowCode(code);
  WriteCode(code);
}

void frmDAC::cmdOK_Click() {
  accept();
}

}  // namespace velk
