#pragma once

#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <memory>

#include "registers/Session.h"
#include "ui/dialogs/PagePrinter.h"

namespace velk {

// Any register of the map by name: its table entry, a hex read and a hex write; the user
// configuration registers listed (and printed) with their values; flash update and unlock.
class frmManualReg : public QDialog {
  Q_OBJECT
 public:
  explicit frmManualReg(Session& session, QWidget* parent = nullptr);

  // Runs each time the dialog comes up: the list afresh, nothing chosen.
  void Form_Activate();
  void cmboRegister_Click();
  void cmdRead_Click();
  void cmdWrite_Click();
  void cmdReadUserReg_Click();
  void cmdPrint_Click();
  void cmdUnlock_Click();
  void cmdUpdateFlash_Click();
  void cmdOK_Click();

  // Where "Print" sends the page; tests point it at a folder.
  std::unique_ptr<PrintDestination> printDestination = std::make_unique<PrintDestination>();

  QGroupBox* frameRegister;
  QComboBox* cmboRegister;
  QLabel* lblRegAddr;
  QLineEdit* txtRegAddr;
  QLabel* lblRegByte;
  QLineEdit* txtRegByte;
  QLabel* lblRegRead;
  QLineEdit* txtRegRead;
  QLabel* lblRegWrite;
  QLineEdit* txtRegWrite;
  QPushButton* cmdRead;
  QLineEdit* txtRead;
  QPushButton* cmdWrite;
  QLineEdit* txtDataWrite;
  QGroupBox* frameUserReg;
  QPlainTextEdit* txtUserReg;
  QPushButton* cmdReadUserReg;
  QPushButton* cmdPrint;
  QPushButton* cmdUnlock;
  QPushButton* cmdUpdateFlash;
  QPushButton* cmdOK;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  bool FactoryMode() const;

  Session& session_;
};

}  // namespace velk
