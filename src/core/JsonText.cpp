#include "core/JsonText.h"

#include <nlohmann/json.hpp>

namespace velk {

std::string JsonText(const nlohmann::ordered_json& document, int indent) {
  return document.dump(indent, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace velk
