#pragma once

#include <cstdint>

namespace velk {

// The chip's key code: written to KeyCode it unlocks the identification registers.
inline constexpr uint16_t kKeyCode = 0xA5C3;

// The value of the "Factory" setting that unlocks the factory features.
inline constexpr int16_t kFactoryModeValue = 4712;

}  // namespace velk
