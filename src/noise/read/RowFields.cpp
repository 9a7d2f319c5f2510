#include "noise/read/RowFields.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace velk::noise {

namespace {

// Beyond these no reading of the chip lies; they keep every sum finite.
constexpr double kLargestValue = 1e12;
constexpr int64_t kLargestSample = 1'000'000'000'000'000;
constexpr int64_t kLargestCode = 1'000'000'000;
constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

enum class FieldResult { Ok, NotNumber, NotFinite, OutOfRange, NotFlag };

// The first separator from p on, or end: eight bytes at a time, the lowest zero byte of
// word ^ pattern being the first match.
const char* FindSeparator(const char* p, const char* end, char separator) {
  if constexpr (std::endian::native == std::endian::little) {
    constexpr uint64_t kOnes = 0x0101010101010101u;
    constexpr uint64_t kHighs = 0x8080808080808080u;
    const uint64_t pattern = kOnes * static_cast<uint8_t>(separator);
    while (end - p >= 8) {
      uint64_t word;
      std::memcpy(&word, p, sizeof word);
      const uint64_t x = word ^ pattern;
      const uint64_t zeros = (x - kOnes) & ~x & kHighs;
      if (zeros != 0) return p + (std::countr_zero(zeros) >> 3);
      p += 8;
    }
  }
  while (p != end && *p != separator) ++p;
  return p;
}

FieldResult InRange(double value) {
  return std::abs(value) <= kLargestValue ? FieldResult::Ok : FieldResult::OutOfRange;
}

// A plain decimal of up to 15 digits is exact as digits / 10^k, so one division rounds it
// correctly, as from_chars would; exponents, longer numbers and bad text go to from_chars.
FieldResult Real(const char* begin, const char* end, char separator, const char*& stop,
                 double& value) {
  const char* p = begin;
  if (p != end && *p == '+') ++p;
  const char* const sign = p;
  const bool negative = p != end && *p == '-';
  if (negative) ++p;
  uint64_t digits = 0;
  int count = 0;
  int decimals = 0;
  for (; p != end && static_cast<unsigned>(*p - '0') < 10; ++p, ++count)
    digits = digits * 10 + static_cast<unsigned>(*p - '0');
  if (p != end && *p == '.')
    for (++p; p != end && static_cast<unsigned>(*p - '0') < 10; ++p, ++count, ++decimals)
      digits = digits * 10 + static_cast<unsigned>(*p - '0');
  if (count > 0 && count <= 15 && (p == end || *p == separator)) {
    stop = p;
    value = static_cast<double>(digits) / kPowersOfTen[decimals];
    if (negative) value = -value;
    return InRange(value);
  }
  stop = FindSeparator(begin, end, separator);
  const auto [last, ec] = std::from_chars(sign, stop, value);
  if (last != stop || sign == stop) return FieldResult::NotNumber;
  if (ec == std::errc::result_out_of_range || !std::isfinite(value)) return FieldResult::NotFinite;
  if (ec != std::errc()) return FieldResult::NotNumber;
  return InRange(value);
}

FieldResult Whole(const char* begin, const char* end, char separator, const char*& stop,
                  int64_t& value, int64_t lowest, int64_t highest) {
  const char* p = begin;
  if (p != end && *p == '+') ++p;
  const auto [last, ec] = std::from_chars(p, end, value);
  stop = FindSeparator(last, end, separator);
  if (last != stop || last == p) return FieldResult::NotNumber;
  if (ec != std::errc() || value < lowest || value > highest) return FieldResult::OutOfRange;
  return FieldResult::Ok;
}

FieldResult Flag(const char* begin, const char* end, char separator, const char*& stop,
                 bool& value) {
  stop = FindSeparator(begin, end, separator);
  const std::string_view text(begin, static_cast<size_t>(stop - begin));
  if (text == "1" || text == "True" || text == "true") {
    value = true;
  } else if (text == "0" || text == "False" || text == "false") {
    value = false;
  } else {
    return FieldResult::NotFlag;
  }
  return FieldResult::Ok;
}

FieldResult Field(Column role, const char* p, const char* end, char separator, const char*& stop,
                  RowValues& row) {
  switch (role) {
    case Column::Skip:
      stop = FindSeparator(p, end, separator);
      return FieldResult::Ok;
    case Column::Elapsed: {
      const FieldResult result = Real(p, end, separator, stop, row.elapsed);
      row.elapsedText = std::string_view(p, static_cast<size_t>(stop - p));
      return result;
    }
    case Column::Sample:
      return Whole(p, end, separator, stop, row.sample, 0, kLargestSample);
    case Column::Rate: {
      const FieldResult result = Real(p, end, separator, stop, row.rate);
      row.rateText = std::string_view(p, static_cast<size_t>(stop - p));
      return result;
    }
    case Column::Code:
      return Whole(p, end, separator, stop, row.code, -kLargestCode, kLargestCode);
    case Column::Temp:
      row.hasTemp = p != end && *p != separator;
      if (row.hasTemp) return Real(p, end, separator, stop, row.temp);
      stop = p;
      return FieldResult::Ok;
    case Column::Error:
      return Flag(p, end, separator, stop, row.error);
    case Column::Status:
      return Whole(p, end, separator, stop, row.status, 0, int64_t{1} << 32);
  }
  stop = FindSeparator(p, end, separator);
  return FieldResult::Ok;
}

std::string Problem(FieldResult result, const std::string& name, std::string_view text) {
  const std::string field = name + " is " + Quoted(text);
  switch (result) {
    case FieldResult::NotFinite:
      return field + ", which is not finite";
    case FieldResult::OutOfRange:
      return field + ", out of any reading's range";
    case FieldResult::NotFlag:
      return field + ", neither 0/1 nor True/False";
    default:
      return field + ", not a number";
  }
}

size_t FieldsFrom(const char* p, const char* end, char separator) {
  size_t fields = 1;
  for (; p != end; ++p) fields += *p == separator;
  return fields;
}

}  // namespace

std::string Quoted(std::string_view text) {
  std::string out = "\"";
  for (char c : text.substr(0, 40)) out += (c >= ' ' && c != 0x7F) ? c : '?';
  if (text.size() > 40) out += "...";
  return out + "\"";
}

RowResult ParseRow(std::string_view line, const Columns& columns, RowValues& row,
                   std::string& why) {
  const char separator = columns.separator;
  const size_t count = columns.roles.size();
  const char* p = line.data();
  const char* const end = p + line.size();
  for (size_t field = 0;; ++field) {
    const char* stop = p;
    const FieldResult result = Field(columns.roles[field], p, end, separator, stop, row);
    if (result != FieldResult::Ok) {
      if (field + FieldsFrom(stop, end, separator) < count) return RowResult::Short;
      why =
          Problem(result, columns.names[field], std::string_view(p, static_cast<size_t>(stop - p)));
      return RowResult::Bad;
    }
    if (stop == end) return field + 1 == count ? RowResult::Ok : RowResult::Short;
    if (field + 1 == count) {
      why = std::to_string(field + FieldsFrom(stop, end, separator)) +
            " fields where the header has " + std::to_string(count);
      return RowResult::Bad;
    }
    p = stop + 1;
  }
}

}  // namespace velk::noise
