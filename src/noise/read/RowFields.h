#pragma once

#include <string>
#include <string_view>

#include "noise/read/RecordBuilder.h"
#include "noise/read/RunHeader.h"

namespace velk::noise {

enum class RowResult { Ok, Short, Bad };

// Splits and converts one row into the fields its columns take. A row with fewer fields than
// the header is Short whatever they hold (as the last line, an incomplete write); Bad sets
// `why`, naming the column and quoting the field.
RowResult ParseRow(std::string_view line, const Columns& columns, RowValues& row, std::string& why);

// A text as a message quotes it: at most 40 characters, control characters as "?".
std::string Quoted(std::string_view text);

}  // namespace velk::noise
