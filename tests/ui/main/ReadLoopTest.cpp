#include <gtest/gtest.h>

#include <QAccessible>
#include <QRegularExpression>
#include <QScreen>
#include <QStatusBar>
#include <QtTest/QTest>
#include <fstream>
#include <string>
#include <tuple>

#include "core/NumberText.h"
#include "support/Captions.h"
#include "support/FileSizeLimit.h"
#include "support/LoopDriver.h"
#include "support/WindowRig.h"
#include "transport/usb/dialogs/frmUSBselect.h"
#include "ui/dialogs/frmPowerdown.h"
#include "ui/main/Datalog.h"
#include "ui/main/WriteTrace.h"
#include "ui/noise/frmNoise.h"

namespace velk {
namespace {

using test::LoopDriver;
using test::SimRig;
using test::WindowRig;

// A datalog's whole lines, without their CR LF.
QStringList Lines(const std::filesystem::path& file) {
  QStringList lines = QString::fromStdString(test::ReadBytes(file)).split("\r\n");
  lines.removeLast();  // what follows the last line end is no whole line
  return lines;
}

// Every word the chip receives while the window starts and logs three read-loop cycles, in
// order: a change to what the program sends, or when, shows here first. A read is its
// command and the frame that fetches the answer.
TEST(FramesSent, StartUpAndThreeLoggedCyclesSendExactlyTheseWords) {
  WindowRig rig;
  ASSERT_TRUE(rig.sensor.TraceTo(rig.folder / "spi.txt"));
  frmVelk47120& w = rig.Open();
  w.show();
  QCoreApplication::processEvents();  // the activation the first showing queues
  w.chkDatalog->click();
  ASSERT_EQ(LoopDriver(rig).Run(3), 3);

  std::string sent;
  std::ifstream trace(rig.folder / "spi.txt");
  for (std::string word, answered; trace >> word >> answered;) sent += word + ' ';
  const std::string read = "0200 0000 0400 0000 0A00 0000 0C00 0000 0E00 0000 3C00 0000 ";
  EXPECT_EQ(sent,
            // Key code, revision, flash count and product.
            "D0C3 D1A5 5200 0000 5400 0000 0000 0000 5600 0000 "
            // Sample period and range; the averaging and range bars write Sens_Avg back.
            "3600 0000 3800 0000 B904 B802 3800 0000 3800 0000 B904 B800 B904 B800 3800 0000 "
            // Status, Msc_Ctrl and the pin use (Gpio_Ctrl, Alm_Ctrl, Msc_Ctrl).
            "3C00 0000 3400 0000 3200 0000 2800 0000 3400 0000 " +
                // The first read once the chip has settled, then each cycle's.
                read + read + read + read);
  EXPECT_NE(test::ReadBytes(rig.folder / "Datalog_1.txt").find("\r\n3\t"), std::string::npos);
}

// Stop and Start while a logged run waits: the run goes on as one (one header block, one
// count). Stop clicked before the loop got going: exactly one cycle, then the run ends.
TEST(FramesSent, StopAndStartAroundASuspendedRunSendExactlyTheseWords) {
  WindowRig rig;
  ASSERT_TRUE(rig.sensor.TraceTo(rig.folder / "spi.txt"));
  frmVelk47120& w = rig.Open();
  w.chkDatalog->click();
  LoopDriver loop(rig);
  loop.onCycle = [&](int cycle) {
    if (cycle != 2) return;
    QTest::mouseClick(w.CmdReadLoop, Qt::LeftButton);
    QTest::mouseClick(w.CmdReadLoop, Qt::LeftButton);
  };
  EXPECT_EQ(loop.Run(4), 4);
  EXPECT_EQ(w.txtLoopCount->text() + ' ' + w.txtFileIndex->text(), "4 2");
  EXPECT_EQ(Lines(rig.folder / "Datalog_1.txt").size(), 8 + 4);

  loop.onCycle = nullptr;
  QMetaObject::invokeMethod(w.CmdReadLoop, &QPushButton::click, Qt::QueuedConnection);
  EXPECT_EQ(loop.Run(0), 1);
  EXPECT_EQ(w.txtLoopCount->text() + ' ' + w.txtFileIndex->text(), "1 3");
  EXPECT_EQ(Lines(rig.folder / "Datalog_2.txt").size(), 8 + 1);
  EXPECT_TRUE(w.chkDatalog->isEnabled());

  std::string sent;
  std::ifstream trace(rig.folder / "spi.txt");
  for (std::string word, answered; trace >> word >> answered;) sent += word + ' ';
  const std::string read = "0200 0000 0400 0000 0A00 0000 0C00 0000 0E00 0000 3C00 0000 ";
  std::string reads;
  for (int n = 0; n < 5; ++n) reads += read;
  EXPECT_EQ(sent, reads);
}

TEST(ReadLoop, LoopDelayTextIsClampedWhenARunStarts) {
  WindowRig rig;
  frmVelk47120& w = rig.Open();
  LoopDriver loop(rig);
  for (auto [typed, shown] :
       {std::pair{"100", "100.0"}, {"70000", "60000.0"}, {"-5", "0.0"}, {"abc", "0.0"}}) {
    w.txtLoopDelay->setText(typed);
    EXPECT_EQ(loop.Run(1), 1);
    EXPECT_EQ(w.txtLoopDelay->text(), shown);
  }
}

TEST(ReadLoop, LoggedRunsWriteIndexedFilesAndTheButtonsWorkDuringThem) {
  WindowRig rig;
  frmVelk47120& w = rig.Open();
  w.Form_Activate();
  // Logging turned on as a screen reader does: every way of toggling the box counts.
  QAccessible::queryAccessibleInterface(w.chkDatalog)
      ->actionInterface()
      ->doAction(QAccessibleActionInterface::toggleAction());
  LoopDriver loop(rig);
  bool chkUsableDuringRun = true;
  loop.onCycle = [&](int cycle) {
    chkUsableDuringRun = w.chkDatalog->isEnabled();
    if (cycle != 2) return;
    w.txtReadReg[output::Gyro]->clear();
    QTest::mouseClick(w.cmdReadData, Qt::LeftButton);
    EXPECT_FALSE(w.txtReadReg[output::Gyro]->text().isEmpty());
    w.StatusValue = -1;
    QTest::mouseClick(w.CmdUpdateStatus, Qt::LeftButton);
    EXPECT_NE(w.StatusValue, -1);
  };

  EXPECT_EQ(loop.Run(5), 5);
  EXPECT_EQ(std::pair(chkUsableDuringRun, w.chkDatalog->isEnabled()), std::pair(false, true));
  EXPECT_EQ(w.lblLoop->text() + test::Caption(w.CmdReadLoop->text()), "StoppedStart");
  EXPECT_EQ(w.txtLoopCount->text() + ' ' + w.txtFileIndex->text(), "5 2");
  const QStringList lines = Lines(rig.folder / "Datalog_1.txt");
  ASSERT_EQ(lines.size(), 8 + 5);
  for (int row = 1; row <= 5; ++row) {
    const QStringList f = lines[7 + row].split('\t');
    ASSERT_EQ(f.size(), 9);
    EXPECT_EQ(f[8].toInt(), w.StatusValue);
  }

  std::ofstream(rig.folder / "Datalog_2.txt", std::ios::binary) << "1\t5.0";  // no line end
  EXPECT_EQ(loop.Run(2), 2);
  EXPECT_EQ(Lines(rig.folder / "Datalog_2.txt")[1], "VELK 47120 Datalog File");
  EXPECT_EQ(Lines(rig.folder / "Datalog_2.txt").size(), 1 + 8 + 2);
  EXPECT_EQ(w.txtFileIndex->text(), "3");
}

TEST(ReadLoop, DatalogThatCannotBeWrittenIsReportedOnceAndTheRunGoesOn) {
  // Name, index, and the message's start ("@" stands for the datalog folder).
  for (const auto& [base, index, message] :
       {std::tuple{std::string("../escape"), "1",
                   "The datalog file name must not contain a folder: ../escape_1.txt. The run "
                   "goes on without logging."},
        {"D", "/1", "The datalog file name must not contain a folder: D_/1.txt."},
        {"Data\nlog", "1", "The datalog file name must not contain a line break."},
        {"held", "1",
         "@/held_1.txt is being written by another program.\n\nThe run goes on without logging. "
         "Choose another file name or index."},
        {"D", "1", "The folder @/plain/logs cannot be created: Not a directory."},
        {std::string(5000, 'x'), "1", "Could not open @/"}}) {
    WindowRig rig;
    frmVelk47120& w = rig.Open();
    std::ofstream(rig.folder / "plain").close();
    if (base == "D" && index[0] == '1') w.DatalogFolder = rig.folder / "plain" / "logs";
    AppendLog other;  // another program's writer
    if (base == "held") {
      ASSERT_TRUE(other.Open(rig.folder / "held_1.txt", "\r\n"));
    }
    w.txtDlogFile->setText(QString::fromStdString(base));
    w.txtFileIndex->setText(index);
    QTest::mouseClick(w.chkDatalog, Qt::LeftButton);
    EXPECT_EQ(LoopDriver(rig).Run(2), 2);

    const QString expected =
        QString(message).replace("@", QString::fromStdString(rig.folder.Path()));
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_TRUE(QString::fromStdString(rig.messages.shown[0].text).startsWith(expected));
    EXPECT_LT(rig.messages.shown[0].text.size(), 400u);  // a long name shortened, named once
    EXPECT_EQ(w.txtFileIndex->text(), index);
  }
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::temp_directory_path() / "escape_1.txt"));
}

// A power-down of 1 s in a logged run of 100 ms cycles: nothing sent, no rows but the index
// counts on, a panel's write refused; on waking one activation, and the status line as it was.
TEST(ReadLoop, APowerDownLeavesAGapInTheLogAndNothingIsSentWhileTheChipSleeps) {
  WindowRig rig;
  frmVelk47120& w = rig.Open();
  w.Form_Activate();
  w.txtLoopDelay->setText("100");
  w.chkDatalog->click();
  test::WriteTrace trace(rig.sensor, rig.folder / "spi.txt");
  rig.modal.script = [](QDialog& d) {
    dynamic_cast<frmPowerdown&>(d).hscPowerdown->setValue(2);
    dynamic_cast<frmPowerdown&>(d).cmdPowerDown->click();
  };
  const QRegularExpression sleeping(
      "^The chip sleeps until \\d\\d:\\d\\d:\\d\\d( \\(power-down\\)|; nothing was written\\.)$");
  QString logging;
  long frames = 0;
  LoopDriver loop(rig);
  loop.onCycle = [&](int cycle) {
    if (cycle == 3) {
      logging = w.statusBar()->currentMessage();
      w.mnuPowerdown->trigger();
      frames = rig.sensor.FrameCount();
    }
    EXPECT_TRUE(cycle < 20 || w.statusBar()->currentMessage() == logging);
    if (cycle <= 3 || !rig.session.sleep.Asleep()) return;
    EXPECT_EQ(rig.sensor.FrameCount(), frames);
    EXPECT_TRUE(sleeping.match(w.statusBar()->currentMessage()).hasMatch());
    if (cycle == 5) w.hscSmplPrd->setValue(9);
  };
  EXPECT_EQ(loop.Run(20), 20);
  EXPECT_TRUE(rig.messages.shown.size() == 1 &&
              sleeping.match(QString::fromStdString(rig.messages.shown[0].text)).hasMatch());
  const std::vector<test::ByteWrite> woken = trace.Take();
  EXPECT_EQ(std::count(woken.begin(), woken.end(), test::ByteWrite{0x50, 0xC3}), 1);
  // Rows 1 to 3, a gap as long as the sleep, then every row to the 20th; none of zeros.
  const QStringList rows = Lines(rig.folder / "Datalog_1.txt").mid(8);
  const int gap = 20 - static_cast<int>(rows.size());
  EXPECT_GE(gap, 8);
  for (int n = 0; n < rows.size(); ++n) {
    EXPECT_EQ(rows[n].section('\t', 0, 0).toInt(), n < 3 ? n + 1 : n + 1 + gap);
    EXPECT_GT(rows[n].section('\t', 1, 1).toDouble(), 4.0);
  }
  // The live noise record starts anew at the wake, and says why.
  w.mnuNoise_Click();
  EXPECT_TRUE(
      w.findChild<frmNoise*>()->lblState->text().contains("since the chip woke from a power-down"));
}

TEST(ReadLoop, StopEndsTheWaitAtTheNextSlice) {
  WindowRig rig;
  frmVelk47120& w = rig.Open();
  w.txtLoopDelay->setText("60000");
  QTest::keyClick(w.chkDatalog, Qt::Key_Space);
  int pauses = 0;
  int slices = 0;
  int waitsAfterStop = 0;
  long framesAtStop = -1;
  SetDelayWaiter([&](double seconds) {
    rig.clock.Advance(seconds);
    if (seconds == 0.001) ++pauses;
    if (framesAtStop >= 0) ++waitsAfterStop;
    if (seconds < 0.005 || pauses != 2 || framesAtStop >= 0 || ++slices < 3) return;
    QTest::mouseClick(w.CmdReadLoop, Qt::LeftButton);
    framesAtStop = rig.sensor.FrameCount();
  });
  QTest::mouseClick(w.CmdReadLoop, Qt::LeftButton);
  EXPECT_EQ(waitsAfterStop, 0);  // not one more slice of the minute
  EXPECT_EQ(rig.sensor.FrameCount(), framesAtStop);
  EXPECT_EQ(w.txtFileIndex->text(), "2");  // the log is closed
  EXPECT_EQ(Lines(rig.folder / "Datalog_1.txt").size(), 8 + 2);
}

TEST(ReadLoop, RunsEndThatCannotGoOn) {
  {  // no interface: said at start-up and at each try, the chip untouched, the loop not started
    WindowRig rig(SimRig::kUnknownInterface);
    frmVelk47120& w = rig.Open();
    const long frames = rig.sensor.FrameCount();
    w.Form_Activate();
    w.cmdReadData_Click();
    EXPECT_EQ(LoopDriver(rig).Run(0), 0);
    EXPECT_EQ(rig.sensor.FrameCount(), frames);
    const std::string select = "Please select an interface first";
    EXPECT_EQ(rig.messages.Texts(),
              (std::vector{std::string("Please select an interface before taking data"), select,
                           select}));
    EXPECT_TRUE(w.txtReadReg[output::Gyro]->text().isEmpty());
    EXPECT_EQ(w.lblLoop->text() + test::Caption(w.CmdReadLoop->text()), "StoppedStart");
  }
  // One sweep: the whole chart crossed since it was last cleared. A range change or a resize
  // clears it.
  for (const char* clear : {"", "range", "resize"}) {
    SCOPED_TRACE(clear);
    WindowRig rig;
    frmVelk47120& w = rig.Open();
    w.chkOneSweep->setChecked(true);
    LoopDriver loop(rig);
    const int at = *clear != 0 ? 100 : 0;
    loop.onCycle = [&](int cycle) {
      if (cycle != at) return;
      if (std::string(clear) == "range") w.hscScale->setValue(1);
      if (std::string(clear) == "resize") w.Form_Resize();
    };
    const int cycles = loop.Run(0);
    const int sweep = w.pic1->Width() / w.plot().XStep;
    EXPECT_GE(cycles, at + sweep - 3);
    EXPECT_LE(cycles, at + sweep + 1);
  }
  // The interface goes while a logged run waits (USB "None", Parallel Port "Cancel"): the run
  // ends with that cycle, saying so at most once, its datalog whole. A card pulled out is
  // waited for (CardReplugTest).
  for (const char* lose : {"none", "cancel"}) {
    SCOPED_TRACE(lose);
    WindowRig rig(interface_type::kUsbCard);
    frmVelk47120& w = rig.Open();
    QTest::mouseClick(w.chkDatalog, Qt::LeftButton);
    rig.modal.script = [](QDialog& d) {
      if (auto* select = qobject_cast<frmUSBselect*>(&d)) select->optUsbPort[4]->click();
      if (auto* cancel = d.findChild<QPushButton*>("cmdCancel")) cancel->click();
    };
    LoopDriver loop(rig);
    loop.onCycle = [&](int cycle) {
      if (cycle != 3) return;
      if (*lose == 'n') w.mnuUsb->trigger();
      if (*lose == 'c') w.mnuPort->trigger();
    };
    const int cycles = loop.Run(0);
    EXPECT_LE(cycles, 4);
    EXPECT_FALSE(w.mnuUsb->isChecked() || w.mnuPort->isChecked());
    EXPECT_EQ(test::Caption(w.CmdReadLoop->text()), "Start");
    EXPECT_LE(rig.messages.shown.size(), 1u);
    EXPECT_EQ(Lines(rig.folder / "Datalog_1.txt").size(), 8 + cycles);
    EXPECT_EQ(w.txtFileIndex->text(), "2");
  }
}

// A run paints at most once a frame; when it ends, the screen (the window's backing store)
// shows every point of the chart, and the boxes the last cycle's values.
TEST(RunDisplay, WhenARunEndsTheScreenShowsEveryPointAndTheLastValues) {
  WindowRig rig;
  frmVelk47120& w = rig.Open();
  w.show();
  QCoreApplication::processEvents();
  w.chkDatalog->click();
  ASSERT_EQ(LoopDriver(rig).Run(40), 40);
  QCoreApplication::processEvents();  // the paint the run's end asked for

  const QImage screen = w.screen()->grabWindow(w.winId()).toImage();
  const QImage chart = w.pic1->grab().toImage();  // drawn from the chart's picture
  EXPECT_EQ(screen.copy(QRect(w.pic1->mapTo(&w, QPoint()), w.pic1->size())), chart);

  EXPECT_EQ(w.txtLoopCount->text(), "40");
  const QStringList last = Lines(rig.folder / "Datalog_1.txt").back().split('\t');
  EXPECT_EQ(last[0], "40");
  EXPECT_EQ(w.txtReadReg[output::Gyro]->text().toStdString(), FormatFixed(last[2].toFloat(), 2));
}

const Datalog::Header kHeader{"24.05.2024", 5.0f, "1.953", "16", "300", 0x00FF};

// A reading as the loop hands it to the log: the five values and the flags a row records.
OutputCycle Reading(std::array<float, kOutputCount> values, bool newData, bool error) {
  OutputCycle cycle{.rowNew = newData, .rowError = error};
  for (int n = 0; n < kOutputCount; ++n) cycle.outputs[n].value = values[n];
  return cycle;
}

TEST(Datalog, RunsAppendAndEachRowReachesTheFileAtOnce) {
  test::TempDir dir;
  const auto path = Datalog::FileName(dir.Path(), "Datalog", "1");
  Datalog log;
  ASSERT_TRUE(log.Open(path, kHeader));
  const std::string header = test::ReadBytes(path);
  EXPECT_TRUE(log.WriteRow(1, Reading({5.0001f, 0.07326f, 1.25f, 25.0f, 0.0f}, true, false), 4096));
  const std::string row1 = "1\t5.0001\t0.07326\t1.25\t25\t0\tTrue\tFalse\t4096\r\n";
  EXPECT_EQ(test::ReadBytes(path), header + row1);  // on disk while the file is open

  // The next run on the same name appends; self-test lines follow the scale line.
  Datalog::Header selfTest = kHeader;
  selfTest.mscCtrl = 0x0300;
  ASSERT_TRUE(log.Open(path, selfTest));
  EXPECT_TRUE(log.WriteRow(
      2, Reading({4.99f, -12.45582f, 0.0006105f, -272.0f, 359.9634f}, false, true), 0));
  std::string second = header;
  second.insert(second.find("Index"), "Pos Self Test On\r\nNeg Self Test On\r\n");
  EXPECT_EQ(
      test::ReadBytes(path),
      header + row1 + second + "2\t4.99\t-12.45582\t0.0006105\t-272\t359.9634\tFalse\tTrue\t0\r\n");
}

TEST(Datalog, AFullDiskLeavesOnlyWholeRowsAndBlocks) {
  test::TempDir dir;
  const auto path = dir / "d.txt";
  Datalog log;
  ASSERT_TRUE(log.Open(path, kHeader));
  const std::string header = test::ReadBytes(path);
  // A file-size cap fails the write part-way, as a full disk would.
  const auto capped = [](size_t bytes, const auto& write) {
    test::FileSizeLimit disk(bytes);
    return write();
  };
  const auto row = capped(header.size() + 10, [&] { return log.WriteRow(1, OutputCycle{}, 0); });
  EXPECT_FALSE(row);
  EXPECT_FALSE(log.IsOpen());
  EXPECT_EQ(row.error(), "Could not write to " + path.string() + ": File too large");
  EXPECT_EQ(test::ReadBytes(path), header);
  // The next run's header does not fit either: the earlier run stays as it was.
  EXPECT_FALSE(capped(header.size() + 20, [&] { return log.Open(path, kHeader); }));
  EXPECT_EQ(test::ReadBytes(path), header);
}

TEST(Datalog, NextIndexIsTheLeadingWholeNumberPlusOne) {
  for (const auto& [typed, next] : {std::pair{"1", "2"},
                                    {"7a", "8"},
                                    {"-3", "-2"},
                                    {"", "1"},
                                    {"2.5", "1"},
                                    {"1e309", "1"},
                                    {"9999999", "1"}})
    EXPECT_EQ(Datalog::NextIndexText(typed), next) << typed;
}

}  // namespace
}  // namespace velk
