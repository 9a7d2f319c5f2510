#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/Characterise.h"
#include "cli/Noise.h"
#include "core/Analyzer.h"
#include "core/EchoText.h"
#include "core/Result.h"

namespace velk {

// The command line, split into words and options, each option's value checked for form.
struct CliOptions {
  std::vector<std::string> words;  // the command and its operands
  bool help = false;
  bool version = false;
  bool json = false;
  bool factory = false;
  std::optional<int16_t> interfaceType;  // an interface_type code
  std::optional<uint16_t> port;
  std::optional<int> card;
  std::optional<int64_t> count;
  std::optional<double> duration;  // seconds
  double intervalMs = 100.0;
  // Seconds a log or an acquisition waits for its USB card; none: it ends at once.
  std::optional<double> reconnectWait;
  std::optional<std::string> out;
  std::optional<std::string> config;
  char separator = ',';
  NoiseRequest noise;
  CharacteriseRequest characterise;
  std::vector<std::string> given;  // names of the options given, for the command's check
};

// The options parsed, or the message for the user.
Result<CliOptions, std::string> ParseOptions(const std::vector<std::string>& args);

// A port address as the port dialog takes it: hex digits with or without "0x"; nullopt when
// the text is not one, or is 0.
std::optional<uint16_t> ParsePortAddress(const std::string& text);
// A register value: "0x" and hex digits, or decimal digits; nullopt for anything else.
std::optional<int64_t> ParseValue(const std::string& text);

}  // namespace velk
