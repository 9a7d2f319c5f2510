#include <gtest/gtest.h>

#include <QAccessible>
#include <QInputDialog>
#include <QScreen>
#include <QTest>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <functional>

#include "cli/CliRig.h"
#include "core/GyroRange.h"
#include "sim/SimNoiseProfile.h"
#include "sim/SimScales.h"
#include "support/MessageRecorder.h"
#include "support/QtApp.h"
#include "support/ScriptedModal.h"
#include "support/TempDir.h"
#include "ui/noise/NoisePlot.h"
#include "ui/noise/frmNoise.h"

namespace velk::test {
namespace {

std::string Rate(int code, int32_t sensAvg) {
  char text[32];
  const float rate = static_cast<float>(code) * static_cast<float>(GyroLsb(sensAvg, 47120));
  return std::string(text, std::to_chars(text, text + sizeof text, rate).ptr);
}

int White(int s) {
  static SimNoiseProfile profile = SimNoiseProfile::Parse("white").value().value();
  return profile.Code(s, 1, 0x0100, 47120);
}

// A minute of the white profile drawn directly, as velk47120-noise-profile writes it, or
// `samples` of other codes.
std::string Acquisition(const std::function<int(int)>& codeAt = White, int samples = 15360) {
  std::string text =
      "# VELK47120, firmware 1.2, noise profile white, seed 1, range 80 Dgr/S, sample period "
      "3.91 mS, averaging 0 (1 taps), Smpl_Prd=0x01, Sens_Avg=0x0100, model 47120\n"
      "sample,elapsed (s),Gyro (Dgr/S),Gyro code,Temp (dgrC)\n";
  char elapsed[32];
  for (int s = 0; s < samples; ++s) {
    const int code = codeAt(s);
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

std::string Write(const std::filesystem::path& file, const std::string& text) {
  std::ofstream(file, std::ios::binary) << text;
  return file.string();
}

struct Window {
  explicit Window(std::filesystem::path ini = {})
      : window{live, ini.empty() ? rig.dir / "noise.ini" : ini, modal, messages} {}
  std::string Write(const char* name, const std::string& text) {
    return test::Write(rig.dir / name, text);
  }
  void TypeLimit(QLineEdit* box, const char* text) {
    box->setText(text);
    emit box->editingFinished();
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
  frmNoise window;
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
    EXPECT_EQ(w.messages.shown[0].icon, MessageIcon::Warning);
  }
  EXPECT_EQ(w.window.ResultsJson(), "");
}

// Each term is heard as the fit found it: a value, a bound, or why there is none; Q and R have
// rows only when found.
TEST(NoiseWindow, TermsSayWhatTheFitFound) {
  struct Case {
    const char* name;
    std::function<int(int)> code;
    int samples;
    const char* arw;  // how lblArw's name begins
    const char* bi;
    bool quant, ramp;   // the Q and R rows shown
    const char* state;  // in lblState, or ""
  };
  // A rate climbing 33 codes a minute over a pattern of period 41: R found.
  const auto climbing = [](int s) { return (s * 7919) % 41 - 20 + s / 460; };
  const Case cases[] = {
      {"white", White, 15360, "Angle random walk: 0.5", "Bias instability: not detected (below ",
       false, false, ""},
      {"ramp", climbing, 15360, "Angle random walk: ", "Bias instability: ", false, true, ""},
      {"ten rows", White, 10, "Angle random walk: not estimated", "Bias instability: not estimated",
       false, false, "; not estimated: no octave point at tau >= "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Window w;
    w.Open(w.Write("record.csv", Acquisition(c.code, c.samples)));
    ASSERT_TRUE(w.messages.shown.empty());
    EXPECT_TRUE(w.window.lblArw->accessibleName().startsWith(c.arw))
        << w.window.lblArw->accessibleName().toStdString();
    EXPECT_TRUE(w.window.lblBi->accessibleName().startsWith(c.bi))
        << w.window.lblBi->accessibleName().toStdString();
    EXPECT_EQ(w.window.lblRamp->isHidden(), !c.ramp);
    EXPECT_EQ(w.window.findChild<QLabel*>("lblRampCaption")->isHidden(), !c.ramp);
    EXPECT_EQ(w.window.lblQuant->isHidden(), !c.quant);
    EXPECT_EQ(w.window.lblRamp->accessibleName().contains(" °/h² ("), c.ramp);
    const QString state = w.window.lblState->accessibleName();
    EXPECT_EQ(state.contains(c.state), true) << state.toStdString();
    EXPECT_EQ(state.endsWith("would give one point"), *c.state != '\0') << state.toStdString();
  }
}

// A limit judges the analysis shown again, asking and reading nothing; one typed while a file
// is analysed applies to it when it lands.
TEST(NoiseWindow, LimitsJudgeAgainWithoutReading) {
  Window w;
  const std::string datalog = w.Write("datalog.txt", Datalog());
  QString offered;
  w.modal.script = [&](QDialog& dialog) {
    auto& input = dynamic_cast<QInputDialog&>(dialog);
    offered = input.textValue();
    input.setTextValue("0.125");
    input.accept();
  };
  w.Open(datalog);
  std::filesystem::rename(datalog, datalog + ".away");
  w.TypeLimit(w.window.txtLimitArw, "0.7");
  EXPECT_FALSE(w.window.Working());
  EXPECT_EQ(w.modal.opened.size(), 1u);
  EXPECT_TRUE(w.messages.shown.empty());
  std::filesystem::rename(datalog + ".away", datalog);
  w.rig.Run({"noise", datalog, "--tau0", "0.125", "--limit-arw", "0.7", "--json"});
  EXPECT_EQ(w.window.ResultsJson(), w.rig.out.str());

  const std::string acquisition = w.Write("white.csv", Acquisition());
  w.window.OpenFile(acquisition);
  ASSERT_TRUE(w.window.Working());
  w.TypeLimit(w.window.txtLimitBi, "5");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w.window.Working(); }, 30000));
  w.rig.out.str("");
  w.rig.Run({"noise", acquisition, "--limit-arw", "0.7", "--limit-bi", "5", "--json"});
  EXPECT_EQ(w.window.ResultsJson(), w.rig.out.str());
  EXPECT_EQ(w.window.lblVerdict->accessibleName().toStdString(),
            "Verdict: inconclusive (ARW pass: upper end 0.62 within 0.7; BI inconclusive: interval "
            "reaches past the limit 5 (to 19.8))");

  // A typo keeps the limit it replaces, and says so.
  w.TypeLimit(w.window.txtLimitArw, "0,8");
  EXPECT_EQ(w.window.ResultsJson(), w.rig.out.str());
  EXPECT_TRUE(
      w.window.lblVerdict->text().endsWith("\nARW limit: not a number above 0; 0.7 still applies"));
  const std::string saved = ReadBytes(w.rig.dir / "noise.ini");
  EXPECT_NE(saved.find("limit_arw = 0.7\nlimit_bi = 5\n"), std::string::npos) << saved;

  // The tau0 typed for the datalog is offered again for it.
  w.Open(datalog);
  EXPECT_EQ(offered, "0.125");
}

// The window is a window to a screen reader, at a size the screen holds, and a noise.ini it
// cannot save is said once, in the words of any failed save.
TEST(NoiseWindow, IsAWindowThatFitsTheScreenAndSaysWhyItsSettingsWereNotSaved) {
  {
    Window w;
    EXPECT_EQ(QAccessible::queryAccessibleInterface(&w.window)->role(), QAccessible::Window);
  }
  for (const char* size : {"16384x16384", "10x10"}) {
    test::TempDir dir;
    Write(dir / "noise.ini", std::string("size = ") + size + "\n");
    Window w(dir / "noise.ini");
    const QSize room = w.window.screen()->availableGeometry().size();
    const QSize least = w.window.minimumSizeHint();
    EXPECT_LE(w.window.width(), room.width()) << size;
    EXPECT_LE(w.window.height(), room.height()) << size;
    EXPECT_GE(w.window.width(), least.width()) << size;
    EXPECT_GE(w.window.height(), least.height()) << size;
  }
  struct Failing {
    const char* ini;  // under the folder
    const char* reason;
  };
  for (const Failing& f : {Failing{"noise.ini", "A folder has that name."},
                           Failing{"gone/noise.ini", "The folder does not exist."}}) {
    test::TempDir dir;
    std::filesystem::create_directory(dir / "noise.ini");
    const std::filesystem::path ini = dir / f.ini;
    Window w(ini);
    w.TypeLimit(w.window.txtLimitArw, "0.7");
    w.TypeLimit(w.window.txtLimitArw, "0.8");
    ASSERT_EQ(w.messages.shown.size(), 1u) << f.ini;
    EXPECT_EQ(w.messages.shown[0].text, "The Noise window's settings could not be saved to\n" +
                                            ini.string() + "\n" + f.reason);
    EXPECT_EQ(w.messages.shown[0].icon, MessageIcon::Warning);
  }
}

}  // namespace
}  // namespace velk::test
