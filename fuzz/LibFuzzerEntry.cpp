// The libFuzzer entry of one target; VELK_FUZZ_TARGET names its function.
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return VELK_FUZZ_TARGET(data, size);
}
