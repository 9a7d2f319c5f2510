#pragma once

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <array>
#include <cstdint>

#include "core/Messages.h"
#include "transport/usb/EzUsb.h"
#include "transport/usb/UsbSpiDrivers.h"

namespace velk {

// The engineer's bench for the USB SPI card: card details, SPI settings, and up to 16 words
// written and read back once or in a loop. Hiding the dialog, by OK or the close box, ends a
// running loop first: a hidden dialog has no Stop button.
class frmUSBdebug : public QDialog {
  Q_OBJECT
 public:
  frmUSBdebug(UsbSpiDrivers& usb, EzUsb& ezUsb, MessageSink& messages, QWidget* parent = nullptr);

  // -1 asks a running transfer loop to stop; 0 while it runs.
  int16_t UsbLoopStop = -1;

  void Form_Activate();
  void cmdFindEzUsb_Click();
  // 0..3: the card of that row; 4: no card.
  void optUsbPort_Click(int index);
  void optSpiChan_Click(int index);
  void cmdPolarity_Click();
  void cmdReadDelay_Click();
  // Acts on Enter only.
  void txtLoopDelay_KeyDown(int key);
  void cmdReadBits_Click();
  void cmdSetSpiBits_Click();
  void cmdWriteSpi_Click();
  void cmdLoop_Click();
  void cmdExit_Click();

  // The title-bar close box and Escape act as OK.
  void reject() override;

  QGroupBox* frameBufferSetup;
  std::array<QRadioButton*, 5> optUsbPort{};
  std::array<QLineEdit*, 4> txtUsbPort{};
  std::array<QLineEdit*, 4> txtDescript0{};
  std::array<QLineEdit*, 4> txtDescript1{};
  std::array<QLineEdit*, 4> txtDriverRev{};
  std::array<QLineEdit*, 4> txtSpeed{};
  QLabel* Label2;
  QLabel* Label3;
  QLabel* Label4;
  QLabel* Label6;
  QLabel* Label7;
  QPushButton* cmdFindEzUsb;

  QGroupBox* frameSPIsetup;
  QGroupBox* frameSpiStatic;
  std::array<QCheckBox*, 6> chkStaticBits{};  // 2..5
  QPushButton* cmdReadBits;
  QPushButton* cmdSetSpiBits;
  QGroupBox* frameSpiChan;
  std::array<QRadioButton*, 5> optSpiChan{};  // 1..4
  QLabel* Label5;
  QLineEdit* txtLoopDelay;
  QPushButton* cmdReadDelay;
  QLabel* Label8;
  QPushButton* cmdPolarity;

  QGroupBox* frameManual;
  QLabel* lblNumWords;
  QLineEdit* txtNumWords;
  QLabel* Label1;
  std::array<QLineEdit*, 17> txtWriteSpi{};  // 1..16
  QLabel* lblRead;
  std::array<QLineEdit*, 17> txtReadSpi{};  // 1..16
  QPushButton* cmdWriteSpi;
  QPushButton* cmdLoop;
  QPushButton* cmdExit;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildBufferSelect();
  void BuildSpiSetup();
  void BuildManual();
  void Select(int index);
  bool CardReadyOrSay();
  void ShowDelay();
  void ShowReadback();
  // Each toggle's state with its caption: the one place either is set.
  void ShowPolarity(bool positive);
  void ShowLoopRunning(bool running);

  UsbSpiDrivers& usb_;
  EzUsb& ezUsb_;
  MessageSink& messages_;
  // The toggles as shown, never taken from UsbLoopStop or the card's settings: "None" stops
  // the loop while its button reads Stop until the running pass returns.
  bool positivePolarity_ = true;
  bool loopShownRunning_ = false;
};

}  // namespace velk
