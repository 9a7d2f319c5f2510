#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "fuzz/FuzzTargets.h"

namespace {

namespace fs = std::filesystem;

struct Target {
  const char* name;
  int (*run)(const uint8_t*, size_t);
  friend void PrintTo(const Target& target, std::ostream* out) { *out << target.name; }
};

class FuzzReplay : public ::testing::TestWithParam<Target> {
 protected:
  static void SetUpTestSuite() {
    velk::fuzz::SetCheckHandler([](const char* what, const char* file, int line) {
      throw std::runtime_error(std::string(file) + ":" + std::to_string(line) + ": " + what);
    });
  }
  static void TearDownTestSuite() { velk::fuzz::SetCheckHandler(nullptr); }
};

// Every committed input of the target, so the properties the fuzzer checked keep holding.
TEST_P(FuzzReplay, CorpusKeepsItsProperties) {
  const fs::path folder = fs::path(VELK_SOURCE_DIR) / "fuzz" / "corpus" / GetParam().name;
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(folder))
    if (entry.is_regular_file()) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  ASSERT_FALSE(files.empty()) << folder;

  for (const fs::path& file : files) {
    std::ifstream in(file, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    try {
      GetParam().run(bytes.data(), bytes.size());
    } catch (const std::exception& failure) {
      ADD_FAILURE() << file.filename() << ": " << failure.what();
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzReplay,
                         ::testing::Values(Target{"config", velk_fuzz_config},
                                           Target{"number_text", velk_fuzz_number_text},
                                           Target{"hex_text", velk_fuzz_hex_text},
                                           Target{"usb_card", velk_fuzz_usb_card}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
