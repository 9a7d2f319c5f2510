#pragma once

#include <QString>
#include <optional>
#include <string>

#include "core/NumberText.h"

namespace velk {

// The board grid shows revision and bus speed with one decimal: 1 -> "1.0", "2" -> "2.0".
inline QString RevisionText(float revision) {
  return QString::fromStdString(FormatFixed(revision, 1));
}

// A speed that is not a number is shown as it is.
inline QString SpeedText(const std::string& speed) {
  const std::optional<double> value = ExactNumber(speed);
  return QString::fromStdString(value ? FormatFixed(*value, 1) : speed);
}

}  // namespace velk
