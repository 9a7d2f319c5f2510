#pragma once

#include <string>

namespace velk {

// The operating system's name as the windows compare it: "Linux" on Linux.
std::string DetectOsName();

// True where a program must obtain port access before it may touch the parallel port: the
// NT-family Windows names and Linux.
bool PortAccessRequired(const std::string& osName);

}  // namespace velk
