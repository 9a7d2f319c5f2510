#include "fuzz/FuzzCheck.h"

#include <cstdio>
#include <cstdlib>

namespace velk::fuzz {

namespace {
CheckHandler handler = nullptr;
}

void SetCheckHandler(CheckHandler newHandler) {
  handler = newHandler;
}

void CheckFailed(const char* what, const char* file, int line) {
  if (handler != nullptr) handler(what, file, line);
  std::fprintf(stderr, "%s:%d: property does not hold: %s\n", file, line, what);
  std::abort();
}

}  // namespace velk::fuzz
