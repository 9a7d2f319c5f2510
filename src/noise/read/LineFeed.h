#pragma once

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace velk::noise {

// The lines of a text held in memory, or read from a file descriptor in large chunks, without
// their line ends (LF or CR LF). A line is a view into the buffer, valid until the next call.
class LineFeed {
 public:
  explicit LineFeed(std::string_view text);
  // Left open. While `stop` is set no read is made, and one waiting for input (a pipe, a
  // terminal) gives up soon after it is set.
  explicit LineFeed(int fd, const volatile std::sig_atomic_t* stop = nullptr);

  // The next line; false at the end of the input or when reading failed (see Error).
  bool Next(std::string_view& line);
  int64_t LineNumber() const { return number_; }   // 1-based, of the line Next gave
  bool Terminated() const { return terminated_; }  // false: the input ended inside the line
  uint64_t Consumed() const { return consumed_; }  // bytes up to the end of that line
  const std::string& Error() const { return error_; }

 private:
  bool Refill();

  int fd_ = -1;
  const volatile std::sig_atomic_t* stop_ = nullptr;
  std::unique_ptr<char[]> buffer_;
  size_t capacity_ = 0;
  const char* pos_ = nullptr;
  const char* end_ = nullptr;
  bool eof_ = false;
  bool terminated_ = true;
  int64_t number_ = 0;
  uint64_t consumed_ = 0;
  std::string error_;
};

}  // namespace velk::noise
