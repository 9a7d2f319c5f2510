#include <gtest/gtest.h>

#include <QStatusBar>
#include <QTableWidget>
#include <QtTest/QTest>
#include <atomic>
#include <string>
#include <thread>

#include "noise/read/Reader.h"
#include "support/LoopDriver.h"
#include "support/WindowRig.h"
#include "ui/main/WindowAcquisition.h"
#include "ui/noise/AcquireDialog.h"
#include "ui/noise/frmNoise.h"

namespace velk {
namespace {

using test::LoopDriver;
using test::WindowRig;

class Refused final : public RealtimeRequest {
 public:
  RealtimeGrant Raise(int) override { return {.refused = "not permitted"}; }
  void Lower() override {}
};

// The main window and its Noise window over the simulated chip at its fastest period (1.95
// ms). The engine's pauses move the chip's clock; with `holdAt` set, the engine waits there
// (in simulated seconds since the start) until `hold` is cleared.
struct AcquireRig : WindowRig {
  AcquireRig() {
    session.configFile = folder / "v.cfg";  // noise.ini beside it
    w = &Open();
    w->hscSmplPrd->setValue(0);
    w->Acquisition().UseTime(
        clock,
        [this](double s) {
          clock.Advance(s);
          if (holdAt > 0 && clock.Seconds() - start >= holdAt) {
            held = true;
            while (hold) std::this_thread::yield();
          }
        },
        &refused);
    w->mnuNoise->trigger();
    noise = w->findChild<frmNoise*>();
  }
  // Clicks "Acquire..." and answers its dialog.
  void Acquire(const QString& seconds, const QString& file = {}) {
    start = clock.Seconds();
    modal.script = [&](QDialog& d) {
      auto& dialog = dynamic_cast<AcquireDialog&>(d);
      dialog.txtSeconds->setText(seconds);
      dialog.txtFile->setText(file);
      dialog.accept();
    };
    QTest::mouseClick(noise->cmdAcquire, Qt::LeftButton);
    modal.script = nullptr;
  }
  // Until the acquisition has ended and its record is analysed.
  bool Ended() {
    return QTest::qWaitFor([&] { return !noise->Acquiring() && !noise->Working(); }, 60000);
  }
  std::string State() const { return noise->lblState->text().toStdString(); }

  Refused refused;
  frmVelk47120* w = nullptr;
  frmNoise* noise = nullptr;
  double start = 0;
  double holdAt = 0;
  std::atomic<bool> hold{true};
  std::atomic<bool> held{false};
};

// The main window's controls an acquisition locks: each reads or writes the chip.
std::vector<QWidget*> ChipWidgets(frmVelk47120& w) {
  return {w.cmdReadData, w.CmdUpdateStatus, w.CmdReadLoop, w.cmdReadCal, w.CmdApply,   w.CmdNull,
          w.CmdRst,      w.cmdResetFactory, w.cmdNewPart,  w.hscScale,   w.hscSmplPrd, w.hscAvgCnt};
}
std::vector<QAction*> ChipEntries(frmVelk47120& w) {
  return {w.mnuInterface, w.mnuDevice, w.MnuAlarms,    w.MnuGpioMsc,
          w.mnuRegister,  w.mnuAuxDac, w.mnuPowerdown, w.MnuAbout};
}

TEST(Acquire, TheRunningLoopStopsFirstTheChipControlsWaitAndTheRecordIsAnalysed) {
  AcquireRig rig;
  frmVelk47120& w = *rig.w;
  w.mnuAuxDac->setEnabled(false);  // disabled before: stays so after
  bool lockedAtStop = false;
  LoopDriver loop(rig);
  loop.onCycle = [&](int cycle) {
    if (cycle == 3) rig.Acquire("1");
  };
  // The acquisition ends the run: the loop returns by itself.
  EXPECT_EQ(loop.Run(0), 3);
  EXPECT_EQ(w.lblLoop->text(), "Stopped");
  lockedAtStop = true;
  for (QWidget* c : ChipWidgets(w)) lockedAtStop = lockedAtStop && !c->isEnabled();
  for (QAction* a : ChipEntries(w)) lockedAtStop = lockedAtStop && !a->isEnabled();
  EXPECT_TRUE(lockedAtStop);
  EXPECT_FALSE(rig.noise->cmdAcquire->isEnabled());
  EXPECT_TRUE(rig.noise->cmdCancelAcquire->isVisible());

  ASSERT_TRUE(rig.Ended());
  EXPECT_EQ(loop.count, 3) << "the loop was started again";
  EXPECT_EQ(w.lblLoop->text(), "Stopped");
  for (QWidget* c : ChipWidgets(w)) EXPECT_TRUE(c->isEnabled()) << c->objectName().toStdString();
  for (QAction* a : ChipEntries(w))
    EXPECT_EQ(a->isEnabled(), a != w.mnuAuxDac) << a->text().toStdString();
  // 1 s at 1.953 ms: 513 samples, every one taken.
  EXPECT_NE(rig.State().find("Acquisition (done): 513 samples, 0 lost"), std::string::npos)
      << rig.State();
  EXPECT_NE(rig.State().find(kRealtimeGrantLine), std::string::npos) << rig.State();
  EXPECT_TRUE(w.statusBar()->currentMessage().contains(kRealtimeGrantLine.data()));
  EXPECT_GT(rig.noise->grdTaus->rowCount(), 0);
  EXPECT_NE(rig.noise->ResultsJson().find("\"grant_line\""), std::string::npos);
  EXPECT_TRUE(rig.noise->cmdAcquire->isEnabled());
  EXPECT_TRUE(rig.messages.shown.empty());
}

TEST(Acquire, CancelKeepsTheSamplesTakenInTheRecordAndTheFile) {
  AcquireRig rig;
  rig.holdAt = 0.5;
  const std::filesystem::path file = rig.folder / "acquired.csv";
  rig.Acquire("60", QString::fromStdString(file.string()));
  ASSERT_TRUE(QTest::qWaitFor([&] { return rig.held.load(); }, 60000));
  QTest::mouseClick(rig.noise->cmdCancelAcquire, Qt::LeftButton);
  rig.hold = false;
  ASSERT_TRUE(rig.Ended());

  EXPECT_NE(rig.State().find("Acquisition (cancelled)"), std::string::npos) << rig.State();
  const noise::ReadResult written = noise::ReadRecord(file.string(), {});
  ASSERT_TRUE(written) << written.error().message;
  EXPECT_GE(written->samples.size(), 256u);
  EXPECT_NE(rig.State().find(std::to_string(written->samples.size()) + " samples"),
            std::string::npos)
      << rig.State();
  EXPECT_TRUE(rig.w->CmdReadLoop->isEnabled());
}

TEST(Acquire, BadInputStartsNothingAndSaysTheFix) {
  for (auto [name, seconds, file, said] : {std::tuple{"words", "abc", "", "is no duration"},
                                           {"zero", "0", "", "is no duration"},
                                           {"negative", "-2", "", "is no duration"},
                                           {"empty", "", "", "is no duration"},
                                           {"unwritable file", "1", "/nonexistent/folder/a.csv",
                                            "Choose a file in a folder you may write to"}}) {
    SCOPED_TRACE(name);
    AcquireRig rig;
    rig.Acquire(seconds, file);
    EXPECT_FALSE(rig.noise->Acquiring());
    EXPECT_TRUE(rig.w->CmdReadLoop->isEnabled());
    EXPECT_TRUE(rig.noise->cmdAcquire->isEnabled());
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_NE(rig.messages.shown[0].text.find(said), std::string::npos)
        << rig.messages.shown[0].text;
  }
}

TEST(Acquire, ExitDuringAnAcquisitionEndsItAndWritesTheFileOut) {
  AcquireRig rig;
  rig.holdAt = 0.25;
  const std::filesystem::path file = rig.folder / "acquired.csv";
  rig.Acquire("3600", QString::fromStdString(file.string()));
  ASSERT_TRUE(QTest::qWaitFor([&] { return rig.held.load(); }, 60000));
  rig.hold = false;
  rig.w->close();
  EXPECT_EQ(rig.exit.codes, std::vector<int>{0});
  const noise::ReadResult written = noise::ReadRecord(file.string(), {});
  ASSERT_TRUE(written) << written.error().message;
  EXPECT_GE(written->samples.size(), 128u);
}

}  // namespace
}  // namespace velk
