#include "ui/main/MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QMenuBar>
#include <QStatusBar>
#include <QVBoxLayout>

#include "core/NumberText.h"
#include "core/OsName.h"
#include "ui/main/Twips.h"

namespace velk {

namespace {

struct OutputRow {
  int16_t slot;
  const char* caption;
  const char* unit;
  int decimals;
};

constexpr OutputRow kOutputs[] = {
    {slot::Supply_Out, "Supply", "V", 3}, {slot::Gyro_Out, "Gyro", "Dgr/S", 2},
    {slot::Aux_Adc, "ADC In", "V", 3},    {slot::Temp_Out, "Temp", "dgrC", 2},
    {slot::Angle_Out, "Angle", "dgr", 2},
};

}  // namespace

frmVelk47120::frmVelk47120(Session& session, MessageSink& messages, QWidget* parent)
    : QMainWindow(parent), session_(session), messages_(messages) {
  setWindowTitle("Corvane - VELK47120 Evaluation Software - Rev 3");
  BuildMenus();

  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  lblDeviceNumber = new QLabel(central);
  layout->addWidget(lblDeviceNumber);
  layout->addWidget(BuildOutputs());
  setCentralWidget(central);
  resize(Twips(this, 5200), Twips(this, 4200));

  session_.analyzer.OsName = DetectOsName();
  PrepareInterface();
}

// The configured interface is made usable once, as the window loads.
void frmVelk47120::PrepareInterface() {
  Analyzer& config = session_.analyzer;
  if (config.InterfaceType == 1) {
    session_.giveio.PreparePort(config, session_.parallel);
  } else if (config.InterfaceType == 2) {
    UsbSpiDrivers& usb = session_.usb;
    usb.FindUsbBuffers();
    if (usb.CardReady()) {
      usb.SetSpiBits(usb.SpiStaticBits);
      usb.SetupSpi(usb.SpiWordDelay);
    }
  }
}

void frmVelk47120::ShowInterfaceChecks() {
  mnuPort->setChecked(session_.analyzer.InterfaceType == 1);
  mnuUsb->setChecked(session_.analyzer.InterfaceType == 2);
}

void frmVelk47120::BuildMenus() {
  QMenu* file = menuBar()->addMenu("&File");
  mnuExit = file->addAction("E&xit");
  connect(mnuExit, &QAction::triggered, this, &frmVelk47120::mnuExit_Click);

  QMenu* iface = menuBar()->addMenu("&Interface");
  mnuPort = iface->addAction("Parallel Port");
  mnuPort->setCheckable(true);
  connect(mnuPort, &QAction::triggered, this, &frmVelk47120::mnuPort_Click);
  mnuUsb = iface->addAction("USB");
  mnuUsb->setCheckable(true);
  connect(mnuUsb, &QAction::triggered, this, &frmVelk47120::mnuUsb_Click);
}

QWidget* frmVelk47120::BuildOutputs() {
  auto* frame = new QGroupBox("Output  Registers", this);
  frame->setAccessibleName(frame->title());
  auto* grid = new QGridLayout(frame);
  QLineEdit** boxes[] = {&txtSupply, &txtGyro, &txtAuxAdc, &txtTemp, &txtAngle};
  int row = 0;
  for (const OutputRow& output : kOutputs) {
    auto* caption = new QLabel(output.caption, frame);
    auto* box = new QLineEdit(frame);
    box->setReadOnly(true);
    box->setAlignment(Qt::AlignRight);
    box->setAccessibleName(output.caption);
    caption->setBuddy(box);
    grid->addWidget(caption, row, 0);
    grid->addWidget(box, row, 1);
    grid->addWidget(new QLabel(output.unit, frame), row, 2);
    *boxes[row] = box;
    ++row;
  }
  lblNewDataFlag = new QLabel("Old", frame);
  lblErrorAlarmFlag = new QLabel("OK", frame);
  for (QLabel* flag : {lblNewDataFlag, lblErrorAlarmFlag}) {
    flag->setAlignment(Qt::AlignCenter);
    flag->setAutoFillBackground(true);
  }
  grid->addWidget(lblNewDataFlag, row, 0);
  grid->addWidget(lblErrorAlarmFlag, row, 1);
  cmdReadData = new QPushButton("Read", frame);
  grid->addWidget(cmdReadData, row + 1, 0, 1, 3);
  connect(cmdReadData, &QPushButton::clicked, this, &frmVelk47120::cmdReadData_Click);
  return frame;
}

bool frmVelk47120::Check_Interface() {
  Analyzer& config = session_.analyzer;
  if ((config.InterfaceType == 1 && config.PortAddress == 0) ||
      (config.InterfaceType == 2 && !session_.usb.CardReady()))
    config.InterfaceType = 0;
  ShowInterfaceChecks();
  if (config.InterfaceType == 0) {
    messages_.Show("Please select an interface first");
    return false;
  }
  return true;
}

void frmVelk47120::ShowFlag(QLabel* label, bool set, const char* setText, const char* clearText) {
  label->setText(set ? setText : clearText);
  QPalette palette = label->palette();
  palette.setColor(QPalette::Window, set ? QColor(255, 0, 0) : QColor(0, 255, 0));
  label->setPalette(palette);
}

void frmVelk47120::cmdReadData_Click() {
  if (!Check_Interface()) return;
  Spi47120& spi = session_.spi;
  QLineEdit* boxes[] = {txtSupply, txtGyro, txtAuxAdc, txtTemp, txtAngle};
  bool newSeen = false;
  bool alarmSeen = false;
  int i = 0;
  for (const OutputRow& output : kOutputs) {
    spi.ReadRegister(output.slot);
    boxes[i++]->setText(QString::fromStdString(FormatFixed(spi.RegValue, output.decimals)));
    newSeen = newSeen || spi.NewDataBit > 0;
    alarmSeen = alarmSeen || spi.ErrorAlarmBit > 0;
  }
  lblNewDataFlag->setText(newSeen ? "New" : "Old");
  ShowFlag(lblErrorAlarmFlag, alarmSeen, "Alarm", "OK");
}

void frmVelk47120::Form_Activate() {
  ShowInterfaceChecks();
  const Analyzer& config = session_.analyzer;
  const bool usable = (config.InterfaceType == 1 && config.PortAddress != 0) ||
                      (config.InterfaceType == 2 && session_.usb.CardReady());
  if (!usable) {
    lblDeviceNumber->setText("No interface selected");
    statusBar()->clearMessage();
    return;
  }
  session_.reg.IdentifyProduct(session_.spi);
  const Reg47120& reg = session_.reg;
  lblDeviceNumber->setText(QString("%1  -  revision %2  -  %3/%4/%5")
                               .arg(QString::fromStdString(reg.ProductName))
                               .arg(QString::fromStdString(FormatFixed(reg.FirmwareRevision, 1)))
                               .arg(reg.RevisionMonth)
                               .arg(reg.RevisionDay)
                               .arg(reg.RevisionYear));
  if (config.InterfaceType == 1) {
    const auto port = static_cast<uint16_t>(config.PortAddress);
    statusBar()->showMessage("Parallel port at " + QString::number(port, 16).toUpper());
  } else {
    statusBar()->showMessage("USB SPI card " +
                             QString::fromStdString(session_.usb.SelectedUsbBoard.DeviceName));
  }
}

void frmVelk47120::mnuPort_Click() {
  session_.analyzer.InterfaceType = 1;
  if (session_.analyzer.PortAddress == 0) session_.analyzer.PortAddress = 888;
  PrepareInterface();
  Form_Activate();
}

void frmVelk47120::mnuUsb_Click() {
  session_.analyzer.InterfaceType = 2;
  PrepareInterface();
  if (!session_.usb.CardReady()) session_.analyzer.InterfaceType = 0;
  Form_Activate();
}

void frmVelk47120::mnuExit_Click() {
  close();
}

void frmVelk47120::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!activated_) {
    activated_ = true;
    Form_Activate();
  }
}

void frmVelk47120::closeEvent(QCloseEvent* event) {
  session_.analyzer.SaveConfig();
  event->accept();
}

}  // namespace velk
