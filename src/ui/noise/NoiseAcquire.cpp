// "Acquire...": the chip's every sample for a while, through the Acquirer the main window
// supplies, the record shown forming and analysed as the tool analyses it once it ends.
#include <QPointer>
#include <cmath>

#include "core/Messages.h"
#include "core/ModalRunner.h"
#include "core/NumberText.h"
#include "ui/noise/AcquireDialog.h"
#include "ui/noise/NoisePlot.h"
#include "ui/noise/NoiseText.h"
#include "ui/noise/frmNoise.h"

namespace velk {

namespace {

// Longer than a record the window can hold at the fastest sample period, and than anyone waits.
constexpr double kLongestSeconds = 7 * 24 * 3600.0;
// The clear read put half a period before each sample, so the forming record is numbered at
// the chip's clock as the read loop's is.
constexpr double kClearBefore = 0.5;

QString SecondsText(double seconds) {
  return QString::fromStdString(FormatSignificant(seconds, 15));
}

}  // namespace

void frmNoise::SetAcquirer(Acquirer* acquirer) {
  acquirer_ = acquirer;
  cmdAcquire->setEnabled(acquirer_ != nullptr && !acquiring_);
}

noise::LiveNoise& frmNoise::Shown() {
  return acquiring_ && forming_ ? *forming_ : live_;
}

void frmNoise::cmdAcquire_Click() {
  if (acquirer_ == nullptr || acquiring_) return;
  AcquireDialog dialog(SecondsText(acquirePlan_.seconds), QString::fromStdString(acquirePlan_.file),
                       this);
  modal_.Run(dialog);
  if (dialog.result() != QDialog::Accepted) return;
  const std::string typed = dialog.txtSeconds->text().trimmed().toStdString();
  const std::optional<double> seconds = ExactNumber(typed);
  if (!seconds || !std::isfinite(*seconds) || *seconds <= 0 || *seconds > kLongestSeconds) {
    Tell("\"" + typed + "\" is no duration: type the seconds to acquire, a number above 0 and " +
         "up to " + FormatSignificant(kLongestSeconds, 15) + ". Nothing was started.");
    return;
  }
  AcquirePlan plan{*seconds, dialog.txtFile->text().trimmed().toStdString()};
  acquirePlan_ = plan;
  QPointer<frmNoise> self(this);
  AcquireCallbacks callbacks;
  callbacks.started = [self](const noise::ChipSettings& chip) {
    if (self) self->AcquireStarted(chip);
  };
  callbacks.samples = [self](std::span<const AcquiredPoint> samples) {
    if (self) self->AcquireSamples(samples);
  };
  callbacks.progress = [self](const AcquireProgress& progress) {
    if (self) self->AcquireProgressed(progress);
  };
  callbacks.ended = [self](AcquireEnd end) {
    if (self) self->AcquireEnded(std::move(end));
  };
  // Set before Start: an engine that starts at once calls back within it.
  acquiring_ = true;
  acquireProgress_ = {};
  forming_.reset();
  ShowAcquiring(true);
  if (const auto started = acquirer_->Start(plan, std::move(callbacks)); !started) {
    acquiring_ = false;
    ShowAcquiring(false);
    Tell(started.error());
  }
}

void frmNoise::cmdCancelAcquire_Click() {
  if (acquiring_ && acquirer_ != nullptr) acquirer_->Cancel();
}

void frmNoise::ShowAcquiring(bool acquiring) {
  cmdAcquire->setEnabled(!acquiring && acquirer_ != nullptr);
  cmdOpen->setEnabled(!acquiring);
  cmdClear->setEnabled(!acquiring);
  cmdLive->setEnabled(!acquiring && showingFile_);
  prgAcquire->setVisible(acquiring);
  cmdCancelAcquire->setVisible(acquiring);
  if (acquiring) {
    // The record forming is what the window shows now.
    prgAcquire->setRange(0, 0);
    job_.reset();
    prgAnalysis->hide();
    cmdCancel->hide();
    showingFile_ = false;
    shown_.reset();
    picNoise->Clear();
    analysedSamples_ = -1;
  }
  ShowState();
}

void frmNoise::AcquireStarted(const noise::ChipSettings& chip) {
  forming_ = std::make_unique<noise::LiveNoise>();
  forming_->Restart(chip, "the acquisition started");
  formingPeriod_ = chip.samplePeriodS;
  prgAcquire->setRange(0, static_cast<int>(std::ceil(acquirePlan_.seconds * 10)));
  prgAcquire->setValue(0);
  analysedSamples_ = -1;
  ShowState();
}

void frmNoise::AcquireSamples(std::span<const AcquiredPoint> samples) {
  if (!forming_) return;
  const double p = formingPeriod_;
  for (const AcquiredPoint& s : samples) {
    const double due = 1.0 + static_cast<double>(s.number) * p;
    forming_->Feed({.time = due - kClearBefore * p, .newData = false, .temp = std::nullopt});
    std::optional<double> temp;
    if (s.temp) temp = *s.temp;
    forming_->Feed({.time = due, .value = s.rate, .code = s.code, .newData = true, .temp = temp});
  }
  // The first points show at once; the refresh keeps its pace after them.
  if (analysedSamples_ < 0 && !job_ && isVisible()) StartLive();
}

void frmNoise::AcquireProgressed(const AcquireProgress& progress) {
  acquireProgress_ = progress;
  prgAcquire->setValue(std::min(prgAcquire->maximum(), static_cast<int>(progress.seconds * 10)));
  prgAcquire->setFormat(QString::fromStdString(FormatFixed(progress.seconds, 0) + " of " +
                                               FormatFixed(acquirePlan_.seconds, 0) + " s"));
  ShowState();
}

std::string frmNoise::AcquireStateText() const {
  if (!forming_) return "Acquisition: waiting for the read loop to stop";
  const AcquireProgress& p = acquireProgress_;
  return AcquiringStateText(p.taken, p.lost, p.seconds, acquirePlan_.seconds, p.priority, p.silent);
}

void frmNoise::AcquireEnded(AcquireEnd end) {
  acquiring_ = false;
  ShowAcquiring(false);
  if (!end.problem.empty()) Tell(end.problem);
  if (end.record) {
    acquiredHow_ = end.how;
    AnalyseAcquired(*std::move(end.record));
    return;
  }
  // Cancelled before anything came: back to the read loop's record, without a word.
  if (end.taken > 0 || end.how == "done")
    Tell("Nothing to analyse: " + end.record.error().message + ".");
  analysedSamples_ = -1;
  if (isVisible()) StartLive();
  ShowState();
}

}  // namespace velk
