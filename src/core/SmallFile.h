#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace velk {

inline constexpr size_t kSmallFileLimit = size_t{1} << 20;

// A settings or setup file read whole. Only a regular file is read, so a device, a FIFO or a
// link to one can neither hang the program nor feed it without end.
struct SmallFile {
  enum class Status { Read, Missing, Folder, NotRegular, TooLarge, Failed };
  Status status = Status::Missing;
  std::string bytes;  // the content when Read
  int error = 0;      // errno when Failed (or Missing)
};

// stat first; then open with O_NONBLOCK | O_NOCTTY and check with fstat that the same regular
// file (device and inode) was opened, at most `limit` bytes long.
SmallFile ReadSmallRegularFile(const std::filesystem::path& file,
                               size_t limit = kSmallFileLimit);

}  // namespace velk
