#pragma once

#include <cstdint>

#include "registers/Reg47120.h"

namespace velk {

class Session;

// What a function does on finding the DIO line it wants held by another.
enum class OnHeld { kTake, kAsk, kRefuse };

// A function's rule for a line held by each other owner; its own line it always takes.
struct HeldRule {
  OnHeld gpio = OnHeld::kTake;
  OnHeld alarm = OnHeld::kTake;
  OnHeld dataReady = OnHeld::kTake;
};

// The question or refusal shown for a line held by each owner, wherever the rule asks or
// refuses.
struct HeldTexts {
  const char* gpio = nullptr;
  const char* alarm = nullptr;
  const char* dataReady = nullptr;
};

// Whether DIO `line` may be taken by `rule`, as the pin-use table stands; asks and refuses
// through the session's message seam.
bool MayTakeLine(Session& session, int line, const HeldRule& rule, const HeldTexts& texts);

// An output that its control register routes to DIO0 or DIO1.
struct SharedOutput {
  int16_t controlSlot;
  int32_t Reg47120::*control;  // the register's copy
  int32_t enableBit;
  int32_t dio1Bit;
  HeldRule rule;
};

// Turns the output on at DIO `line`, or off, in the copy and on the chip. Turning on takes the
// line by the output's rule first: false when that refuses or is declined, nothing changed or
// sent.
bool SwitchOutput(Session& session, const SharedOutput& output, bool on, int line,
                  const HeldTexts& texts);

// Routes the output to DIO `line`, in the copy and on the chip. An enabled output takes the
// line as SwitchOutput does; a disabled one moves unasked.
bool MoveOutput(Session& session, const SharedOutput& output, int line, bool enabled,
                const HeldTexts& texts);

}  // namespace velk
