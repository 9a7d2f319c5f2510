#pragma once

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "core/Analyzer.h"
#include "core/Clock.h"
#include "transport/parallel/PortIo.h"
#include "transport/usb/EzUsbDriver.h"

namespace velk {

// Exit statuses of the tool.
namespace exitcode {
inline constexpr int kDone = 0;
inline constexpr int kUsage = 1;
inline constexpr int kNoInterface = 2;  // no interface, no hardware or no permission
inline constexpr int kNoChip = 3;       // Product reads neither 47120 nor 47121
inline constexpr int kMismatch = 4;     // a read-back did not match
}  // namespace exitcode

// What the tool takes from the process: streams, hardware seams, time and the stop request.
// main() fills it with the real ones; tests with their own.
struct CliContext {
  CliContext(std::ostream& out, std::ostream& err, PortIo& portIo, EzUsbDriver& usbDriver,
             const Clock& clock)
      : out(out), err(err), portIo(portIo), usbDriver(usbDriver), clock(clock) {}

  std::ostream& out;
  std::ostream& err;
  PortIo& portIo;
  EzUsbDriver& usbDriver;
  const Clock& clock;  // monotonic: elapsed time and the pace of a log
  // Waits about this long; may return early when a stop is requested.
  std::function<void(double seconds)> sleep;
  std::function<std::chrono::system_clock::time_point()> wallClock;
  // Set (by a signal handler) to end a log after the current row.
  const volatile std::sig_atomic_t* stop = nullptr;
  bool errIsTerminal = false;
  // The simulated model, 0 on real hardware.
  int simulated = 0;
  // Where the window's configuration is read from (--config names another).
  std::filesystem::path configFile = kConfigFileName;
};

// Runs one command line (without the program name and without --simulate, which main()
// has taken out). Returns the exit status.
int RunCli(const std::vector<std::string>& args, CliContext& context);

}  // namespace velk
