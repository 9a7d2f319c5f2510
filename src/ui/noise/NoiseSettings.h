#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "core/Result.h"

namespace velk {

// What the Noise window keeps between runs, in noise.ini beside the program's configuration
// (never in the configuration itself, whose format is fixed).
struct NoiseSettings {
  int width = 0, height = 0;  // 0: the window's own size; the window fits it to the screen
  std::optional<double> limitArw, limitBi, limitRrw;
  bool degPerSecond = false;

  // Unknown lines and unreadable values are passed over: a damaged file costs its values,
  // never the window.
  static NoiseSettings Load(const std::filesystem::path& file);
  // When not saved, the error is the message box's text saying why not.
  Result<void, std::string> Save(const std::filesystem::path& file) const;
};

}  // namespace velk
