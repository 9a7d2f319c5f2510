// The configuration file: any bytes as the file, then a save and a load of what was read.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "core/Analyzer.h"
#include "fuzz/FuzzCheck.h"
#include "fuzz/FuzzTargets.h"

namespace {

namespace fs = std::filesystem;

// One folder per process, reused by every input and removed at exit. In memory where the
// system has it: a save replaces a file, and on a disk that costs milliseconds.
class Scratch {
 public:
  Scratch() {
    std::error_code error;
    const fs::path base =
        fs::is_directory("/dev/shm", error) ? fs::path("/dev/shm") : fs::temp_directory_path();
    std::string pattern = (base / "velk-fuzz-config-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
  }
  ~Scratch() {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  fs::path Input() const { return dir_ / "input.cfg"; }
  fs::path Saved() const { return dir_ / "saved.cfg"; }

 private:
  fs::path dir_;
};

void WriteFile(const fs::path& file, const uint8_t* data, size_t size) {
  std::FILE* out = std::fopen(file.c_str(), "wb");
  if (out == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, out) != size) std::abort();
  if (std::fclose(out) != 0) std::abort();
}

}  // namespace

int velk_fuzz_config(const uint8_t* data, size_t size) {
  static const Scratch scratch;
  WriteFile(scratch.Input(), data, size);

  velk::Analyzer loaded;
  // Whatever the bytes, or a file too large to read, the values stay usable.
  (void)loaded.LoadConfig(scratch.Input());
  // The derived views of the device setting take any text.
  (void)loaded.DeviceNumber.Numeric();
  (void)loaded.DeviceNumber.DisplayText();

  VELK_FUZZ_CHECK(loaded.SaveConfig(scratch.Saved()));
  velk::Analyzer reloaded;
  VELK_FUZZ_CHECK(reloaded.LoadConfig(scratch.Saved()));

  VELK_FUZZ_CHECK(reloaded.InterfaceType == loaded.InterfaceType);
  VELK_FUZZ_CHECK(reloaded.PortAddress == loaded.PortAddress);
  VELK_FUZZ_CHECK(reloaded.FactoryMode == loaded.FactoryMode);
  // A device text comes back unchanged, commas included; one holding a line break is saved
  // as the default, since no line of the file can hold it.
  const std::string device = loaded.DeviceNumber.ConfigText();
  if (device.find_first_of("\r\n") != std::string::npos)
    VELK_FUZZ_CHECK(reloaded.DeviceNumber.IsEmpty());
  else
    VELK_FUZZ_CHECK(reloaded.DeviceNumber == loaded.DeviceNumber);
  return 0;
}
