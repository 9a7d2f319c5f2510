#include "ui/dialogs/frmManualReg.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QRegularExpressionValidator>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "core/ChipConstants.h"
#include "core/Delay.h"
#include "core/HexText.h"
#include "ui/dialogs/UserRegisterListing.h"
#include "widgets/TabOrder.h"

namespace velk {

namespace {

constexpr int kLastUserSlot = slot::Command;
constexpr int kLastFactorySlot = slot::Test_Cnfg;
constexpr int kListingLines = 15;

QString Hex(int32_t value) {
  return QString::number(static_cast<uint32_t>(value), 16).toUpper();
}

QString Flag(int16_t flag) {
  return flag != 0 ? "True" : "False";
}

QPushButton* Button(const QString& caption, const char* name, QWidget* parent) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  // No default button: Enter in a box must never press one.
  button->setAutoDefault(false);
  return button;
}

QLineEdit* Box(const char* name, QWidget* parent) {
  auto* box = new QLineEdit(parent);
  box->setObjectName(name);
  return box;
}

}  // namespace

frmManualReg::frmManualReg(Session& session, QWidget* parent) : QDialog(parent), session_(session) {
  setObjectName("frmManualReg");
  setWindowTitle("Register Information");

  frameRegister = new QGroupBox("Register Read/Write", this);
  cmboRegister = new QComboBox(frameRegister);
  cmboRegister->setObjectName("cmboRegister");
  cmboRegister->addItem("None");
  cmboRegister->setAccessibleName("Register");
  txtRegAddr = Box("txtRegAddr", frameRegister);
  txtRegByte = Box("txtRegByte", frameRegister);
  txtRegRead = Box("txtRegRead", frameRegister);
  txtRegWrite = Box("txtRegWrite", frameRegister);
  lblRegAddr = new QLabel("Base Addr (Hex)", frameRegister);
  lblRegByte = new QLabel("Num Bytes", frameRegister);
  lblRegRead = new QLabel("Read Flag", frameRegister);
  lblRegWrite = new QLabel("Write Flag", frameRegister);
  cmdRead = Button("Read (Hex)", "cmdRead", frameRegister);
  txtRead = Box("txtRead", frameRegister);
  cmdWrite = Button("Write (Hex)", "cmdWrite", frameRegister);
  txtDataWrite = Box("txtDataWrite", frameRegister);
  // Up to four hex digits; blanks around them (from a paste) are let in and stripped.
  txtDataWrite->setValidator(new QRegularExpressionValidator(
      QRegularExpression(R"(\s*[0-9A-Fa-f]{0,4}\s*)"), txtDataWrite));

  auto* grid = new QGridLayout(frameRegister);
  grid->addWidget(cmboRegister, 0, 0, 1, 2);
  int row = 1;
  for (auto [label, box] :
       {std::pair{lblRegAddr, txtRegAddr}, std::pair{lblRegByte, txtRegByte},
        std::pair{lblRegRead, txtRegRead}, std::pair{lblRegWrite, txtRegWrite}}) {
    // The table entry is shown, not edited.
    box->setReadOnly(true);
    label->setBuddy(box);
    box->setAccessibleName(label->text());
    grid->addWidget(label, row, 0);
    grid->addWidget(box, row, 1);
    ++row;
  }
  txtRead->setReadOnly(true);
  txtRead->setAccessibleName(cmdRead->text());
  txtDataWrite->setAccessibleName(cmdWrite->text());
  grid->addWidget(cmdRead, row, 0);
  grid->addWidget(txtRead, row, 1);
  grid->addWidget(cmdWrite, row + 1, 0);
  grid->addWidget(txtDataWrite, row + 1, 1);

  frameUserReg = new QGroupBox("User Registers (Hex Values)", this);
  txtUserReg = new QPlainTextEdit(frameUserReg);
  txtUserReg->setObjectName("txtUserReg");
  txtUserReg->setAccessibleName(frameUserReg->title());
  txtUserReg->setReadOnly(true);
  txtUserReg->setLineWrapMode(QPlainTextEdit::NoWrap);
  txtUserReg->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  // Ten-character tab stops line the columns up under the heading; the whole listing must be
  // in view, since printing shows the box as it stands.
  const QFontMetricsF metrics(txtUserReg->font());
  txtUserReg->setTabStopDistance(10 * metrics.horizontalAdvance('0'));
  txtUserReg->setMinimumSize(static_cast<int>(44 * metrics.horizontalAdvance('0')),
                             static_cast<int>((kListingLines + 1) * metrics.lineSpacing() + 12));
  cmdReadUserReg = Button("Read", "cmdReadUserReg", frameUserReg);
  cmdPrint = Button("Print", "cmdPrint", frameUserReg);
  auto* userLayout = new QVBoxLayout(frameUserReg);
  userLayout->addWidget(txtUserReg);
  auto* userButtons = new QHBoxLayout;
  userButtons->addWidget(cmdReadUserReg);
  userButtons->addWidget(cmdPrint);
  userButtons->addStretch();
  userLayout->addLayout(userButtons);

  cmdUnlock = Button("Unlock", "cmdUnlock", this);
  cmdUpdateFlash = Button("Update Flash", "cmdUpdateFlash", this);
  cmdOK = Button("OK", "cmdOK", this);

  auto* panels = new QHBoxLayout;
  panels->addWidget(frameRegister, 0, Qt::AlignTop);
  panels->addWidget(frameUserReg, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(cmdUnlock);
  buttons->addWidget(cmdUpdateFlash);
  buttons->addStretch();
  buttons->addWidget(cmdOK);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(panels);
  layout->addLayout(buttons);
  OrderTabsByPosition(this);

  connect(cmboRegister, &QComboBox::currentIndexChanged, this, &frmManualReg::cmboRegister_Click);
  connect(cmdRead, &QPushButton::clicked, this, &frmManualReg::cmdRead_Click);
  connect(cmdWrite, &QPushButton::clicked, this, &frmManualReg::cmdWrite_Click);
  connect(cmdReadUserReg, &QPushButton::clicked, this, &frmManualReg::cmdReadUserReg_Click);
  connect(cmdPrint, &QPushButton::clicked, this, &frmManualReg::cmdPrint_Click);
  connect(cmdUnlock, &QPushButton::clicked, this, &frmManualReg::cmdUnlock_Click);
  connect(cmdUpdateFlash, &QPushButton::clicked, this, &frmManualReg::cmdUpdateFlash_Click);
  connect(cmdOK, &QPushButton::clicked, this, &frmManualReg::cmdOK_Click);

  cmboRegister_Click();
}

void frmManualReg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Restoring a minimised window is no new opening.
  if (!event->spontaneous()) Form_Activate();
}

bool frmManualReg::FactoryMode() const {
  return session_.analyzer.FactoryMode == kFactoryModeValue;
}

void frmManualReg::Form_Activate() {
  const Reg47120& table = session_.reg;
  const int last = FactoryMode() ? kLastFactorySlot : kLastUserSlot;
  {
    const QSignalBlocker quiet(cmboRegister);
    cmboRegister->clear();
    cmboRegister->addItem("None");
    for (int s = 1; s <= last; ++s) cmboRegister->addItem(QString::fromStdString(table.RegName[s]));
    cmboRegister->setCurrentIndex(0);
  }
  cmboRegister_Click();
  cmdUnlock->setEnabled(FactoryMode());
}

void frmManualReg::cmboRegister_Click() {
  const Reg47120& table = session_.reg;
  const int16_t s = static_cast<int16_t>(std::max(cmboRegister->currentIndex(), 0));
  session_.reg.SelectedRegister = s;
  if (s == 0) {
    for (QLineEdit* box : {txtRegAddr, txtRegByte, txtRegRead, txtRegWrite}) box->clear();
    cmdRead->setEnabled(false);
    cmdWrite->setEnabled(false);
    return;
  }
  txtRegAddr->setText(Hex(table.RegAddr[s]));
  txtRegByte->setText(QString::number(table.RegBytes[s]));
  txtRegRead->setText(Flag(table.RegReadable[s]));
  txtRegWrite->setText(Flag(table.RegWritable[s]));
  cmdWrite->setEnabled(table.RegWritable[s] != 0);
  cmdRead->setEnabled(table.RegReadable[s] != 0);
}

void frmManualReg::cmdRead_Click() {
  const int16_t s = session_.reg.SelectedRegister;
  if (session_.reg.RegReadable[s] == 0) return;
  txtRead->clear();
  session_.spi.ReadRegister(s);
  txtRead->setText(Hex(session_.spi.RegData));
}

void frmManualReg::cmdWrite_Click() {
  const int16_t s = session_.reg.SelectedRegister;
  // "None" has no address: a write there would land on address 0.
  if (session_.reg.RegWritable[s] == 0) return;
  txtDataWrite->setText(txtDataWrite->text().trimmed());
  const QString digits = txtDataWrite->text();
  if (digits.isEmpty()) {
    session_.messages.Show("Type the value to write, up to four hex digits.");
    return;
  }
  session_.spi.WriteRegister(s, HexToLong(digits.toStdString()));
}

void frmManualReg::cmdReadUserReg_Click() {
  txtUserReg->setPlainText(QString::fromStdString(UserRegisterListing(session_.spi, session_.reg)));
}

void frmManualReg::cmdPrint_Click() {
  PrintWidget(*this, *printDestination, session_.messages);
}

void frmManualReg::cmdUnlock_Click() {
  session_.spi.WriteRegister(slot::KeyCode, kKeyCode);
}

void frmManualReg::cmdUpdateFlash_Click() {
  session_.spi.WriteRegister(slot::Command, 8);
  DelayMs(250.0f);
}

void frmManualReg::cmdOK_Click() {
  accept();
}

}  // namespace velk
