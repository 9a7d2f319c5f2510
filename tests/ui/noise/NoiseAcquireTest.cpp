#include <gtest/gtest.h>

#include <QTest>
#include <fstream>
#include <string>
#include <vector>

#include "noise/read/Reader.h"
#include "noise/read/RunHeader.h"
#include "support/MessageRecorder.h"
#include "support/QtApp.h"
#include "support/ScriptedModal.h"
#include "support/TempDir.h"
#include "ui/noise/AcquireDialog.h"
#include "ui/noise/frmNoise.h"

namespace velk::test {
namespace {

// Takes the window's start and leaves the calls back to the test.
class HeldAcquirer final : public Acquirer {
 public:
  Result<void, std::string> Start(const AcquirePlan& p, AcquireCallbacks c) override {
    plan = p;
    callbacks = std::move(c);
    busy = true;
    return {};
  }
  void Cancel() override { cancelled = true; }
  bool Busy() const override { return busy; }

  AcquirePlan plan;
  AcquireCallbacks callbacks;
  bool busy = false;
  bool cancelled = false;
};

// `count` samples of a small pseudo-random code, numbered from 0 with every `gapEvery`-th
// missing (0: none).
std::vector<AcquiredPoint> Samples(int count, int gapEvery = 0) {
  std::vector<AcquiredPoint> samples;
  uint32_t state = 1;
  for (int n = 0; static_cast<int>(samples.size()) < count; ++n) {
    if (gapEvery > 0 && n % gapEvery == gapEvery - 1) continue;
    state = state * 1664525u + 1013904223u;
    const int32_t code = static_cast<int32_t>(state >> 28) - 8;
    samples.push_back({n, code, static_cast<float>(code) * 0.01f, std::nullopt});
  }
  return samples;
}

// The same samples as the acquisition file the engine writes, read back as its record.
noise::ReadResult Record(const TempDir& dir, const std::vector<AcquiredPoint>& samples) {
  const std::filesystem::path file = dir / "acquired.csv";
  std::ofstream out(file);
  out << "# VELK47120, firmware 1.2, parallel port 0x378, range 320 Dgr/S, sample period 3.91 "
         "mS, averaging 0 (1 taps), Smpl_Prd=0x01, Sens_Avg=0x0400, model 47120\n"
         "sample,elapsed (s),Gyro (Dgr/S),Gyro code,Temp (dgrC)\n";
  for (const AcquiredPoint& s : samples)
    out << s.number << ',' << s.number * 0.00390625 << ',' << s.rate << ',' << s.code << ",\n";
  out.close();
  return noise::ReadRecord(file.string(), {});
}

TEST(NoiseAcquire, ShowsTheRecordFormingThenAnalysesItHoweverItEnded) {
  struct Row {
    const char* how;
    int samples;
    int gapEvery;
    const char* said;  // the message box, if any
  };
  for (const Row& row :
       {Row{"done", 3000, 0, ""}, Row{"cancelled", 1500, 0, ""},
        Row{"the USB card went away", 2000, 100, ""}, Row{"done", 1, 0, "Nothing to analyse"}}) {
    SCOPED_TRACE(std::string(row.how) + " " + std::to_string(row.samples));
    EnsureQApp();
    TempDir dir;
    noise::LiveNoise live{1 << 16};
    ScriptedModal modal;
    MessageRecorder messages;
    frmNoise window(live, dir / "noise.ini", modal, messages);
    window.show();
    HeldAcquirer acquirer;
    window.SetAcquirer(&acquirer);
    modal.script = [](QDialog& d) {
      dynamic_cast<AcquireDialog&>(d).txtSeconds->setText("12.5");
      d.accept();
    };
    QTest::mouseClick(window.cmdAcquire, Qt::LeftButton);
    ASSERT_TRUE(window.Acquiring());
    EXPECT_EQ(acquirer.plan.seconds, 12.5);
    EXPECT_FALSE(window.cmdOpen->isEnabled() || window.cmdClear->isEnabled() ||
                 window.cmdAcquire->isEnabled());
    EXPECT_TRUE(window.lblState->text().contains("waiting for the read loop"));

    const std::vector<AcquiredPoint> samples = Samples(row.samples, row.gapEvery);
    acquirer.callbacks.started(noise::ChipFromWords(0x01, 0x0400, 47120));
    acquirer.callbacks.samples(samples);
    RealtimeGrant refused;
    refused.refused = "not permitted";
    acquirer.callbacks.progress({row.samples, 0, 1.0, false, refused});
    EXPECT_TRUE(window.lblState->text().contains(QString::fromUtf8(kRealtimeGrantLine.data())))
        << window.lblState->text().toStdString();
    QTest::mouseClick(window.cmdCancelAcquire, Qt::LeftButton);
    EXPECT_TRUE(acquirer.cancelled);
    // The forming record, at the chip's clock: every sample and every gap as taken.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.Working(); }, 30000));
    if (row.samples > 64) {
      EXPECT_TRUE(window.lblState->text().startsWith("Acquiring"));
      EXPECT_GT(window.grdTaus->rowCount(), 0);
    }

    AcquireEnd end;
    end.how = row.how;
    end.taken = row.samples;
    if (row.samples >= 2) {
      end.record = Record(dir, samples);
      end.record->priority = refused;
    }
    acquirer.busy = false;
    acquirer.callbacks.ended(std::move(end));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.Working(); }, 30000));
    EXPECT_FALSE(window.Acquiring());
    EXPECT_TRUE(window.cmdOpen->isEnabled() && window.cmdAcquire->isEnabled());
    const std::string state = window.lblState->text().toStdString();
    if (*row.said != '\0') {
      ASSERT_EQ(messages.shown.size(), 1u);
      EXPECT_NE(messages.shown[0].text.find(row.said), std::string::npos);
      continue;
    }
    EXPECT_TRUE(messages.shown.empty());
    const int64_t lost = row.gapEvery > 0 ? (samples.back().number + 1) - row.samples : 0;
    EXPECT_NE(
        state.find("Acquisition (" + std::string(row.how) + "): " + std::to_string(row.samples) +
                   " samples, " + std::to_string(lost) + " lost"),
        std::string::npos)
        << state;
    EXPECT_NE(window.ResultsJson().find("\"grant_line\""), std::string::npos);
    EXPECT_TRUE(window.cmdLive->isEnabled());
  }
}

}  // namespace
}  // namespace velk::test
