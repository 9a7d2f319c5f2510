#include <gtest/gtest.h>

#include <QtTest/QTest>
#include <string>
#include <tuple>

#include "faults/FaultRig.h"

namespace velk {
namespace {

using test::FaultRig;
using test::SimRig;

enum class SensorFault { NoAnswer, Sleep };

class SensorFaults : public ::testing::TestWithParam<std::tuple<int16_t, SensorFault>> {};

// The sensor falls silent or asleep at each cycle of a logged run in turn: the run goes on
// to its end and nothing written suffers.
TEST_P(SensorFaults, MidRunTheLogAndSettingsStayWhole) {
  const auto [interface, fault] = GetParam();
  for (int at = 1; at <= 4; ++at) {
    SCOPED_TRACE("fault at cycle " + std::to_string(at));
    FaultRig rig(interface);
    frmVelk47120& w = rig.Open();
    w.Form_Activate();
    w.txtLoopDelay->setText("25");
    QTest::mouseClick(w.chkDatalog, Qt::LeftButton);
    test::LoopDriver loop(rig);
    loop.onCycle = [&, fault = fault](int cycle) {
      if (cycle != at) return;
      if (fault == SensorFault::NoAnswer) rig.sensor.SetNoAnswer(true);
      if (fault == SensorFault::Sleep) rig.sensor.Sleep(0.08);
    };
    EXPECT_EQ(loop.Run(6), 6);
    EXPECT_EQ(w.lblLoop->text(), "Stopped");
    rig.ExpectNoMessageRepeated();
    rig.ExpectDatalog(6);
    rig.ExitAndExpectConfig();
    if (HasFailure()) break;
  }
}

std::string Name(const ::testing::TestParamInfo<SensorFaults::ParamType>& info) {
  return std::string(std::get<0>(info.param) == SimRig::kUsb ? "Usb" : "Parallel") +
         (std::get<1>(info.param) == SensorFault::NoAnswer ? "NoAnswer" : "Sleep");
}

INSTANTIATE_TEST_SUITE_P(Sensor, SensorFaults,
                         ::testing::Combine(::testing::Values(SimRig::kParallel, SimRig::kUsb),
                                            ::testing::Values(SensorFault::NoAnswer,
                                                              SensorFault::Sleep)),
                         Name);

}  // namespace
}  // namespace velk
