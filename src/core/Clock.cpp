#include "core/Clock.h"

#include <chrono>

namespace velk {

double SteadyClock::Seconds() const {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace velk
