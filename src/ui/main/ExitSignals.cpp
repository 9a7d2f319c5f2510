#include "ui/main/ExitSignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace velk {

namespace {

constexpr std::array<int, 3> kSignals = {SIGTERM, SIGINT, SIGHUP};

// The handler's only reach into the program.
volatile sig_atomic_t gWakeFd = -1;

extern "C" void OnExitSignal(int) {
  const int saved = errno;
  const char byte = 1;
  if (gWakeFd >= 0) (void)!::write(gWakeFd, &byte, 1);
  errno = saved;
}

}  // namespace

ExitSignals::ExitSignals(std::function<void()> onSignal) : onSignal_(std::move(onSignal)) {
  if (::pipe2(pipe_.data(), O_CLOEXEC | O_NONBLOCK) != 0) return;  // signals stay default
  gWakeFd = pipe_[1];
  notifier_ = std::make_unique<QSocketNotifier>(pipe_[0], QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                   [this] { Deliver(); });

  struct sigaction action {};
  action.sa_handler = OnExitSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART | SA_RESETHAND;
  for (size_t i = 0; i < kSignals.size(); ++i) sigaction(kSignals[i], &action, &previous_[i]);
}

ExitSignals::~ExitSignals() {
  if (pipe_[0] < 0) return;
  for (size_t i = 0; i < kSignals.size(); ++i) sigaction(kSignals[i], &previous_[i], nullptr);
  gWakeFd = -1;
  notifier_.reset();
  ::close(pipe_[0]);
  ::close(pipe_[1]);
}

void ExitSignals::Deliver() {
  char bytes[16];
  while (::read(pipe_[0], bytes, sizeof bytes) > 0) {
  }
  // The exit path may run the event loop (a message box); it must not start again.
  notifier_->setEnabled(false);
  if (onSignal_) onSignal_();
}

}  // namespace velk
