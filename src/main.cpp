#include <QApplication>
#include <QCommandLineParser>

#include <cstdlib>
#include <memory>

#include "core/Clock.h"
#include "core/Delay.h"
#include "sim/SimParallelAdapter.h"
#include "sim/SimSensor.h"
#include "sim/SimUsbCard.h"
#include "transport/parallel/LinuxPortIo.h"
#include "transport/parallel/PortOs.h"
#include "transport/usb/LibUsbDriver.h"
#include "ui/main/Startup.h"

namespace {

// "--simulate", "--simulate=47121" or VELK47120_SIMULATE=1 / 47121 choose the built-in sensor.
int SimulatedProduct(const QCommandLineParser& parser) {
  QString value;
  if (parser.isSet("simulate")) {
    value = parser.value("simulate");
  } else if (const char* env = std::getenv("VELK47120_SIMULATE"); env && *env && *env != '0') {
    value = env;
  } else {
    return 0;
  }
  return value.trimmed() == "47121" ? 47121 : 47120;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("velk47120");
  QApplication::setApplicationDisplayName("VELK47120 Evaluation Software");
  QApplication::setApplicationVersion(QStringLiteral(VELK_VERSION));

  QCommandLineParser parser;
  parser.setApplicationDescription("Evaluation program for the VELK 47120 digital gyroscope.");
  parser.addHelpOption();
  parser.addVersionOption();
  QCommandLineOption simulate(
      "simulate", "Run against the built-in simulated sensor (47120 or 47121).", "model", "47120");
  parser.addOption(simulate);
  // "--simulate" alone is the common case: accept it without a value.
  QStringList arguments = QApplication::arguments();
  for (QString& a : arguments)
    if (a == "--simulate") a = "--simulate=47120";
  parser.process(arguments);

  // Any command line at all lowers the first guess of the delay calibration.
  velk::SetStartedWithArguments(argc > 1);

  // Simulated, one sensor sits behind both adapters: the parallel one at 0x378 and a FIFO4
  // card on "Ezusb-0".
  velk::SteadyClock clock;
  velk::LinuxPortOs portOs;
  std::unique_ptr<velk::SimSensor> sensor;
  std::unique_ptr<velk::PortIo> port;
  std::unique_ptr<velk::EzUsbDriver> usb;
  if (int product = SimulatedProduct(parser); product != 0) {
    sensor = std::make_unique<velk::SimSensor>(clock, product);
    port = std::make_unique<velk::SimParallelAdapter>(*sensor);
    usb = std::make_unique<velk::SimUsbCard>(sensor.get());
  } else {
    port = std::make_unique<velk::LinuxPortIo>(portOs);
    usb = std::make_unique<velk::LibUsbDriver>();
  }
  return velk::RunProgram(*port, *usb);
}
