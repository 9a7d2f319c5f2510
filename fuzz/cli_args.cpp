// The tool's command line: the input split at NUL bytes into arguments, run in a private
// folder against a chip that never answers.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "core/Clock.h"
#include "fuzz/FuzzCheck.h"
#include "fuzz/FuzzTargets.h"
#include "sim/SimParallelAdapter.h"
#include "sim/SimSensor.h"
#include "sim/SimUsbCard.h"

namespace {

namespace fs = std::filesystem;

class StillClock final : public velk::Clock {
 public:
  double Seconds() const override { return now; }
  double now = 0.0;
};

// The folder every input runs in, emptied after each; removed at exit.
class Folder {
 public:
  Folder() {
    std::string pattern = (fs::temp_directory_path() / "velk-fuzz-cli-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
  }
  ~Folder() {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  const fs::path& Path() const { return dir_; }
  void Empty() const {
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(dir_, ignored))
      fs::remove_all(entry.path(), ignored);
  }

 private:
  fs::path dir_;
};

}  // namespace

int velk_fuzz_cli_args(const uint8_t* data, size_t size) {
  static const Folder folder;
  std::vector<std::string> args(size > 0 ? 1 : 0);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      args.emplace_back();
    } else {
      args.back() += static_cast<char>(data[i]);
    }
  }
  // A name with "/" could reach any file of the machine the fuzzer runs on.
  for (const std::string& a : args)
    if (args.size() > 24 || a.find('/') != std::string::npos) return 0;

  const int back = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (back < 0 || chdir(folder.Path().c_str()) != 0) std::abort();
  StillClock clock;
  velk::SimSensor sensor(clock);
  sensor.SetNoAnswer(true);
  velk::SimParallelAdapter adapter(sensor);
  velk::SimUsbCard card(&sensor);
  std::ostringstream out;
  std::ostringstream err;
  velk::CliContext context(out, err, adapter, card, clock);
  context.sleep = [&clock](double s) { clock.now += s; };
  context.wallClock = [] { return std::chrono::system_clock::time_point{}; };
  context.simulated = 47120;
  context.configFile = "Velk47120.cfg";
  const velk::ExitStatus status = velk::RunCli(args, context);
  folder.Empty();
  if (fchdir(back) != 0) std::abort();
  close(back);

  VELK_FUZZ_CHECK(status >= velk::ExitStatus::kDone && status <= velk::ExitStatus::kNoChip);
  if (status == velk::ExitStatus::kUsage) {
    VELK_FUZZ_CHECK(sensor.FrameCount() == 0);
    VELK_FUZZ_CHECK(out.str().empty());
  }
  // Whatever was echoed stays on the lines it was meant for.
  const std::string said = err.str();
  VELK_FUZZ_CHECK(said.find('\r') == std::string::npos);
  return 0;
}
