#include "cli/Json.h"

#include <charconv>
#include <cmath>
#include <nlohmann/json.hpp>

#include "core/JsonText.h"
#include "core/NumberText.h"

namespace velk {

nlohmann::ordered_json JsonNumber(float value) {
  const std::string text = FormatGeneral(value);
  double number = 0;
  // "NaN" and "Infinity" parse too; JSON has no such number and the library writes null.
  std::from_chars(text.data(), text.data() + text.size(), number);
  // A whole double would print with ".0".
  if (std::trunc(number) == number && std::abs(number) < 0x1p63)
    return static_cast<int64_t>(number);
  return number;
}

std::string JsonLine(const nlohmann::ordered_json& document) {
  return JsonText(document) + "\n";
}

}  // namespace velk
