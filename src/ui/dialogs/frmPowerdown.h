#pragma once

#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>

#include "registers/Session.h"

namespace velk {

// Puts the chip to sleep for a chosen number of half seconds; "Set" starts the sleep.
class frmPowerdown : public QDialog {
  Q_OBJECT
 public:
  explicit frmPowerdown(Session& session, QWidget* parent = nullptr);

  // Runs each time the dialog comes up: back to a count of 0, without reading the chip.
  void Form_Activate();
  void hscPowerdown_Change();
  void cmdPowerDown_Click();
  void cmdOK_Click();

  QGroupBox* framePowerdown;
  QScrollBar* hscPowerdown;
  QLineEdit* txtPwrMde;
  QLabel* lblPowerDown;
  QLineEdit* txtPowerDown;
  QPushButton* cmdPowerDown;
  QPushButton* cmdOK;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  Session& session_;
};

}  // namespace velk
