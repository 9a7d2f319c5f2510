#include "registers/Reg47120.h"

namespace velk {

namespace {

constexpr int16_t kTrue = -1;
constexpr int16_t kFalse = 0;

constexpr const char* kNames[63] = {
    "",         "Fls_Cyc",   "Supply_Out", "Gyro_Out", "N/A",       "N/A",        "Aux_Adc",
    "Temp_Out", "Angle_Out", "N/A",        "N/A",      "Gyro_Ofst", "Gyro_Scale", "N/A",
    "N/A",      "N/A",       "N/A",        "Alm_Mag1", "Alm_Mag2",  "Alm_Smp1",   "Alm_Smp2",
    "Alm_Ctrl", "N/A",       "N/A",        "N/A",      "Aux_DAC",   "Gpio_Ctrl",  "Msc_Ctrl",
    "Smpl_Prd", "Sens_Avg",  "Pwr_Mde",    "Status",   "Command",   "N/A",        "Calib_Addr",
    "Calib_RW", "N/A",       "N/A",        "N/A",      "N/A",       "N/A",        "KeyCode",
    "Rev_Day",  "Mon_Year",  "Product",    "N/A",      "Ref0trm",   "Ref1trm",    "Adcof",
    "Adcgn",    "Buf0of",    "Buf1of",     "Buf2of",   "Buf3of",    "OscTrm",     "N/A",
    "N/A",      "N/A",       "N/A",        "N/A",      "ADC_Tst",   "ADC_Slct",   "Test_Cnfg",
};

// Runs of two-byte registers: first slot, last slot, address of the first.
struct AddressRun {
  int first;
  int last;
  int32_t base;
};
constexpr AddressRun kRuns[] = {{1, 16, 0x00},  {17, 24, 0x20}, {25, 32, 0x30}, {33, 40, 0x40},
                                {41, 45, 0x50}, {46, 53, 0x60}, {54, 60, 0x70}};

}  // namespace

void Reg47120::BuildRegisterTable() {
  // Start from scratch so a rebuild never keeps a value from a previous run.
  RegName.fill({});
  RegAddr.fill(0);
  RegBytes.fill(0);
  RegReadable.fill(kTrue);
  RegWritable.fill(kTrue);
  RegBits.fill(16);
  RegSigned.fill(kFalse);
  RegHasNewData.fill(kFalse);
  RegHasErrorAlarm.fill(kFalse);
  RegScale.fill(1.0f);
  RegOffset.fill(0.0f);
  // Slot 0 is never used: it keeps the empty defaults.
  RegReadable[0] = kFalse;
  RegWritable[0] = kFalse;
  RegBits[0] = 0;
  RegScale[0] = 0.0f;

  for (int s = 1; s <= 62; ++s) RegName[s] = kNames[s];

  for (const auto& run : kRuns) {
    for (int s = run.first; s <= run.last; ++s) {
      RegAddr[s] = run.base + 2 * (s - run.first);
      RegBytes[s] = 2;
    }
  }
  RegAddr[slot::ADC_Slct] = 0x7E;
  RegBytes[slot::ADC_Slct] = 1;
  RegAddr[slot::Test_Cnfg] = 0x7F;
  RegBytes[slot::Test_Cnfg] = 1;

  for (int s = 1; s <= 8; ++s) RegWritable[s] = kFalse;
  for (int s : {31, 42, 44, 45, 60}) RegWritable[s] = kFalse;
  RegReadable[slot::Command] = kFalse;

  for (int s : {3, 7, 11}) RegSigned[s] = kTrue;

  RegScale[slot::Supply_Out] = 0.0018315f;
  RegScale[slot::Gyro_Out] = 0.07326f;
  RegScale[slot::Aux_Adc] = 0.0006105f;
  RegScale[slot::Temp_Out] = 0.1453f;
  RegOffset[slot::Temp_Out] = 25.0f;
  RegScale[slot::Angle_Out] = 0.03663f;
  RegScale[slot::Aux_DAC] = 0.0006105f;

  for (int s : {2, 6, 7, 11, 12, 25}) RegBits[s] = 12;
  for (int s : {3, 8}) RegBits[s] = 14;
  for (int s : {19, 20, 28, 30, 32}) RegBits[s] = 8;
  for (int s : {26, 27, 31}) RegBits[s] = 10;
  RegBits[slot::Sens_Avg] = 16;

  for (int s = 2; s <= 8; ++s) {
    RegHasNewData[s] = kTrue;
    RegHasErrorAlarm[s] = kTrue;
  }

  SelectedRegister = 0;
}

float Reg47120::SamplePeriodMs(int32_t value) {
  const float base = value < 128 ? 1.953f : 60.54f;
  return static_cast<float>((value & 0x7F) + 1) * base;
}

float Reg47120::AveragedPeriod(float period, int32_t& N) {
  if (N < 0) N = 0;
  if (N > 7) N = 7;
  AvgTaps = 1 << N;
  return static_cast<float>(2 * AvgTaps) * period;
}

}  // namespace velk
