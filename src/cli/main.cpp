#include <unistd.h>

#include <array>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <memory>
#include <streambuf>
#include <string_view>

#include "Backends.h"
#include "cli/Cli.h"
#include "core/Delay.h"
#include "core/FilePlaces.h"
#include "core/Realtime.h"
#include "core/SimulateOption.h"
#include "core/StandardDescriptors.h"
#include "core/WriteAll.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void RequestStop(int signal) {
  stopRequested = signal;
}

// Without SA_RESTART, so a wait between rows ends at once.
void CatchStopSignals() {
  struct sigaction action {};
  action.sa_handler = RequestStop;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

void Sleep(double seconds) {
  if (!(seconds > 0)) return;
  timespec wait{};
  wait.tv_sec = static_cast<time_t>(seconds);
  wait.tv_nsec = static_cast<long>((seconds - static_cast<double>(wait.tv_sec)) * 1e9);
  nanosleep(&wait, nullptr);  // a signal ends it early; the caller looks at the clock again
}

// Standard output written with write(2), keeping the errno of the first failure, so the tool
// can say why its output did not arrive. Buffered up to a flush, which every command makes.
class DescriptorBuffer final : public std::streambuf {
 public:
  explicit DescriptorBuffer(int fd) : fd_(fd) {
    setp(buffer_.data(), buffer_.data() + buffer_.size());
  }
  const int* error() const { return &error_; }

 protected:
  int_type overflow(int_type c) override {
    if (sync() != 0) return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) sputc(traits_type::to_char_type(c));
    return traits_type::not_eof(c);
  }
  int sync() override {
    if (error_ == 0)
      error_ =
          velk::WriteAll(fd_, std::string_view(pbase(), static_cast<size_t>(pptr() - pbase())));
    setp(buffer_.data(), buffer_.data() + buffer_.size());
    return error_ == 0 ? 0 : -1;
  }

 private:
  int fd_;
  int error_ = 0;
  std::array<char, 8192> buffer_{};
};

}  // namespace

int main(int argc, char** argv) {
  velk::FillClosedStandardDescriptors();
  CatchStopSignals();
  std::vector<std::string> args(argv, argv + argc);
  const velk::SimulateRequest simulate =
      velk::TakeSimulateOption(args, std::getenv("VELK47120_SIMULATE"));
  if (!simulate) {
    std::cerr << "velk47120-cli: " << simulate.error() << "\n";
    return 2;  // as the window refuses it
  }
  args.erase(args.begin());

  // The pauses spin against the monotonic clock, so no calibration is needed: the loop
  // count only sets how often the clock is read.
  velk::DelayCalibrated = 1;
  velk::LoopsPer10us = 100;

  DescriptorBuffer outBuffer(STDOUT_FILENO);
  std::ostream out(&outBuffer);
  velk::Backends backends(*simulate);
  velk::CliContext context{out, std::cerr, *backends.port, *backends.usb, backends.clock};
  context.sleep = Sleep;
  context.wallClock = [] { return std::chrono::system_clock::now(); };
  context.stop = &stopRequested;
  context.in = &std::cin;
  context.realtime = &velk::SystemRealtime();
  context.outError = outBuffer.error();
  context.errIsTerminal = isatty(STDERR_FILENO) != 0;
  context.simulated = *simulate;
  if (backends.sensor) {
    velk::SimSensor* sensor = backends.sensor.get();
    context.simulatedSupply = [sensor](bool on) { on ? sensor->PowerOn() : sensor->PowerOff(); };
    context.simulatedTable = [sensor](double rate) { sensor->CommandTableRate(rate); };
    context.simulatedFixture = [sensor](int position) { sensor->SetOrientation(position); };
    context.simulatedTurn = [sensor](double turns) {
      velk::SimTurn turn;
      turn.turns = std::fabs(turns);
      turn.ccw = turns > 0;
      sensor->HandTurn(turn);
    };
  }
  // The window's own rules: the current folder in a build tree, the user's configuration
  // folder for an installed program unless the current folder holds a file.
  context.configFile = velk::ResolveFilePlaces(velk::PlaceFactsOfThisProcess()).configFile;
  velk::ExitStatus status = velk::RunCli(args, context);
  // A file system may report a failed write only when the file is closed.
  if (status != velk::ExitStatus::kOutputFailed || *outBuffer.error() == 0) {
    std::fflush(stdout);
    if (close(STDOUT_FILENO) != 0 && errno != EINTR)
      status = velk::OutputFailed(context, "standard output", errno);
  }
  return static_cast<int>(status);
}
