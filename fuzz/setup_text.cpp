// A setup file: any bytes as its text; then words as a chip might hold them, saved and loaded.
#include <cstdio>
#include <string>
#include <string_view>

#include "cli/Registers.h"
#include "cli/Setup.h"
#include "fuzz/FuzzCheck.h"
#include "fuzz/FuzzTargets.h"
#include "registers/Reg47120.h"

namespace {

const velk::Reg47120& Table() {
  static const velk::Reg47120 table = [] {
    velk::Reg47120 t;
    t.BuildRegisterTable();
    return t;
  }();
  return table;
}

std::string SetupText(int32_t product, const std::array<int32_t, velk::kSetupCount>& values) {
  std::string text = "Product = " + std::to_string(product) + "\n";
  for (int i = 0; i < velk::kSetupCount; ++i) {
    char line[64];
    std::snprintf(line, sizeof line, "%s = 0x%04X\n",
                  velk::RegisterName(Table(), velk::kSetupSlots[i]).c_str(),
                  static_cast<unsigned>(values[i]));
    text += line;
  }
  return text;
}

}  // namespace

int velk_fuzz_setup_text(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto parsed = velk::ParseSetupText(bytes, "f", Table());
  if (parsed) {
    // What was taken is whole and in range: written out plainly, it reads back the same.
    VELK_FUZZ_CHECK(parsed->product == 47120 || parsed->product == 47121);
    const auto again =
        velk::ParseSetupText(SetupText(parsed->product, parsed->values), "f", Table());
    VELK_FUZZ_CHECK(again.has_value());
    VELK_FUZZ_CHECK(again->values == parsed->values);
  } else {
    VELK_FUZZ_CHECK(parsed.error().find_first_of("\n\r") == std::string::npos);
  }

  // The same bytes as the words a chip returns: a save never writes what a load refuses,
  // and a word a load takes is saved unchanged.
  std::array<int32_t, velk::kSetupCount> words{};
  for (size_t i = 0; i < words.size(); ++i) {
    const size_t at = (2 * i) % (size == 0 ? 1 : size);
    words[i] = size == 0 ? 0 : (data[at] << 8 | data[(at + 1) % size]);
  }
  std::array<int32_t, velk::kSetupCount> saved{};
  for (int i = 0; i < velk::kSetupCount; ++i)
    saved[i] = velk::SetupWord(Table(), velk::kSetupSlots[i], words[i]);
  VELK_FUZZ_CHECK(velk::ParseSetupText(SetupText(47120, saved), "f", Table()).has_value());
  for (int i = 0; i < velk::kSetupCount; ++i) {
    const auto one = velk::ParseSetupText(SetupText(47120,
                                                    [&] {
                                                      auto v = saved;
                                                      v[i] = words[i];
                                                      return v;
                                                    }()),
                                          "f", Table());
    if (one) VELK_FUZZ_CHECK(saved[i] == words[i]);
  }
  return 0;
}
