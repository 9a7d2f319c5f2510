// A register read through the ppdev backend, with the port looped back to the simulated
// adapter. Each ioctl the backend makes costs one real system call (on /dev/null, which
// refuses it), so the figure carries the kernel crossings a real port would, though not the
// port's own bus cycles. Compare with BM_RegisterRead in bench_register_reads: same pauses,
// same 0.3 ms floor.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <linux/ppdev.h>

#include <cerrno>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/Clock.h"
#include "registers/Session.h"
#include "sim/SimParallelAdapter.h"
#include "sim/SimSensor.h"
#include "transport/parallel/LinuxPortIo.h"
#include "transport/parallel/PortOs.h"
#include "transport/usb/AbsentEzUsbDriver.h"

namespace {

constexpr double kPauseFloorSeconds = 0.0003;
constexpr uint16_t kBase = 0x378;

class NoMessages final : public velk::MessageSink {
 public:
  void Show(const std::string&, const std::string&) override {}
  bool Ask(const std::string&, const std::string&) override { return false; }
};

// One port, parport0 at kBase, whose device node is /dev/null and whose registers are the
// simulated adapter's.
class LoopbackPortOs final : public velk::PortOs {
 public:
  explicit LoopbackPortOs(velk::PortIo& adapter) : adapter_(adapter) {}

  std::optional<std::string> ReadTextFile(const std::string& path) override {
    if (path == "/proc/sys/dev/parport/parport0/base-addr") return "888\t1912\n";
    return std::nullopt;
  }
  std::vector<std::string> ListDirectory(const std::string& path) override {
    if (path == "/proc/sys/dev/parport") return {"default", "parport0"};
    return {};
  }
  int Open(const std::string& path) override {
    if (path != "/dev/parport0") return -ENOENT;
    const int fd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    return fd >= 0 ? fd : -errno;
  }
  int Ioctl(int fd, unsigned long request, uint8_t* arg) override {
    ++ioctls;
    // The crossing is what is measured; /dev/null's ENOTTY is expected.
    benchmark::DoNotOptimize(::ioctl(fd, request, arg));
    switch (request) {
      case PPWDATA:
        adapter_.vbOut(kBase, *arg);
        break;
      case PPRDATA:
        *arg = static_cast<uint8_t>(adapter_.vbInp(kBase));
        break;
      case PPRSTATUS:
        *arg = static_cast<uint8_t>(adapter_.vbInp(kBase + 1));
        break;
      case PPWCONTROL:
        adapter_.vbOut(kBase + 2, *arg);
        break;
      case PPRCONTROL:
        *arg = static_cast<uint8_t>(adapter_.vbInp(kBase + 2));
        break;
      default:  // PPCLAIM, PPRELEASE and the rest
        break;
    }
    return 0;
  }
  void Close(int fd) override { ::close(fd); }
  // No direct access: the backend must take the ppdev path.
  int Ioperm(uint16_t, int, bool) override { return -ENOSYS; }
  void Outb(uint8_t, uint16_t) override {}
  uint8_t Inb(uint16_t) override { return 0xFF; }
  std::string ProgramPath() override { return {}; }

  long ioctls = 0;

 private:
  velk::PortIo& adapter_;
};

// The parallel interface at kBase, with its register table.
void Prepare(velk::Session& session) {
  session.analyzer.InterfaceType = velk::interface_type::kParallelPort;
  session.analyzer.PortAddress = kBase;
  session.reg.BuildRegisterTable();
}

void BM_RegisterReadPpdev(benchmark::State& state) {
  velk::SteadyClock clock;
  velk::SimSensor sensor(clock);
  velk::SimParallelAdapter adapter(sensor, kBase);
  LoopbackPortOs os(adapter);
  velk::LinuxPortIo port(os);
  velk::AbsentEzUsbDriver noUsb;
  NoMessages messages;
  velk::Session session(port, noUsb, messages);
  Prepare(session);

  std::string advice;
  if (!port.ObtainAccess(kBase, advice) || port.AccessMode() != velk::LinuxPortIo::Mode::Ppdev) {
    state.SkipWithError(("no ppdev access through the loopback: " + advice).c_str());
    return;
  }
  // A loopback that drops a line would still run, at the same speed, reading garbage.
  velk::Session direct(adapter, noUsb, messages);
  Prepare(direct);
  const int32_t read = session.spi.ReadRegister(velk::slot::Fls_Cyc).field;
  const int32_t answered = direct.spi.ReadRegister(velk::slot::Fls_Cyc).field;
  if (read != answered || answered == 0) {
    state.SkipWithError("the loopback does not read what the adapter answers");
    return;
  }

  const auto slot = static_cast<int16_t>(state.range(0));
  os.ioctls = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(session.spi.ReadRegister(slot));
  }
  const auto reads = static_cast<double>(state.iterations());
  state.counters["reads/s"] = benchmark::Counter(reads, benchmark::Counter::kIsRate);
  // Time the pauses alone would take over the elapsed time: 1.0 is the floor.
  state.counters["ratio_to_floor"] =
      benchmark::Counter(reads * kPauseFloorSeconds, benchmark::Counter::kIsRate);
  state.counters["ioctls/read"] = static_cast<double>(os.ioctls) / reads;
}

BENCHMARK(BM_RegisterReadPpdev)
    ->Arg(velk::slot::Gyro_Out)
    ->MinTime(2.0)
    ->UseRealTime()  // the pauses are wall-clock time; rates divide by it
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

}  // namespace
