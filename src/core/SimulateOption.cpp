#include "core/SimulateOption.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "core/EchoText.h"

namespace velk {

namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string Trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return std::string(text.substr(first, text.find_last_not_of(" \t") - first + 1));
}

bool AllDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

SimulateRequest SimulatedModel(std::string_view text) {
  const std::string model = Trimmed(text);
  if (model.empty() || model == "47120") return 47120;
  if (model == "47121") return 47121;
  return Unexpected("Unknown model \"" + Escaped(model) + "\" for --simulate: use 47120 or 47121.");
}

SimulateRequest SimulateFromEnvironment(const char* value) {
  const std::string text = Lower(Trimmed(value ? value : ""));
  if (text.empty() || text == "0" || text == "off" || text == "false" || text == "no") return 0;
  if (text == "1" || text == "on" || text == "true" || text == "yes") return 47120;
  if (text == "47120" || text == "47121") return text == "47121" ? 47121 : 47120;
  return Unexpected("VELK47120_SIMULATE=" + Escaped(Trimmed(value)) +
                    " is not understood: use 47120, 47121, 1/on/true/yes or 0/off/false/no.");
}

SimulateRequest TakeSimulateOption(std::vector<std::string>& args, const char* environment) {
  std::optional<SimulateRequest> fromOption;
  const std::string_view flag = "--simulate";
  for (size_t i = 1; i < args.size();) {
    const std::string& a = args[i];
    if (a == flag) {
      std::string model;
      size_t taken = 1;
      if (i + 1 < args.size() && AllDigits(args[i + 1])) {
        model = args[i + 1];
        taken = 2;
      }
      fromOption = SimulatedModel(model);
      args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
                 args.begin() + static_cast<std::ptrdiff_t>(i + taken));
    } else if (a.size() > flag.size() && a.compare(0, flag.size(), flag) == 0 &&
               a[flag.size()] == '=') {
      fromOption = SimulatedModel(std::string_view(a).substr(flag.size() + 1));
      args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
    } else if (a == "--") {
      break;
    } else {
      ++i;
    }
  }
  if (fromOption) return *fromOption;
  return SimulateFromEnvironment(environment);
}

}  // namespace velk
