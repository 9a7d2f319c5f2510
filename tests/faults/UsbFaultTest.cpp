#include <gtest/gtest.h>

#include <QStatusBar>
#include <QTimer>
#include <QtTest/QTest>
#include <algorithm>
#include <fstream>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "support/LoopDriver.h"
#include "support/WindowRig.h"

namespace velk {
namespace {

using namespace test;

enum class Fault { Fail, Cut, Unplug };

// Stands between the session and the simulated card, counting requests (opens and
// device-control requests) while `counting` and putting the planned fault on request `at`.
struct FaultyDriver final : EzUsbDriver {
  // What tells requests apart: the request, the pipe, the room for the answer, the command.
  using Kind = std::tuple<uint32_t, int, uint32_t, int>;

  int32_t Open(const std::string& deviceName) override {
    const bool hit = Next({0, -2, 0, -1});
    if (hit && fault == Fault::Unplug) card->Unplug();
    card->FailOpen(hit && fault == Fault::Fail);
    const int32_t handle = card->Open(deviceName);
    card->FailOpen(false);
    return handle;
  }
  int32_t DeviceIoControl(int32_t handle, uint32_t code, const uint8_t* in, uint32_t inLength,
                          uint8_t* out, uint32_t outCapacity, uint32_t& bytesReturned) override {
    const int pipe = code == kIoctlBulkTransfer && in != nullptr && inLength >= 4 ? in[0] : -1;
    const int command = pipe == 0 && outCapacity > 0 ? out[0] : -1;
    const bool hit = Next({code, pipe, outCapacity, command});
    if (hit && fault == Fault::Unplug) card->Unplug();
    if (hit && fault == Fault::Cut && pipe == 1) card->CutNextAnswer(outCapacity / 2);
    if (hit && fault == Fault::Fail && pipe < 0) {  // a descriptor or pipe request refused
      bytesReturned = 0;
      return 0;
    }
    if (hit && fault == Fault::Fail) card->FailBulkTransfer(pipe, 1);
    return card->DeviceIoControl(handle, code, in, inLength, out, outCapacity, bytesReturned);
  }
  void Close(int32_t handle) override { card->Close(handle); }
  uint32_t LastError() const override { return card->LastError(); }
  bool Next(Kind kind) {
    if (!counting) return false;
    kinds.push_back(kind);
    return static_cast<int>(kinds.size()) == at;
  }

  SimUsbCard* card = nullptr;
  Fault fault = Fault::Fail;
  int at = 0;
  bool counting = false;
  std::vector<Kind> kinds;  // per request counted
};

// Made before the window rig, whose session reaches the card through it.
struct DriverFirst {
  FaultyDriver driver;
};

// The main window over the simulated sensor with the USB card reached through a FaultyDriver.
struct FaultRig : DriverFirst, WindowRig {
  FaultRig() : WindowRig(interface_type::kParallelPort, 47120, &driver) {
    driver.card = &card;
    session.analyzer.InterfaceType = interface_type::kUsbCard;
  }

  // The first datalog holds its header block and whole rows of the `cycles` cycles, numbered
  // from 1; the row of a cycle that lost the card is missing, and a gap row follows it when
  // the card came back.
  void ExpectDatalog(int cycles) const {
    std::ifstream in(folder / "Datalog_1.txt", std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_GE(lines.size(), 8u);
    int last = 0;
    bool gap = false;  // just after a gap row: the lost cycle's index is skipped
    for (size_t n = 8; n < lines.size(); ++n) {
      const std::string& line = lines[n];
      EXPECT_EQ(line.back(), '\r') << "line " << n + 1 << " is cut short";
      if (line.starts_with("# gap: the USB card went away at ")) {
        EXPECT_FALSE(gap) << "line " << n + 1;
        gap = true;
        continue;
      }
      const int row = std::stoi(line.substr(0, line.find('\t')));
      EXPECT_EQ(row, last + (gap ? 2 : 1)) << "line " << n + 1;
      EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 8) << "row " << row;
      last = row;
      gap = false;
    }
    EXPECT_LE(last, cycles);
    EXPECT_GE(last, cycles - 1);
  }

  bool wentAway = false;  // the status line said the card went away
};

enum class Stage { Startup, Read, ReadLoop };

// Runs one stage of a session over the card, counting the card requests of that stage only.
// Returns the cycles of a logged run, or -1 when the stage logs nothing.
int RunStage(FaultRig& rig, Stage stage) {
  rig.driver.counting = stage == Stage::Startup;
  frmVelk47120& w = rig.Open();
  w.Form_Activate();
  const auto away = [&] {
    rig.wentAway |= w.statusBar()->currentMessage().startsWith("The USB card went away");
    return rig.wentAway;
  };
  rig.driver.counting = stage == Stage::Read;
  if (stage == Stage::Read) QTest::mouseClick(w.cmdReadData, Qt::LeftButton);
  rig.driver.counting = false;
  away();
  if (stage != Stage::ReadLoop) return -1;
  QTest::mouseClick(w.chkDatalog, Qt::LeftButton);
  // A run that lost the card waits for it: one look at once, then Stop if it is not back.
  QTimer watch;
  watch.setInterval(1);
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (!away()) return;
    watch.stop();
    w.LookForCardNow();
    // Only a run still going: a click on a run already told to stop would start it again.
    if (w.statusBar()->currentMessage().startsWith("The USB card went away") &&
        w.CmdReadLoop->text() == "&Stop")
      QTest::mouseClick(w.CmdReadLoop, Qt::LeftButton);
  });
  watch.start();
  LoopDriver loop(rig);
  rig.driver.counting = true;
  const int cycles = loop.Run(3);
  rig.driver.counting = false;
  return cycles;
}

class UsbFaults : public ::testing::TestWithParam<std::tuple<Stage, Fault>> {};

// A clean run gives the requests of the stage; then the fault meets the first request of each
// kind, and every seventh request besides (the rest repeat what those show).
TEST_P(UsbFaults, AtEveryKindOfRequestTheRunStaysWhole) {
  const auto [stage, fault] = GetParam();
  std::vector<FaultyDriver::Kind> kinds;
  {
    FaultRig clean;
    RunStage(clean, stage);
    EXPECT_TRUE(clean.messages.shown.empty());
    kinds = clean.driver.kinds;
  }
  ASSERT_FALSE(kinds.empty());
  int noticed = 0;  // runs in which the fault showed at all
  std::set<FaultyDriver::Kind> faulted;
  for (int k = 1; k <= static_cast<int>(kinds.size()); ++k) {
    const FaultyDriver::Kind& kind = kinds[static_cast<size_t>(k - 1)];
    if (fault == Fault::Cut && std::get<1>(kind) != 1) continue;  // only answers can be cut
    if (!faulted.insert(kind).second && k % 7 != 0) continue;
    SCOPED_TRACE("fault at request " + std::to_string(k) + " of " + std::to_string(kinds.size()));
    FaultRig rig;
    rig.driver.fault = fault;
    rig.driver.at = k;
    const int cycles = RunStage(rig, stage);
    const std::vector<std::string> texts = rig.messages.Texts();  // none may come up twice
    EXPECT_EQ(std::set(texts.begin(), texts.end()).size(), texts.size())
        << testing::PrintToString(texts);
    if (cycles >= 0) rig.ExpectDatalog(cycles);
    noticed += !rig.messages.shown.empty() || rig.wentAway;
    if (HasFailure()) return;  // the first position that fails tells enough
  }
  EXPECT_GT(noticed, 0);
}

std::string Name(const ::testing::TestParamInfo<UsbFaults::ParamType>& info) {
  static const char* const stages[] = {"Startup", "Read", "ReadLoop"};
  static const char* const faults[] = {"Fail", "Cut", "Unplug"};
  return std::string(stages[static_cast<int>(std::get<0>(info.param))]) +
         faults[static_cast<int>(std::get<1>(info.param))];
}

INSTANTIATE_TEST_SUITE_P(
    Card, UsbFaults,
    ::testing::Combine(::testing::Values(Stage::Startup, Stage::Read, Stage::ReadLoop),
                       ::testing::Values(Fault::Fail, Fault::Cut, Fault::Unplug)),
    Name);

}  // namespace
}  // namespace velk
