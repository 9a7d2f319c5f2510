#include "core/OsName.h"

namespace velk {

std::string DetectOsName() {
#if defined(__linux__)
  return "Linux";
#else
  // Not an NT-family name, so no port access is sought.
  return "Unix";
#endif
}

bool PortAccessRequired(const std::string& osName) {
  return osName == "WinNT" || osName == "WinXP" || osName == "Linux";
}

}  // namespace velk
