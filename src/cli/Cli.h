#pragma once

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "core/Analyzer.h"
#include "core/Clock.h"
#include "core/Realtime.h"
#include "transport/parallel/PortIo.h"
#include "transport/usb/EzUsbDriver.h"

namespace velk {

// Exit statuses of the tool. main() turns one into the process's status; nothing else does.
enum class ExitStatus : int {
  kDone = 0,
  kUsage = 1,  // bad usage: the command line, or a file it names, cannot be used
  // Output that could not be written. The same number as kUsage, as scripts already test it,
  // but a cause of its own to whoever reads the code.
  kOutputFailed = 1,
  kNoInterface = 2,   // no interface, no hardware or no permission
  kNoChip = 3,        // Product reads neither 47120 nor 47121
  kMismatch = 4,      // a read-back did not match
  kFail = 5,          // the noise is beyond a limit
  kInconclusive = 6,  // the noise may be beyond a limit: a longer record tells
};

// Ended by a stop signal before anything was left half done: the shell's status for it.
constexpr ExitStatus StoppedBy(int signal) {
  return static_cast<ExitStatus>(128 + signal);
}

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
  // The number of the stop signal caught (0: none), set by the handler. It ends a log after
  // the current row, and ends the tool before the chip is touched.
  const volatile std::sig_atomic_t* stop = nullptr;
  // errno of the write to `out` that failed, where known.
  const int* outError = nullptr;
  // Set once a command has begun writing to the chip, so a later failure says so.
  bool chipWritten = false;
  bool errIsTerminal = false;
  // Where a prompt's answer is read (the terminal's Enter); null: nobody to answer.
  std::istream* in = nullptr;
  // Raises the acquisition's thread and the log's loop; null: they run at normal priority.
  RealtimeRequest* realtime = nullptr;
  // The simulated model, 0 on real hardware.
  int simulated = 0;
  // Switches the simulated chip's supply off (false) and on: what "--power-command sim" runs.
  // Null on real hardware.
  std::function<void(bool on)> simulatedSupply;
  // The simulated rig, null on real hardware. The table turns the board about its sensitive
  // axis, moving to the rate (deg/s) at its acceleration limit: "--table-command sim".
  std::function<void(double rate)> simulatedTable;
  // The tumble fixture moves the board to a position, 0..5 = +X -X +Y -Y +Z -Z up, in a few
  // seconds: "--fixture-command sim".
  std::function<void(int position)> simulatedFixture;
  // A hand turns the board this many turns (counter-clockwise seen from +Z when positive)
  // after 5 s still, peaking near 150 deg/s, then holds it still.
  std::function<void(double turns)> simulatedTurn;
  // Where the window's configuration is read from (--config names another).
  std::filesystem::path configFile = kConfigFileName;
};

// Runs one command line (without the program name and without --simulate, which main()
// has taken out). Returns the exit status; output that did not reach `out` gives
// kOutputFailed.
ExitStatus RunCli(const std::vector<std::string>& args, CliContext& context);

// "velk47120-cli: cannot write to WHERE: REASON", and that the chip was written if it was.
// Returns ExitStatus::kOutputFailed.
ExitStatus OutputFailed(CliContext& context, const std::string& where, int error);

}  // namespace velk
