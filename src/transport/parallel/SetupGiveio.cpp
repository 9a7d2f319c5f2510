#include "transport/parallel/SetupGiveio.h"

#include <string>

#include "core/OsName.h"

namespace velk {

void SetupGiveio::InstallGiveio(uint16_t base) {
  soughtBase_ = base;
  std::string advice;
  if (io_.ObtainAccess(base, advice)) return;
  std::string text = "The required I/O drivers could not be installed.";
  if (!advice.empty()) text += "\n\n" + advice;
  messages_.Show(text, "Error");
}

bool SetupGiveio::PreparePort(const Analyzer& config, ParallelSpi& spi) {
  if (config.InterfaceType != interface_type::kParallelPort || !PortAccessRequired(config.OsName))
    return false;
  const auto base = static_cast<uint16_t>(config.PortAddress);
  const bool otherPort = soughtBase_.has_value() && *soughtBase_ != base;
  if (PortDriverReady != 0 && !otherPort) return false;
  InstallGiveio(base);
  PortDriverReady = -1;
  spi.ParallelPortInit();
  return true;
}

}  // namespace velk
