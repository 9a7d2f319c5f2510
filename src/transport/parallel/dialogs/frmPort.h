#pragma once

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "core/Analyzer.h"
#include "core/InterfaceMenu.h"
#include "transport/parallel/ParallelSpi.h"
#include "transport/parallel/SetupGiveio.h"

namespace velk {

// Selects the parallel port as the SPI interface at the address typed in hex.
class frmPort : public QDialog {
  Q_OBJECT
 public:
  frmPort(Analyzer& config, SetupGiveio& giveio, ParallelSpi& parallel, InterfaceMenu& menu,
          QWidget* parent = nullptr);

  // Runs each time the dialog comes up: no interface is selected while it is open.
  void Form_Activate();
  void cmdOK_Click();
  void cmdCancel_Click();

  QLabel* Label1;
  QLineEdit* txtUser;
  QPushButton* cmdOK;
  QPushButton* cmdCancel;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  Analyzer& config_;
  SetupGiveio& giveio_;
  ParallelSpi& parallel_;
  InterfaceMenu& menu_;
};

}  // namespace velk
