#include "core/Realtime.h"

#include <pthread.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

namespace velk {

namespace {

// The bytes mapped now, which mlockall(MCL_CURRENT) would lock.
uint64_t MappedBytes() {
  std::ifstream statm("/proc/self/statm");
  uint64_t pages = 0;
  if (!(statm >> pages)) return UINT64_MAX;
  return pages * static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
}

// Only MCL_CURRENT: MCL_FUTURE under a small limit makes later allocations fail. Root (and
// CAP_IPC_LOCK) is not held to the limit.
bool LockMemory() {
  rlimit limit{};
  if (getrlimit(RLIMIT_MEMLOCK, &limit) != 0) return false;
  const bool unlimited = limit.rlim_cur == RLIM_INFINITY || geteuid() == 0;
  if (!unlimited && MappedBytes() >= limit.rlim_cur) return false;
  return mlockall(MCL_CURRENT) == 0;
}

class SystemRequest final : public RealtimeRequest {
 public:
  RealtimeGrant Raise(int priority) override {
    RealtimeGrant grant;
    sched_param param{};
    param.sched_priority = priority;
    int error = pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
    if (error == EPERM) {
      // A limit below the level asked for still grants that much.
      rlimit limit{};
      if (getrlimit(RLIMIT_RTPRIO, &limit) == 0 && limit.rlim_cur > 0 &&
          limit.rlim_cur < static_cast<rlim_t>(priority)) {
        param.sched_priority = static_cast<int>(limit.rlim_cur);
        error = pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
      }
    }
    if (error != 0) {
      grant.refused = std::strerror(error);
      return grant;
    }
    grant.granted = true;
    grant.priority = param.sched_priority;
    grant.memoryLocked = LockMemory();
    locked_ = grant.memoryLocked;
    return grant;
  }

  void Lower() override {
    sched_param param{};
    pthread_setschedparam(pthread_self(), SCHED_OTHER, &param);
    if (locked_) munlockall();
    locked_ = false;
  }

 private:
  bool locked_ = false;
};

}  // namespace

RealtimeRequest& SystemRealtime() {
  static SystemRequest request;
  return request;
}

std::string RealtimeText(const RealtimeGrant& grant) {
  if (grant.granted)
    return "real-time (SCHED_FIFO " + std::to_string(grant.priority) +
           (grant.memoryLocked ? ", memory locked)" : ")");
  if (grant.refused.empty()) return "normal";
  return "normal (real-time refused: " + grant.refused + "; grant it with `" +
         std::string(kRealtimeGrantLine) + "` in /etc/security/limits.d/)";
}

}  // namespace velk
