#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "CliRig.h"
#include "sim/SimNoiseProfile.h"

namespace velk::test {
namespace {

// A 10 s log over USB, 100 ms a row, whose card goes away 3 s in.
TEST(CliReconnect, ALogGoesOnOnlyWithTheSameCardAndChip) {
  struct Case {
    const char* name;
    UnplugWindow window;
    std::vector<std::string> args;
    std::function<void(CliRig&, SimSensor&)> whileAway;  // done 4.5 s in
    int status;
    int headers;
    bool rowsAfter;
    const char* said;
    const char* backAs;  // in the second comment line
    std::string place;   // of the card on the bus
  };
  const char* const kSame = "USB card Ezusb-0,";
  const Case cases[] = {
      {"back in time",
       {3, 6},
       {"--reconnect-wait", "10"},
       nullptr,
       0,
       2,
       true,
       "is back at",
       kSame,
       ""},
      {"not back in time",
       {3, 20},
       {"--reconnect-wait", "2"},
       nullptr,
       2,
       1,
       false,
       "Ezusb-0 was not back within 2 s; the log ends",
       kSame,
       ""},
      {"no wait, as before", {3, 6}, {}, nullptr, 2, 1, false, "; the log ends", kSame, ""},
      {"the log's end comes first",
       {3, std::nullopt},
       {"--reconnect-wait", "60"},
       nullptr,
       2,
       1,
       false,
       "was not back when the log's duration ran out",
       kSame,
       ""},
      {"another card",
       {3, 6},
       {"--reconnect-wait", "10"},
       [](CliRig& r, SimSensor&) { r.card.Card(0).kind = SimUsbCard::Kind::Mcp; },
       2,
       1,
       false,
       "another card came back as Ezusb-0: MCP card \"USB SPI Card\" / \"FIFO4 SPI Interface\", "
       "firmware 1.2, not the FIFO4 card",
       kSame,
       ""},
      {"another card of the same kind",
       {3, 6},
       {"--reconnect-wait", "10"},
       [](CliRig& r, SimSensor&) { r.card.Card(0).descriptor1 = "Other SPI Card"; },
       2,
       1,
       false,
       "another card came back as Ezusb-0: FIFO4 card \"Other SPI Card\" / \"FIFO4 SPI "
       "Interface\", firmware 1.2, not the FIFO4 card",
       kSame,
       ""},
      {"by its place, under another name",
       {3, 6},
       {"--reconnect-wait", "10"},
       [](CliRig& r, SimSensor&) {
         r.card.Card(1) = r.card.Card(0);
         r.card.Card(0).present = false;
       },
       0,
       2,
       true,
       "is back at",
       "USB card Ezusb-1,",
       "1-1"},
      {"a card elsewhere under its name",
       {3, 6},
       {"--reconnect-wait", "5"},
       [](CliRig& r, SimSensor&) { r.card.Card(0).place = "1-4"; },
       2,
       1,
       false,
       "Ezusb-0 was not back within 5 s",
       "",
       "1-1"},
      {"another chip",
       {3, 6},
       {"--reconnect-wait", "10"},
       [](CliRig& r, SimSensor& other) { r.card.Carry(&other); },
       2,
       1,
       false,
       "came back with another chip: VELK47121, firmware 1.2 of 2026-06-14, not VELK47120",
       kSame,
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CliRig rig;
    SimSensor other(rig.clock, 47121);
    const double start = rig.clock.Seconds();
    bool swapped = false;
    rig.context.sleep = [&](double s) {
      rig.clock.Advance(s);
      if (c.whileAway && !swapped && rig.clock.Seconds() - start >= 4.5) {
        c.whileAway(rig, other);
        swapped = true;
      }
    };
    rig.card.UnplugDuring(rig.clock, c.window);
    rig.card.Card(0).place = c.place;
    const std::string file = (rig.dir / "log.csv").string();
    std::vector<std::string> args = {"--interface", "usb", "log",   "--interval", "100",
                                     "--duration",  "10",  "--out", file};
    args.insert(args.end(), c.args.begin(), c.args.end());
    EXPECT_EQ(rig.Run(args), c.status);
    const std::string err = rig.err.str();
    EXPECT_NE(err.find("the USB card went away at "), std::string::npos) << err;
    EXPECT_NE(err.find(c.said), std::string::npos) << err;

    std::ifstream in(file);
    const std::vector<std::string> lines =
        Lines(std::string(std::istreambuf_iterator<char>(in), {}));
    int headers = 0;
    int before = 0;
    int after = 0;
    for (const std::string& line : lines) {
      if (line.rfind("# ", 0) == 0) {
        ++headers;
        EXPECT_NE(line.find(headers == 1 ? "USB card Ezusb-0," : c.backAs), std::string::npos)
            << line;
        continue;
      }
      if (line.rfind("time", 0) == 0) continue;
      const double elapsed = std::stod(line.substr(line.find(',') + 1));
      EXPECT_TRUE(elapsed < 3.0 || (elapsed >= 6.0 && elapsed < 10.0)) << line;
      ++(elapsed < 3.0 ? before : after);
      // Every row whole: ten fields.
      EXPECT_EQ(std::count(line.begin(), line.end(), ','), 9) << line;
    }
    EXPECT_EQ(headers, c.headers);
    EXPECT_EQ(before, 30);
    if (c.rowsAfter) {
      EXPECT_GE(after, 35);
    } else {
      EXPECT_EQ(after, 0);
    }
  }
}

// A 10 s acquisition over USB whose card goes away 3 s in. Whatever happens after, the
// samples taken are analysed; a card back in time makes the rest a new segment of the same
// run, numbered on, and the file read back gives the record the acquisition gave.
TEST(CliReconnect, AnAcquisitionGoesOnAsANewSegment) {
  struct Case {
    const char* name;
    UnplugWindow window;
    std::vector<std::string> args;
    std::function<void(CliRig&, SimSensor&)> whileAway;  // done 4.5 s in
    int status;
    const char* said;
    int segments;
  };
  const Case cases[] = {
      {"back in time",
       {3, 6},
       {"--reconnect-wait", "10"},
       nullptr,
       0,
       "; the acquisition goes on",
       2},
      {"not back in time",
       {3, 20},
       {"--reconnect-wait", "2"},
       nullptr,
       2,
       "Ezusb-0 was not back within 2 s; the acquisition ends",
       1},
      {"no wait, as before",
       {3, 6},
       {},
       nullptr,
       2,
       "went away at 00:00:00; the acquisition ends",
       1},
      {"another chip",
       {3, 6},
       {"--reconnect-wait", "10"},
       [](CliRig& r, SimSensor& other) { r.card.Carry(&other); },
       2,
       "came back with another chip: VELK47121",
       1},
      {"the chip back with its power-on settings",
       {3, 6},
       {"--reconnect-wait", "10"},
       [](CliRig& r, SimSensor&) { r.sensor.PowerCycle(); },
       2,
       "the chip came back with Smpl_Prd=0x01, Sens_Avg=0x0402 where the acquisition had 0x02",
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CliRig rig;
    rig.sensor.SetNoiseProfile(SimNoiseProfile::Parse("white").value());
    ASSERT_EQ(rig.Run({"--interface", "usb", "reg", "set", "Smpl_Prd", "2"}), 0);
    SimSensor other(rig.clock, 47121);
    const double start = rig.clock.Seconds();
    bool swapped = false;
    rig.context.sleep = [&](double s) {
      rig.clock.Advance(s);
      if (c.whileAway && !swapped && rig.clock.Seconds() - start >= 4.5) {
        c.whileAway(rig, other);
        swapped = true;
      }
    };
    rig.card.UnplugDuring(rig.clock, c.window);
    const std::string file = (rig.dir / "still.csv").string();
    std::vector<std::string> args = {"--interface", "usb",    "noise", "--duration",
                                     "10",          "--json", "--out", file};
    args.insert(args.end(), c.args.begin(), c.args.end());
    EXPECT_EQ(rig.Run(args), c.status);
    const std::string err = rig.err.str();
    EXPECT_NE(err.find("velk47120-cli: the USB card went away at "), std::string::npos) << err;
    EXPECT_NE(err.find(c.said), std::string::npos) << err;
    const auto live = nlohmann::json::parse(rig.out.str());
    EXPECT_EQ(live["sampling"]["segments"], c.segments);
    EXPECT_EQ(live["sampling"]["missing"], 0);

    // 5.859 ms a sample: the numbers rise across the gap, which comes where the card went.
    std::ifstream in(file);
    const std::vector<std::string> lines =
        Lines(std::string(std::istreambuf_iterator<char>(in), {}));
    int64_t last = -1;
    int gaps = 0;
    int before = 0;
    int after = 0;
    for (size_t i = 2; i < lines.size(); ++i) {
      if (lines[i].rfind("# gap: ", 0) == 0) {
        EXPECT_EQ(lines[i], "# gap: the USB card went away at 00:00:00");
        ++gaps;
        continue;
      }
      const int64_t number = std::stoll(lines[i]);
      EXPECT_GT(number, last) << lines[i];
      last = number;
      const double elapsed = static_cast<double>(number) * 5.859e-3;
      EXPECT_TRUE(elapsed < 3.0 || (elapsed >= 6.0 && elapsed < 10.0)) << lines[i];
      ++(elapsed < 3.0 ? before : after);
    }
    EXPECT_EQ(gaps, c.segments - 1);
    EXPECT_GT(before, 450);
    EXPECT_EQ(after > 0, c.segments == 2);
    EXPECT_EQ(live["sampling"]["samples"], before + after);

    ASSERT_EQ(rig.Run({"noise", file, "--json"}), 0) << rig.err.str();
    const auto saved = nlohmann::json::parse(rig.out.str());
    EXPECT_EQ(saved["sampling"]["samples"], live["sampling"]["samples"]);
    EXPECT_EQ(saved["sampling"]["segments"], c.segments);
    EXPECT_EQ(saved["terms"], live["terms"]);
  }
}

TEST(CliReconnect, RefusesAWaitThatIsNoNumberOfSeconds) {
  for (const char* value : {"-1", "soon", "1e10", "nan"}) {
    CliRig rig;
    EXPECT_EQ(rig.Run({"log", "--reconnect-wait", value}), 1) << value;
    EXPECT_NE(rig.err.str().find("--reconnect-wait takes seconds from 0 to 1e9"), std::string::npos)
        << rig.err.str();
  }
}

}  // namespace
}  // namespace velk::test
