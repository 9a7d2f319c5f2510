#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace velk {

// A path as a message shows it: up to `limit` characters as it is; longer, the folder is cut
// in the middle with "…" and the file name kept whole, and a name that alone is too long is
// cut in its own middle. Counts characters, not bytes, and never splits one.
std::string ShortPathText(const std::filesystem::path& path, size_t limit = 120);

}  // namespace velk
