#pragma once

#include <string>
#include <string_view>

namespace velk {

// The priority a time-critical thread ran at, and why not higher.
struct RealtimeGrant {
  bool granted = false;  // SCHED_FIFO at `priority`
  int priority = 0;
  bool memoryLocked = false;
  std::string refused;  // the system's reason, when not granted; empty when not asked
};

// The line that lets the users of a group raise a thread to real-time priority, in a file of
// /etc/security/limits.d/ (read at the next login).
inline constexpr std::string_view kRealtimeGrantLine = "@plugdev - rtprio 20";
// Modest: above every normal thread, below the kernel's own interrupt threads (50).
inline constexpr int kAcquisitionPriority = 10;

// Raises the calling thread to real-time priority where the user may (root, CAP_SYS_NICE or
// RLIMIT_RTPRIO), and locks the memory already mapped where RLIMIT_MEMLOCK allows it. Where
// refused the thread runs on at normal priority. Tests supply their own.
class RealtimeRequest {
 public:
  virtual ~RealtimeRequest() = default;
  virtual RealtimeGrant Raise(int priority) = 0;
  // Back to normal priority for the calling thread (and the memory unlocked when Raise locked
  // it).
  virtual void Lower() = 0;
};

RealtimeRequest& SystemRealtime();

// "real-time (SCHED_FIFO 10, memory locked)", or "normal (real-time refused: REASON; grant it
// with `@plugdev - rtprio 20` in /etc/security/limits.d/)", or "normal" when none was asked.
std::string RealtimeText(const RealtimeGrant& grant);

// Raises the calling thread while it lives, and lowers it again.
class RealtimeScope {
 public:
  RealtimeScope(RealtimeRequest* request, int priority)
      : request_(request), grant_(request != nullptr ? request->Raise(priority) : NotAsked()) {}
  ~RealtimeScope() {
    if (request_ != nullptr && grant_.granted) request_->Lower();
  }
  RealtimeScope(const RealtimeScope&) = delete;
  RealtimeScope& operator=(const RealtimeScope&) = delete;
  const RealtimeGrant& grant() const { return grant_; }

 private:
  static RealtimeGrant NotAsked() { return {}; }
  RealtimeRequest* request_;
  RealtimeGrant grant_;
};

}  // namespace velk
