#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "core/Result.h"

namespace velk::characterise {

// The SHA-256 of the bytes, as 64 lower-case hex digits: how a report names the records its
// figures came from, so a figure can be traced to the exact file.
std::string Sha256(std::string_view bytes);
// Of a whole file, read in pieces; or why it could not be read.
Result<std::string, std::string> Sha256OfFile(const std::filesystem::path& file);

}  // namespace velk::characterise
