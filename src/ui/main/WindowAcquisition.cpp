#include "ui/main/WindowAcquisition.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "core/AppendLog.h"
#include "core/GyroRange.h"
#include "core/NumberText.h"
#include "measure/Acquisition.h"
#include "measure/AcquisitionRecord.h"
#include "measure/InterfaceSetup.h"
#include "measure/RunComment.h"
#include "noise/read/RunHeader.h"
#include "registers/Session.h"
#include "ui/main/FrmVelk47120.h"

namespace velk {

namespace {

constexpr int kPollMs = 100;

void PauseFor(double seconds) {
  if (!(seconds > 0)) return;
  timespec wait{};
  wait.tv_sec = static_cast<time_t>(seconds);
  wait.tv_nsec = static_cast<long>((seconds - static_cast<double>(wait.tv_sec)) * 1e9);
  nanosleep(&wait, nullptr);
}

// Remembers the grant the engine's thread got, for the window to say while it runs.
class NotedRealtime final : public RealtimeRequest {
 public:
  explicit NotedRealtime(RealtimeRequest* inner) : inner_(inner) {}
  RealtimeGrant Raise(int priority) override {
    RealtimeGrant grant = inner_ != nullptr ? inner_->Raise(priority) : RealtimeGrant{};
    std::lock_guard lock(mutex_);
    grant_ = grant;
    return grant;
  }
  void Lower() override {
    if (inner_ != nullptr) inner_->Lower();
  }
  std::optional<RealtimeGrant> Grant() const {
    std::lock_guard lock(mutex_);
    return grant_;
  }

 private:
  RealtimeRequest* inner_;
  mutable std::mutex mutex_;
  std::optional<RealtimeGrant> grant_;
};

// The chip's own model, as the tool records it; the Device menu's when none answered yet.
int32_t Model(const Session& session) {
  const std::string& product = session.reg.ProductName;
  if (product == "VELK47120") return 47120;
  if (product == "VELK47121") return 47121;
  return session.analyzer.DeviceNumber.Numeric();
}

const char* EndText(AcquisitionEnd end) {
  switch (end) {
    case AcquisitionEnd::kDone:
      return "done";
    case AcquisitionEnd::kStopped:
      return "cancelled";
    case AcquisitionEnd::kCardLost:
      return "the USB card went away";
    case AcquisitionEnd::kSinkRefused:
      return "the acquisition file failed";
  }
  return "ended";
}

}  // namespace

// The record and the file, and the samples handed to the window: the engine's thread only
// appends under a lock the window holds for a swap.
class WindowAcquisition::Sink final : public AcquisitionRecord {
 public:
  using AcquisitionRecord::AcquisitionRecord;

  bool Take(const AcquiredSample& s) override {
    if (!AcquisitionRecord::Take(s)) return false;
    std::lock_guard lock(mutex_);
    fresh_.push_back({s.number, s.code, s.rate, s.temp});
    silent_ = false;
    return true;
  }
  void Progress(const AcquisitionProgress& p) override {
    std::lock_guard lock(mutex_);
    progress_ = p;
  }
  void Silence(double) override {
    std::lock_guard lock(mutex_);
    silent_ = true;
  }

  // The samples since the last call, and the progress.
  std::vector<AcquiredPoint> Fresh(AcquireProgress& progress) {
    std::vector<AcquiredPoint> taken;
    taken.reserve(4096);
    std::lock_guard lock(mutex_);
    std::swap(taken, fresh_);
    progress.taken = progress_.taken;
    progress.lost = progress_.lost;
    progress.seconds = progress_.seconds;
    progress.silent = silent_;
    return taken;
  }

 private:
  std::mutex mutex_;
  std::vector<AcquiredPoint> fresh_;
  AcquisitionProgress progress_;
  bool silent_ = false;
};

struct WindowAcquisition::Run {
  AcquirePlan plan;
  AcquireCallbacks callbacks;
  AppendLog file;
  std::optional<AcquisitionRecord::RowWriter> writer;
  std::unique_ptr<Sink> sink;
  std::unique_ptr<NotedRealtime> realtime;
  std::thread thread;
  std::atomic<bool> stop{false};
  std::atomic<bool> done{false};
  AcquisitionOutcome outcome;  // written by the thread before `done`
  std::string problem;
  // The controls locked, each with the state it had.
  std::vector<std::pair<QWidget*, bool>> widgets;
  std::vector<std::pair<QAction*, bool>> actions;
};

WindowAcquisition::WindowAcquisition(frmVelk47120& window, Session& session)
    : QObject(&window),
      window_(window),
      session_(session),
      sleep_(PauseFor),
      realtime_(&SystemRealtime()) {
  poll_.setInterval(kPollMs);
  connect(&poll_, &QTimer::timeout, this, &WindowAcquisition::Poll);
}

WindowAcquisition::~WindowAcquisition() {
  if (!run_) return;
  run_->stop = true;
  if (run_->thread.joinable()) run_->thread.join();
}

void WindowAcquisition::UseTime(const Clock& clock, std::function<void(double)> sleep,
                                RealtimeRequest* realtime) {
  clock_ = &clock;
  sleep_ = std::move(sleep);
  realtime_ = realtime;
}

Result<void, std::string> WindowAcquisition::Start(const AcquirePlan& plan,
                                                   AcquireCallbacks callbacks) {
  if (run_) return Unexpected(std::string("An acquisition is already running."));
  // Asked before the gate below, which would drop the card the window waits for.
  if (window_.CardAway())
    return Unexpected("The USB card went away at " + window_.replug_.GoneAt() +
                      "; acquire once it is back.");
  if (!CheckInterface(session_))
    return Unexpected(std::string(kSelectInterfaceFirst) + " (menu Interface), then acquire.");
  if (session_.sleep.Asleep())
    return Unexpected("The chip sleeps until " + session_.sleep.WakeText() +
                      " (power-down); acquire once it has woken.");
  auto run = std::make_unique<Run>();
  run->plan = plan;
  run->callbacks = std::move(callbacks);
  if (!plan.file.empty()) {
    const auto opened = run->file.Open(plan.file, "\n");
    if (!opened) {
      if (opened.error().busy)
        return Unexpected(plan.file +
                          " is being written by another program. Choose another file, or "
                          "leave the box empty to keep the samples in memory only.");
      return Unexpected("Cannot open " + plan.file +
                        " for writing: " + std::strerror(opened.error().error) +
                        ".\n\nChoose a file in a folder you may write to, or leave the box "
                        "empty to keep the samples in memory only.");
    }
  }
  run_ = std::move(run);
  Lock();
  // Two readers would take each other's new-data flags: the engine waits for the loop's end.
  if (window_.loopActive_) {
    if (window_.loopState_ == LoopState::Running) window_.ShowLoopStopped();
    window_.whenLoopStopped_ = [this] { WhenLoopStopped(); };
  } else {
    Launch();
  }
  return {};
}

void WindowAcquisition::WhenLoopStopped() {
  // Once the loop's cycle has unwound from the stack.
  QMetaObject::invokeMethod(
      this,
      [this] {
        if (run_ && !run_->thread.joinable() && !run_->done) Launch();
      },
      Qt::QueuedConnection);
}

void WindowAcquisition::Launch() {
  Run& run = *run_;
  if (run.stop) {
    run.done = true;
    End();
    return;
  }
  // The loop's last cycle may have found the interface gone.
  if (!CheckInterface(session_)) {
    run.problem = std::string(kSelectInterfaceFirst) + " (menu Interface); nothing was acquired.";
    run.done = true;
    End();
    return;
  }
  Spi47120& spi = session_.spi;
  const int32_t model = Model(session_);
  spi.ReadRegister(slot::Smpl_Prd);
  const int32_t smplPrd = spi.RegData;
  spi.ReadRegister(slot::Sens_Avg);
  const int32_t sensAvg = spi.RegData;
  const std::string comment =
      RunComment(session_, InterfaceText(session_), smplPrd, sensAvg, model);
  noise::RunSettings settings;
  settings.comment = comment.substr(2, comment.size() - 3);
  settings.chip = noise::ChipFromWords(smplPrd, sensAvg, model);
  settings.statedRangeDps = settings.chip->rangeDps;

  AcquisitionPlan plan;
  plan.period = settings.chip->samplePeriodS;
  plan.duration = run.plan.seconds;
  if (run.file.IsOpen()) {
    if (const auto written = run.file.Write(comment + std::string(kAcquisitionHeader) + "\n");
        !written) {
      run.problem = "The acquisition file " + run.plan.file +
                    " could not be written: " + std::strerror(written.error().error) +
                    ". Nothing was acquired; choose another file.";
      run.done = true;
      End();
      return;
    }
    run.writer.emplace([file = &run.file](std::string_view rows) {
      std::optional<AppendLog::WriteError> failed;
      if (auto written = file->Write(rows); !written) failed = written.error();
      return failed;
    });
  }
  const auto wanted = static_cast<int64_t>(std::ceil(plan.duration / plan.period - 1e-9));
  run.sink = std::make_unique<Sink>(settings, noise::ReadOptions{}, wanted,
                                    run.writer ? &*run.writer : nullptr);
  run.realtime = std::make_unique<NotedRealtime>(realtime_);
  window_.ShowStatusLine(QString("Acquiring %1 s from the chip for the Noise window; the chip's "
                                 "controls wait until it ends")
                             .arg(QString::fromStdString(FormatSignificant(plan.duration, 15))));
  if (run.callbacks.started) run.callbacks.started(*settings.chip);
  run.thread = std::thread([this, &run, plan] {
    const AcquisitionTime time{*clock_, sleep_, [&run] { return run.stop.load(); }};
    run.outcome = AcquireOnOwnThread(session_, plan, time, *run.sink, run.realtime.get());
    run.done = true;
  });
  poll_.start();
}

void WindowAcquisition::Poll() {
  if (!run_ || !run_->sink) return;
  Run& run = *run_;
  AcquireProgress progress;
  const std::vector<AcquiredPoint> fresh = run.sink->Fresh(progress);
  progress.priority = run.realtime->Grant();
  if (!fresh.empty() && run.callbacks.samples) run.callbacks.samples(fresh);
  if (run.callbacks.progress) run.callbacks.progress(progress);
  if (run.done) End();
}

void WindowAcquisition::Cancel() {
  if (!run_) return;
  run_->stop = true;
  // Not started yet: nothing to wait for.
  if (!run_->thread.joinable()) {
    window_.whenLoopStopped_ = nullptr;
    run_->done = true;
    End();
  }
}

AcquireEnd WindowAcquisition::Finish() {
  poll_.stop();
  Run& run = *run_;
  if (run.thread.joinable()) run.thread.join();
  AcquireEnd end;
  const AcquisitionOutcome& outcome = run.outcome;
  end.how = run.sink ? EndText(outcome.end) : "cancelled before it started";
  end.taken = outcome.taken;
  end.lost = outcome.lost;
  end.priority = outcome.priority;
  end.problem = run.problem;
  if (run.sink) {
    // The samples not yet handed to the window go with the record.
    AcquireProgress progress;
    if (const auto fresh = run.sink->Fresh(progress); !fresh.empty() && run.callbacks.samples)
      run.callbacks.samples(fresh);
    run.sink->Hand();
  }
  if (run.writer) {
    if (const auto failed = run.writer->Finish())
      end.problem = "The acquisition file " + run.plan.file +
                    " could not be written: " + std::strerror(failed->error) +
                    ". It holds the samples before the failure; all of them are analysed.";
  }
  run.file.Close();
  if (!run.sink) {
    end.record = noise::ReadFailed("nothing was taken");
  } else if (outcome.taken < 2) {
    end.record = noise::ReadFailed("the acquisition took " + std::to_string(outcome.taken) +
                                   " samples; the analysis needs at least two");
  } else {
    end.record = run.sink->Finish(outcome);
    if (end.record) end.record->file = run.plan.file.empty() ? "the chip" : run.plan.file;
  }
  Unlock();
  if (run.sink)
    window_.ShowStatusLine(QString::fromStdString(
        "Acquisition " + end.how + ": " + std::to_string(end.taken) + " samples, " +
        std::to_string(end.lost) + " lost; priority " + RealtimeText(end.priority)));
  return end;
}

void WindowAcquisition::End() {
  AcquireEnd end = Finish();
  std::function<void(AcquireEnd)> ended = std::move(run_->callbacks.ended);
  run_.reset();
  if (ended) ended(std::move(end));
}

void WindowAcquisition::Shutdown() {
  if (!run_) return;
  run_->stop = true;
  window_.whenLoopStopped_ = nullptr;
  (void)Finish();
  run_.reset();
}

void WindowAcquisition::Lock() {
  frmVelk47120& w = window_;
  for (QWidget* c : std::initializer_list<QWidget*>{
           w.cmdReadData, w.CmdUpdateStatus, w.CmdReadLoop, w.cmdReadCal, w.CmdApply, w.CmdNull,
           w.CmdRst, w.cmdResetFactory, w.cmdNewPart, w.hscScale, w.hscSmplPrd, w.hscAvgCnt}) {
    run_->widgets.emplace_back(c, c->isEnabled());
    c->setEnabled(false);
  }
  for (QAction* a : {w.mnuInterface, w.mnuDevice, w.MnuAlarms, w.MnuGpioMsc, w.mnuRegister,
                     w.mnuAuxDac, w.mnuPowerdown, w.MnuAbout}) {
    run_->actions.emplace_back(a, a->isEnabled());
    a->setEnabled(false);
  }
}

void WindowAcquisition::Unlock() {
  for (auto [widget, enabled] : run_->widgets) widget->setEnabled(enabled);
  for (auto [action, enabled] : run_->actions) action->setEnabled(enabled);
  run_->widgets.clear();
  run_->actions.clear();
}

WindowAcquisition& frmVelk47120::Acquisition() {
  if (acquisition_ == nullptr) acquisition_ = new WindowAcquisition(*this, session_);
  return *acquisition_;
}

}  // namespace velk
