#include <QApplication>
#include <QCommandLineParser>

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Backends.h"
#include "core/Delay.h"
#include "core/FilePlaces.h"
#include "core/SimulateOption.h"
#include "core/StandardDescriptors.h"
#include "core/WriteAll.h"
#include "ui/main/Startup.h"

namespace {

constexpr const char* kHelp =
    "Usage: velk47120 [options]\n"
    "Evaluation program for the VELK 47120 digital gyroscope.\n"
    "\n"
    "Options:\n"
    "  -h, --help           Show this help and end.\n"
    "  -v, --version        Show the version and end.\n"
    "  --simulate[=MODEL]   Run against the built-in simulated sensor instead of the\n"
    "  --simulate MODEL     hardware; MODEL is 47120 (the default) or 47121.\n"
    "  --config FILE        Read the settings from FILE and save them there.\n"
    "\n"
    "Environment:\n"
    "  VELK47120_SIMULATE   47120 or 47121 simulates that model; 1, on, true or yes a\n"
    "                       47120; 0, off, false, no or empty uses the hardware.\n"
    "  VELK47120_SPI_TRACE  File the simulated sensor appends every SPI frame to.\n"
    "\n";

// Help and version go out whole, or the program says why they did not (exit 1).
int Answer(const std::string& text) {
  int error = velk::WriteAll(STDOUT_FILENO, text);
  if (error == 0 && close(STDOUT_FILENO) != 0 && errno != EINTR) error = errno;
  if (error == 0) return 0;
  std::fprintf(stderr, "velk47120: cannot write to standard output: %s\n", std::strerror(error));
  return 1;
}

// The answers that need no window, so they work without a display: the exit status, or -1.
int AnsweredWithoutWindow(const std::vector<std::string>& args, const velk::FilePlaces& places) {
  for (size_t i = 1; i < args.size() && args[i] != "--"; ++i) {
    if (args[i] == "-h" || args[i] == "--help" || args[i] == "-?")
      return Answer(kHelp + velk::FilePlacesHelp(places));
    if (args[i] == "-v" || args[i] == "--version")
      return Answer(std::string("velk47120 ") + VELK_VERSION + "\n");
  }
  return -1;
}

// Takes "--config FILE" and "--config=FILE" out of the arguments; false when FILE is missing.
bool TakeConfigOption(std::vector<std::string>& args, std::string& file) {
  for (size_t i = 1; i < args.size() && args[i] != "--";) {
    if (args[i] == "--config") {
      if (i + 1 >= args.size() || args[i + 1].empty()) return false;
      file = args[i + 1];
      args.erase(args.begin() + i, args.begin() + i + 2);
    } else if (args[i].rfind("--config=", 0) == 0) {
      file = args[i].substr(9);
      if (file.empty()) return false;
      args.erase(args.begin() + i);
    } else {
      ++i;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  velk::FillClosedStandardDescriptors();
  std::vector<std::string> args(argv, argv + argc);
  const velk::SimulateRequest simulate =
      velk::TakeSimulateOption(args, std::getenv("VELK47120_SIMULATE"));
  if (!simulate) {
    std::fprintf(stderr, "velk47120: %s\n", simulate.error().c_str());
    return 2;
  }
  std::string configOption;
  if (!TakeConfigOption(args, configOption)) {
    std::fputs("velk47120: --config needs a file name. Try --help.\n", stderr);
    return 2;
  }
  const velk::FilePlaces places =
      velk::ResolveFilePlaces(velk::PlaceFactsOfThisProcess(), configOption);
  if (const int status = AnsweredWithoutWindow(args, places); status >= 0) return status;

  // Qt takes its own options (-platform, -display, ...) out of what is left.
  std::vector<char*> rest;
  for (std::string& a : args) rest.push_back(a.data());
  rest.push_back(nullptr);
  int restCount = static_cast<int>(args.size());
  QApplication app(restCount, rest.data());
  QApplication::setApplicationName("velk47120");
  QApplication::setApplicationVersion(QStringLiteral(VELK_VERSION));
  // Ties the windows to the desktop entry; WM_CLASS comes from the application name.
  QGuiApplication::setDesktopFileName("velk47120");

  QCommandLineParser parser;
  if (!parser.parse(QApplication::arguments())) {
    std::fprintf(stderr, "velk47120: %s Try --help.\n", qPrintable(parser.errorText()));
    return 2;
  }

  // Any command line at all lowers the first guess of the delay calibration.
  velk::SetStartedWithArguments(argc > 1);

  velk::Backends backends(*simulate);
  return velk::RunProgram(*backends.port, *backends.usb, places.configFile,
                          backends.sensor != nullptr);
}
