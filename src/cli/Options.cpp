#include "cli/Options.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <utility>

namespace velk {

namespace {

bool Hex(const std::string& digits, int64_t& value) {
  if (digits.empty() || digits.size() > 8) return false;
  const char* end = digits.data() + digits.size();
  auto [p, ec] = std::from_chars(digits.data(), end, value, 16);
  return ec == std::errc() && p == end;
}

bool Decimal(const std::string& digits, int64_t& value) {
  if (digits.empty() || digits.size() > 12) return false;
  const char* end = digits.data() + digits.size();
  auto [p, ec] = std::from_chars(digits.data(), end, value, 10);
  return ec == std::errc() && p == end && digits[0] != '-' && digits[0] != '+';
}

std::string WithoutHexPrefix(const std::string& text) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
    return text.substr(2);
  return text;
}

// A finite number, the whole text; nullopt otherwise.
std::optional<double> Number(const std::string& text) {
  if (text.empty()) return std::nullopt;
  double value = 0;
  const char* end = text.data() + text.size();
  auto [p, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || p != end || !std::isfinite(value)) return std::nullopt;
  return value;
}

struct KnownOption {
  const char* name;
  bool takesValue;
};

constexpr KnownOption kOptions[] = {
    {"--help", false},     {"--version", false},       {"--json", false}, {"--factory", false},
    {"--interface", true}, {"--port", true},           {"--card", true},  {"--count", true},
    {"--duration", true},  {"--interval", true},       {"--out", true},   {"--format", true},
    {"--config", true},    {"--reconnect-wait", true},
};

Result<void, std::string> Apply(CliOptions& o, const std::string& name, const std::string& value) {
  if (name == "--help") {
    o.help = true;
  } else if (name == "--version") {
    o.version = true;
  } else if (name == "--json") {
    o.json = true;
  } else if (name == "--factory") {
    o.factory = true;
  } else if (name == "--interface") {
    if (value == "parallel") {
      o.interfaceType = interface_type::kParallelPort;
    } else if (value == "usb") {
      o.interfaceType = interface_type::kUsbCard;
    } else {
      return Unexpected("--interface takes parallel or usb, not \"" + Escaped(value) + "\"");
    }
  } else if (name == "--port") {
    o.port = ParsePortAddress(value);
    if (!o.port)
      return Unexpected("--port takes a port address in hex, such as 378 or 0x378, not \"" +
                        Escaped(value) + "\"");
  } else if (name == "--card") {
    int64_t n = -1;
    if (!Decimal(value, n) || n > 3)
      return Unexpected("--card takes 0 to 3 (Ezusb-0..Ezusb-3), not \"" + Escaped(value) + "\"");
    o.card = static_cast<int>(n);
  } else if (name == "--count") {
    int64_t n = 0;
    if (!Decimal(value, n) || n < 1)
      return Unexpected("--count takes a whole number of rows from 1, not \"" + Escaped(value) +
                        "\"");
    o.count = n;
  } else if (name == "--duration") {
    const auto seconds = Number(value);
    if (!seconds || *seconds <= 0 || *seconds > 1e9)
      return Unexpected("--duration takes a number of seconds above 0, up to 1e9, not \"" +
                        Escaped(value) + "\"");
    o.duration = *seconds;
  } else if (name == "--interval") {
    const auto ms = Number(value);
    if (!ms || *ms < 0 || *ms > 86400000)
      return Unexpected("--interval takes milliseconds from 0 to 86400000, not \"" +
                        Escaped(value) + "\"");
    o.intervalMs = *ms;
  } else if (name == "--reconnect-wait") {
    const auto seconds = Number(value);
    if (!seconds || *seconds < 0 || *seconds > 1e9)
      return Unexpected("--reconnect-wait takes seconds from 0 to 1e9, not \"" + Escaped(value) +
                        "\"");
    o.reconnectWait = *seconds;
  } else if (name == "--out") {
    if (value.empty()) return Unexpected("--out takes a file name");
    o.out = value;
  } else if (name == "--config") {
    if (value.empty()) return Unexpected("--config takes a file name");
    o.config = value;
  } else if (NoiseOptionTakesValue(name)) {
    // --limit-arw is also the limit of characterise report's arw figure, in the same unit.
    if (CharacteriseOptionTakesValue(name))
      if (auto applied = ApplyCharacteriseOption(o.characterise, name, value); !applied)
        return applied;
    return ApplyNoiseOption(o.noise, name, value);
  } else if (CharacteriseOptionTakesValue(name)) {
    return ApplyCharacteriseOption(o.characterise, name, value);
  } else if (name == "--format") {
    if (value == "csv") {
      o.separator = ',';
    } else if (value == "tsv") {
      o.separator = '\t';
    } else {
      return Unexpected("--format takes csv or tsv, not \"" + Escaped(value) + "\"");
    }
  }
  return {};
}

const std::string kHelp = "--help";

}  // namespace

std::optional<uint16_t> ParsePortAddress(const std::string& text) {
  int64_t value = 0;
  if (!Hex(WithoutHexPrefix(text), value) || value <= 0 || value > 0xFFFF) return std::nullopt;
  return static_cast<uint16_t>(value);
}

std::optional<int64_t> ParseValue(const std::string& text) {
  int64_t value = 0;
  const std::string hex = WithoutHexPrefix(text);
  if (hex != text) return Hex(hex, value) ? std::optional(value) : std::nullopt;
  return Decimal(text, value) ? std::optional(value) : std::nullopt;
}

Result<CliOptions, std::string> ParseOptions(const std::vector<std::string>& args) {
  CliOptions o;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    // -h is the one short option, as most tools take it.
    const std::string& a = !optionsEnded && args[i] == "-h" ? kHelp : args[i];
    if (optionsEnded || a.size() < 2 || a.compare(0, 2, "--") != 0) {
      o.words.push_back(a);
      continue;
    }
    if (a == "--") {
      optionsEnded = true;
      continue;
    }
    const size_t eq = a.find('=');
    const std::string name = a.substr(0, eq);
    const KnownOption* known = nullptr;
    for (const KnownOption& s : kOptions)
      if (name == s.name) known = &s;
    std::optional<bool> groupValue = NoiseOptionTakesValue(name);
    if (!groupValue) groupValue = CharacteriseOptionTakesValue(name);
    const KnownOption groupOption{name.c_str(), groupValue.value_or(false)};
    if (known == nullptr && groupValue) known = &groupOption;
    if (known == nullptr) return Unexpected("unknown option " + Escaped(name));
    std::string value;
    if (eq != std::string::npos) {
      if (!known->takesValue) return Unexpected(name + " takes no value");
      value = a.substr(eq + 1);
    } else if (known->takesValue) {
      if (i + 1 >= args.size()) return Unexpected(name + " needs a value");
      value = args[++i];
    }
    if (auto applied = Apply(o, name, value); !applied)
      return Unexpected(std::move(applied).error());
    o.given.push_back(name);
  }
  return o;
}

}  // namespace velk
