#include "transport/parallel/dialogs/frmPort.h"

#include <QGridLayout>
#include <QHBoxLayout>

#include "core/HexText.h"
#include "widgets/TabOrder.h"

namespace velk {

namespace {

QString Hex(int16_t address) {
  return QString::number(static_cast<uint16_t>(address), 16).toUpper();
}

}  // namespace

frmPort::frmPort(Analyzer& config, SetupGiveio& giveio, ParallelSpi& parallel, InterfaceMenu& menu,
                 QWidget* parent)
    : QDialog(parent), config_(config), giveio_(giveio), parallel_(parallel), menu_(menu) {
  setObjectName("frmPort");
  setWindowTitle("Parallel Port Setup");
  Label1 = new QLabel("Port Address (Hex)", this);
  txtUser = new QLineEdit(this);
  txtUser->setObjectName("txtUser");
  txtUser->setMaxLength(8);
  Label1->setBuddy(txtUser);
  txtUser->setAccessibleName(Label1->text());
  cmdOK = new QPushButton("OK", this);
  cmdOK->setObjectName("cmdOK");
  cmdOK->setDefault(true);
  cmdCancel = new QPushButton("Cancel", this);
  cmdCancel->setObjectName("cmdCancel");
  cmdCancel->setAutoDefault(false);

  auto* grid = new QGridLayout(this);
  grid->addWidget(Label1, 0, 0);
  grid->addWidget(txtUser, 0, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(cmdOK);
  buttons->addWidget(cmdCancel);
  grid->addLayout(buttons, 1, 0, 1, 2);
  OrderTabsByPosition(this);

  connect(cmdOK, &QPushButton::clicked, this, &frmPort::cmdOK_Click);
  connect(cmdCancel, &QPushButton::clicked, this, &frmPort::cmdCancel_Click);
}

void frmPort::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  Form_Activate();
}

void frmPort::Form_Activate() {
  txtUser->setText(Hex(config_.PortAddress));
  txtUser->selectAll();
  config_.InterfaceType = interface_type::kNone;
}

void frmPort::cmdOK_Click() {
  if (txtUser->text().isEmpty()) return;
  const int16_t address = HexToInteger(txtUser->text().toStdString());
  if (address == 0) return;
  config_.PortAddress = address;
  txtUser->setText(Hex(address));
  config_.InterfaceType = interface_type::kParallelPort;
  // Seeks access only where the system needs it, once per run and port.
  giveio_.PreparePort(config_, parallel_);
  menu_.CheckInterfaceEntries(true, false);
  accept();
}

void frmPort::cmdCancel_Click() {
  config_.InterfaceType = interface_type::kNone;
  config_.PortAddress = 0;
  menu_.CheckInterfaceEntries(false, false);
  reject();
}

}  // namespace velk
