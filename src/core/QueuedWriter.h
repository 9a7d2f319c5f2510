#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace velk {

// Writes whole pieces (rows) on a thread of its own, in the order they were handed over, so
// the thread that hands them never waits on the disk. The first failed write ends the writing:
// the pieces after it are dropped, Failed() turns true, and Finish() gives its error once.
template <typename Error>
class QueuedWriter {
 public:
  // Returns the error of a write that failed, nullopt when it went out whole.
  using Write = std::function<std::optional<Error>(std::string_view)>;

  explicit QueuedWriter(Write write) : write_(std::move(write)), thread_([this] { Run(); }) {}
  ~QueuedWriter() { (void)Finish(); }
  QueuedWriter(const QueuedWriter&) = delete;
  QueuedWriter& operator=(const QueuedWriter&) = delete;

  void Push(std::string piece) {
    if (piece.empty()) return;
    {
      std::lock_guard lock(mutex_);
      queue_.push_back(std::move(piece));
    }
    wake_.notify_one();
  }

  bool Failed() const {
    std::lock_guard lock(mutex_);
    return error_.has_value();
  }

  // Writes what is left, ends the thread; the first failure, once.
  std::optional<Error> Finish() {
    {
      std::lock_guard lock(mutex_);
      if (finished_) return std::nullopt;
      finished_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
    return std::move(error_);
  }

 private:
  void Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return finished_ || !queue_.empty(); });
      if (queue_.empty()) return;
      std::string piece = std::move(queue_.front());
      queue_.pop_front();
      if (error_) continue;  // after a failure nothing more is written
      lock.unlock();
      std::optional<Error> failed = write_(piece);
      lock.lock();
      if (failed && !error_) error_ = std::move(failed);
    }
  }

  Write write_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::string> queue_;
  std::optional<Error> error_;
  bool finished_ = false;
  std::thread thread_;  // last: starts once the members above exist
};

}  // namespace velk
