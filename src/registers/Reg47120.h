#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace velk {

class Spi47120;

inline constexpr int kRegisterSlots = 66;  // slots 0..65; 1..62 are defined

// Slots of the registers that callers name.
namespace slot {
inline constexpr int16_t Fls_Cyc = 1;
inline constexpr int16_t Supply_Out = 2;
inline constexpr int16_t Gyro_Out = 3;
inline constexpr int16_t Aux_Adc = 6;
inline constexpr int16_t Temp_Out = 7;
inline constexpr int16_t Angle_Out = 8;
inline constexpr int16_t Gyro_Ofst = 11;
inline constexpr int16_t Gyro_Scale = 12;
inline constexpr int16_t Alm_Mag1 = 17;
inline constexpr int16_t Alm_Mag2 = 18;
inline constexpr int16_t Alm_Smp1 = 19;
inline constexpr int16_t Alm_Smp2 = 20;
inline constexpr int16_t Alm_Ctrl = 21;
inline constexpr int16_t Aux_DAC = 25;
inline constexpr int16_t Gpio_Ctrl = 26;
inline constexpr int16_t Msc_Ctrl = 27;
inline constexpr int16_t Smpl_Prd = 28;
inline constexpr int16_t Sens_Avg = 29;
inline constexpr int16_t Pwr_Mde = 30;
inline constexpr int16_t Status = 31;
inline constexpr int16_t Command = 32;
inline constexpr int16_t Calib_Addr = 34;
inline constexpr int16_t Calib_RW = 35;
inline constexpr int16_t KeyCode = 41;
inline constexpr int16_t Rev_Day = 42;
inline constexpr int16_t Mon_Year = 43;
inline constexpr int16_t Product = 44;
inline constexpr int16_t ADC_Tst = 60;
inline constexpr int16_t ADC_Slct = 61;
inline constexpr int16_t Test_Cnfg = 62;
}  // namespace slot

// Owners of a DIO line, as DioPinUse holds them.
namespace pin_use {
inline constexpr int16_t kFree = 0;
inline constexpr int16_t kGpio = 1;       // a GPIO output
inline constexpr int16_t kAlarm = 2;      // the alarm output
inline constexpr int16_t kDataReady = 3;  // the data-ready output
}  // namespace pin_use

// The alarm output's bits of Alm_Ctrl.
namespace alm_ctrl {
inline constexpr int32_t kOutputDio1 = 0x0001;  // clear: DIO0
inline constexpr int32_t kOutputHigh = 0x0002;  // clear: active low
inline constexpr int32_t kOutputEnable = 0x0004;
}  // namespace alm_ctrl

// Bits of Msc_Ctrl: the data-ready output, laid out as the alarm output, and the self-tests.
namespace msc_ctrl {
inline constexpr int32_t kReadyDio1 = 0x0001;
inline constexpr int32_t kReadyHigh = 0x0002;
inline constexpr int32_t kReadyEnable = 0x0004;
inline constexpr int32_t kPositiveSelfTest = 0x0100;
inline constexpr int32_t kNegativeSelfTest = 0x0200;
inline constexpr int32_t kInternalSelfTest = 0x0400;  // starts it; never read back set
}  // namespace msc_ctrl

// Bits of Gpio_Ctrl for DIO `line` (0 or 1).
namespace gpio_ctrl {
constexpr int32_t Output(int line) {
  return 0x0001 << line;  // clear: an input
}
constexpr int32_t High(int line) {
  return 0x0100 << line;
}
}  // namespace gpio_ctrl

// Module Reg47120: the register table, the chip's identification, the shared register
// copies and the DIO pin-use table.
class Reg47120 {
 public:
  template <typename T>
  using Column = std::array<T, kRegisterSlots>;

  // Register table (flags are -1/0).
  Column<std::string> RegName{};
  Column<int32_t> RegAddr{};
  Column<uint8_t> RegBytes{};
  Column<int16_t> RegReadable{};
  Column<int16_t> RegWritable{};
  Column<int16_t> RegBits{};
  Column<int16_t> RegSigned{};
  Column<int16_t> RegHasNewData{};
  Column<int16_t> RegHasErrorAlarm{};
  Column<float> RegScale{};
  Column<float> RegOffset{};

  // Slot chosen in the register information dialog, 0 for none.
  int16_t SelectedRegister = 0;

  // Identification record, filled by IdentifyProduct.
  std::string ProductName;
  float FirmwareRevision = 0.0f;
  int32_t RevisionDay = 0;
  int32_t RevisionMonth = 0;
  int32_t RevisionYear = 0;
  int32_t FlashCount = 0;

  // Copies of configuration registers, edited bit by bit (alm_ctrl, msc_ctrl, gpio_ctrl) and
  // written back whole.
  int32_t AlmMag1 = 0;
  int32_t AlmMag2 = 0;
  int32_t AlmSmpl1 = 0;
  int32_t AlmSmpl2 = 0;
  int32_t AlmCtrl = 0;
  int32_t GpioCtrl = 0;
  int32_t MscCtrl = 0;

  // Owner of DIO0 and DIO1, a pin_use code each.
  std::array<int16_t, 2> DioPinUse{};

  // 2^N of the last AveragedPeriod.
  int32_t AvgTaps = 0;

  void BuildRegisterTable();

  // Writes the key code, then reads the revision, date, flash count and product number.
  void IdentifyProduct(Spi47120& spi);
  // Rebuilds DioPinUse and the Gpio/Alm/Msc copies from the chip.
  void RefreshPinUse(Spi47120& spi);

  // Internal sample period in ms of a Smpl_Prd value.
  static float SamplePeriodMs(int32_t value);
  // 2 x 2^N x period; N is limited to 0..7, also in the caller's variable.
  float AveragedPeriod(float period, int32_t& N);
};

}  // namespace velk
