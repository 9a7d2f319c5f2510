#include <QCoreApplication>
#include <QMenuBar>

#include "core/Delay.h"
#include "core/FilePlaces.h"
#include "core/OsName.h"
#include "transport/parallel/dialogs/frmPort.h"
#include "transport/usb/dialogs/frmUSBselect.h"
#include "ui/dialogs/FrmAlarm.h"
#include "ui/dialogs/frmAbout.h"
#include "ui/dialogs/frmDAC.h"
#include "ui/dialogs/frmGpioMisc.h"
#include "ui/dialogs/frmManualReg.h"
#include "ui/dialogs/frmPowerdown.h"
#include "ui/main/FrmVelk47120.h"
#include "ui/main/HelpWindow.h"
#include "ui/main/WindowAcquisition.h"
#include "ui/noise/frmNoise.h"
#include "widgets/ValueLabel.h"

namespace velk {

void frmVelk47120::BuildMenus() {
  QMenuBar* bar = menuBar();
  QMenu* iface = bar->addMenu("&Interface");
  mnuInterface = iface->menuAction();
  mnuPort = iface->addAction("&Parallel Port");
  mnuUsb = iface->addAction("&USB");
  QMenu* device = bar->addMenu("&Device");
  mnuDevice = device->menuAction();
  mnu47120 = device->addAction("4712&0");
  mnu47121 = device->addAction("4712&1");
  for (QAction* entry : {mnuPort, mnuUsb, mnu47120, mnu47121}) entry->setCheckable(true);

  MnuAlarms = bar->addAction("Alar&ms");
  MnuGpioMsc = bar->addAction("&GPIO/MSC");
  mnuRegister = bar->addAction("Regis&ter");
  mnuAuxDac = bar->addAction("Aux DA&C");
  mnuPowerdown = bar->addAction("&Powerdown");
  // Every letter of "Noise" is another control's access key in this window (Alt+N is Auto
  // Null's), so the entry says what it opens with a free one.
  mnuNoise = bar->addAction("Noise Anal&ysis...");
  MnuAbout = bar->addAction("A&bout");
  mnuHelp = bar->addAction("&Help");
  MnuExit = bar->addAction("E&xit");

  const auto on = [this](QAction* entry, void (frmVelk47120::*handler)()) {
    connect(entry, &QAction::triggered, this, handler);
  };
  on(mnuPort, &frmVelk47120::mnuPort_Click);
  on(mnuUsb, &frmVelk47120::mnuUsb_Click);
  on(mnu47120, &frmVelk47120::mnu47120_Click);
  on(mnu47121, &frmVelk47120::mnu47121_Click);
  on(MnuAlarms, &frmVelk47120::MnuAlarms_Click);
  on(MnuGpioMsc, &frmVelk47120::MnuGpioMsc_Click);
  on(mnuRegister, &frmVelk47120::mnuRegister_Click);
  on(mnuAuxDac, &frmVelk47120::mnuAuxDac_Click);
  on(mnuPowerdown, &frmVelk47120::mnuPowerdown_Click);
  on(mnuNoise, &frmVelk47120::mnuNoise_Click);
  on(MnuAbout, &frmVelk47120::MnuAbout_Click);
  on(mnuHelp, &frmVelk47120::mnuHelp_Click);
  on(MnuExit, &frmVelk47120::MnuExit_Click);
}

void frmVelk47120::mnuPort_Click() {
  unpickedPortAddress_.reset();
  ShowDialog(PortDialog(), [this] {
    Analyzer& config = session_.analyzer;
    if (config.PortAddress != 0) config.InterfaceType = interface_type::kParallelPort;
    ShowInterfaceChecks();
  });
}

void frmVelk47120::mnuUsb_Click() {
  unpickedPortAddress_.reset();
  ShowDialog(UsbSelectDialog(), [this] {
    session_.analyzer.InterfaceType =
        session_.usb.CardReady() ? interface_type::kUsbCard : interface_type::kNone;
    ShowInterfaceChecks();
  });
}

void frmVelk47120::mnu47120_Click() {
  mnu47120->setChecked(true);
  mnu47121->setChecked(false);
  session_.analyzer.DeviceNumber = DeviceNumberSetting::FromNumber(47120);
  ShowValue(lblDeviceNumber, "47120");
  SetPlotScale(47120);
}

void frmVelk47120::mnu47121_Click() {
  mnu47120->setChecked(false);
  mnu47121->setChecked(true);
  session_.analyzer.DeviceNumber = DeviceNumberSetting::FromNumber(47121);
  ShowValue(lblDeviceNumber, "47121");
  SetPlotScale(47121);
}

template <typename Dialog>
void frmVelk47120::OpenSettings(Dialog*& dialog) {
  if (!Check_Interface()) return;
  if (dialog == nullptr) dialog = new Dialog(session_, this);
  ShowDialog(*dialog);
}

void frmVelk47120::MnuAlarms_Click() {
  OpenSettings(alarmDialog_);
}
void frmVelk47120::MnuGpioMsc_Click() {
  OpenSettings(gpioDialog_);
}
void frmVelk47120::mnuRegister_Click() {
  OpenSettings(registerDialog_);
}
void frmVelk47120::mnuAuxDac_Click() {
  OpenSettings(dacDialog_);
}
void frmVelk47120::mnuPowerdown_Click() {
  OpenSettings(powerdownDialog_);
}

// Not modal, and no gate: a saved file needs no chip, and the loop goes on while it is open.
// Made once, so closing and opening it again keeps the analysis it shows.
void frmVelk47120::mnuNoise_Click() {
  if (noiseWindow_ == nullptr) {
    const std::filesystem::path& config = session_.configFile;
    noiseWindow_ = new frmNoise(noiseFeed_.Live(),
                                config.empty() ? config : config.parent_path() / "noise.ini",
                                modal_, messages_, this);
    noiseWindow_->SetAcquirer(&Acquisition());
  }
  noiseWindow_->show();
  noiseWindow_->raise();
  noiseWindow_->activateWindow();
}

// The About box reads the chip afresh each time: a new one per opening.
void frmVelk47120::MnuAbout_Click() {
  if (!Check_Interface()) return;
  frmAbout about(session_, this);
  ShowDialog(about);
}

void frmVelk47120::mnuHelp_Click() {
  if (help_ == nullptr) help_ = new HelpWindow(this);
  OpenHelp(*help_, messages_);
  QCoreApplication::processEvents();
}

void frmVelk47120::MnuExit_Click() {
  if (exiting_) return;
  exiting_ = true;
  // The engine is the only reader meanwhile: it ends, and its file is written out, first.
  if (acquisition_ != nullptr) acquisition_->Shutdown();
  datalog_.Close();
  DelayMs(250);
  if (unpickedPortAddress_) {
    session_.analyzer.InterfaceType = interface_type::kNone;
    session_.analyzer.PortAddress = *unpickedPortAddress_;
  }
  // None when the file was refused at start.
  if (const std::filesystem::path& config = session_.configFile; !config.empty()) {
    // An installed program's configuration folder may not exist yet.
    MakeFolderFor(config);
    if (const auto saved = session_.analyzer.SaveConfig(config); !saved)
      messages_.Show(saved.error());
  }
  if (noiseWindow_ != nullptr && noiseWindow_->isVisible()) noiseWindow_->close();
  hide();
  exit_.Exit(0);
}

}  // namespace velk
