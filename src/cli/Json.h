#pragma once

#include <nlohmann/json_fwd.hpp>
#include <string>

namespace velk {

// A value as JSON: the number of the seven significant digits the text output shows
// (FormatGeneral), a whole one as an integer, so both print the same digits.
nlohmann::ordered_json JsonNumber(float value);

// The document on one compact line. Text from the chip or the system that is not UTF-8 has
// its bad bytes replaced rather than failing the command.
std::string JsonLine(const nlohmann::ordered_json& document);

}  // namespace velk
