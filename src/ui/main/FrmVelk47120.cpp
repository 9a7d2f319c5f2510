#include "ui/main/FrmVelk47120.h"

#include <QApplication>
#include <QCloseEvent>
#include <QStatusBar>
#include <QTimer>

#include "core/Delay.h"
#include "core/NumberText.h"
#include "core/OsName.h"
#include "measure/InterfaceSetup.h"
#include "measure/RangeTable.h"
#include "transport/parallel/dialogs/frmPort.h"
#include "transport/usb/dialogs/frmUSBselect.h"
#include "ui/main/Twips.h"
#include "widgets/ValueLabel.h"

namespace velk {

frmVelk47120::frmVelk47120(Session& session, ModalRunner& modal, ProcessExit& exit, QWidget* parent)
    : QMainWindow(parent),
      DatalogFolder(Datalog::DatalogFolder()),
      session_(session),
      modal_(modal),
      exit_(exit),
      messages_(session.messages) {
  setObjectName("frmVelk47120");
  client_ = new QWidget(this);
  setCentralWidget(client_);
  BuildTopStrip(client_);
  BuildDataRegPanel(client_);
  BuildLoopPanel(client_);
  BuildStatusPanel(client_);
  BuildScalePanel(client_);
  BuildSampleRatePanel(client_);
  BuildCalibrationPanel(client_);
  BuildMenus();
  BuildChartMenu();
  statusBar()->setSizeGripEnabled(true);
  SizeToDesign();
  BuildKeyboard();
  session_.sleep.Arm([this] { RefuseWrite(); });
  Form_Load();
}

frmVelk47120::~frmVelk47120() {
  session_.sleep.Arm({});
}

void frmVelk47120::Form_Load() {
  Analyzer& config = session_.analyzer;
  config.OsName = DetectOsName();
  if (session_.Simulated && config.InterfaceType != interface_type::kParallelPort &&
      config.InterfaceType != interface_type::kUsbCard) {
    // The simulated sensor is always wired: without a choice the window takes its parallel
    // adapter, as the command-line tool does, and saves no choice the user did not make.
    unpickedPortAddress_ = config.PortAddress;
    config.InterfaceType = interface_type::kParallelPort;
    config.PortAddress = 0x378;
  }
  if (config.InterfaceType == interface_type::kParallelPort ||
      config.InterfaceType == interface_type::kUsbCard) {
    PrepareInterface();
  } else {
    config.InterfaceType = interface_type::kNone;
    messages_.Show("Please select an interface before taking data");
  }
  setWindowTitle(kCaption);
  DatalogEnabled = 0;
  config.LoopDelay = 25.0f;
  txtLoopDelay->setText("5.0");
  SetLoopState(LoopState::Stopped);
  const int32_t model = config.DeviceNumber.Numeric();
  ShowValue(lblDeviceNumber, QString::fromStdString(config.DeviceNumber.DisplayText()));
  mnu47120->setChecked(model == 47120);
  mnu47121->setChecked(model == 47121);
  SetPlotScale(model);
}

// The configured interface is made usable once, as the window loads.
void frmVelk47120::PrepareInterface() {
  switch (velk::PrepareInterface(session_)) {
    case PreparedInterface::Port:
      mnuPort->setChecked(true);
      break;
    case PreparedInterface::NoUsb:
      messages_.Show("USB not available for Windows95");
      mnuUsb->setChecked(false);
      mnuUsb->setEnabled(false);
      break;
    case PreparedInterface::Card:
      mnuUsb->setChecked(true);
      break;
    case PreparedInterface::NoCard: {
      frmUSBselect& select = UsbSelectDialog();
      select.move(frameGeometry().topLeft());
      select.UseLastSearch();  // the missing card was reported by the search just made
      modal_.Run(select);
      break;
    }
    case PreparedInterface::None:
    case PreparedInterface::PortAsIs:
      break;
  }
}

void frmVelk47120::ShowInterfaceChecks() {
  mnuPort->setChecked(session_.analyzer.InterfaceType == interface_type::kParallelPort);
  mnuUsb->setChecked(session_.analyzer.InterfaceType == interface_type::kUsbCard);
}

bool frmVelk47120::Check_Interface() {
  const bool usable = CheckInterface(session_);
  if (!usable) messages_.Show(kSelectInterfaceFirst);
  ShowInterfaceChecks();
  return usable;
}

void frmVelk47120::SetPosition(QScrollBar* bar, int value) {
  bar->setValue(value);
}

void frmVelk47120::Form_Activate() {
  Analyzer& config = session_.analyzer;
  Reg47120& reg = session_.reg;
  Spi47120& spi = session_.spi;
  reg.SelectedRegister = 0;
  ShowInterfaceChecks();
  if (config.InterfaceType != interface_type::kParallelPort &&
      config.InterfaceType != interface_type::kUsbCard)
    return;
  // A parallel port at address 0 is no port: touch nothing until one is chosen.
  if (config.InterfaceType == interface_type::kParallelPort && config.PortAddress == 0) return;
  if (CardAway()) {
    ShowStatusLine(CardGoneLine());
    return;
  }
  if (session_.sleep.Asleep()) {
    ShowSleep();
    return;
  }
  const bool woke = session_.sleep.TakeWake();
  if (woke) noiseFeed_.ChipWoke();
  sleepShown_ = false;

  reg.IdentifyProduct(spi);
  if (!(reg.FirmwareRevision >= 0.1f && reg.FirmwareRevision <= 8.0f)) reg.FirmwareRevision = 0;
  noChip_ = reg.ProductName != "VELK47120" && reg.ProductName != "VELK47121";
  // After a power-down the line says again what it said before, unless the chip is gone.
  const bool restore = woke && !noChip_ && !statusAfterSleep_.isEmpty();
  statusBar()->showMessage(restore ? statusAfterSleep_ : ChipLine());
  // The zeros of a silent chip are no setup: moving the panels to them would write them back.
  if (noChip_) return;
  if (config.InterfaceType == interface_type::kUsbCard) replug_.Remember();

  spi.ReadRegister(slot::Smpl_Prd);
  const int32_t period = std::clamp<int32_t>(spi.RegData, 0, 255);
  SetPosition(hscSmplPrd, period);
  txtSmplPrd->setText(QString::number(period));
  SamplePeriod = Reg47120::SamplePeriodMs(period);
  txtSamplePeriod->setText(QString::fromStdString(FormatFixed(SamplePeriod, 2)));

  spi.ReadRegister(slot::Sens_Avg);
  AvgCnt = spi.RegData & 7;
  // Moving the averaging bar writes Sens_Avg back: keep the chip's range bits in it, not the
  // range the window last showed.
  plot_->ScaleBits = spi.RegData & 0x700;
  SetPosition(hscAvgCnt, AvgCnt);
  txtAvgCnt->setText(QString::number(AvgCnt));
  AvgUpdatePeriod = reg.AveragedPeriod(SamplePeriod, AvgCnt);
  txtAvgUpdateRate->setText(QString::fromStdString(FormatFixed(AvgUpdatePeriod / 1000, 2)));
  txtRollAvg->setText(QString::number(reg.AvgTaps));

  ReadScale();
  CmdUpdateStatus_Click();
  spi.ReadRegister(slot::Msc_Ctrl);
  reg.MscCtrl = spi.RegData;
  reg.RefreshPinUse(spi);

  QApplication::setOverrideCursor(Qt::WaitCursor);
  SlicedDelay settle;
  for (int i = 0; i < 10; ++i) {
    settle.Wait(50, i == 9);
    QCoreApplication::processEvents();
  }
  for (int i = 0; i < 25; ++i) {
    DelayMs(100);
    OutputCycle cycle;
    // Settled once the last output read flags no error. An interface lost during the reads has
    // been reported once; stop asking for one.
    if (!ReadDataRegisters(cycle) || !cycle[output::Angle].errorAlarm ||
        config.InterfaceType == interface_type::kNone)
      break;
  }
  QApplication::restoreOverrideCursor();
}

void frmVelk47120::ReadScale() {
  if (session_.analyzer.InterfaceType == interface_type::kNone) return;
  session_.spi.ReadRegister(slot::Sens_Avg);
  plot_->ScaleBits = session_.spi.RegData & 0x700;
  SetPosition(hscScale, RangePosition(plot_->ScaleBits));
}

// The chip's identity and the interface, for the status bar.
QString frmVelk47120::ChipLine() const {
  const Reg47120& reg = session_.reg;
  const Analyzer& config = session_.analyzer;
  QString where;
  if (config.InterfaceType == interface_type::kParallelPort) {
    where =
        "parallel port " + QString::number(static_cast<uint16_t>(config.PortAddress), 16).toUpper();
  } else {
    where = "USB card " + QString::fromStdString(session_.usb.SelectedUsbBoard.DeviceName);
  }
  if (noChip_)
    return "No chip answers on " + where +
           ": check the adapter and cable, the port address and access, or wait for the end of a "
           "power-down.";
  return QString("%1, firmware %2 (%3/%4/%5), %6 flash writes, on %7")
      .arg(QString::fromStdString(reg.ProductName) + (session_.Simulated ? " (simulated)" : ""))
      .arg(QString::fromStdString(FormatFixed(reg.FirmwareRevision, 1)))
      .arg(reg.RevisionMonth)
      .arg(reg.RevisionDay)
      .arg(reg.RevisionYear)
      .arg(reg.FlashCount)
      .arg(where);
}

bool frmVelk47120::ChipAwake() {
  if (session_.sleep.Asleep()) {
    ShowSleep();
    return false;
  }
  if (session_.sleep.Woke()) Form_Activate();
  return true;
}

void frmVelk47120::ShowSleep() {
  const QString line = "The chip sleeps until " +
                       QString::fromStdString(session_.sleep.WakeText()) + " (power-down)";
  if (!sleepShown_) {
    sleepShown_ = true;
    statusAfterSleep_ = statusBar()->currentMessage();
    WakeWhenDue();
  }
  if (statusBar()->currentMessage() != line) statusBar()->showMessage(line);
}

void frmVelk47120::WakeWhenDue() {
  // An idle window wakes with the chip; a run or a click may notice it first. A timer may
  // fire a little early, so one that finds the chip still asleep waits again.
  const int ms = static_cast<int>(session_.sleep.SecondsLeft() * 1000) + 1;
  QTimer::singleShot(ms, Qt::PreciseTimer, this, [this] {
    if (session_.sleep.Asleep())
      WakeWhenDue();
    else
      ChipAwake();
  });
}

void frmVelk47120::RefuseWrite() {
  ShowSleep();
  if (refusalShown_) return;
  refusalShown_ = true;
  ShowRefusal();
}

void frmVelk47120::ShowRefusal() {
  // Not while a mouse button is down: a box opened under a pressed scroll-bar arrow takes the
  // button's release, and the arrow then repeats on its own, writing once the chip wakes.
  if (QGuiApplication::mouseButtons() != Qt::NoButton) {
    QTimer::singleShot(20, this, [this] { ShowRefusal(); });
    return;
  }
  messages_.Show("The chip sleeps until " + session_.sleep.WakeText() + "; nothing was written.");
  QTimer::singleShot(0, this, [this] { refusalShown_ = false; });
}

void frmVelk47120::ShowStatusLine(const QString& text) {
  statusAfterSleep_ = text;
  if (!sleepShown_) statusBar()->showMessage(text);
}

void frmVelk47120::ShowDialog(QDialog& dialog, const std::function<void()>& whenClosed) {
  dialog.move(frameGeometry().topLeft());
  modal_.Run(dialog);
  if (whenClosed) whenClosed();
  Form_Activate();
}

void frmVelk47120::CheckInterfaceEntries(bool port, bool usb) {
  mnuPort->setChecked(port);
  mnuUsb->setChecked(usb);
}

frmPort& frmVelk47120::PortDialog() {
  if (portDialog_ == nullptr)
    portDialog_ = new frmPort(session_.analyzer, session_.giveio, session_.parallel, *this, this);
  return *portDialog_;
}

frmUSBselect& frmVelk47120::UsbSelectDialog() {
  if (usbSelect_ == nullptr)
    usbSelect_ = new frmUSBselect(session_.usb, session_.ezUsb, messages_, modal_, this);
  return *usbSelect_;
}

void frmVelk47120::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (shown_) return;
  shown_ = true;
  // After the first paint, so the window is on screen while the chip settles.
  QMetaObject::invokeMethod(this, &frmVelk47120::Form_Activate, Qt::QueuedConnection);
}

void frmVelk47120::closeEvent(QCloseEvent* event) {
  event->ignore();
  MnuExit_Click();
}

}  // namespace velk
