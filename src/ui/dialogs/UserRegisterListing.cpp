#include "ui/dialogs/UserRegisterListing.h"

#include <cstdio>

#include "registers/Reg47120.h"
#include "registers/Spi47120.h"

namespace velk {

namespace {

constexpr int16_t kListed[] = {slot::Gyro_Ofst, slot::Gyro_Scale, slot::Alm_Mag1, slot::Alm_Mag2,
                               slot::Alm_Smp1,  slot::Alm_Smp2,   slot::Alm_Ctrl, slot::Aux_DAC,
                               slot::Gpio_Ctrl, slot::Msc_Ctrl,   slot::Smpl_Prd, slot::Sens_Avg,
                               slot::Pwr_Mde};

std::string Hex(uint32_t value, int minDigits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", minDigits, value);
  return text;
}

}  // namespace

std::string UserRegisterListing(Spi47120& spi, const Reg47120& table) {
  std::string text = "Name\t\tAddr\tSetting\r\n";
  text += "---------\t\t---------\t---------\r\n";
  for (int16_t s : kListed) {
    spi.ReadRegister(s);
    std::string name = table.RegName[s];
    name.erase(name.find_last_not_of(' ') + 1);
    // A negative value shows as its 32-bit two's complement.
    text += name + "      \t" + Hex(static_cast<uint32_t>(table.RegAddr[s]), 1) + "\t" +
            Hex(static_cast<uint32_t>(spi.RegData), 4) + "\r\n";
  }
  return text;
}

}  // namespace velk
