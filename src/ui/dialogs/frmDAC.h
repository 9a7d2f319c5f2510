#pragma once

#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>

#include "registers/Session.h"

namespace velk {

// The auxiliary DAC: a code from the scroll bar, typed as a code or as a voltage. Every
// change writes the code and then latches it with a command.
class frmDAC : public QDialog {
  Q_OBJECT
 public:
  explicit frmDAC(Session& session, QWidget* parent = nullptr);

  // Runs each time the dialog comes up: shows the code the chip holds.
  void Form_Activate();
  void hscAuxDAC_Change();
  // Both boxes act on Enter only.
  void txtAuxDacOut_KeyDown(int key);
  void txtAuxDacIn_KeyDown(int key);
  void cmdOK_Click();

  QGroupBox* frameAuxDac;
  QScrollBar* hscAuxDAC;
  QLineEdit* txtAuxDacIn;
  QLabel* lblAuxDacOut;
  QLineEdit* txtAuxDacOut;
  QPushButton* cmdOK;

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  float Scale() const;
  void ShowCode(int32_t code);
  void WriteCode(int32_t code);

  Session& session_;
};

}  // namespace velk
