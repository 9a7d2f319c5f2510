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

// Gives an enabled output the line its control register routes it to.
void ClaimPin(std::array<int16_t, 2>& pins, int32_t control, int32_t enable, int32_t dio1,
              int16_t owner) {
  if ((control & enable) != 0) pins[(control & dio1) != 0 ? 1 : 0] = owner;
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
  DioPinUse = {pin_use::kFree, pin_use::kFree};

  spi.ReadRegister(slot::Gpio_Ctrl);
  GpioCtrl = spi.RegData;
  if ((GpioCtrl & gpio_ctrl::Output(1)) != 0) DioPinUse[1] = pin_use::kGpio;
  if ((GpioCtrl & gpio_ctrl::Output(0)) != 0) DioPinUse[0] = pin_use::kGpio;

  spi.ReadRegister(slot::Alm_Ctrl);
  AlmCtrl = spi.RegData;
  ClaimPin(DioPinUse, AlmCtrl, alm_ctrl::kOutputEnable, alm_ctrl::kOutputDio1, pin_use::kAlarm);

  spi.ReadRegister(slot::Msc_Ctrl);
  MscCtrl = spi.RegData;
  ClaimPin(DioPinUse, MscCtrl, msc_ctrl::kReadyEnable, msc_ctrl::kReadyDio1, pin_use::kDataReady);
}

}  // namespace velk
