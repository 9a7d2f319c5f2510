#pragma once

#include <nlohmann/json_fwd.hpp>
#include <string>

namespace velk {

// The document as text (`indent` as nlohmann's dump takes it: -1 one line, else spaces a
// level). Text that is not UTF-8, a Latin-1 comment line or a file name from another system,
// has its bad bytes written as U+FFFD instead of failing the whole document.
std::string JsonText(const nlohmann::ordered_json& document, int indent = -1);

}  // namespace velk
