#include <gtest/gtest.h>

#include <algorithm>

#include "cli/CliRig.h"
#include "core/Analyzer.h"

namespace velk::test {
namespace {

class CliOverBoth : public ::testing::TestWithParam<const char*> {
 protected:
  int Run(std::vector<std::string> args) {
    args.insert(args.begin(), {"--interface", GetParam()});
    return rig.Run(args);
  }
  CliRig rig;
};

INSTANTIATE_TEST_SUITE_P(Transports, CliOverBoth, ::testing::Values("parallel", "usb"));

TEST_P(CliOverBoth, IdentifyAndReadNameTheChipAndEveryOutput) {
  ASSERT_EQ(Run({"identify"}), 0) << rig.err.str();
  const std::string usb = GetParam() == std::string("usb") ? "USB card Ezusb-0" : "";
  EXPECT_NE(rig.out.str().find("Product        VELK47120\n"), std::string::npos);
  EXPECT_NE(rig.out.str().find(usb.empty() ? "parallel port 0x378" : usb), std::string::npos);
  // The key code unlocks the identification: low byte first, then high byte.
  const std::vector<uint16_t> frames = rig.Frames();
  const auto key = std::find(frames.begin(), frames.end(), 0xD0C3);
  ASSERT_NE(key, frames.end());
  EXPECT_EQ(*(key + 1), 0xD1A5);

  ASSERT_EQ(Run({"identify", "--json"}), 0);
  EXPECT_EQ(rig.out.str().rfind("{\"product\":\"VELK47120\",\"model\":47120,", 0), 0u);

  ASSERT_EQ(Run({"read"}), 0);
  const std::vector<std::string> lines = Lines(rig.out.str());
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0].rfind("Supply", 0), 0u);
  EXPECT_NE(lines[1].find("Dgr/S  new "), std::string::npos);
  EXPECT_EQ(lines[5].rfind("Status", 0), 0u);
  EXPECT_TRUE(rig.Writes().empty()) << "reading writes nothing";
}

TEST_P(CliOverBoth, RegisterGetSetAndDump) {
  ASSERT_EQ(Run({"reg", "set", "Smpl_Prd", "0x0A"}), 0) << rig.err.str();
  EXPECT_EQ(rig.Writes(), (std::vector<uint16_t>{0xB700, 0xB60A}));
  ASSERT_EQ(Run({"reg", "get", "0x36"}), 0);
  EXPECT_EQ(rig.out.str(), "Smpl_Prd 0x36 0x000A\n");
  // A one-byte register takes one frame, never touching its neighbour.
  ASSERT_EQ(Run({"reg", "set", "ADC_Slct", "7", "--factory"}), 0);
  EXPECT_EQ(rig.Writes().back(), 0xFE07);
  EXPECT_EQ(rig.Writes().size(), 3u);

  ASSERT_EQ(Run({"reg", "dump"}), 0);
  EXPECT_EQ(Lines(rig.out.str()).size(), 31u);  // slots 1..32 but the write-only Command
  ASSERT_EQ(Run({"reg", "dump", "--factory"}), 0);
  EXPECT_EQ(Lines(rig.out.str()).back(), "Test_Cnfg 0x7F 0x0000");
}

TEST_P(CliOverBoth, LogWritesCommentHeaderAndPacedRows) {
  ASSERT_EQ(Run({"log", "--count", "3", "--interval", "250", "--format", "tsv"}), 0)
      << rig.err.str();
  const std::vector<std::string> lines = Lines(rig.out.str());
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0].rfind("# VELK47120, firmware ", 0), 0u);
  EXPECT_NE(lines[0].find("range "), std::string::npos);
  EXPECT_EQ(lines[1].rfind("time (UTC)\telapsed (s)\tSupply (V)\tGyro (Dgr/S)", 0), 0u);
  const char* elapsed[] = {"0.000", "0.250", "0.500"};
  for (int r = 0; r < 3; ++r) {
    const std::string& row = lines[2 + r];
    EXPECT_EQ(std::count(row.begin(), row.end(), '\t'), 9) << row;
    EXPECT_EQ(row.rfind("1970-01-01T00:00:00.000Z\t" + std::string(elapsed[r]) + "\t", 0), 0u);
  }
  EXPECT_NE(rig.err.str().find("3 rows in"), std::string::npos);
}

// The interface comes from the window's configuration, which is never written.
TEST(CliConfiguration, ChoosesTheWindowsInterface) {
  CliRig rig;
  Analyzer settings;
  settings.InterfaceType = 2;
  ASSERT_TRUE(settings.SaveConfig(rig.dir / "other.cfg"));
  const auto written = std::filesystem::last_write_time(rig.dir / "other.cfg");
  ASSERT_EQ(rig.Run({"--config", (rig.dir / "other.cfg").string(), "identify"}), 0);
  EXPECT_NE(rig.out.str().find("USB card Ezusb-0"), std::string::npos);
  EXPECT_EQ(std::filesystem::last_write_time(rig.dir / "other.cfg"), written);
  EXPECT_EQ(rig.Run({"--config", (rig.dir / "none.cfg").string(), "identify"}), 1);
}

TEST(CliSetup, SaveThenLoadRestoresAChangedChip) {
  CliRig rig;
  const std::string file = (rig.dir / "bench.setup").string();
  // A chip as it powers up averages more than its range allows: saved as the window sets it.
  ASSERT_EQ(rig.Run({"setup", "save", file}), 0);
  EXPECT_NE(rig.err.str().find("saved with averaging 0"), std::string::npos);
  ASSERT_EQ(rig.Run({"setup", "load", file}), 0) << rig.err.str();

  ASSERT_EQ(rig.Run({"reg", "set", "Msc_Ctrl", "0x0104"}), 0);  // positive self-test on
  ASSERT_EQ(rig.Run({"reg", "set", "Alm_Mag1", "0x1234"}), 0);
  ASSERT_EQ(rig.Run({"reg", "set", "Sens_Avg", "0x0102"}), 0);
  ASSERT_EQ(rig.Run({"setup", "save", file}), 0) << rig.err.str();
  std::vector<uint8_t> saved;
  for (int a = 0x14; a < 0x3A; ++a) saved.push_back(rig.sensor.Byte(a));

  for (const char* change : {"Gyro_Ofst", "Alm_Mag1", "Alm_Ctrl", "Smpl_Prd", "Gyro_Scale"})
    ASSERT_EQ(rig.Run({"reg", "set", change, "0x55"}), 0);
  ASSERT_EQ(rig.Run({"reg", "set", "Sens_Avg", "0x0400"}), 0);
  const size_t before = rig.Writes().size();
  ASSERT_EQ(rig.Run({"setup", "load", file}), 0) << rig.err.str();

  for (int a = 0x14; a < 0x3A; ++a) {
    const uint8_t expected = a == 0x35 ? saved[a - 0x14] & ~0x07 : saved[a - 0x14];
    EXPECT_EQ(rig.sensor.Byte(a), expected) << "address " << a;
  }
  // Alarms off first, then thresholds and counts, the alarm control, ..., calibration last.
  std::vector<int> order;
  const std::vector<uint16_t> writes = rig.Writes();
  for (size_t i = before; i < writes.size(); i += 2) order.push_back(writes[i] >> 8 & 0x7F);
  EXPECT_EQ(order, (std::vector<int>{0x29, 0x21, 0x23, 0x25, 0x27, 0x29, 0x31, 0x33, 0x35, 0x37,
                                     0x39, 0x15, 0x17}));
}

}  // namespace
}  // namespace velk::test
