#include <gtest/gtest.h>

#include <QInputDialog>
#include <QTest>
#include <charconv>
#include <fstream>

#include "cli/CliRig.h"
#include "core/GyroRange.h"
#include "sim/SimNoiseProfile.h"
#include "sim/SimScales.h"
#include "support/MessageRecorder.h"
#include "support/QtApp.h"
#include "support/ScriptedModal.h"
#include "ui/noise/frmNoise.h"

namespace velk::test {
namespace {

std::string Rate(int code, int32_t sensAvg) {
  char text[32];
  const float rate = static_cast<float>(code) * static_cast<float>(GyroLsb(sensAvg, 47120));
  return std::string(text, std::to_chars(text, text + sizeof text, rate).ptr);
}

// A minute of the white profile drawn directly, as velk47120-noise-profile writes it.
std::string Acquisition() {
  std::string text =
      "# VELK47120, firmware 1.2, noise profile white, seed 1, range 80 Dgr/S, sample period "
      "3.91 mS, averaging 0 (1 taps), Smpl_Prd=0x01, Sens_Avg=0x0100, model 47120\n"
      "sample,elapsed (s),Gyro (Dgr/S),Gyro code,Temp (dgrC)\n";
  SimNoiseProfile profile = *SimNoiseProfile::Parse("white").profile;
  char elapsed[32];
  for (int s = 0; s < 15360; ++s) {
    const int code = profile.Code(s, 1, 0x0100, 47120);
    std::snprintf(elapsed, sizeof elapsed, "%.6f", s * SimSamplePeriod(1));
    text += std::to_string(s) + "," + elapsed + "," + Rate(code, 0x0100) + "," +
            std::to_string(code) + ",\n";
  }
  return text;
}

// The main window's datalog at LoopDelay 100 mS: no time column.
std::string Datalog() {
  std::string text =
      "VELK 47120 Datalog File\r\nDate\t08/12/2026\r\nLoopDelay\t100 mS\r\nSmpl Prd\t3.91 mS\r\n"
      "Avg Cnt\t2\r\nScale\t320\r\nPos Self Test On\r\n"
      "Index\tSupply\tGyro\tADC In\tTemp\tAngle\tNew  \tError\tStatus\r\n"
      "\tV\tDgr/S\tV\tdgrC\tdgr\t \r\n";
  for (int i = 0; i < 2000; ++i)
    text += std::to_string(i + 1) + "\t5.0001\t" + Rate((i * 7919) % 41 - 20, 0x0402) +
            "\t0\t25.1\t0.1\tTrue\tFalse\t0\r\n";
  return text;
}

struct Window {
  std::string Write(const char* name, const std::string& text) {
    const std::string file = (rig.dir / name).string();
    std::ofstream(file, std::ios::binary) << text;
    return file;
  }
  // Opens `file` and waits for the worker.
  void Open(const std::string& file) {
    window.OpenFile(file);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.Working(); }, 30000));
  }
  bool app = (EnsureQApp(), true);  // before the window
  CliRig rig;
  noise::LiveNoise live{1 << 16};
  ScriptedModal modal;
  MessageRecorder messages;
  frmNoise window{live, rig.dir / "noise.ini", modal, messages};
};

// The window shows a file as the tool reports it: the same JSON, byte for byte; a datalog's
// tau0 is asked with its LoopDelay offered.
TEST(NoiseWindow, ShowsAFileAsTheToolReportsIt) {
  Window w;
  const std::string acquisition = w.Write("white.csv", Acquisition());
  w.Open(acquisition);
  ASSERT_EQ(w.rig.Run({"noise", acquisition, "--json"}), 0) << w.rig.err.str();
  EXPECT_NE(w.window.ResultsJson(), "");
  EXPECT_EQ(w.window.ResultsJson(), w.rig.out.str());
  EXPECT_TRUE(w.window.lblArw->accessibleName().startsWith("Angle random walk: 0."));

  const std::string datalog = w.Write("datalog.txt", Datalog());
  QString offered;
  w.modal.script = [&](QDialog& dialog) {
    auto& input = dynamic_cast<QInputDialog&>(dialog);
    offered = input.textValue();
    input.accept();
  };
  w.Open(datalog);
  EXPECT_EQ(offered, "0.1");
  w.rig.Run({"noise", datalog, "--tau0", "0.1", "--json"});
  EXPECT_EQ(w.window.ResultsJson(), w.rig.out.str());
  EXPECT_TRUE(w.messages.shown.empty());
}

TEST(NoiseWindow, TellsAnUnreadableFileInTheToolsWords) {
  Window w;
  for (const std::string& file :
       {(w.rig.dir / "none.csv").string(), w.Write("count.csv", "Index,Count\n1,2\n")}) {
    w.messages.shown.clear();
    w.Open(file);
    EXPECT_EQ(w.rig.Run({"noise", file, "--json"}), 1);
    ASSERT_EQ(w.messages.shown.size(), 1u) << file;
    EXPECT_EQ("velk47120-cli: " + w.messages.shown[0].text + "\n", w.rig.err.str());
  }
  EXPECT_EQ(w.window.ResultsJson(), "");
}

}  // namespace
}  // namespace velk::test
