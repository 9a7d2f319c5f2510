#include "transport/usb/dialogs/frmUSBdebug.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QKeyEvent>
#include <QPointer>
#include <QShowEvent>
#include <QVBoxLayout>
#include <algorithm>

#include "core/HexText.h"
#include "core/NumberText.h"
#include "transport/usb/dialogs/BoardText.h"
#include "transport/usb/dialogs/OptionChoice.h"
#include "widgets/TabOrder.h"

namespace velk {

namespace {

constexpr int kRows = 4;
constexpr int kNone = 4;
constexpr int kMaxWords = 16;
const char* const kNoBuffer = "Please Select a Buffer first";

QLineEdit* ShowBox(QWidget* parent, const QString& name, const QString& accessibleName) {
  auto* box = new QLineEdit(parent);
  box->setObjectName(name);
  box->setReadOnly(true);
  box->setAccessibleName(accessibleName);
  return box;
}

QPushButton* Button(QWidget* parent, const char* name, const QString& caption) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  // Enter in a text box must never press a button of this dialog.
  button->setAutoDefault(false);
  return button;
}

QString Hex(int32_t word) {
  return QString::number(word, 16).toUpper();
}

// The static-bit box k stands for bit k + 1 of the card's static bits.
uint8_t StaticBitValue(int k) {
  return static_cast<uint8_t>(1u << (k + 1));
}

}  // namespace

frmUSBdebug::frmUSBdebug(UsbSpiDrivers& usb, EzUsb& ezUsb, MessageSink& messages, QWidget* parent)
    : QDialog(parent), usb_(usb), ezUsb_(ezUsb), messages_(messages) {
  setObjectName("frmUSBdebug");
  setWindowTitle("USB SPI Card Setup");
  BuildBufferSelect();
  BuildSpiSetup();
  BuildManual();
  cmdExit = Button(this, "cmdExit", "OK");

  auto* middle = new QHBoxLayout;
  middle->addWidget(frameSPIsetup);
  middle->addStretch();
  auto* bottom = new QHBoxLayout;
  bottom->addStretch();
  bottom->addWidget(cmdExit);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(frameBufferSetup);
  layout->addLayout(middle);
  layout->addWidget(frameManual);
  layout->addLayout(bottom);
  OrderTabsByPosition(this);

  connect(cmdExit, &QPushButton::clicked, this, &frmUSBdebug::cmdExit_Click);
}

void frmUSBdebug::BuildBufferSelect() {
  frameBufferSetup = new QGroupBox("Buffer Select", this);
  frameBufferSetup->setObjectName("frameBufferSetup");
  QWidget* frame = frameBufferSetup;
  Label2 = new QLabel("Device", frame);
  Label3 = new QLabel("Descriptor0", frame);
  Label4 = new QLabel("Descriptor1", frame);
  Label6 = new QLabel("Rev", frame);
  Label7 = new QLabel("Speed", frame);

  auto* grid = new QGridLayout(frame);
  const std::array<QLabel*, 5> headers{Label2, Label3, Label4, Label6, Label7};
  for (size_t c = 0; c < headers.size(); ++c) grid->addWidget(headers[c], 0, int(c) + 1);
  auto* ports = new QButtonGroup(this);
  for (int i = 0; i < kRows; ++i) {
    const QString row = QString("EzUsb%1").arg(i);
    optUsbPort[i] = new QRadioButton(row, frame);
    optUsbPort[i]->setObjectName(QString("optUsbPort%1").arg(i));
    const auto box = [&](const char* name, QLabel* header) {
      return ShowBox(frame, QString("%1%2").arg(name).arg(i), header->text() + " " + row);
    };
    txtUsbPort[i] = box("txtUsbPort", Label2);
    txtDescript0[i] = box("txtDescript0_", Label3);
    txtDescript1[i] = box("txtDescript1_", Label4);
    txtDriverRev[i] = box("txtDriverRev", Label6);
    txtSpeed[i] = box("txtSpeed", Label7);
    const std::array<QWidget*, 6> cells{optUsbPort[i],   txtUsbPort[i],   txtDescript0[i],
                                        txtDescript1[i], txtDriverRev[i], txtSpeed[i]};
    for (size_t c = 0; c < cells.size(); ++c) grid->addWidget(cells[c], i + 1, int(c));
  }
  optUsbPort[kNone] = new QRadioButton("None", frame);
  optUsbPort[kNone]->setObjectName("optUsbPort4");
  cmdFindEzUsb = Button(frame, "cmdFindEzUsb", "Search");
  grid->addWidget(optUsbPort[kNone], kRows + 1, 0);
  grid->addWidget(cmdFindEzUsb, kRows + 1, 5);
  grid->setColumnStretch(2, 2);
  grid->setColumnStretch(3, 2);
  for (int i = 0; i <= kNone; ++i) {
    ports->addButton(optUsbPort[i], i);
    OnOptionChosen(optUsbPort[i], this, [this, i] { optUsbPort_Click(i); });
  }
  connect(cmdFindEzUsb, &QPushButton::clicked, this, &frmUSBdebug::cmdFindEzUsb_Click);
}

void frmUSBdebug::BuildSpiSetup() {
  frameSPIsetup = new QGroupBox("SPI Setup", this);
  frameSPIsetup->setObjectName("frameSPIsetup");

  frameSpiStatic = new QGroupBox("Static Bits", frameSPIsetup);
  frameSpiStatic->setObjectName("frameSpiStatic");
  auto* bits = new QGridLayout(frameSpiStatic);
  for (int k = 2; k <= 5; ++k) {
    chkStaticBits[k] = new QCheckBox(QString("CS%1").arg(k), frameSpiStatic);
    chkStaticBits[k]->setObjectName(QString("chkStaticBits%1").arg(k));
    bits->addWidget(chkStaticBits[k], (k - 2) / 2, (k - 2) % 2);
  }
  cmdReadBits = Button(frameSpiStatic, "cmdReadBits", "Read");
  cmdSetSpiBits = Button(frameSpiStatic, "cmdSetSpiBits", "Set Bits");
  bits->addWidget(cmdReadBits, 2, 0);
  bits->addWidget(cmdSetSpiBits, 2, 1);

  frameSpiChan = new QGroupBox("Csel Channel", frameSPIsetup);
  frameSpiChan->setObjectName("frameSpiChan");
  auto* channels = new QVBoxLayout(frameSpiChan);
  auto* channelGroup = new QButtonGroup(this);
  for (int c = 1; c <= 4; ++c) {
    optSpiChan[c] = new QRadioButton(QString("Chan%1").arg(c), frameSpiChan);
    optSpiChan[c]->setObjectName(QString("optSpiChan%1").arg(c));
    channelGroup->addButton(optSpiChan[c], c);
    channels->addWidget(optSpiChan[c]);
    OnOptionChosen(optSpiChan[c], this, [this, c] { optSpiChan_Click(c); });
  }

  Label5 = new QLabel("Delay between words (uS)", frameSPIsetup);
  txtLoopDelay = new QLineEdit("10", frameSPIsetup);
  txtLoopDelay->setObjectName("txtLoopDelay");
  Label5->setBuddy(txtLoopDelay);
  txtLoopDelay->setAccessibleName(Label5->text());
  txtLoopDelay->installEventFilter(this);
  cmdReadDelay = Button(frameSPIsetup, "cmdReadDelay", "Read");
  Label8 = new QLabel("Data Input Polarity", frameSPIsetup);
  cmdPolarity = Button(frameSPIsetup, "cmdPolarity", {});
  ShowPolarity(true);
  Label8->setBuddy(cmdPolarity);
  cmdPolarity->setAccessibleDescription(Label8->text());

  auto* grid = new QGridLayout(frameSPIsetup);
  grid->addWidget(frameSpiStatic, 0, 0, 1, 3);
  grid->addWidget(frameSpiChan, 0, 3, 3, 1);
  grid->addWidget(Label5, 1, 0);
  grid->addWidget(txtLoopDelay, 1, 1);
  grid->addWidget(cmdReadDelay, 1, 2);
  grid->addWidget(Label8, 2, 0);
  grid->addWidget(cmdPolarity, 2, 1);

  connect(cmdReadBits, &QPushButton::clicked, this, &frmUSBdebug::cmdReadBits_Click);
  connect(cmdSetSpiBits, &QPushButton::clicked, this, &frmUSBdebug::cmdSetSpiBits_Click);
  connect(cmdReadDelay, &QPushButton::clicked, this, &frmUSBdebug::cmdReadDelay_Click);
  connect(cmdPolarity, &QPushButton::clicked, this, &frmUSBdebug::cmdPolarity_Click);
}

void frmUSBdebug::BuildManual() {
  frameManual = new QGroupBox("Manual Setup", this);
  frameManual->setObjectName("frameManual");
  QWidget* frame = frameManual;
  lblNumWords = new QLabel("# Words to Write", frame);
  txtNumWords = new QLineEdit("1", frame);
  txtNumWords->setObjectName("txtNumWords");
  lblNumWords->setBuddy(txtNumWords);
  txtNumWords->setAccessibleName(lblNumWords->text());
  Label1 = new QLabel("Write (hex)", frame);
  lblRead = new QLabel("Readback", frame);
  cmdWriteSpi = Button(frame, "cmdWriteSpi", "Write");
  cmdLoop = Button(frame, "cmdLoop", {});
  ShowLoopRunning(false);

  auto* grid = new QGridLayout(frame);
  grid->addWidget(lblNumWords, 0, 0);
  grid->addWidget(txtNumWords, 0, 1, 1, 2);
  grid->addWidget(Label1, 1, 0);
  grid->addWidget(lblRead, 2, 0);
  const int wordWidth = fontMetrics().horizontalAdvance("FFFFF") + 12;
  for (int i = 1; i <= kMaxWords; ++i) {
    txtWriteSpi[i] = new QLineEdit("0", frame);
    txtWriteSpi[i]->setObjectName(QString("txtWriteSpi%1").arg(i));
    txtWriteSpi[i]->setAccessibleName(QString("%1 %2").arg(Label1->text()).arg(i));
    txtReadSpi[i] = ShowBox(frame, QString("txtReadSpi%1").arg(i),
                            QString("%1 %2").arg(lblRead->text()).arg(i));
    for (QLineEdit* box : {txtWriteSpi[i], txtReadSpi[i]}) box->setFixedWidth(wordWidth);
    grid->addWidget(txtWriteSpi[i], 1, i);
    grid->addWidget(txtReadSpi[i], 2, i);
  }
  Label1->setBuddy(txtWriteSpi[1]);
  lblRead->setBuddy(txtReadSpi[1]);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(cmdWriteSpi);
  buttons->addWidget(cmdLoop);
  grid->addLayout(buttons, 3, 0, 1, kMaxWords + 1);

  connect(cmdWriteSpi, &QPushButton::clicked, this, &frmUSBdebug::cmdWriteSpi_Click);
  connect(cmdLoop, &QPushButton::clicked, this, &frmUSBdebug::cmdLoop_Click);
}

void frmUSBdebug::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Restoring a minimised window is no new activation.
  if (!event->spontaneous()) Form_Activate();
}

void frmUSBdebug::hideEvent(QHideEvent* event) {
  // However the dialog goes away, its loop must not keep the card busy behind it.
  if (!event->spontaneous()) UsbLoopStop = -1;
  QDialog::hideEvent(event);
}

bool frmUSBdebug::eventFilter(QObject* watched, QEvent* event) {
  if (watched == txtLoopDelay && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    txtLoopDelay_KeyDown(key);
    // Enter belongs to the delay box; it must not reach the dialog.
    return key == Qt::Key_Return || key == Qt::Key_Enter;
  }
  return QDialog::eventFilter(watched, event);
}

void frmUSBdebug::Form_Activate() {
  cmdFindEzUsb_Click();
  const int channel = usb_.SpiChannel;
  if (channel >= 1 && channel <= 4) {
    CheckQuietly(optSpiChan[channel]);
    optSpiChan_Click(channel);
  }
  ShowPolarity(usb_.SpiPolarity != 0);
}

void frmUSBdebug::cmdFindEzUsb_Click() {
  for (int i = 0; i < kRows; ++i) {
    txtUsbPort[i]->setText("None");
    optUsbPort[i]->setEnabled(false);
    for (QLineEdit* box : {txtDescript0[i], txtDescript1[i], txtDriverRev[i], txtSpeed[i]})
      box->clear();
  }
  usb_.FindUsbBuffers();
  for (int i = 0; i < kRows; ++i) {
    const UsbBoardInfo& board = ezUsb_.UsbBoards[static_cast<size_t>(i)];
    if (board.Present != -1) continue;
    txtUsbPort[i]->setText(
        QString("%1 - %2").arg(QString::fromStdString(board.BoardKind)).arg(board.Spare));
    optUsbPort[i]->setEnabled(true);
    if (usb_.UsbDeviceIndex == i) Select(i);
    txtDescript0[i]->setText(QString::fromStdString(board.Descriptor0));
    txtDescript1[i]->setText(QString::fromStdString(board.Descriptor1));
    txtDriverRev[i]->setText(RevisionText(board.FirmwareRev));
    txtSpeed[i]->setText(SpeedText(board.UsbSpeed));
  }
  if (usb_.UsbDeviceIndex == -1) Select(kNone);
}

void frmUSBdebug::Select(int index) {
  CheckQuietly(optUsbPort[index]);
  optUsbPort_Click(index);
}

void frmUSBdebug::optUsbPort_Click(int index) {
  if (index == kNone) {
    frameSPIsetup->setEnabled(false);
    frameManual->setEnabled(false);
    usb_.SelectedUsbBoard.Present = 0;
    UsbLoopStop = -1;
    return;
  }
  usb_.SelectedUsbBoard = ezUsb_.UsbBoards[static_cast<size_t>(index)];
  frameSPIsetup->setEnabled(true);
  frameManual->setEnabled(true);
  optSpiChan_Click(usb_.SpiChannel);
  // Bits before delay, then read both back so the dialog shows what the card holds.
  usb_.SetSpiBits(usb_.SpiStaticBits);
  usb_.SetupSpi(usb_.SpiWordDelay);
  cmdReadDelay_Click();
  cmdReadBits_Click();
}

void frmUSBdebug::optSpiChan_Click(int index) {
  // Travels with the next transfer.
  usb_.SpiChannel = static_cast<uint8_t>(index);
}

void frmUSBdebug::ShowPolarity(bool positive) {
  positivePolarity_ = positive;
  cmdPolarity->setText(positive ? "Pos" : "Neg");
}

void frmUSBdebug::cmdPolarity_Click() {
  const bool positive = !positivePolarity_;
  ShowPolarity(positive);
  usb_.SpiPolarity = positive ? -1 : 0;
}

bool frmUSBdebug::CardReadyOrSay() {
  if (usb_.CardReady()) return true;
  messages_.Show(kNoBuffer);
  return false;
}

void frmUSBdebug::ShowDelay() {
  txtLoopDelay->setText(QString::number(usb_.SpiWordDelay));
}

void frmUSBdebug::cmdReadDelay_Click() {
  if (CardReadyOrSay()) usb_.ReadSpiSetup();
  ShowDelay();
}

void frmUSBdebug::txtLoopDelay_KeyDown(int key) {
  if (key != Qt::Key_Return && key != Qt::Key_Enter) return;
  if (CardReadyOrSay()) {
    const int32_t typed = RoundToInt32(LeadingDecimalNumber(txtLoopDelay->text().toStdString()));
    auto delay = static_cast<uint8_t>(std::clamp(typed, 1, 255));
    usb_.SetupSpi(delay);
  }
  ShowDelay();
}

void frmUSBdebug::cmdReadBits_Click() {
  if (!CardReadyOrSay()) return;
  for (int k = 2; k <= 5; ++k) chkStaticBits[k]->setChecked(false);
  usb_.ReadSpiSetup();
  for (int k = 2; k <= 5; ++k)
    chkStaticBits[k]->setChecked((usb_.SpiStaticBits & StaticBitValue(k)) != 0);
}

void frmUSBdebug::cmdSetSpiBits_Click() {
  if (!CardReadyOrSay()) {
    Select(kNone);
    UsbLoopStop = -1;
    return;
  }
  uint8_t bits = 0;
  for (int k = 2; k <= 5; ++k)
    if (chkStaticBits[k]->isChecked()) bits |= StaticBitValue(k);
  usb_.SetSpiBits(bits);
  if (!usb_.CardReady()) Select(kNone);
}

void frmUSBdebug::ShowReadback() {
  for (int i = 1; i <= usb_.SpiWordCount; ++i) txtReadSpi[i]->setText(Hex(usb_.SpiReadData[i]));
}

void frmUSBdebug::cmdWriteSpi_Click() {
  if (!CardReadyOrSay()) {
    Select(kNone);
    UsbLoopStop = -1;
    return;
  }
  int32_t count = usb_.SpiWordCount;
  if (!txtNumWords->text().isEmpty())
    count = RoundToInt32(LeadingDecimalNumber(txtNumWords->text().toStdString()));
  usb_.SpiWordCount = static_cast<uint8_t>(std::clamp(count, 1, kMaxWords));
  const int n = usb_.SpiWordCount;
  txtNumWords->setText(QString::number(n));

  for (int i = 1; i <= n; ++i) {
    usb_.SpiWriteData[i] = HexToLong(txtWriteSpi[i]->text().toStdString());
    txtWriteSpi[i]->setText(Hex(usb_.SpiWriteData[i]));
  }
  for (int i = n + 1; i <= kMaxWords; ++i) txtWriteSpi[i]->clear();
  for (int i = 1; i <= kMaxWords; ++i) txtReadSpi[i]->clear();

  usb_.WriteReadSpi(usb_.SpiWordCount);
  if (!usb_.CardReady()) Select(kNone);
  ShowReadback();
}

void frmUSBdebug::ShowLoopRunning(bool running) {
  loopShownRunning_ = running;
  cmdLoop->setText(running ? "Stop" : "Loop");
}

void frmUSBdebug::cmdLoop_Click() {
  if (loopShownRunning_) {
    UsbLoopStop = -1;
    ShowLoopRunning(false);
    return;
  }
  ShowLoopRunning(true);
  UsbLoopStop = 0;
  cmdWriteSpi_Click();
  const QPointer<frmUSBdebug> alive(this);
  // A hidden dialog has no Stop button, so the loop runs only while the dialog is shown.
  while (UsbLoopStop == 0 && isVisible()) {
    usb_.WriteReadSpi(usb_.SpiWordCount);
    if (!usb_.CardReady()) {
      UsbLoopStop = -1;
      Select(kNone);
      ShowLoopRunning(false);
    }
    ShowReadback();
    QCoreApplication::processEvents();
    if (!alive) return;
  }
  UsbLoopStop = -1;
  ShowLoopRunning(false);
}

void frmUSBdebug::cmdExit_Click() {
  // Stop the loop before hiding: its handler is still on the stack below this one, and the
  // modal session cannot end until it returns.
  UsbLoopStop = -1;
  accept();
}

void frmUSBdebug::reject() {
  cmdExit_Click();
}

}  // namespace velk
