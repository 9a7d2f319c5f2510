#pragma once

#include <charconv>
#include <cmath>
#include <optional>
#include <string_view>

namespace velk {

// A finite number making up the whole of a simulator variable's field, blanks and tabs around
// it ignored; nullopt for anything else. Locale-free, so "1,5" is no number anywhere.
inline std::optional<double> SimNumber(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  double value = 0.0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
      !std::isfinite(value))
    return std::nullopt;
  return value;
}

}  // namespace velk
