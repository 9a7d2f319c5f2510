#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>
#include <string>

#include "registers/Reg47120.h"

namespace velk {
namespace {

TEST(RegisterTable, MatchesTheChipsRegisterMap) {
  std::istringstream names(
      "Fls_Cyc Supply_Out Gyro_Out N/A N/A Aux_Adc Temp_Out Angle_Out N/A N/A Gyro_Ofst "
      "Gyro_Scale N/A N/A N/A N/A Alm_Mag1 Alm_Mag2 Alm_Smp1 Alm_Smp2 Alm_Ctrl N/A N/A N/A "
      "Aux_DAC Gpio_Ctrl Msc_Ctrl Smpl_Prd Sens_Avg Pwr_Mde Status Command N/A Calib_Addr "
      "Calib_RW N/A N/A N/A N/A N/A KeyCode Rev_Day Mon_Year Product N/A Ref0trm Ref1trm Adcof "
      "Adcgn Buf0of Buf1of Buf2of Buf3of OscTrm N/A N/A N/A N/A N/A ADC_Tst ADC_Slct Test_Cnfg");
  const int bits[63] = {0,  16, 12, 14, 16, 16, 12, 12, 14, 16, 16, 12, 12, 16, 16, 16,
                        16, 16, 16, 8,  8,  16, 16, 16, 16, 12, 10, 10, 8,  16, 8,  10,
                        8,  16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16,
                        16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16};
  // Every even address except 0x5A..0x5E, then the two one-byte registers.
  std::vector<int> addresses = {-1};
  for (int a = 0; a <= 0x7C; a += 2)
    if (a < 0x5A || a > 0x5E) addresses.push_back(a);
  addresses.insert(addresses.end(), {0x7E, 0x7F});
  const std::set<int> readOnly = {1, 2, 3, 4, 5, 6, 7, 8, 31, 42, 44, 45, 60};
  const std::set<int> signedSlots = {3, 7, 11};
  const std::map<int, float> scales = {{2, 0.0018315f}, {3, 0.07326f}, {6, 0.0006105f},
                                       {7, 0.1453f},    {8, 0.03663f}, {25, 0.0006105f}};

  Reg47120 r;
  r.SelectedRegister = 12;
  r.BuildRegisterTable();
  EXPECT_EQ(r.SelectedRegister, 0);
  for (int s = 1; s <= 62; ++s) {
    SCOPED_TRACE(s);
    std::string name;
    names >> name;
    EXPECT_EQ(r.RegName[s], name);
    EXPECT_EQ(r.RegAddr[s], addresses[s]);
    EXPECT_EQ(r.RegBytes[s], s >= 61 ? 1 : 2);
    EXPECT_EQ(r.RegReadable[s], s == 32 ? 0 : -1);
    EXPECT_EQ(r.RegWritable[s], readOnly.count(s) ? 0 : -1);
    EXPECT_EQ(r.RegBits[s], bits[s]);
    EXPECT_EQ(r.RegSigned[s], signedSlots.count(s) ? -1 : 0);
    EXPECT_EQ(r.RegHasNewData[s], s >= 2 && s <= 8 ? -1 : 0);
    EXPECT_EQ(r.RegHasErrorAlarm[s], s >= 2 && s <= 8 ? -1 : 0);
    EXPECT_EQ(r.RegScale[s], scales.count(s) ? scales.at(s) : 1.0f);
    EXPECT_EQ(r.RegOffset[s], s == 7 ? 25.0f : 0.0f);
  }
}

}  // namespace
}  // namespace velk
