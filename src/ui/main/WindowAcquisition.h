#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "core/Clock.h"
#include "core/Realtime.h"
#include "ui/noise/Acquirer.h"

namespace velk {

class frmVelk47120;
class Session;

// "Acquire..." of the Noise window over the measure engine. The read loop is stopped first
// and the engine starts once it has returned, so only one reader takes the chip's new-data
// flags; meanwhile the main window's controls that reach the chip are locked, and given back
// as they were when it ends. The engine runs on a thread of its own (raised where allowed);
// a GUI timer collects its samples and progress, so no widget is touched from it.
class WindowAcquisition final : public QObject, public Acquirer {
  Q_OBJECT
 public:
  // A child of the window: made with it, destroyed with it.
  WindowAcquisition(frmVelk47120& window, Session& session);
  // Stops and waits for the engine; tells nobody.
  ~WindowAcquisition() override;

  // The clock, the pause and the priority the engine runs with; tests give the simulated
  // chip's clock and a pause that moves it.
  void UseTime(const Clock& clock, std::function<void(double)> sleep, RealtimeRequest* realtime);

  Result<void, std::string> Start(const AcquirePlan& plan, AcquireCallbacks callbacks) override;
  void Cancel() override;
  bool Busy() const override { return run_ != nullptr; }
  // For Exit: stops the engine, waits for it and writes out the file; tells nobody.
  void Shutdown();

 private:
  struct Run;
  class Sink;

  void WhenLoopStopped();
  void Launch();
  void Poll();
  // The engine has returned (or never started): the file finished, the controls given back.
  AcquireEnd Finish();
  void End();
  void Lock();
  void Unlock();

  frmVelk47120& window_;
  Session& session_;
  SteadyClock steady_;
  const Clock* clock_ = &steady_;
  std::function<void(double)> sleep_;
  RealtimeRequest* realtime_;
  QTimer poll_;
  std::unique_ptr<Run> run_;
};

}  // namespace velk
