#pragma once

#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <cstdint>

#include "registers/Session.h"
#include "registers/SharedPin.h"

namespace velk {

// The two DIO lines as general-purpose outputs, the data-ready output and the self-tests.
// Each button decides from its caption and flips one bit of the register copy; nothing is
// re-read after a write, but line changes rebuild the pin-use table the alarm dialog checks.
class frmGpioMisc : public QDialog {
  Q_OBJECT
 public:
  explicit frmGpioMisc(Session& session, QWidget* parent = nullptr);

  void Form_Activate();
  void cmdIST_Click();
  void cmdENST_Click();
  void cmdEPST_Click();
  void CmdDat0_Click();
  void CmdDat1_Click();
  void CmdDir0_Click();
  void CmdDir1_Click();
  void CmdDatRdy_Click();
  void CmdCtrlPlry_Click();
  void CmdCtrlLn_Click();
  void ComOK_Click();

  QGroupBox* frameGpio;
  QPushButton* CmdDir1;
  QPushButton* CmdDir0;
  QPushButton* CmdDat1;
  QPushButton* CmdDat0;

  QGroupBox* frameMiscCtrl;
  QPushButton* CmdDatRdy;
  QPushButton* CmdCtrlPlry;
  QPushButton* CmdCtrlLn;
  QPushButton* cmdIST;
  QPushButton* cmdENST;
  QPushButton* cmdEPST;
  QPushButton* ComOK;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QGroupBox* BuildGpioFrame();
  QGroupBox* BuildMiscFrame();

  // A DIO line's direction; the alarm and data-ready outputs keep their lines.
  void Direction(QPushButton* button, int pin, const HeldTexts& texts);
  void Level(QPushButton* button, int pin);
  // Writes Msc_Ctrl from its copy.
  void WriteMisc();
  // Lets the chip settle after a line changed owner and rebuilds the pin-use table.
  void SettleAndRefreshPinUse();

  Session& session_;
};

}  // namespace velk
