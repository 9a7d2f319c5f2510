#pragma once

namespace velk::pin_dialogs {

// The state the alarm and GPIO dialogs' output toggles share, and the captions made from it.
// A handler decides from the dialog's member, never from what its button reads.

// The DIO line an output is routed to.
enum class Line { kDio0, kDio1 };
// The level an output drives while active.
enum class Polarity { kActiveLow, kActiveHigh };

constexpr int Index(Line line) {
  return line == Line::kDio1 ? 1 : 0;
}

constexpr Line LineAt(int index) {
  return index == 0 ? Line::kDio0 : Line::kDio1;
}

constexpr const char* LineText(Line line) {
  return line == Line::kDio1 ? "DIO-1" : "DIO-0";
}

constexpr const char* PolarityText(Polarity polarity) {
  return polarity == Polarity::kActiveHigh ? "Active High" : "Active Low";
}

constexpr const char* EnabledText(bool enabled) {
  return enabled ? "Enabled" : "Disabled";
}

}  // namespace velk::pin_dialogs
