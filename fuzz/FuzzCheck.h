#pragma once

namespace velk::fuzz {

// What happens when a property does not hold. By default the process aborts, so libFuzzer keeps
// the input; the replay tests install a handler that throws and report the corpus file.
using CheckHandler = void (*)(const char* what, const char* file, int line);
void SetCheckHandler(CheckHandler handler);

[[noreturn]] void CheckFailed(const char* what, const char* file, int line);

}  // namespace velk::fuzz

#define VELK_FUZZ_CHECK(condition) \
  ((condition) ? void() : ::velk::fuzz::CheckFailed(#condition, __FILE__, __LINE__))
