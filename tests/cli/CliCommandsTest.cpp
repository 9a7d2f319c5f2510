#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>

#include "cli/CliRig.h"
#include "cli/Json.h"

namespace velk::test {
namespace {

// Over either adapter: a register set, read and listed, and a paced log.
TEST(CliCommands, RegistersAndLogOverBothAdapters) {
  for (const char* interface : {"parallel", "usb"}) {
    SCOPED_TRACE(interface);
    CliRig rig;
    const auto run = [&](std::vector<std::string> args) {
      args.insert(args.begin(), {"--interface", interface});
      return rig.Run(args);
    };
    ASSERT_EQ(run({"reg", "set", "Smpl_Prd", "0x0A"}), 0) << rig.err.str();
    EXPECT_EQ(rig.Writes(), (std::vector<uint16_t>{0xB700, 0xB60A}));
    ASSERT_EQ(run({"reg", "get", "0x36"}), 0);
    EXPECT_EQ(rig.out.str(), "Smpl_Prd 0x36 0x000A\n");
    // A one-byte register takes one frame, never touching its neighbour.
    ASSERT_EQ(run({"reg", "set", "ADC_Slct", "7", "--factory"}), 0);
    EXPECT_EQ(rig.Writes(), (std::vector<uint16_t>{0xB700, 0xB60A, 0xFE07}));
    ASSERT_EQ(run({"reg", "dump"}), 0);
    EXPECT_EQ(Lines(rig.out.str()).size(), 31u);  // slots 1..32 but the write-only Command
    ASSERT_EQ(run({"reg", "dump", "--factory"}), 0);
    EXPECT_EQ(Lines(rig.out.str()).back(), "Test_Cnfg 0x7F 0x0000");

    ASSERT_EQ(run({"log", "--count", "3", "--interval", "250", "--format", "tsv"}), 0);
    const std::vector<std::string> lines = Lines(rig.out.str());
    ASSERT_EQ(lines.size(), 5u);
    // The comment line ends in the words as read (the rest is the kernel-device tool test's).
    const std::string words = ", Smpl_Prd=0x0A, Sens_Avg=0x0402, model 47120";
    EXPECT_EQ(lines[0].substr(lines[0].size() - std::min(lines[0].size(), words.size())), words);
    EXPECT_EQ(lines[1].rfind("time (UTC)\telapsed (s)\tSupply (V)\tGyro (Dgr/S)", 0), 0u);
    const char* elapsed[] = {"0.000000", "0.250000", "0.500000"};
    for (int r = 0; r < 3; ++r) {
      const std::string& row = lines[2 + r];
      EXPECT_EQ(std::count(row.begin(), row.end(), '\t'), 9) << row;
      EXPECT_EQ(row.rfind("1970-01-01T00:00:00.000Z\t" + std::string(elapsed[r]) + "\t", 0), 0u);
    }
    EXPECT_NE(rig.err.str().find("3 rows in"), std::string::npos);
  }
}

// What happens at the log's first pause: a chip that sleeps 2.5 s, one that never answers
// again, or nothing, with a duration ending the wait for a row due later.
TEST(CliCommands, LogWaitsOutASilentChipAndEndsAtTheDuration) {
  struct Case {
    std::vector<std::string> args;
    void (*atFirstPause)(CliRig&);
    int status;
    size_t rows;
    const char* said;
  };
  const auto asleep = [](CliRig& r) { r.sensor.Sleep(2.5); };
  const auto silent = [](CliRig& r) { r.sensor.SetNoAnswer(true); };
  const Case cases[] = {
      {{"--count", "4"}, asleep, 0, 4, "4 rows in 5.000 s"},
      {{"--duration", "200"}, silent, 3, 1, "no answer for 128 s"},
      {{"--duration", "2", "--interval", "8000", "--out", "-"}, nullptr, 0, 1, "1 rows in 2.000 s"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.said);
    CliRig rig;
    bool first = true;
    rig.context.sleep = [&](double s) {
      if (first && c.atFirstPause != nullptr) c.atFirstPause(rig);
      first = false;
      rig.clock.Advance(s);
    };
    std::vector<std::string> args = {"log", "--interval", "1000"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    EXPECT_EQ(rig.Run(args), c.status);
    const std::vector<std::string> lines = Lines(rig.out.str());
    EXPECT_EQ(lines.size(), 2 + c.rows);
    const std::string err = rig.err.str();
    EXPECT_NE(err.find(c.said), std::string::npos) << err;
    // Said once however long the silence lasts.
    const size_t waiting = err.find("does not answer (asleep after a power-down?); waiting");
    EXPECT_EQ(waiting != std::string::npos, c.atFirstPause != nullptr) << err;
    if (waiting != std::string::npos) {
      EXPECT_EQ(err.find("waiting", waiting + 60), std::string::npos);
    }
    if (c.rows == 4) {
      EXPECT_NE(lines[3].find(",3.000000,"), std::string::npos) << lines[3];
    }
  }
}

// A number in the JSON has the digits the text output shows; one the text cannot give as a
// number is null.
TEST(CliCommands, JsonNumbersKeepTheDigitsOfTheText) {
  const std::pair<float, const char*> cases[] = {
      {25.0f, "25"},        {4.999995f, "4.999995"},  {-7.400801f, "-7.400801"},
      {1.5e-5f, "1.5e-05"}, {1.234e-4f, "0.0001234"}, {std::nanf(""), "null"},
      {-1e30f, "-1e+30"}};
  for (const auto& [value, text] : cases)
    EXPECT_EQ(JsonLine(JsonNumber(value)), std::string(text) + "\n") << value;
}

TEST(CliSetup, SaveThenLoadRestoresAChangedChip) {
  CliRig rig;
  const std::string file = (rig.dir / "bench.setup").string();
  // A chip as it powers up averages more than its range allows: saved as the window sets it.
  ASSERT_EQ(rig.Run({"setup", "save", file}), 0);
  EXPECT_NE(rig.err.str().find("Sens_Avg reads 0x0402, which a load refuses; saved as 0x0400"),
            std::string::npos);
  ASSERT_EQ(rig.Run({"setup", "load", file}), 0) << rig.err.str();

  ASSERT_EQ(rig.Run({"reg", "set", "Msc_Ctrl", "0x0104"}), 0);  // positive self-test on
  ASSERT_EQ(rig.Run({"reg", "set", "Alm_Mag1", "0x1234"}), 0);
  ASSERT_EQ(rig.Run({"reg", "set", "Sens_Avg", "0x0102"}), 0);
  ASSERT_EQ(rig.Run({"reg", "set", "Gyro_Ofst", "0x0FFF"}), 0);  // -1 in its 12 bits
  ASSERT_EQ(rig.Run({"setup", "save", file}), 0) << rig.err.str();
  EXPECT_NE(rig.err.str().find("Gyro_Ofst reads 0x0FFF, which a load refuses; saved as 0xFFFF"),
            std::string::npos);

  for (const char* change : {"Gyro_Ofst", "Alm_Mag1", "Alm_Ctrl", "Smpl_Prd", "Gyro_Scale"})
    ASSERT_EQ(rig.Run({"reg", "set", change, "0x55"}), 0);
  ASSERT_EQ(rig.Run({"reg", "set", "Sens_Avg", "0x0400"}), 0);
  const size_t before = rig.Writes().size();
  ASSERT_EQ(rig.Run({"setup", "load", file}), 0) << rig.err.str();

  // The chip holds again what was saved: saved again, it gives the same file but its date.
  ASSERT_EQ(rig.Run({"setup", "save", file + ".again"}), 0);
  const std::string saved = ReadBytes(file), again = ReadBytes(file + ".again");
  EXPECT_EQ(again.substr(again.find('\n')), saved.substr(saved.find('\n')));
  // Alarms off first, then thresholds and counts, the alarm control, ..., calibration last.
  std::vector<int> order;
  const std::vector<uint16_t> writes = rig.Writes();
  for (size_t i = before; i < writes.size(); i += 2) order.push_back(writes[i] >> 8 & 0x7F);
  EXPECT_EQ(order, (std::vector<int>{0x29, 0x21, 0x23, 0x25, 0x27, 0x29, 0x31, 0x33, 0x35, 0x37,
                                     0x39, 0x15, 0x17}));

  // Another product's setup is refused once the chip has said what it is.
  CliRig other(47121);
  EXPECT_EQ(other.Run({"setup", "load", file}), 1);
  EXPECT_NE(other.err.str().find("for the VELK47120, but the chip is a VELK47121"),
            std::string::npos);
  EXPECT_TRUE(other.Writes().empty());
}

}  // namespace
}  // namespace velk::test
