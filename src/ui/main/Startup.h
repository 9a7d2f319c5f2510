#pragma once

#include <filesystem>
#include <string>

#include "core/Result.h"
#include "transport/parallel/PortIo.h"
#include "transport/usb/EzUsbDriver.h"

namespace velk {

class Session;

// Reads the configuration into the session. A file that is not a regular file of at most 1 MiB,
// or cannot be read, is left alone: the session then keeps no configuration file, so nothing
// is written at exit, and the error is the sentence that tells the user.
Result<void, std::string> LoadConfiguration(Session& session,
                                            const std::filesystem::path& configFile);

// The program's start-up: loading window, delay calibration, defaults, configuration,
// register table, then the main window until it closes. Returns the exit code. `configFile` is
// read at start and written at the end; `simulated` says the seams lead to the simulated sensor.
int RunProgram(PortIo& portIo, EzUsbDriver& usbDriver, const std::filesystem::path& configFile,
               bool simulated = false);

}  // namespace velk
