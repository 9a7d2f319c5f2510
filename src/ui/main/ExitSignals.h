#pragma once

#include <signal.h>

#include <QSocketNotifier>
#include <array>
#include <functional>
#include <memory>

namespace velk {

// Turns SIGTERM, SIGINT and SIGHUP (kill, Ctrl-C, a closed terminal) into one call from the
// event loop, so the program ends the way "Exit" ends it. The handler only writes a byte to
// a pipe the event loop watches. Each handler serves once: a second signal acts as the
// default would. Before this object exists the signals keep their default action, which
// ends the program without saving. One at a time per process.
class ExitSignals {
 public:
  explicit ExitSignals(std::function<void()> onSignal);
  ~ExitSignals();
  ExitSignals(const ExitSignals&) = delete;
  ExitSignals& operator=(const ExitSignals&) = delete;

 private:
  void Deliver();

  std::function<void()> onSignal_;
  std::array<int, 2> pipe_{-1, -1};
  std::unique_ptr<QSocketNotifier> notifier_;
  std::array<struct sigaction, 3> previous_{};
};

}  // namespace velk
