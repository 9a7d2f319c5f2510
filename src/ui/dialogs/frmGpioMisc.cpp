#include "ui/dialogs/frmGpioMisc.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QShowEvent>
#include <QVBoxLayout>

#include "ui/dialogs/PinDialogWidgets.h"
#include "widgets/TabOrder.h"

namespace velk {

frmGpioMisc::frmGpioMisc(Session& session, QWidget* parent) : QDialog(parent), session_(session) {
  setObjectName("frmGpioMisc");
  setWindowTitle("GPIO & Misc Ctrl");
  frameGpio = BuildGpioFrame();
  frameMiscCtrl = BuildMiscFrame();
  ComOK = pin_dialogs::Button(this, "ComOK", "OK");

  auto* bottom = new QHBoxLayout;
  bottom->addStretch();
  bottom->addWidget(ComOK);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(frameGpio);
  layout->addWidget(frameMiscCtrl);
  layout->addLayout(bottom);
  OrderTabsByPosition(this);

  connect(CmdDir0, &QPushButton::clicked, this, &frmGpioMisc::CmdDir0_Click);
  connect(CmdDir1, &QPushButton::clicked, this, &frmGpioMisc::CmdDir1_Click);
  connect(CmdDat0, &QPushButton::clicked, this, &frmGpioMisc::CmdDat0_Click);
  connect(CmdDat1, &QPushButton::clicked, this, &frmGpioMisc::CmdDat1_Click);
  connect(CmdDatRdy, &QPushButton::clicked, this, &frmGpioMisc::CmdDatRdy_Click);
  connect(CmdCtrlPlry, &QPushButton::clicked, this, &frmGpioMisc::CmdCtrlPlry_Click);
  connect(CmdCtrlLn, &QPushButton::clicked, this, &frmGpioMisc::CmdCtrlLn_Click);
  connect(cmdIST, &QPushButton::clicked, this, &frmGpioMisc::cmdIST_Click);
  connect(cmdENST, &QPushButton::clicked, this, &frmGpioMisc::cmdENST_Click);
  connect(cmdEPST, &QPushButton::clicked, this, &frmGpioMisc::cmdEPST_Click);
  connect(ComOK, &QPushButton::clicked, this, &frmGpioMisc::ComOK_Click);
}

QGroupBox* frmGpioMisc::BuildGpioFrame() {
  using namespace pin_dialogs;
  auto* frame = Frame(this, "frameGpio", "GPIO_Control");
  CmdDir1 = Button(frame, "CmdDir1", "Input");
  CmdDir0 = Button(frame, "CmdDir0", "Input");
  CmdDat1 = Button(frame, "CmdDat1", "Low");
  CmdDat0 = Button(frame, "CmdDat0", "Low");
  // Two buttons share each row's caption: the line tells them apart.
  CmdDir1->setAccessibleDescription("Direction DIO1");
  CmdDir0->setAccessibleDescription("Direction DIO0");
  CmdDat1->setAccessibleDescription("State DIO1");
  CmdDat0->setAccessibleDescription("State DIO0");

  auto* grid = new QGridLayout(frame);
  grid->addWidget(new QLabel("DIO1          DIO0", frame), 0, 1, 1, 2, Qt::AlignCenter);
  grid->addWidget(new QLabel("Direction", frame), 1, 0);
  grid->addWidget(CmdDir1, 1, 1);
  grid->addWidget(CmdDir0, 1, 2);
  grid->addWidget(new QLabel("State", frame), 2, 0);
  grid->addWidget(CmdDat1, 2, 1);
  grid->addWidget(CmdDat0, 2, 2);
  return frame;
}

QGroupBox* frmGpioMisc::BuildMiscFrame() {
  using namespace pin_dialogs;
  auto* frame = Frame(this, "frameMiscCtrl", "Misc Control");
  CmdDatRdy = Button(frame, "CmdDatRdy", "Disabled");
  CmdCtrlPlry = Button(frame, "CmdCtrlPlry", "Active Low");
  CmdCtrlLn = Button(frame, "CmdCtrlLn", "DIO-0");
  cmdIST = Button(frame, "cmdIST", "Strobe");
  cmdENST = Button(frame, "cmdENST", "Disabled");
  cmdEPST = Button(frame, "cmdEPST", "Disabled");

  auto* grid = new QGridLayout(frame);
  grid->addWidget(new QLabel("Data Ready Control", frame), 0, 0, 1, 2);
  const std::pair<const char*, QPushButton*> rows[] = {
      {"Output", CmdDatRdy},           {"Polarity", CmdCtrlPlry},
      {"Line Select", CmdCtrlLn},      {"Internal Selftest", cmdIST},
      {"External -Selftest", cmdENST}, {"External +Selftest", cmdEPST}};
  int row = 1;
  for (const auto& [caption, button] : rows) {
    grid->addWidget(Caption(frame, caption, button, false), row, 0);
    grid->addWidget(button, row++, 1);
  }
  return frame;
}

void frmGpioMisc::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Restoring a minimised window is no new activation.
  if (!event->spontaneous()) Form_Activate();
}

void frmGpioMisc::Form_Activate() {
  Spi47120& spi = session_.spi;
  Reg47120& reg = session_.reg;
  spi.ReadRegister(slot::Gpio_Ctrl);
  reg.GpioCtrl = spi.RegData;
  const auto shows = [](int32_t value, int32_t bit) { return (value & bit) != 0; };
  CmdDir0->setText(shows(reg.GpioCtrl, gpio_ctrl::Output(0)) ? "Output" : "Input");
  CmdDir1->setText(shows(reg.GpioCtrl, gpio_ctrl::Output(1)) ? "Output" : "Input");
  CmdDat0->setText(shows(reg.GpioCtrl, gpio_ctrl::High(0)) ? "High" : "Low");
  CmdDat1->setText(shows(reg.GpioCtrl, gpio_ctrl::High(1)) ? "High" : "Low");

  spi.ReadRegister(slot::Msc_Ctrl);
  reg.MscCtrl = spi.RegData;
  CmdCtrlLn->setText(shows(reg.MscCtrl, msc_ctrl::kReadyDio1) ? "DIO-1" : "DIO-0");
  CmdCtrlPlry->setText(shows(reg.MscCtrl, msc_ctrl::kReadyHigh) ? "Active High" : "Active Low");
  CmdDatRdy->setText(shows(reg.MscCtrl, msc_ctrl::kReadyEnable) ? "Enabled" : "Disabled");
  cmdEPST->setText(shows(reg.MscCtrl, msc_ctrl::kPositiveSelfTest) ? "Enabled" : "Disabled");
  cmdENST->setText(shows(reg.MscCtrl, msc_ctrl::kNegativeSelfTest) ? "Enabled" : "Disabled");
  cmdIST->setText("Strobe");
}

void frmGpioMisc::ComOK_Click() {
  accept();
}

}  // namespace velk
