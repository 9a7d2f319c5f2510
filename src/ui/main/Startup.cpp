#include "ui/main/Startup.h"

#include <QApplication>
#include <QIcon>
#include <cstdio>
#include <string>
#include <system_error>

#include "core/Delay.h"
#include "core/FilePlaces.h"
#include "core/PathText.h"
#include "registers/Session.h"
#include "ui/main/ExitSignals.h"
#include "ui/main/FrmMsg.h"
#include "ui/main/FrmVelk47120.h"
#include "ui/main/QtMessageSink.h"

namespace velk {

Result<void, std::string> LoadConfiguration(Session& session,
                                            const std::filesystem::path& configFile) {
  session.configFile = configFile;
  const auto read = session.analyzer.LoadConfig(configFile);
  std::string what;
  if (read) {
    // Text with no setting in it is some other file named by mistake (a datalog, say),
    // which the save at exit would replace.
    if (read->settingLines > 0 || read->bytes.find_first_not_of(" \t\r\n") == std::string::npos)
      return {};
    what = "holds no settings";
  } else {
    switch (read.error().status) {
      case SmallFileError::Status::Missing:
        return {};
      case SmallFileError::Status::Folder:
        what = "is a folder";
        break;
      case SmallFileError::Status::NotRegular:
        what = "is not a regular file";
        break;
      case SmallFileError::Status::TooLarge:
        what = "is larger than 1 MiB";
        break;
      case SmallFileError::Status::Failed:
        what = "cannot be read (" + std::generic_category().message(read.error().error) + ")";
        break;
    }
  }
  // What was not read is not ours to replace: at best not settings, at worst a device.
  session.configFile.clear();
  return Unexpected("The settings file " + ShortPathText(configFile) + " " + what +
                    "; the program starts with the default settings and will not save them.");
}

int RunProgram(PortIo& portIo, EzUsbDriver& usbDriver, const std::filesystem::path& configFile,
               bool simulated) {
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
  session.Simulated = simulated;
  const auto loaded = LoadConfiguration(session, configFile);
  session.reg.BuildRegisterTable();

  // From here on a signal ends the program as "Exit" does (before, it ended it unsaved). While
  // the window is still being built, perhaps waiting on a message box, only the settings
  // need keeping.
  StdProcessExit exit;
  frmVelk47120* shown = nullptr;
  ExitSignals onSignal([&] {
    if (shown != nullptr) return shown->MnuExit_Click();
    if (!session.configFile.empty()) {
      MakeFolderFor(session.configFile);
      if (const auto saved = session.analyzer.SaveConfig(session.configFile); !saved)
        std::fprintf(stderr, "%s\n", saved.error().c_str());
    }
    exit.Exit(0);
  });

  loading.LBLmsg->setText(" ");
  loading.hide();
  if (!loaded) messages.Show(loaded.error());

  QtModalRunner modal;
  frmVelk47120 window(session, modal, exit);
  shown = &window;
  messages.SetParent(&window);
  window.show();
  return QApplication::exec();
}

}  // namespace velk
