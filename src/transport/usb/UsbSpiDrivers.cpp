#include "transport/usb/UsbSpiDrivers.h"

namespace velk {

void UsbSpiDrivers::WriteReadSpi(uint8_t n) {
  // No card can be selected yet, so the card is never ready.
  if (!CardReady()) return;
  SpiWordCount = n;
}

}  // namespace velk
