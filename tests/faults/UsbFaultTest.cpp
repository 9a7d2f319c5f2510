#include <gtest/gtest.h>

#include <QtTest/QTest>
#include <string>
#include <tuple>
#include <vector>

#include "faults/FaultRig.h"
#include "transport/usb/dialogs/frmUSBdebug.h"
#include "transport/usb/dialogs/frmUSBselect.h"
#include "transport/usb_dialogs/DialogRig.h"

namespace velk {
namespace {

using test::FaultRig;
using test::SimRig;
using Fault = test::FaultyDriver::Fault;

// StartupFlagged: the chip flags an error all along (low supply), so the start-up reads the
// outputs all 25 times.
enum class Stage { Startup, StartupFlagged, Read, ReadLoop, SetupDialogLoop };

// Runs one stage of a session over the card, counting the card requests of that stage only.
// Returns the cycles of a logged run, or -1 when the stage logs nothing.
int RunStage(FaultRig& rig, Stage stage) {
  if (stage == Stage::Startup || stage == Stage::StartupFlagged) {
    if (stage == Stage::StartupFlagged) rig.sensor.SetSupply(4.5);
    rig.driver.Start();
    rig.Open().Form_Activate();
    rig.driver.Stop();
    return -1;
  }
  frmVelk47120& w = rig.Open();
  w.Form_Activate();
  if (stage == Stage::Read) {
    rig.driver.Start();
    QTest::mouseClick(w.cmdReadData, Qt::LeftButton);
    rig.driver.Stop();
    return -1;
  }
  if (stage == Stage::ReadLoop) {
    QTest::mouseClick(w.chkDatalog, Qt::LeftButton);
    test::LoopDriver loop(rig);
    rig.driver.Start();
    const int cycles = loop.Run(3);
    rig.driver.Stop();
    return cycles;
  }
  // Interface > USB > Debug, where the transfer loop runs three passes and is stopped.
  rig.modal.script = [&rig](QDialog& dialog) {
    if (auto* select = qobject_cast<frmUSBselect*>(&dialog)) {
      QTest::mouseClick(select->cmdDebugUsb, Qt::LeftButton);
      return;
    }
    auto* debug = qobject_cast<frmUSBdebug*>(&dialog);
    ASSERT_NE(debug, nullptr);
    const auto yields = test::Yields::Watch(debug->cmdLoop, debug->UsbLoopStop, 3, [debug] {
      QTest::mouseClick(debug->cmdLoop, Qt::LeftButton);
    });
    rig.driver.Start();
    QTest::mouseClick(debug->cmdLoop, Qt::LeftButton);
    rig.driver.Stop();
    EXPECT_FALSE(yields->rescued);
    EXPECT_EQ(debug->cmdLoop->text(), "Loop");
  };
  w.mnuUsb->trigger();
  return -1;
}

class UsbFaults : public ::testing::TestWithParam<std::tuple<Stage, Fault>> {};

// A clean run gives the requests of the stage; then each one in turn meets the fault.
TEST_P(UsbFaults, AtEveryRequestTheRunStaysWhole) {
  const auto [stage, fault] = GetParam();
  std::vector<bool> reads;
  {
    FaultRig clean(SimRig::kUsb);
    RunStage(clean, stage);
    EXPECT_TRUE(clean.messages.shown.empty());
    reads = clean.driver.reads;
  }
  ASSERT_FALSE(reads.empty());
  int noticed = 0;  // runs in which the fault showed at all
  for (int k = 1; k <= static_cast<int>(reads.size()); ++k) {
    if (fault == Fault::Cut && !reads[static_cast<size_t>(k - 1)]) continue;
    SCOPED_TRACE("fault at request " + std::to_string(k) + " of " + std::to_string(reads.size()));
    FaultRig rig(SimRig::kUsb);
    rig.driver.Plan(fault, k);
    const int cycles = RunStage(rig, stage);
    rig.ExpectNoMessageRepeated();
    if (cycles >= 0) rig.ExpectDatalog(cycles);
    rig.ExitAndExpectConfig();
    noticed += !rig.messages.shown.empty();
    if (HasFailure()) return;  // the first position that fails tells enough
  }
  EXPECT_GT(noticed, 0);
}

std::string Name(const ::testing::TestParamInfo<UsbFaults::ParamType>& info) {
  static const char* const stages[] = {"Startup", "StartupFlagged", "Read", "ReadLoop",
                                       "SetupDialogLoop"};
  static const char* const faults[] = {"None", "Fail", "Cut", "Unplug"};
  return std::string(stages[static_cast<int>(std::get<0>(info.param))]) +
         faults[static_cast<int>(std::get<1>(info.param))];
}

INSTANTIATE_TEST_SUITE_P(
    Card, UsbFaults,
    ::testing::Combine(::testing::Values(Stage::Startup, Stage::StartupFlagged, Stage::Read,
                                         Stage::ReadLoop, Stage::SetupDialogLoop),
                       ::testing::Values(Fault::Fail, Fault::Cut, Fault::Unplug)),
    Name);

}  // namespace
}  // namespace velk
