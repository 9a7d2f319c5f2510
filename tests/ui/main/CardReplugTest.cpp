#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QStatusBar>
#include <QTimer>
#include <QtTest/QTest>
#include <functional>
#include <string>

#include "support/Captions.h"
#include "support/LoopDriver.h"
#include "support/WindowRig.h"
#include "ui/main/WindowAcquisition.h"
#include "ui/noise/frmNoise.h"

namespace velk {
namespace {

using test::LoopDriver;
using test::WindowRig;

QStringList Lines(const std::filesystem::path& file) {
  QStringList lines = QString::fromStdString(test::ReadBytes(file)).split("\r\n");
  lines.removeLast();
  return lines;
}

const QString kClock = "\\d\\d:\\d\\d:\\d\\d";

// A logged run over the USB card loses the card at its 4th read. While the window waits, the
// case does what happens to the card (once the status line says it is waiting) and the
// window takes one look; the run is stopped at its 8th cycle if it still goes.
TEST(CardReplug, ALoggedRunRidesOutTheCardOrEndsOnWhatCameInstead) {
  const struct {
    const char* name;
    std::function<void(WindowRig&, SimSensor&)> meanwhile;  // null: Stop is clicked instead
    const char* after;  // the status line once the card is looked for again
    bool goesOn;        // the run goes on with the same file
  } cases[] = {
      {"the same card and chip come back",
       [](WindowRig& rig, SimSensor&) { rig.card.PlugBackIn(); },
       "^The USB card is back at %1: VELK47120, .* on USB card Ezusb-0$", true},
      {"the card comes back with another chip",
       [](WindowRig& rig, SimSensor& other) {
         rig.card.Carry(&other);
         rig.card.PlugBackIn();
       },
       "^The USB card Ezusb-0 came back with another chip: VELK47121, .*, not VELK47120, .*; "
       "the run ends\\.$",
       false},
      {"another card comes back in its place",
       [](WindowRig& rig, SimSensor&) {
         rig.card.Card(0).descriptor1 = "Other Card";
         rig.card.PlugBackIn();
       },
       "^Another card came back as Ezusb-0: .*Other Card.*, not the .*; the run ends\\.$", false},
      {"Stop is clicked while the card is away", nullptr,
       "^The USB card went away at %1; waiting for it to come back$", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WindowRig rig(interface_type::kUsbCard);
    SimSensor other(rig.clock, 47121);
    frmVelk47120& w = rig.Open();
    w.Form_Activate();
    w.chkDatalog->click();
    const QRegularExpression gone("^The USB card went away at " + kClock +
                                  "; waiting for it to come back$");
    QString whileAway;
    QString afterLook;
    QString runningWhenBack;
    // Acts once the window waits; a look the window's own timer makes meanwhile finds nothing.
    QTimer act;
    act.setInterval(1);
    QObject::connect(&act, &QTimer::timeout, [&] {
      whileAway = w.statusBar()->currentMessage();
      if (!gone.match(whileAway).hasMatch()) return;
      act.stop();
      if (c.meanwhile) {
        c.meanwhile(rig, other);
        w.LookForCardNow();
      } else {
        QTest::mouseClick(w.CmdReadLoop, Qt::LeftButton);
      }
      afterLook = w.statusBar()->currentMessage();
      runningWhenBack = w.lblLoop->text();
    });
    LoopDriver loop(rig);
    loop.onCycle = [&](int cycle) {
      if (cycle != 3) return;
      rig.card.Unplug();
      act.start();
    };
    const int cycles = loop.Run(8);

    EXPECT_TRUE(gone.match(whileAway).hasMatch()) << whileAway.toStdString();
    EXPECT_TRUE(
        QRegularExpression(QString(c.after).replace("%1", kClock)).match(afterLook).hasMatch())
        << afterLook.toStdString();
    // A run that ends on the card keeps saying why; one that went on says where it logged.
    EXPECT_EQ(w.statusBar()->currentMessage().startsWith("Logged to "), c.goesOn);
    EXPECT_TRUE(rig.messages.shown.empty()) << rig.messages.Texts()[0];
    EXPECT_EQ(w.txtFileIndex->text(), "2");  // the file closed once, whatever the end
    const QStringList lines = Lines(rig.folder / "Datalog_1.txt").mid(8);
    QStringList indexes;
    for (const QString& line : lines)
      indexes << (line.startsWith('#') ? QString("gap") : line.section('\t', 0, 0));
    if (c.goesOn) {
      EXPECT_EQ(runningWhenBack, "Running");
      EXPECT_EQ(cycles, 8);
      // Rows 1 to 3, the gap, then the rows after it in the same file; row 4 was lost.
      EXPECT_EQ(indexes.join(' '), "1 2 3 gap 5 6 7 8");
      ASSERT_EQ(lines.size(), 8);
      EXPECT_TRUE(QRegularExpression("^# gap: the USB card went away at " + kClock + ", back at " +
                                     kClock + "$")
                      .match(lines[3])
                      .hasMatch())
          << lines[3].toStdString();
      w.mnuNoise_Click();
      EXPECT_TRUE(
          w.findChild<frmNoise*>()->lblState->text().contains("since the USB card was replugged"));
    } else {
      EXPECT_EQ(cycles, 4);
      EXPECT_EQ(test::Caption(w.CmdReadLoop->text()), "Start");
      EXPECT_EQ(indexes.join(' '), "1 2 3");
    }
  }
}

// Read and Read Status find the card gone: no box, the status line says so and nothing is
// sent until a look finds it back; then the activation runs and the reads work again.
TEST(CardReplug, AReadThatFindsTheCardGoneWaitsForIt) {
  for (const char* button : {"cmdReadData", "CmdUpdateStatus"}) {
    SCOPED_TRACE(button);
    WindowRig rig(interface_type::kUsbCard);
    frmVelk47120& w = rig.Open();
    w.Form_Activate();
    rig.card.Unplug();
    QPushButton* read = w.findChild<QPushButton*>(button);
    QTest::mouseClick(read, Qt::LeftButton);
    EXPECT_TRUE(w.statusBar()->currentMessage().startsWith("The USB card went away at "));
    const size_t requests = rig.card.requests.size();
    QTest::mouseClick(read, Qt::LeftButton);
    w.LookForCardNow();  // still away
    EXPECT_TRUE(w.statusBar()->currentMessage().startsWith("The USB card went away at "));
    // Nor does an acquisition start, and the card stays chosen for the watch.
    const auto acquired = w.Acquisition().Start({.seconds = 1.0, .file = ""}, {});
    ASSERT_FALSE(acquired);
    EXPECT_NE(acquired.error().find("acquire once it is back"), std::string::npos);
    EXPECT_EQ(rig.session.analyzer.InterfaceType, interface_type::kUsbCard);
    EXPECT_EQ(rig.card.requests.size(), requests);
    rig.card.PlugBackIn();
    w.LookForCardNow();
    EXPECT_TRUE(w.statusBar()->currentMessage().startsWith("The USB card is back at "));
    EXPECT_GT(rig.card.requests.size(), requests);
    w.txtReadReg[output::Supply]->clear();
    w.cmdReadData_Click();
    EXPECT_FALSE(w.txtReadReg[output::Supply]->text().isEmpty());
    EXPECT_TRUE(rig.messages.shown.empty()) << rig.messages.Texts()[0];
  }
}

}  // namespace
}  // namespace velk
