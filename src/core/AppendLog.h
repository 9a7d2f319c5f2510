#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "core/Result.h"

namespace velk {

// A log that rows are appended to, each in one write() with no buffer of its own, so a crash
// loses no written row. While open it holds an advisory lock, so a second writer is refused
// instead of interleaving; where the file system has no locks it is written without one. A
// short write (full disk) is cut back under the lock, so the file only ever holds whole lines.
class AppendLog {
 public:
  // Why the file was not opened: another program holds the lock (nothing was written), or
  // errno.
  struct OpenError {
    bool busy = false;
    int error = 0;  // errno when not busy
  };
  // Why bytes were not appended.
  struct WriteError {
    int error = 0;             // errno
    bool partialLine = false;  // they could not be cut back: the file ends in part of a line
  };

  AppendLog() = default;
  ~AppendLog();
  AppendLog(const AppendLog&) = delete;
  AppendLog& operator=(const AppendLog&) = delete;

  // Opens (creating) the file for appending. When the file does not end with a line break,
  // `eol` is written first, so the next line starts on a line of its own.
  Result<void, OpenError> Open(const std::filesystem::path& file, std::string_view eol);
  // Appends the bytes whole or not at all.
  Result<void, WriteError> Write(std::string_view bytes);
  void Close();

  bool IsOpen() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace velk
