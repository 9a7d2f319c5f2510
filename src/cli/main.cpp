#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <memory>

#include "Backends.h"
#include "cli/Cli.h"
#include "core/Delay.h"
#include "core/FilePlaces.h"
#include "core/SimulateOption.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void RequestStop(int) {
  stopRequested = 1;
}

// Without SA_RESTART, so a wait between rows ends at once.
void CatchStopSignals() {
  struct sigaction action {};
  action.sa_handler = RequestStop;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

void Sleep(double seconds) {
  if (!(seconds > 0)) return;
  timespec wait{};
  wait.tv_sec = static_cast<time_t>(seconds);
  wait.tv_nsec = static_cast<long>((seconds - static_cast<double>(wait.tv_sec)) * 1e9);
  nanosleep(&wait, nullptr);  // a signal ends it early; the caller looks at the clock again
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv, argv + argc);
  const velk::SimulateRequest simulate =
      velk::TakeSimulateOption(args, std::getenv("VELK47120_SIMULATE"));
  if (!simulate.error.empty()) {
    std::cerr << "velk47120-cli: " << simulate.error << "\n";
    return 1;
  }
  args.erase(args.begin());

  // The pauses spin against the monotonic clock, so no calibration is needed: the loop
  // count only sets how often the clock is read.
  velk::DelayCalibrated = 1;
  velk::LoopsPer10us = 100;
  CatchStopSignals();

  velk::Backends backends(simulate.product);
  velk::CliContext context{std::cout, std::cerr, *backends.port, *backends.usb, backends.clock};
  context.sleep = Sleep;
  context.wallClock = [] { return std::chrono::system_clock::now(); };
  context.stop = &stopRequested;
  context.errIsTerminal = isatty(STDERR_FILENO) != 0;
  context.simulated = simulate.product;
  // The window's own rules: the current folder in a build tree, the user's configuration
  // folder for an installed program unless the current folder holds a file.
  context.configFile = velk::ResolveFilePlaces(velk::PlaceFactsOfThisProcess()).configFile;
  return velk::RunCli(args, context);
}
