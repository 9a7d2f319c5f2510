#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QLineEdit>
#include <algorithm>
#include <nlohmann/json.hpp>
#include <string>
#include <tuple>

#include "cli/CliRig.h"
#include "measure/OutputCycle.h"
#include "support/LoopDriver.h"
#include "support/WindowRig.h"

namespace velk {
namespace {

using testing::HasSubstr;

// One word the simulated chip answers for one output register, and what every place that
// shows the output must make of it. Worked by hand, never from the program's own tables:
//   Bit 15 flags new data, bit 14 an error or alarm; the field lies below them. Supply and
//   ADC are 12-bit unsigned, the temperature 12-bit signed, the rate 14-bit signed, the angle
//   14-bit unsigned: 0x2000 in the rate is -8192, 0x0FFF in the temperature -1.
//   value = code x LSB, plus 25 degC for the temperature. LSB: supply 0.0018315 V, ADC
//   0.0006105 V, temperature 0.1453 degC, angle 0.03663 deg; the rate's is its range's
//   factor, 150.06773 / 8192 dgr/S in the 80 dgr/S range, doubling for 160 and again for
//   320 dgr/S, and a quarter of each on the 47121.
//   So 0x2000 in the 160 dgr/S range is -8192 x 0.03663762939453125 = -300.13546, 0x07FF in
//   the temperature 2047 x 0.1453 + 25 = 322.4291, 0x3C18 on a 47121 in its 40 dgr/S range
//   -1000 x 0.009159407348632813 = -9.1594073.
//   The window's box rounds half away from zero to 3 decimals for supply and ADC, else to 2.
// Range is the position on the window's range bar: 0, 1, 2 for 80, 160, 320 dgr/S.
// clang-format off
struct Row { const char* name; int model, range, output; uint16_t word; int code;
             double lsb, value; const char* box; };
// clang-format on
constexpr uint16_t N = 0x8000, E = 0x4000;
constexpr int kSupply = 0, kGyro = 1, kAdc = 2, kTemp = 3, kAngle = 4;  // as every list has them
constexpr double kS = 0.0018315, kA = 0.0006105, kT = 0.1453, kD = 0.03663;
constexpr double k80 = 0.018318814697265626, k160 = 0.03663762939453125, k320 = k160 * 2;
constexpr double q80 = k80 / 4, q160 = k160 / 4, q320 = k320 / 4;
// clang-format off
constexpr Row kRows[] = {
  {"SupplyZeroNew",         47120, 2, kSupply, N | 0x0000,         0, kS,   0.0,         "0.000"},
  {"SupplyOneError",        47121, 0, kSupply, E | 0x0001,         1, kS,   0.0018315,   "0.002"},
  {"SupplyFullBitsAbove",    47120, 2, kSupply, 0x3FFF,          4095, kS,   7.4999925,   "7.500"},
  {"GyroFineMostPositive",  47120, 0, kGyro,   0x1FFF,          8191, k80,  150.04941,   "150.05"},
  {"GyroMidMostNegative",   47120, 1, kGyro,   N | E | 0x2000, -8192, k160, -300.13546,  "-300.14"},
  {"GyroWideMinusOneNew",   47120, 2, kGyro,   N | 0x3FFF,        -1, k320, -0.07327526, "-0.07"},
  {"Gyro47121FinePlusOne",  47121, 0, kGyro,   E | 0x0001,         1, q80,  0.004579704, "0.00"},
  {"Gyro47121MidMinus1000", 47121, 1, kGyro,   0x3C18,         -1000, q160, -9.1594073,  "-9.16"},
  {"Gyro47121WideZero",     47121, 2, kGyro,   0x0000,             0, q320, 0.0,         "0.00"},
  {"AdcZero",               47120, 2, kAdc,    0x0000,             0, kA,   0.0,         "0.000"},
  {"AdcHalfNew",            47121, 1, kAdc,    N | 0x0800,      2048, kA,   1.250304,    "1.250"},
  {"AdcFullScaleError",     47120, 2, kAdc,    E | 0x0FFF,      4095, kA,   2.4999975,   "2.500"},
  {"TempMostNegativeNew",   47120, 2, kTemp,   N | 0x0800,     -2048, kT,   -272.5744,   "-272.57"},
  {"TempMinusOne",          47120, 2, kTemp,   0x0FFF,            -1, kT,   24.8547,     "24.85"},
  {"TempZeroError",         47121, 2, kTemp,   E | 0x0000,         0, kT,   25.0,        "25.00"},
  {"TempPlusOne",           47120, 2, kTemp,   0x0001,             1, kT,   25.1453,     "25.15"},
  {"TempMostPositive",      47120, 2, kTemp,   0x07FF,          2047, kT,   322.4291,    "322.43"},
  {"AngleZeroError",        47120, 2, kAngle,  E | 0x0000,         0, kD,   0.0,         "0.00"},
  {"AngleQuarterNew",       47120, 2, kAngle,  N | 0x1000,      4096, kD,   150.03648,   "150.04"},
  {"AngleFullScaleFlags",   47121, 2, kAngle,  N | E | 0x3FFF, 16383, kD,   600.10929,   "600.11"},
};
// clang-format on
constexpr int kAddress[] = {0x02, 0x04, 0x0A, 0x0C, 0x0E};
const char* const kHeads[] = {"Supply", "Gyro", "ADC In", "Temp", "Angle"};

// New data and error as 0 and 1, or as the datalog's words.
std::string Flags(uint16_t word, const char* set = "1", const char* clear = "0") {
  return std::string((word & N) != 0 ? set : clear) + ' ' + ((word & E) != 0 ? set : clear);
}

class ShownValues : public testing::TestWithParam<Row> {};

// The window, from the reading it makes at the range and model it has set (word, code,
// flags, LSB, unit and value) to the box after "Read", the New Data and Error/Alarm
// indicators (the other outputs answer 0), the chart point's height for the rate (0 at the
// top; beyond the range it lies on the edge), the bar for the angle, and the datalog's row
// after one logged cycle. For the rate, the simulated chip's own reads back too.
TEST_P(ShownValues, Window) {
  const Row& row = GetParam();
  test::WindowRig rig(interface_type::kParallelPort, row.model);
  for (int address : kAddress) rig.sensor.SetOutputWord(address, 0);
  rig.sensor.SetOutputWord(kAddress[row.output], row.word);
  rig.session.analyzer.DeviceNumber = DeviceNumberSetting::FromNumber(row.model);
  frmVelk47120& w = rig.Open();
  w.Form_Activate();  // the window takes the chip's range, then the row's
  w.hscScale->setValue(row.range);

  const OutputValue v = ReadOutputs(rig.session.spi)[row.output];
  const char* const units[] = {"V", "Dgr/S", "V", "dgrC", "dgr"};
  EXPECT_EQ(std::tuple(v.word, v.code, v.newData, v.errorAlarm, std::string(v.unit), ShownText(v)),
            std::tuple(row.word, row.code, (row.word & N) != 0, (row.word & E) != 0,
                       units[row.output], row.box));
  EXPECT_FLOAT_EQ(v.lsb, static_cast<float>(row.lsb));
  EXPECT_FLOAT_EQ(v.value, static_cast<float>(row.value));

  w.cmdReadData->click();
  const int boxSlot[] = {2, 3, 6, 7, 8};
  QLineEdit* box = w.findChild<QLineEdit*>(QString("txtReadReg%1").arg(boxSlot[row.output]));
  EXPECT_EQ(box->text(), row.box);
  EXPECT_EQ(
      w.lblNewDataFlag->text() + ' ' + w.lblErrorAlarmFlag->text(),
      QString((row.word & N) != 0 ? "New " : "Old ") + ((row.word & E) != 0 ? "Alarm" : "OK"));
  // The chart spans 160, 320 or 640 dgr/S by range, a quarter of that on the 47121.
  const double span = (160 << row.range) / (row.model == 47121 ? 4.0 : 1.0);
  if (row.output == kGyro) {
    EXPECT_NEAR(w.plot().LastY, w.pic1->Height() * std::clamp(0.5 - row.value / span, 0.0, 1.0),
                0.5);
  }
  // The bar counts quarter degrees up to 360; with the angle not shown, box and bar are empty.
  if (row.output == kAngle) {
    EXPECT_NEAR(w.ProgressBar3->value(), std::min(row.value * 4, 1440.0), 0.5);
    w.ckAngleOut->setChecked(false);
    w.cmdReadData->click();
    EXPECT_EQ(box->text() + QString::number(w.ProgressBar3->value()), "0");
  }

  w.chkDatalog->click();
  ASSERT_EQ(test::LoopDriver(rig).Run(1), 1);
  const QString log = QString::fromStdString(test::ReadBytes(rig.folder / "Datalog_1.txt"));
  const QStringList f = log.trimmed().section("\r\n", -1).split('\t');
  ASSERT_EQ(f.size(), 9);
  EXPECT_FLOAT_EQ(f[1 + row.output].toFloat(), row.value);  // 7 significant digits
  EXPECT_EQ(log.mid(log.indexOf("Index\t")).section('\t', 1 + row.output, 1 + row.output),
            kHeads[row.output]);
  if (row.output == kAngle) {  // new data and error are the angle's, the last output read
    EXPECT_EQ((f[6] + ' ' + f[7]).toStdString(), Flags(row.word, "True", "False"));
  }

  if (row.output == kGyro) {  // half the row's rate, plus the chip's bias
    rig.sensor.SetOutputWord(kAddress[kGyro], std::nullopt);
    rig.sensor.SetNoise(false);
    rig.sensor.SetFixedRate(row.value / 2);
    const double rate = ReadOutputs(rig.session.spi)[kGyro].value;
    EXPECT_NEAR(rate, row.value / 2 + rig.sensor.Bias(), row.lsb);
  }
}

// The tool: the field in a log's row, and the value and flags in read's JSON. The range is
// the chip's.
TEST_P(ShownValues, Tool) {
  const Row& row = GetParam();
  test::CliRig rig(row.model);
  rig.sensor.SetOutputWord(kAddress[row.output], row.word);
  ASSERT_EQ(rig.Run({"reg", "set", "Sens_Avg", std::to_string(0x100 << row.range)}), 0);
  ASSERT_EQ(rig.Run({"log", "--count", "1"}), 0);
  const QStringList f = QString::fromStdString(test::Lines(rig.out.str()).back()).split(',');
  ASSERT_EQ(f.size(), 10);
  EXPECT_FLOAT_EQ(f[2 + row.output].toFloat(), row.value);
  EXPECT_EQ(test::Lines(rig.out.str())[1],
            "time (UTC),elapsed (s),Supply (V),Gyro (Dgr/S),ADC In (V),Temp (dgrC),Angle (dgr),New,"
            "Error,Status");
  if (row.output == kAngle) {
    EXPECT_EQ((f[7] + ' ' + f[8]).toStdString(), Flags(row.word));
  }

  // The first line names the range the chip is set to: 80, 160 or 320 Dgr/S, a quarter on a 47121.
  const int range = (80 << row.range) / (row.model == 47121 ? 4 : 1);
  EXPECT_THAT(test::Lines(rig.out.str())[0],
              HasSubstr("range " + std::to_string(range) + " Dgr/S, sample period 3.91 mS"));
  const QString address = QString::asprintf("0x%02X", kAddress[row.output]);
  ASSERT_EQ(rig.Run({"reg", "get", address.toStdString()}), 0);
  EXPECT_THAT(rig.out.str(), HasSubstr(QString::asprintf(" 0x%04X\n", row.word).toStdString()));

  ASSERT_EQ(rig.Run({"read", "--json"}), 0);
  const char* const keys[] = {"supply", "gyro", "adc_in", "temp", "angle"};
  const nlohmann::json shown = nlohmann::json::parse(rig.out.str()).at(keys[row.output]);
  EXPECT_FLOAT_EQ(shown.at("value").get<float>(), row.value);
  EXPECT_EQ(shown.at("new").dump() + ' ' + shown.at("error").dump(), Flags(row.word));
}

INSTANTIATE_TEST_SUITE_P(Words, ShownValues, testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velk
