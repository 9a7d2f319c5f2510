#pragma once

#include <cstdint>
#include <string>

namespace velk {

class Reg47120;
struct CommandCall;

// The commands that act on the chip once it is found. Each returns an exit status.
int Identify(const CommandCall& call);
int Read(const CommandCall& call);
// To the call's file when it has one, else to the context's output.
int Log(const CommandCall& call);

// "Name 0xAA 0xVVVV".
std::string RegisterLine(const Reg47120& table, int16_t slot, int32_t word);

}  // namespace velk
