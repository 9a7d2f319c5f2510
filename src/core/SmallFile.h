#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

#include "core/Result.h"

namespace velk {

inline constexpr size_t kSmallFileLimit = size_t{1} << 20;

// Why a settings or setup file was not read. Each caller words its own message from it.
struct SmallFileError {
  enum class Status { Missing, Folder, NotRegular, TooLarge, Failed };
  Status status = Status::Failed;
  int error = 0;  // errno when Failed (or Missing)
};

// A settings or setup file read whole. Only a regular file is read, so a device, a FIFO or a
// link to one can neither hang the program nor feed it without end: stat first; then open with
// O_NONBLOCK | O_NOCTTY and check with fstat that the same regular file (device and inode) was
// opened, at most `limit` bytes long.
Result<std::string, SmallFileError> ReadSmallRegularFile(const std::filesystem::path& file,
                                                         size_t limit = kSmallFileLimit);

}  // namespace velk
