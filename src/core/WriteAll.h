#pragma once

#include <cstddef>
#include <string_view>

namespace velk {

// Writes all of `bytes` to the descriptor, going on after a signal. Returns 0 when all went
// out, else the errno of the failure (EIO for a write that took nothing, which would otherwise
// be retried for ever); `written` (if given) says how much went out.
int WriteAll(int fd, std::string_view bytes, size_t* written = nullptr);

}  // namespace velk
