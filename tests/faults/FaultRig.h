#pragma once

#include <gtest/gtest.h>

#include <QtTest/QTest>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/Delay.h"
#include "registers/Session.h"
#include "sim/SimParallelAdapter.h"
#include "sim/SimSensor.h"
#include "sim/SimUsbCard.h"
#include "support/LoopDriver.h"
#include "support/ManualClock.h"
#include "support/MessageRecorder.h"
#include "support/QtApp.h"
#include "support/ScriptedModal.h"
#include "support/TempDir.h"
#include "support/WindowRig.h"
#include "ui/main/FrmVelk47120.h"

namespace velk::test {

// Stands between the session and the simulated card, counting requests (opens and
// device-control requests) from Start() and putting the planned fault on request number `at`.
class FaultyDriver final : public EzUsbDriver {
 public:
  enum class Fault { None, Fail, Cut, Unplug };

  explicit FaultyDriver(SimUsbCard& card) : card_(card) {}

  void Plan(Fault fault, int at) {
    fault_ = fault;
    at_ = at;
  }
  void Start() {
    counting_ = true;
    count = 0;
    reads.clear();
  }
  void Stop() { counting_ = false; }

  int count = 0;
  std::vector<bool> reads;  // per request counted: an answer read on pipe 1

  int32_t Open(const std::string& deviceName) override {
    const bool hit = Next(false);
    if (hit && fault_ == Fault::Unplug) card_.Unplug();
    if (!hit || fault_ != Fault::Fail) return card_.Open(deviceName);
    card_.FailOpen(true);
    const int32_t handle = card_.Open(deviceName);
    card_.FailOpen(false);
    return handle;
  }

  int32_t DeviceIoControl(int32_t handle, uint32_t code, const uint8_t* in, uint32_t inLength,
                          uint8_t* out, uint32_t outCapacity, uint32_t& bytesReturned) override {
    const bool bulk = code == kIoctlBulkTransfer && in != nullptr && inLength >= 4;
    const int pipe = bulk ? in[0] : -1;
    const bool hit = Next(pipe == 1);
    if (hit && fault_ == Fault::Unplug) card_.Unplug();
    if (hit && fault_ == Fault::Cut && pipe == 1) card_.CutNextAnswer(outCapacity / 2);
    if (hit && fault_ == Fault::Fail) {
      if (pipe == 0 || pipe == 1) {
        card_.FailBulkTransfer(pipe, 1);
      } else {
        bytesReturned = 0;
        return 0;
      }
    }
    return card_.DeviceIoControl(handle, code, in, inLength, out, outCapacity, bytesReturned);
  }

  void Close(int32_t handle) override { card_.Close(handle); }
  uint32_t LastError() const override { return card_.LastError(); }

 private:
  bool Next(bool read) {
    if (!counting_) return false;
    ++count;
    reads.push_back(read);
    return count == at_;
  }

  SimUsbCard& card_;
  Fault fault_ = Fault::None;
  int at_ = 0;
  bool counting_ = false;
};

// The main window over the simulated sensor as start-up builds it, with the USB card reached
// through a FaultyDriver. The process works in a temporary folder holding the configuration
// file and the datalogs for the rig's lifetime.
struct FaultRig {
  explicit FaultRig(int16_t interface) {
    EnsureQApp();
    SetDelayWaiter([this](double seconds) { clock.Advance(seconds); });
    previousFolder = std::filesystem::current_path();
    std::filesystem::current_path(folder.Path());
    std::ofstream(kConfigFileName, std::ios::binary)
        << "Interface = " << ConfigNumberText(interface) << "\r\nPort Address =  888 \r\n"
        << "Factory =  0 \r\nDevice Number = 47120\r\n";
    session.analyzer.LoadConfig();
    session.reg.BuildRegisterTable();
  }
  ~FaultRig() {
    SetDelayWaiter([](double) {});
    window.reset();
    std::error_code ignored;
    std::filesystem::current_path(previousFolder, ignored);
  }

  frmVelk47120& Open() {
    window = std::make_unique<frmVelk47120>(session, modal, exit, nullptr);
    window->DatalogFolder = folder.Path();
    return *window;
  }

  // No message box may come up twice in one run.
  void ExpectNoMessageRepeated() const {
    std::map<std::string, int> seen;
    for (const std::string& text : messages.Texts()) ++seen[text];
    for (const auto& [text, times] : seen) EXPECT_EQ(times, 1) << "shown repeatedly: " << text;
  }

  // The first datalog holds its header block and exactly `rows` complete rows, numbered from 1.
  void ExpectDatalog(int rows) const {
    std::ifstream in(folder / "Datalog_1.txt", std::ios::binary);
    ASSERT_TRUE(in.good()) << "no datalog";
    std::stringstream all;
    all << in.rdbuf();
    const std::string text = all.str();
    std::vector<std::string> lines;
    size_t at = 0;
    for (size_t end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
      lines.push_back(text.substr(at, end - at));
    EXPECT_EQ(at, text.size()) << "a row is cut short";
    ASSERT_EQ(lines.size(), 8u + static_cast<size_t>(rows));
    EXPECT_EQ(lines[0], "VELK 47120 Datalog File");
    EXPECT_EQ(lines[6], "Index\tSupply\tGyro\tADC In\tTemp\tAngle\tNew  \tError\tStatus");
    for (int row = 1; row <= rows; ++row) {
      std::vector<std::string> fields;
      std::stringstream line(lines[static_cast<size_t>(7 + row)]);
      for (std::string f; std::getline(line, f, '\t');) fields.push_back(f);
      ASSERT_EQ(fields.size(), 9u) << "row " << row;
      EXPECT_EQ(fields[0], std::to_string(row));
    }
  }

  // Exit as the menu does; the file written must read back as the settings of the run.
  void ExitAndExpectConfig() {
    // Settings other than the session's, so the file read back must be the one Exit wrote.
    std::ofstream(folder / kConfigFileName, std::ios::binary)
        << "Interface = 9 \r\nFactory = 9 \r\n";
    window->MnuExit_Click();
    EXPECT_EQ(exit.codes, std::vector<int>{0});
    Analyzer saved;
    saved.InterfaceType = saved.PortAddress = saved.FactoryMode = -99;
    saved.LoadConfig(folder / kConfigFileName);
    const Analyzer& now = session.analyzer;
    EXPECT_EQ(saved.InterfaceType, now.InterfaceType);
    EXPECT_EQ(saved.PortAddress, now.PortAddress);
    EXPECT_EQ(saved.FactoryMode, now.FactoryMode);
    EXPECT_EQ(saved.DeviceNumber.DisplayText(), now.DeviceNumber.DisplayText());
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path()))
      EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
  }

  ManualClock clock;
  SimSensor sensor{clock};
  SimParallelAdapter adapter{sensor, 0x378};
  SimUsbCard card{&sensor};
  FaultyDriver driver{card};
  MessageRecorder messages;
  Session session{adapter, driver, messages};
  TempDir folder;
  std::filesystem::path previousFolder;
  ScriptedModal modal;
  RecordingExit exit;
  std::unique_ptr<frmVelk47120> window;
};

}  // namespace velk::test
