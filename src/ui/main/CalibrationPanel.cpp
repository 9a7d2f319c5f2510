#include "ui/main/Controls.h"
#include "ui/main/FrmVelk47120.h"

namespace velk {

void frmVelk47120::BuildCalibrationPanel(QWidget* client) {
  FrameCal = MakeFrame(client, "FrameCal", "Calibration Registers", 8190, 4350, 2085, 3372);
  cmdReadCal = MakeButton(FrameCal, "cmdReadCal", "Read", 1260, 375, 615, 300);
  txtGyroOfst = MakeTextBox(FrameCal, "txtGyroOfst", 1260, 780, 615, 285);
  MakeCaption(FrameCal, "GYRO_OFST", 120, 810, 1100, 255, txtGyroOfst);
  txtGyroScale = MakeTextBox(FrameCal, "txtGyroScale", 1260, 1140, 615, 285);
  MakeCaption(FrameCal, "GYRO_SCALE", 120, 1170, 1100, 255, txtGyroScale);
  CmdNull = MakeButton(FrameCal, "CmdNull", "Auto Null", 360, 1800, 1335, 320);
  CmdRst = MakeButton(FrameCal, "CmdRst", "Factory Reset", 360, 2280, 1335, 320);
  CmdApply = MakeButton(FrameCal, "CmdApply", "Apply", 990, 2760, 735, 375);

  cmdResetFactory =
      MakeWrapButton(client, "cmdResetFactory", "Reset to Factory Defaults", 10320, 40, 855, 735);
  cmdResetFactory->setToolTip("Reset Part Setup to Factory Defaults");
  cmdNewPart = MakeWrapButton(client, "cmdNewPart", "Read Setup", 9480, 240, 732, 495);
  cmdNewPart->setToolTip("Read and Display the Part Setup");

  connect(cmdReadCal, &QPushButton::clicked, this, &frmVelk47120::cmdReadCal_Click);
  connect(CmdApply, &QPushButton::clicked, this, &frmVelk47120::CmdApply_Click);
  connect(CmdNull, &QPushButton::clicked, this, &frmVelk47120::CmdNull_Click);
  connect(CmdRst, &QPushButton::clicked, this, &frmVelk47120::CmdRst_Click);
  connect(cmdResetFactory, &QPushButton::clicked, this, &frmVelk47120::cmdResetFactory_Click);
  connect(cmdNewPart, &QPushButton::clicked, this, &frmVelk47120::cmdNewPart_Click);
}

void frmVelk47120::cmdReadCal_Click() {}
void frmVelk47120::CmdApply_Click() {}
void frmVelk47120::CmdNull_Click() {}
void frmVelk47120::CmdRst_Click() {}
void frmVelk47120::cmdResetFactory_Click() {}

void frmVelk47120::cmdNewPart_Click() {
  if (Check_Interface()) Form_Activate();
}

}  // namespace velk
