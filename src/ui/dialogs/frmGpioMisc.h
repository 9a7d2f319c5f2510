#pragma once

#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <array>
#include <cstdint>

#include "registers/Session.h"
#include "registers/SharedPin.h"
#include "ui/dialogs/PinToggles.h"

namespace velk {

// The two DIO lines as general-purpose outputs, the data-ready output and the self-tests.
// Each toggle's state is a member, read from the chip on activation; a click decides from it
// and flips one bit of the register copy. Nothing is re-read after a write, but line changes
// rebuild the pin-use table the alarm dialog checks (and with it the copies).
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
  using Line = pin_dialogs::Line;
  using Polarity = pin_dialogs::Polarity;
  enum class Direction { kInput, kOutput };
  enum class Level { kLow, kHigh };

  QGroupBox* BuildGpioFrame();
  QGroupBox* BuildMiscFrame();

  // Each toggle's state with its caption: the one place either is set.
  void ShowDirection(int pin, Direction direction);
  void ShowLevel(int pin, Level level);
  void ShowReadyEnabled(bool enabled);
  void ShowReadyPolarity(Polarity polarity);
  void ShowReadyLine(Line line);
  void ShowPositiveSelfTest(bool enabled);
  void ShowNegativeSelfTest(bool enabled);

  // A DIO line's direction; the alarm and data-ready outputs keep their lines.
  void DirectionClick(int pin, const HeldTexts& texts);
  void LevelClick(int pin);
  // Writes Msc_Ctrl from its copy.
  void WriteMisc();
  // Lets the chip settle after a line changed owner and rebuilds the pin-use table.
  void SettleAndRefreshPinUse();

  Session& session_;
  // The toggles as shown, per DIO line and for the data-ready output and the self-tests.
  std::array<Direction, 2> direction_{};
  std::array<Level, 2> level_{};
  bool readyEnabled_ = false;
  Polarity readyPolarity_ = Polarity::kActiveLow;
  Line readyLine_ = Line::kDio0;
  bool positiveSelfTest_ = false;
  bool negativeSelfTest_ = false;
};

}  // namespace velk
