#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>

#include "fuzz/FuzzCheck.h"
#include "fuzz/FuzzTargets.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;

// Every committed input of each target, so the properties the fuzzer checked keep holding.
TEST(FuzzReplay, EachCorpusKeepsItsProperties) {
  velk::fuzz::SetCheckHandler([](const char* what, const char* file, int line) {
    throw std::runtime_error(std::string(file) + ":" + std::to_string(line) + ": " + what);
  });
  using Target = std::pair<const char*, int (*)(const uint8_t*, size_t)>;
  for (const auto& [name, run] : {Target{"config", velk_fuzz_config},
                                  {"number_text", velk_fuzz_number_text},
                                  {"hex_text", velk_fuzz_hex_text},
                                  {"usb_card", velk_fuzz_usb_card},
                                  {"setup_text", velk_fuzz_setup_text},
                                  {"cli_args", velk_fuzz_cli_args},
                                  {"noise_reader", velk_fuzz_noise_reader},
                                  {"noise_json", velk_fuzz_noise_json}}) {
    const fs::path folder = fs::path(VELK_SOURCE_DIR) / "fuzz" / "corpus" / name;
    std::set<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder))
      if (entry.is_regular_file()) files.insert(entry.path());
    EXPECT_FALSE(files.empty()) << folder;
    for (const fs::path& file : files) {
      const std::string bytes = velk::test::ReadBytes(file);
      try {
        run(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
      } catch (const std::exception& failure) {
        ADD_FAILURE() << name << "/" << file.filename().string() << ": " << failure.what();
      }
    }
  }
  velk::fuzz::SetCheckHandler(nullptr);
}

}  // namespace
