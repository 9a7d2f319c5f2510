#include "ui/dialogs/frmPowerdown.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QShowEvent>
#include <QVBoxLayout>

#include "core/NumberText.h"
#include "widgets/ScrollBars.h"
#include "widgets/TabOrder.h"

namespace velk {

frmPowerdown::frmPowerdown(Session& session, QWidget* parent) : QDialog(parent), session_(session) {
  setObjectName("frmPowerdown");
  setWindowTitle("Powerdown");

  framePowerdown = new QGroupBox("Powerdown  (SLP_CNT)", this);
  hscPowerdown = new QScrollBar(Qt::Horizontal, framePowerdown);
  hscPowerdown->setObjectName("hscPowerdown");
  hscPowerdown->setRange(0, 255);
  hscPowerdown->setPageStep(8);
  hscPowerdown->setTracking(false);
  MakeKeyboardScrollBar(hscPowerdown);
  hscPowerdown->setAccessibleName("Sleep Count");
  hscPowerdown->setMinimumWidth(200);
  txtPwrMde = new QLineEdit(framePowerdown);
  txtPwrMde->setObjectName("txtPwrMde");
  txtPwrMde->setAccessibleName("Sleep Count");
  lblPowerDown = new QLabel("Time (Sec)", framePowerdown);
  txtPowerDown = new QLineEdit(framePowerdown);
  txtPowerDown->setObjectName("txtPowerDown");
  lblPowerDown->setBuddy(txtPowerDown);
  txtPowerDown->setAccessibleName(lblPowerDown->text());
  for (QLineEdit* box : {txtPwrMde, txtPowerDown}) {
    box->setReadOnly(true);
    box->setMaximumWidth(70);
  }

  auto* grid = new QGridLayout(framePowerdown);
  grid->addWidget(hscPowerdown, 0, 0);
  grid->addWidget(txtPwrMde, 0, 1);
  auto* time = new QHBoxLayout;
  time->addStretch();
  time->addWidget(lblPowerDown);
  time->addWidget(txtPowerDown);
  grid->addLayout(time, 1, 0, 1, 2);

  cmdPowerDown = new QPushButton("Set", this);
  cmdPowerDown->setObjectName("cmdPowerDown");
  cmdOK = new QPushButton("OK", this);
  cmdOK->setObjectName("cmdOK");
  auto* buttons = new QHBoxLayout;
  for (QPushButton* button : {cmdPowerDown, cmdOK}) {
    button->setAutoDefault(false);
    buttons->addWidget(button);
  }
  buttons->insertStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(framePowerdown);
  layout->addLayout(buttons);

  OrderTabsByPosition(this);

  connect(hscPowerdown, &QScrollBar::valueChanged, this, &frmPowerdown::hscPowerdown_Change);
  connect(cmdPowerDown, &QPushButton::clicked, this, &frmPowerdown::cmdPowerDown_Click);
  connect(cmdOK, &QPushButton::clicked, this, &frmPowerdown::cmdOK_Click);
}

void frmPowerdown::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) Form_Activate();
}

void frmPowerdown::Form_Activate() {
  hscPowerdown->setValue(0);
  txtPowerDown->setText("0.0");
  txtPwrMde->setText("0");
}

void frmPowerdown::hscPowerdown_Change() {
  const int count = hscPowerdown->value();
  const float seconds = static_cast<float>(count) / 2.0f;
  txtPowerDown->setText(QString::fromStdString(FormatFixed(seconds, 1)));
  txtPwrMde->setText(QString::number(count));
}

void frmPowerdown::cmdPowerDown_Click() {
  // The sleep begins with this write; the chip does not answer until it ends.
  session_.spi.WriteRegister(slot::Pwr_Mde, hscPowerdown->value());
}

void frmPowerdown::cmdOK_Click() {
  accept();
}

}  // namespace velk
