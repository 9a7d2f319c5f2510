#pragma once

#include <QButtonGroup>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <array>

#include "core/Messages.h"
#include "core/ModalRunner.h"
#include "transport/usb/EzUsb.h"
#include "transport/usb/UsbSpiDrivers.h"
#include "transport/usb/dialogs/frmUSBdebug.h"

namespace velk {

// Shows the attached USB SPI cards and chooses the one the program talks to. Never changes
// the interface type: the main window reads the card-ready flag when it closes.
class frmUSBselect : public QDialog {
  Q_OBJECT
 public:
  frmUSBselect(UsbSpiDrivers& usb, EzUsb& ezUsb, MessageSink& messages, ModalRunner& modal,
               QWidget* parent = nullptr);

  // Searches afresh each time the dialog comes up, and again when the setup dialog returns.
  void Form_Activate();
  // The next activation shows the search just made instead of searching (and reporting a
  // missing card) again.
  void UseLastSearch() { useLastSearch_ = true; }
  void cmdFindEzUsb_Click();
  // 0..3: the card of that row; 4: no card.
  void optUsbPort_Click(int index);
  void cmdDebugUsb_Click();
  void cmdExit_Click();

  // The setup dialog, created once; "None" here stops its transfer loop.
  frmUSBdebug& Debug() { return *debug_; }

  QGroupBox* frameBufferSetup;
  std::array<QRadioButton*, 5> optUsbPort{};
  std::array<QLineEdit*, 4> txtDescript0{};
  std::array<QLineEdit*, 4> txtDriverRev{};
  std::array<QLineEdit*, 4> txtSpeed{};
  QLabel* Label3;
  QLabel* Label6;
  QLabel* Label7;
  QPushButton* cmdFindEzUsb;
  QPushButton* cmdDebugUsb;
  QPushButton* cmdExit;

  // The title-bar close box and Escape act as OK.
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Select(int index);
  // Fills the grid from the last search.
  void ShowBoards();

  bool useLastSearch_ = false;
  UsbSpiDrivers& usb_;
  EzUsb& ezUsb_;
  MessageSink& messages_;
  ModalRunner& modal_;
  QButtonGroup* ports_;
  frmUSBdebug* debug_;
};

}  // namespace velk
