#pragma once

#include <filesystem>

#include "transport/parallel/PortIo.h"
#include "transport/usb/EzUsbDriver.h"

namespace velk {

// The program's start-up: loading window, delay calibration, defaults, configuration,
// register table, then the main window until it closes. Returns the exit code. `configFile` is
// read at start and written at the end; `simulated` says the seams lead to the simulated sensor.
int RunProgram(PortIo& portIo, EzUsbDriver& usbDriver, const std::filesystem::path& configFile,
               bool simulated = false);

}  // namespace velk
