#include "noise/read/LineFeed.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace velk::noise {

namespace {

constexpr size_t kChunk = size_t{1} << 20;
// A line this long is no row of any of the layouts: the input is not text.
constexpr size_t kLongestLine = size_t{64} << 20;
// How long a stop may go unseen while the input is silent.
constexpr int kStopPollMs = 100;

}  // namespace

LineFeed::LineFeed(std::string_view text)
    : pos_(text.data()), end_(text.data() + text.size()), eof_(true) {}

LineFeed::LineFeed(int fd, const volatile std::sig_atomic_t* stop)
    : fd_(fd),
      stop_(stop),
      buffer_(new char[kChunk]),
      capacity_(kChunk),
      pos_(buffer_.get()),
      end_(pos_) {}

bool LineFeed::Next(std::string_view& line) {
  for (;;) {
    const char* newline =
        pos_ == end_ ? nullptr : static_cast<const char*>(std::memchr(pos_, '\n', end_ - pos_));
    if (newline != nullptr || (eof_ && pos_ != end_)) {
      const char* stop = newline != nullptr ? newline : end_;
      const char* next = newline != nullptr ? newline + 1 : end_;
      if (stop != pos_ && stop[-1] == '\r') --stop;
      line = std::string_view(pos_, static_cast<size_t>(stop - pos_));
      consumed_ += static_cast<uint64_t>(next - pos_);
      pos_ = next;
      terminated_ = newline != nullptr;
      ++number_;
      return true;
    }
    if (eof_ || !Refill()) return false;
  }
}

bool LineFeed::Refill() {
  const size_t kept = static_cast<size_t>(end_ - pos_);
  if (kept == capacity_) {
    if (capacity_ >= kLongestLine) {
      error_ = "line " + std::to_string(number_ + 1) + " is longer than 64 MiB";
      return false;
    }
    std::unique_ptr<char[]> larger(new char[capacity_ * 2]);
    std::memcpy(larger.get(), pos_, kept);
    buffer_ = std::move(larger);
    capacity_ *= 2;
  } else if (kept != 0 && pos_ != buffer_.get()) {
    std::memmove(buffer_.get(), pos_, kept);
  }
  char* const start = buffer_.get();
  ssize_t got;
  for (;;) {
    if (stop_ != nullptr && *stop_ != 0) {
      error_ = "stopped";
      return false;
    }
    // A signal just before read() would leave it waiting: the wait is polled in short steps.
    if (stop_ != nullptr) {
      pollfd ready{fd_, POLLIN, 0};
      const int n = ::poll(&ready, 1, kStopPollMs);
      if (n == 0 || (n < 0 && errno == EINTR)) continue;
    }
    got = ::read(fd_, start + kept, capacity_ - kept);
    if (got >= 0 || errno != EINTR) break;
  }
  if (got < 0) {
    error_ = std::strerror(errno);
    return false;
  }
  eof_ = got == 0;
  pos_ = start;
  end_ = start + kept + got;
  return true;
}

}  // namespace velk::noise
