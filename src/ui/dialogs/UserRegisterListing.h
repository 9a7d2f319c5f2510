#pragma once

#include <string>

namespace velk {

class Reg47120;
class Spi47120;

// Reads the user configuration registers and lists them with their values in hex: a heading,
// a rule and one row per register, every line ending in CR LF.
std::string UserRegisterListing(Spi47120& spi, const Reg47120& table);

}  // namespace velk
