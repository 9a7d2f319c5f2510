#pragma once

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>

#include "core/Messages.h"
#include "registers/Session.h"

namespace velk {

// The main window: reads the sensor's outputs on demand.
class frmVelk47120 : public QMainWindow {
  Q_OBJECT
 public:
  frmVelk47120(Session& session, MessageSink& messages, QWidget* parent = nullptr);

  void cmdReadData_Click();
  void Form_Activate();
  bool Check_Interface();
  void mnuPort_Click();
  void mnuUsb_Click();
  void mnuExit_Click();

  QAction* mnuPort;
  QAction* mnuUsb;
  QAction* mnuExit;
  QPushButton* cmdReadData;
  QLabel* lblDeviceNumber;
  QLabel* lblNewDataFlag;
  QLabel* lblErrorAlarmFlag;
  QLineEdit* txtSupply;
  QLineEdit* txtGyro;
  QLineEdit* txtAuxAdc;
  QLineEdit* txtTemp;
  QLineEdit* txtAngle;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenus();
  void PrepareInterface();
  void ShowInterfaceChecks();
  QWidget* BuildOutputs();
  void ShowFlag(QLabel* label, bool set, const char* setText, const char* clearText);

  Session& session_;
  MessageSink& messages_;
  bool activated_ = false;
};

}  // namespace velk
