#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <fstream>
#include <nlohmann/json.hpp>

#include "cli/CliRig.h"
#include "core/GyroRange.h"
#include "core/NumberText.h"
#include "sim/SimNoiseProfile.h"

namespace velk::test {
namespace {

std::vector<std::string> FileLines(const std::filesystem::path& file) {
  std::ifstream in(file);
  return Lines({std::istreambuf_iterator<char>(in), {}});
}

std::vector<std::string> Fields(const std::string& row) {
  std::vector<std::string> fields;
  std::istringstream in(row);
  for (std::string f; std::getline(in, f, ',');) fields.push_back(f);
  if (!row.empty() && row.back() == ',') fields.emplace_back();
  return fields;
}

// A still chip with the white profile at range 80, one tap and the Smpl_Prd given.
void Still(CliRig& rig, const char* interface, const char* smplPrd) {
  rig.sensor.SetNoiseProfile(SimNoiseProfile::Parse("white").value());
  ASSERT_EQ(rig.Run({"--interface", interface, "reg", "set", "Smpl_Prd", smplPrd}), 0);
  ASSERT_EQ(rig.Run({"--interface", interface, "reg", "set", "Sens_Avg", "0x0100"}), 0);
}

// At the fastest period, with reads that take their time, every sample the chip made is
// taken once and in order: the codes are the profile's own draws one to one. Wake-ups late
// by most of a period lose nothing; later ones lose samples, and every sample still has its
// own number, so the record stays one segment. Ctrl-C ends the acquisition and what was
// taken is analysed.
TEST(CliAcquisition, TakesEverySampleOverBothAdapters) {
  const struct {
    const char* interface;
    bool lateWakeUps;
  } cases[] = {{"parallel", false}, {"usb", false}, {"usb", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.interface) + (c.lateWakeUps ? ", late wake-ups" : ""));
    CliRig rig;
    Still(rig, c.interface, "0");
    ReadsCostTime costs(rig);
    volatile std::sig_atomic_t stop = 0;
    rig.context.stop = &stop;
    const double stopAt = rig.clock.Seconds() + 3.0;
    int sleeps = 0;
    rig.context.sleep = [&](double s) {
      ++sleeps;
      if (c.lateWakeUps && sleeps % 150 == 0) s += 0.7 * 1.953e-3;
      if (c.lateWakeUps && sleeps % 397 == 0) s += 1.6 * 1.953e-3;
      rig.clock.Advance(s);
      if (rig.clock.Seconds() >= stopAt) stop = SIGINT;
    };
    const auto file = rig.dir / "still.csv";
    ASSERT_EQ(rig.Run({"--interface", c.interface, "noise", "--duration", "60", "--out",
                       file.string(), "--json"}),
              0)
        << rig.err.str();
    EXPECT_NE(rig.err.str().find(", stopped\n"), std::string::npos) << rig.err.str();

    const std::vector<std::string> lines = FileLines(file);
    ASSERT_GT(lines.size(), 1400u);
    EXPECT_EQ(lines[1], "sample,elapsed (s),Gyro (Dgr/S),Gyro code,Temp (dgrC)");
    const float lsb = static_cast<float>(GyroLsb(0x0100, 47120));
    std::vector<int64_t> samples;
    std::vector<int> codes;
    int temps = 0;
    for (size_t i = 2; i < lines.size(); ++i) {
      const std::vector<std::string> f = Fields(lines[i]);
      ASSERT_EQ(f.size(), 5u) << lines[i];
      const int64_t k = std::stoll(f[0]);
      ASSERT_TRUE(samples.empty() ? k == 0 : k > samples.back()) << lines[i];
      ASSERT_EQ(f[1], FormatFixed(static_cast<double>(k) * 1.953e-3, 6));
      codes.push_back(std::stoi(f[3]));
      ASSERT_EQ(f[2], FormatGeneral(static_cast<float>(codes.back()) * lsb));
      // Temp_Out on the first row of each second.
      const bool newSecond =
          samples.empty() || std::floor(k * 1.953e-3) != std::floor(samples.back() * 1.953e-3);
      ASSERT_EQ(!f[4].empty(), newSecond) << lines[i];
      temps += newSecond ? 1 : 0;
      samples.push_back(k);
    }
    EXPECT_EQ(temps, 3);
    const int64_t lost = samples.back() + 1 - static_cast<int64_t>(samples.size());
    EXPECT_EQ(lost > 0, c.lateWakeUps);

    // The sensor's serial of sample 0 is unknown: the one the first codes fit.
    SimNoiseProfile truth = SimNoiseProfile::Parse("white").value().value();
    std::vector<int> drawn;
    for (int64_t s = 0; s < 20000; ++s) drawn.push_back(truth.Code(s, 0, 0x0100, 47120));
    const auto fits = [&](size_t first, size_t rows) {
      for (size_t i = 0; i < rows; ++i)
        if (first + samples[i] >= drawn.size() || codes[i] != drawn[first + samples[i]])
          return false;
      return true;
    };
    size_t first = 0;
    while (first < drawn.size() && !fits(first, 32)) ++first;
    EXPECT_TRUE(fits(first, codes.size()));

    const auto j = nlohmann::json::parse(rig.out.str());
    EXPECT_EQ(j["source"]["layout"], "acquisition");
    EXPECT_EQ(j["sampling"]["samples"], codes.size());
    EXPECT_EQ(j["sampling"]["missing"], lost);
    EXPECT_EQ(j["sampling"]["segments"], 1);  // a missed sample is marked, not cut
    EXPECT_EQ(j["sampling"]["tau0_s"], 1.953e-3);
  }
}

// Five minutes at the default period, saved and read back: the file gives the terms the
// acquisition gave, and N is the profile's 0.6 deg/sqrt(h).
TEST(CliAcquisition, ItsFileGivesTheProfilesNoise) {
  CliRig rig;
  Still(rig, "parallel", "1");
  ReadsCostTime costs(rig);
  const auto file = rig.dir / "still.csv";
  ASSERT_EQ(rig.Run({"noise", "--duration", "300", "--out", file.string(), "--json"}), 0)
      << rig.err.str();
  const auto live = nlohmann::json::parse(rig.out.str());
  ASSERT_EQ(rig.Run({"noise", file.string(), "--json"}), 0) << rig.err.str();
  const auto saved = nlohmann::json::parse(rig.out.str());
  EXPECT_EQ(saved["sampling"]["samples"], 76805);  // 300 s of 3.906 ms
  EXPECT_EQ(saved["sampling"]["missing"], 0);
  EXPECT_EQ(saved["terms"], live["terms"]);
  EXPECT_NEAR(saved["terms"]["arw"]["value"].get<double>(), 0.6, 0.03);
}

// Refuses real-time priority as an unprivileged user's system does, and counts the raises.
struct Unprivileged final : RealtimeRequest {
  RealtimeGrant Raise(int) override {
    ++raises;
    return {false, 0, false, "Operation not permitted"};
  }
  void Lower() override { ++lowers; }
  int raises = 0, lowers = 0;
};

// Refused real-time priority, the acquisition and the log run on; the report and the JSON say
// the priority it ran at and the line that grants it. A file read says nothing of it.
TEST(CliAcquisition, SaysThePriorityItRanAt) {
  CliRig rig;
  Still(rig, "parallel", "1");
  Unprivileged realtime;
  rig.context.realtime = &realtime;
  ASSERT_EQ(rig.Run({"noise", "--duration", "4"}), 0) << rig.err.str();
  EXPECT_NE(
      rig.out.str().find("\nPriority   normal (real-time refused: Operation not permitted; "
                         "grant it with `@plugdev - rtprio 20` in /etc/security/limits.d/)\n"),
      std::string::npos)
      << rig.out.str();
  const auto file = rig.dir / "still.csv";
  ASSERT_EQ(rig.Run({"noise", "--duration", "4", "--json", "--out", file.string()}), 0);
  const auto j = nlohmann::json::parse(rig.out.str());
  EXPECT_EQ(j["acquisition"]["realtime"]["granted"], false);
  EXPECT_EQ(j["acquisition"]["realtime"]["policy"], "SCHED_OTHER");
  EXPECT_EQ(j["acquisition"]["realtime"]["refused"], "Operation not permitted");
  EXPECT_EQ(j["acquisition"]["realtime"]["grant_line"], "@plugdev - rtprio 20");
  ASSERT_EQ(rig.Run({"noise", file.string(), "--json"}), 0) << rig.err.str();
  EXPECT_TRUE(nlohmann::json::parse(rig.out.str())["acquisition"].is_null());
  ASSERT_EQ(rig.Run({"log", "--count", "3", "--interval", "10"}), 0) << rig.err.str();
  EXPECT_EQ(realtime.raises, 3);
  EXPECT_EQ(realtime.lowers, 0);  // only a granted raise is lowered
}

}  // namespace
}  // namespace velk::test
