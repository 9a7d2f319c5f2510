#include "transport/usb/dialogs/frmUSBselect.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QShowEvent>
#include <QVBoxLayout>

#include "transport/usb/dialogs/BoardText.h"
#include "transport/usb/dialogs/OptionChoice.h"
#include "widgets/TabOrder.h"

namespace velk {

namespace {

constexpr int kRows = 4;
constexpr int kNone = 4;

QLineEdit* GridBox(QWidget* parent, const QString& name, QLabel* header, const QString& row) {
  auto* box = new QLineEdit(parent);
  box->setObjectName(name);
  box->setReadOnly(true);
  box->setAccessibleName(header->text() + " " + row);
  return box;
}

}  // namespace

frmUSBselect::frmUSBselect(UsbSpiDrivers& usb, EzUsb& ezUsb, MessageSink& messages,
                           ModalRunner& modal, QWidget* parent)
    : QDialog(parent), usb_(usb), ezUsb_(ezUsb), messages_(messages), modal_(modal) {
  setObjectName("frmUSBselect");
  setWindowTitle("USB SPI Card Selection");

  frameBufferSetup = new QGroupBox("Buffer Select", this);
  frameBufferSetup->setObjectName("frameBufferSetup");
  frameBufferSetup->setToolTip("Select the SPI board to use");
  Label3 = new QLabel("Board", frameBufferSetup);
  Label6 = new QLabel("Rev", frameBufferSetup);
  Label7 = new QLabel("Speed", frameBufferSetup);

  auto* grid = new QGridLayout(frameBufferSetup);
  grid->addWidget(Label3, 0, 1);
  grid->addWidget(Label6, 0, 2);
  grid->addWidget(Label7, 0, 3);
  ports_ = new QButtonGroup(this);
  for (int i = 0; i < kRows; ++i) {
    const QString row = QString("EzUsb%1").arg(i);
    optUsbPort[i] = new QRadioButton(row, frameBufferSetup);
    optUsbPort[i]->setObjectName(QString("optUsbPort%1").arg(i));
    txtDescript0[i] = GridBox(frameBufferSetup, QString("txtDescript0_%1").arg(i), Label3, row);
    txtDriverRev[i] = GridBox(frameBufferSetup, QString("txtDriverRev%1").arg(i), Label6, row);
    txtSpeed[i] = GridBox(frameBufferSetup, QString("txtSpeed%1").arg(i), Label7, row);
    grid->addWidget(optUsbPort[i], i + 1, 0);
    grid->addWidget(txtDescript0[i], i + 1, 1);
    grid->addWidget(txtDriverRev[i], i + 1, 2);
    grid->addWidget(txtSpeed[i], i + 1, 3);
  }
  optUsbPort[kNone] = new QRadioButton("None", frameBufferSetup);
  optUsbPort[kNone]->setObjectName("optUsbPort4");
  grid->addWidget(optUsbPort[kNone], kRows + 1, 0);
  grid->setColumnStretch(1, 3);
  for (int i = 0; i <= kNone; ++i) {
    ports_->addButton(optUsbPort[i], i);
    OnOptionChosen(optUsbPort[i], this, [this, i] { optUsbPort_Click(i); });
  }

  cmdFindEzUsb = new QPushButton("Search", this);
  cmdFindEzUsb->setObjectName("cmdFindEzUsb");
  cmdDebugUsb = new QPushButton("Debug", this);
  cmdDebugUsb->setObjectName("cmdDebugUsb");
  cmdExit = new QPushButton("OK", this);
  cmdExit->setObjectName("cmdExit");
  cmdExit->setDefault(true);
  for (QPushButton* button : {cmdFindEzUsb, cmdDebugUsb}) button->setAutoDefault(false);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(cmdFindEzUsb);
  buttons->addWidget(cmdDebugUsb);
  buttons->addStretch();
  buttons->addWidget(cmdExit);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(frameBufferSetup);
  layout->addLayout(buttons);
  OrderTabsByPosition(this);

  connect(cmdFindEzUsb, &QPushButton::clicked, this, &frmUSBselect::cmdFindEzUsb_Click);
  connect(cmdDebugUsb, &QPushButton::clicked, this, &frmUSBselect::cmdDebugUsb_Click);
  connect(cmdExit, &QPushButton::clicked, this, &frmUSBselect::cmdExit_Click);

  debug_ = new frmUSBdebug(usb_, ezUsb_, messages_, this);
}

void frmUSBselect::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Restoring a minimised window is no new activation.
  if (!event->spontaneous()) Form_Activate();
}

void frmUSBselect::Form_Activate() {
  if (useLastSearch_) {
    useLastSearch_ = false;
    ShowBoards();
  } else {
    cmdFindEzUsb_Click();
  }
}

void frmUSBselect::cmdFindEzUsb_Click() {
  for (int i = 0; i < kRows; ++i) {
    optUsbPort[i]->setEnabled(false);
    txtDescript0[i]->clear();
    txtDriverRev[i]->clear();
    txtSpeed[i]->clear();
  }
  usb_.FindUsbBuffers();
  ShowBoards();
}

void frmUSBselect::ShowBoards() {
  for (int i = 0; i < kRows; ++i) {
    const UsbBoardInfo& board = ezUsb_.UsbBoards[static_cast<size_t>(i)];
    const bool present = board.Present == -1;
    optUsbPort[i]->setEnabled(present);
    txtDescript0[i]->setText(present ? QString::fromStdString(board.Descriptor0) : QString());
    txtDriverRev[i]->setText(present ? RevisionText(board.FirmwareRev) : QString());
    txtSpeed[i]->setText(present ? SpeedText(board.UsbSpeed) : QString());
    if (present && usb_.UsbDeviceIndex == i) Select(i);
  }
  if (usb_.UsbDeviceIndex == -1) Select(kNone);
}

void frmUSBselect::Select(int index) {
  CheckQuietly(optUsbPort[index]);
  optUsbPort_Click(index);
}

void frmUSBselect::optUsbPort_Click(int index) {
  if (index == kNone) {
    usb_.SelectedUsbBoard.Present = 0;
    debug_->UsbLoopStop = -1;
    return;
  }
  usb_.SelectedUsbBoard = ezUsb_.UsbBoards[static_cast<size_t>(index)];
  usb_.SetupSpi(usb_.SpiWordDelay);
  usb_.SetSpiBits(usb_.SpiStaticBits);
}

void frmUSBselect::cmdDebugUsb_Click() {
  // This dialog sits where the main window's corner is, and so does the setup dialog.
  debug_->move(pos());
  modal_.Run(*debug_);
  // Coming back from the setup dialog activates this one again: the grid shows the cards
  // as they are now, whatever was chosen there.
  if (isVisible()) Form_Activate();
}

void frmUSBselect::cmdExit_Click() {
  accept();
}

void frmUSBselect::reject() {
  cmdExit_Click();
}

}  // namespace velk
