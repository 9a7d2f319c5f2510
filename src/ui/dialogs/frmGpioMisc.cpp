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
  // Until the first activation reads the chip.
  for (int pin = 0; pin < 2; ++pin) {
    ShowDirection(pin, Direction::kInput);
    ShowLevel(pin, Level::kLow);
  }
  ShowReadyEnabled(false);
  ShowReadyPolarity(Polarity::kActiveLow);
  ShowReadyLine(Line::kDio0);
  ShowPositiveSelfTest(false);
  ShowNegativeSelfTest(false);
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
  CmdDir1 = Button(frame, "CmdDir1", {});
  CmdDir0 = Button(frame, "CmdDir0", {});
  CmdDat1 = Button(frame, "CmdDat1", {});
  CmdDat0 = Button(frame, "CmdDat0", {});
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
  CmdDatRdy = Button(frame, "CmdDatRdy", {});
  CmdCtrlPlry = Button(frame, "CmdCtrlPlry", {});
  CmdCtrlLn = Button(frame, "CmdCtrlLn", {});
  cmdIST = Button(frame, "cmdIST", "Strobe");
  cmdENST = Button(frame, "cmdENST", {});
  cmdEPST = Button(frame, "cmdEPST", {});

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
  for (int pin = 0; pin < 2; ++pin) {
    ShowDirection(
        pin, shows(reg.GpioCtrl, gpio_ctrl::Output(pin)) ? Direction::kOutput : Direction::kInput);
    ShowLevel(pin, shows(reg.GpioCtrl, gpio_ctrl::High(pin)) ? Level::kHigh : Level::kLow);
  }

  spi.ReadRegister(slot::Msc_Ctrl);
  reg.MscCtrl = spi.RegData;
  ShowReadyLine(shows(reg.MscCtrl, msc_ctrl::kReadyDio1) ? Line::kDio1 : Line::kDio0);
  ShowReadyPolarity(shows(reg.MscCtrl, msc_ctrl::kReadyHigh) ? Polarity::kActiveHigh
                                                             : Polarity::kActiveLow);
  ShowReadyEnabled(shows(reg.MscCtrl, msc_ctrl::kReadyEnable));
  ShowPositiveSelfTest(shows(reg.MscCtrl, msc_ctrl::kPositiveSelfTest));
  ShowNegativeSelfTest(shows(reg.MscCtrl, msc_ctrl::kNegativeSelfTest));
  cmdIST->setText("Strobe");
}

void frmGpioMisc::ComOK_Click() {
  accept();
}

}  // namespace velk
