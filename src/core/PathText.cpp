#include "core/PathText.h"

#include <vector>

namespace velk {

namespace {

constexpr const char* kEllipsis = "\u2026";

// Byte offsets where each character of a UTF-8 text starts, plus the end.
std::vector<size_t> CharStarts(const std::string& text) {
  std::vector<size_t> starts;
  for (size_t i = 0; i < text.size(); ++i)
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) starts.push_back(i);
  starts.push_back(text.size());
  return starts;
}

}  // namespace

std::string ShortPathText(const std::filesystem::path& path, size_t limit) {
  const std::string text = path.string();
  const std::vector<size_t> at = CharStarts(text);
  const size_t length = at.size() - 1;
  if (length <= limit || limit < 3) return text;

  const std::string name = path.filename().string();
  const size_t nameLength = CharStarts(name).size() - 1;
  // Room for some of the folder, the ellipsis and the separator before the name.
  if (nameLength + 3 <= limit) {
    const size_t head = limit - nameLength - 2;
    return text.substr(0, at[head]) + kEllipsis + "/" + name;
  }
  const size_t head = (limit - 1) / 2;
  const size_t tail = limit - 1 - head;
  return text.substr(0, at[head]) + kEllipsis + text.substr(at[length - tail]);
}

}  // namespace velk
