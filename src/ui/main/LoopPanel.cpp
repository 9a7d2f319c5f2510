#include <QCoreApplication>
#include <QStatusBar>
#include <algorithm>
#include <utility>

#include "core/Delay.h"
#include "core/NumberText.h"
#include "core/PathText.h"
#include "measure/InterfaceSetup.h"
#include "ui/main/Controls.h"
#include "ui/main/FrmVelk47120.h"
#include "ui/noise/frmNoise.h"
#include "widgets/ValueLabel.h"

namespace velk {

namespace {

const QColor kStoppedColour(255, 255, 255);
const QColor kRunningColour(0, 255, 0);

QString PathText(const std::filesystem::path& path) {
  return QString::fromStdString(path.string());
}

}  // namespace

void frmVelk47120::BuildLoopPanel(QWidget* client) {
  frameLoopRun = MakeFrame(client, "frameLoopRun", "Loop Setup", 2970, 4350, 2415, 3372);
  CmdReadLoop = MakeButton(frameLoopRun, "CmdReadLoop", "&Start", 150, 300, 975, 375);
  lblLoop = MakeLabel(frameLoopRun, "lblLoop", "Stopped", 1260, 345, 1005, 285);
  lblLoop->setFrameShape(QFrame::Panel);
  lblLoop->setFrameShadow(QFrame::Sunken);
  NameValue(lblLoop, "Loop state");
  SetBackground(lblLoop, kStoppedColour);

  txtLoopDelay = MakeTextBox(frameLoopRun, "txtLoopDelay", 1440, 780, 855, 285);
  MakeCaption(frameLoopRun, "Loop Delay (mS)", 120, 810, 1290, 255, txtLoopDelay);
  txtLoopCount = MakeTextBox(frameLoopRun, "txtLoopCount", 1440, 1140, 855, 285, true);
  txtLoopCount->setAutoFillBackground(true);
  MakeCaption(frameLoopRun, "Loop Count", 120, 1170, 1290, 255, txtLoopCount);
  chkOneSweep =
      MakeCheckBox(frameLoopRun, "chkOneSweep", "Stop after 1 sweep", 150, 1530, 2115, 255);

  chkDatalog = MakeCheckBox(frameLoopRun, "chkDatalog", "Log Data to File", 150, 1980, 2115, 255);
  txtDlogFile = MakeTextBox(frameLoopRun, "txtDlogFile", 1020, 2340, 1245, 285);
  txtDlogFile->setAlignment(Qt::AlignLeft);
  txtDlogFile->setText("Datalog");
  MakeCaption(frameLoopRun, "File Name", 150, 2370, 840, 255, txtDlogFile);
  txtFileIndex = MakeTextBox(frameLoopRun, "txtFileIndex", 1020, 2700, 555, 285);
  txtFileIndex->setText("1");
  MakeCaption(frameLoopRun, "File Index", 150, 2730, 840, 255, txtFileIndex);
  txtDlogFile->setToolTip("Datalog files are written to " + PathText(DatalogFolder));

  connect(CmdReadLoop, &QPushButton::clicked, this, &frmVelk47120::CmdReadLoop_Click);
  // Every way the user changes the box counts, the accessibility toggle action among them.
  connect(chkDatalog, &QCheckBox::toggled, this, &frmVelk47120::chkDatalog_Click);
}

void frmVelk47120::chkDatalog_Click() {
  DatalogEnabled = chkDatalog->isChecked() ? -1 : 0;
}

void frmVelk47120::SetLoopState(LoopState state) {
  loopState_ = state;
  const bool running = state == LoopState::Running;
  ShowValue(lblLoop, running ? "Running" : "Stopped");
  SetBackground(lblLoop, running ? kRunningColour : kStoppedColour);
  CmdReadLoop->setText(running ? "&Stop" : "&Start");
  // The run reads the box once, as it starts; a change during it would not count.
  chkDatalog->setEnabled(state == LoopState::Stopped);
  if (state == LoopState::Stopped && whenLoopStopped_) std::exchange(whenLoopStopped_, {})();
}

void frmVelk47120::ShowLoopStopped() {
  SetLoopState(loopActive_ ? LoopState::Stopping : LoopState::Stopped);
}

void frmVelk47120::CmdReadLoop_Click() {
  if (loopState_ == LoopState::Running) {
    ShowLoopStopped();
    QCoreApplication::processEvents();
    return;
  }
  if (noChip_ && !messages_.Ask("No chip answered at the last check. Start the run anyway?"))
    return;
  SetLoopState(LoopState::Running);
  QCoreApplication::processEvents();
  // Started again before a suspended run saw the stop: that run simply goes on.
  if (!loopActive_) ReadLoop();
}

void frmVelk47120::ReadLoop() {
  // Started while the USB card is away: the run begins when it is back.
  if (!CardAway() && !Check_Interface()) {
    ShowLoopStopped();
    return;
  }
  loopActive_ = true;
  // Stopped before it got going (a Stop in the start's event processing): one cycle runs.
  if (loopState_ == LoopState::Stopped) SetLoopState(LoopState::Stopping);
  noiseFeed_.LoopStarted();
  Analyzer& config = session_.analyzer;

  txtLoopCount->clear();
  const std::string base = txtDlogFile->text().toStdString();
  const std::string index = txtFileIndex->text().toStdString();
  const std::filesystem::path file = Datalog::FileName(DatalogFolder, base, index);
  const bool logRequested = DatalogEnabled != 0;
  bool logging = false;
  if (logRequested && Datalog::NameHasLineBreak(base, index)) {
    messages_.Show(
        "The datalog file name must not contain a line break. The run goes on without logging.");
  } else if (logRequested && Datalog::NameHasFolder(base, index)) {
    messages_.Show("The datalog file name must not contain a folder: " +
                   ShortPathText(base + "_" + index + ".txt") +
                   ". The run goes on without logging.");
  } else if (logRequested) {
    Datalog::Header header;
    header.date = Datalog::TodayShortDate();
    header.loopDelay = config.LoopDelay;
    header.samplePeriod = txtSamplePeriod->text().toStdString();
    header.avgCnt = txtAvgCnt->text().toStdString();
    header.scale = txtScale->text().toStdString();
    header.mscCtrl = session_.reg.MscCtrl;
    const auto begun = datalog_.Open(file, header);
    logging = begun.has_value();
    if (logging) {
      ShowStatusLine("Logging to " + PathText(datalog_.Path()));
    } else {
      const char* const choose =
          begun.error().busy ? "name or index." : "name, or make the folder writable.";
      messages_.Show(begun.error().message +
                     ".\n\nThe run goes on without logging. Choose another file " + choose);
    }
  }
  const bool opened = logging;

  int32_t loopCount = 0;
  int32_t rowIndex = 0;
  plot_->RedrawPlot();
  plot_->PlotX = pic1->Width() + 1;
  // The chart, the boxes and the count are shown once a frame, however fast the cycles go.
  pacer_.SetFrameSeconds(FrameSeconds(screen()));
  pic1->HoldRepaints(true);
  OutputCycle cycle;
  do {
    if (!txtLoopDelay->text().isEmpty()) {
      const double typed = LeadingDecimalNumber(txtLoopDelay->text().toStdString());
      config.LoopDelay = static_cast<float>(std::clamp(typed, 0.0, 60000.0));
      const QString shown = QString::fromStdString(FormatFixed(config.LoopDelay, 1));
      // Set only when it reads otherwise: an unchanged box is not repainted every cycle.
      if (txtLoopDelay->text() != shown) txtLoopDelay->setText(shown);
    }
    const float w = config.LoopDelay - 6;
    const int32_t slices = std::max(RoundToInt32(RoundToInt32(w) / 10.0), 1);
    float slice = w / static_cast<float>(slices);

    // A sleeping chip gives no row, but the index counts on: the gap shows in the log.
    const bool read = ReadCycle(cycle, true);
    ++loopCount;
    // The row is written during the pause after the reads, not after it: the chip sees the
    // same pause, and the log costs the loop nothing while a row takes under 1 ms.
    SlicedDelay pause;
    pause.StartNow();
    ++rowIndex;
    if (logging && read) {
      if (const auto written = datalog_.WriteRow(rowIndex, cycle, StatusValue); !written) {
        logging = false;
        messages_.Show(written.error() +
                       ".\n\nThe rows written so far are kept; the run goes on without logging.");
      }
      loopCountToShow_ = loopCount;
      ShowPending(true);
    }
    pause.Wait(1, true);
    if (CardAway()) AwaitCard(logging);
    SlicedDelay wait;
    for (int32_t s = 0; s < slices; ++s) {
      QCoreApplication::processEvents();
      wait.Wait(slice, s + 1 == slices);
      // Stop ends the wait at once, however long the loop delay.
      if (loopState_ != LoopState::Running) break;
    }
    // Without a usable interface every further cycle would only ask for one.
    if (!CardAway() && !CheckInterface(session_)) {
      ShowInterfaceChecks();
      ShowLoopStopped();
    }
    // A range change or a resize sets PlotX beyond the chart: a new sweep, not a finished one.
    if (chkOneSweep->isChecked() && pic1->Width() - 20 <= plot_->PlotX &&
        plot_->PlotX <= pic1->Width())
      ShowLoopStopped();
  } while (loopState_ == LoopState::Running);

  pacer_.ShowNow();
  pic1->HoldRepaints(false);
  if (noiseWindow_ != nullptr) noiseWindow_->LoopStopped();
  datalog_.Close();
  // A file that never opened keeps its index for the next try.
  if (opened) {
    txtFileIndex->setText(
        QString::fromStdString(Datalog::NextIndexText(txtFileIndex->text().toStdString())));
    if (!KeepCardLine()) ShowStatusLine("Logged to " + PathText(datalog_.Path()));
  }
  loopActive_ = false;
  if (loopState_ == LoopState::Stopping) SetLoopState(LoopState::Stopped);
}

}  // namespace velk
