#include "ui/main/Startup.h"

#include <QApplication>
#include <QIcon>

#include "core/Delay.h"
#include "registers/Session.h"
#include "ui/main/FrmMsg.h"
#include "ui/main/FrmVelk47120.h"
#include "ui/main/QtMessageSink.h"

namespace velk {

int RunProgram(PortIo& portIo, EzUsbDriver& usbDriver) {
  QApplication::setWindowIcon(QIcon(":/velk47120.png"));
  frmMsg loading;
  loading.show();
  loading.LBLmsg->setText("\r\nLOADING...\r\n\r\nSetting up Delay function");
  loading.repaint();
  QApplication::processEvents();

  QApplication::setOverrideCursor(Qt::WaitCursor);
  DelayCalibrated = 0;
  CalibrateDelay();
  QApplication::restoreOverrideCursor();

  QtMessageSink messages;
  Session session(portIo, usbDriver, messages);  // its members start at the start-up defaults
  session.analyzer.LoadConfig();
  session.reg.BuildRegisterTable();

  loading.LBLmsg->setText(" ");
  loading.hide();

  QtModalRunner modal;
  StdProcessExit exit;
  frmVelk47120 window(session, modal, exit);
  messages.SetParent(&window);
  window.show();
  return QApplication::exec();
}

}  // namespace velk
