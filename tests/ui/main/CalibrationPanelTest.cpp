#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "support/WindowRig.h"
#include "ui/main/WriteTrace.h"

namespace velk {
namespace {

using test::ByteWrite;
using test::WordWrite;

constexpr int kGyroOfst = 0x14;
constexpr int kGyroScale = 0x16;
constexpr int kCommand = 0x3E;

struct CalRig : test::WindowRig {
  CalRig() : w(Open()), trace(sensor, folder / "spi.txt") {}

  void Apply(const std::string& offset, const std::string& scale) {
    w.txtGyroOfst->setText(QString::fromStdString(offset));
    w.txtGyroScale->setText(QString::fromStdString(scale));
    w.CmdApply->click();
  }

  frmVelk47120& w;
  test::WriteTrace trace;
};

TEST(CalibrationPanel, ApplyReadsRoundsAndClampsTheCounts) {
  struct Case {
    const char *offset, *scale;
    int32_t offsetWritten, scaleWritten;
  };
  CalRig rig;
  // The offset register holds 12 bits: beyond them the sign would turn over.
  for (const Case& c : {Case{"5000", "-3", 2047, 0},
                        {"-5000", "100", -2048, 100},
                        {"-12.5", "2.5", -12, 2},
                        {"3.5", "&H10", 4, 16},
                        {"1 2", "0", 12, 0},
                        {"9999999999999", "1e400", 2047, 4095},
                        {"-1e30", "-99999999999", -2048, 0}}) {
    SCOPED_TRACE(testing::Message() << c.offset << " / " << c.scale);
    rig.Apply(c.offset, c.scale);
    EXPECT_EQ(rig.sensor.Word(kGyroOfst), static_cast<uint16_t>(c.offsetWritten));
    EXPECT_EQ(rig.sensor.Word(kGyroScale), c.scaleWritten);
    EXPECT_EQ(rig.w.txtGyroOfst->text(), QString::number(c.offsetWritten));
  }

  // Empty boxes write the counts of the last read.
  rig.Apply("300", "1000");
  rig.trace.Take();
  rig.Apply("", "");
  EXPECT_EQ(rig.trace.Take(), test::WordWrites({{kGyroOfst, 300}, {kGyroScale, 1000}}));
}

TEST(CalibrationPanel, ApplyWritesNoNumberItWasNotGiven) {
  CalRig rig;             // the calibration has not been read yet
  rig.Apply("100", " ");  // only the offset is known
  EXPECT_EQ(rig.trace.Take(), WordWrite(kGyroOfst, 100));

  for (auto [offset, scale, bad] : {std::tuple{"nan", "1000", "nan"},
                                    {"100", "-", "-"},
                                    {"7", "abc", "abc"},
                                    {"&H", "9", "&H"}}) {
    rig.messages.shown.clear();
    rig.Apply(offset, scale);
    EXPECT_TRUE(rig.trace.Take().empty()) << bad;
    EXPECT_EQ(rig.messages.Texts(), std::vector<std::string>{std::string("\"") + bad +
                                                             "\" is not a number; nothing was "
                                                             "written."});
  }
}

TEST(CalibrationPanel, CommandsReadTheCalibrationBack) {
  CalRig rig;
  rig.Apply("300", "1000");
  rig.trace.Take();
  rig.w.CmdRst->click();
  EXPECT_EQ(rig.trace.Take(), WordWrite(kCommand, 2));
  EXPECT_EQ(rig.w.txtGyroOfst->text(), "0");
  EXPECT_EQ(rig.w.txtGyroScale->text(), "2048");

  rig.w.CmdNull->click();
  EXPECT_EQ(rig.trace.Take(), WordWrite(kCommand, 1));
  const int32_t nulled = ((rig.sensor.Word(kGyroOfst) & 0xFFF) ^ 0x800) - 0x800;
  EXPECT_EQ(rig.w.txtGyroOfst->text(), QString::number(nulled));
}

TEST(CalibrationPanel, FactoryDefaultsWriteInOrderThenReadTheSetup) {
  CalRig rig;
  rig.w.hscSmplPrd->setValue(50);
  rig.trace.Take();
  rig.w.cmdResetFactory->click();

  // Aux DAC and its latch, then the alarm control before the thresholds it acts on.
  // clang-format off
  const std::vector<ByteWrite> expected = test::WordWrites({
      {0x30, 0}, {kCommand, 4}, {0x36, 1}, {0x38, 0x402},
      {0x28, 0}, {0x20, 0}, {0x22, 0}, {0x24, 0}, {0x26, 0}, {0x32, 0}, {0x34, 0}});
  // clang-format on
  std::vector<ByteWrite> writes = rig.trace.Take();
  ASSERT_GT(writes.size(), expected.size());
  writes.resize(expected.size());
  EXPECT_EQ(writes, expected);
  EXPECT_EQ(rig.w.txtSmplPrd->text(), "1");  // the setup was read back
}

}  // namespace
}  // namespace velk
