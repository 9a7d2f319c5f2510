#include <string>

#include "core/ChipConstants.h"
#include "core/Delay.h"
#include "registers/Reg47120.h"
#include "registers/Spi47120.h"

namespace velk {

namespace {

// Two BCD digits, taken as they are (no check that they are valid).
int32_t Bcd(int32_t byte) {
  return ((byte >> 4) & 0xF) * 10 + (byte & 0xF);
}

// Owner of the line that a control register's output is routed to: bit 2 enables the output,
// bit 0 picks DIO1 over DIO0.
void ClaimPin(std::array<int16_t, 2>& pins, int32_t control, int16_t owner) {
  const int32_t m = control & 5;
  if (m == 5) pins[1] = owner;
  if (m == 4) pins[0] = owner;
}

}  // namespace

void Reg47120::IdentifyProduct(Spi47120& spi) {
  // The identification registers read zeros until the key code is written.
  spi.WriteRegister(slot::KeyCode, kKeyCode);
  DelayMs(100.0f);

  spi.ReadRegister(slot::Rev_Day);
  FirmwareRevision = static_cast<float>(Bcd(spi.RegData & 0xFF)) / 10.0f;
  RevisionDay = Bcd(spi.RegData >> 8);

  spi.ReadRegister(slot::Mon_Year);
  RevisionMonth = Bcd(spi.RegData & 0xFF);
  RevisionYear = Bcd(spi.RegData >> 8) + 2000;

  spi.ReadRegister(slot::Fls_Cyc);
  FlashCount = spi.RegData;

  spi.ReadRegister(slot::Product);
  ProductName = spi.RegData != 0 ? "VELK" + std::to_string(spi.RegData) : "Unknown";
}

void Reg47120::RefreshPinUse(Spi47120& spi) {
  // Later claims override earlier ones: data ready outranks the alarm output, which
  // outranks GPIO.
  DioPinUse = {0, 0};

  spi.ReadRegister(slot::Gpio_Ctrl);
  GpioCtrl = spi.RegData;
  if ((GpioCtrl & 2) != 0) DioPinUse[1] = 1;
  if ((GpioCtrl & 1) != 0) DioPinUse[0] = 1;

  spi.ReadRegister(slot::Alm_Ctrl);
  AlmCtrl = spi.RegData;
  ClaimPin(DioPinUse, AlmCtrl, 2);

  spi.ReadRegister(slot::Msc_Ctrl);
  MscCtrl = spi.RegData;
  ClaimPin(DioPinUse, MscCtrl, 3);
}

}  // namespace velk
