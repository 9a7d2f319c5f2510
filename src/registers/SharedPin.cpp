#include "registers/SharedPin.h"

#include "registers/Session.h"

namespace velk {

namespace {

// Sets or clears `bit` of the output's copy and writes the register whole.
void WriteBit(Session& session, const SharedOutput& output, int32_t bit, bool set) {
  int32_t& control = session.reg.*output.control;
  control = set ? control | bit : control & ~bit;
  session.spi.WriteRegister(output.controlSlot, control);
}

}  // namespace

bool MayTakeLine(Session& session, int line, const HeldRule& rule, const HeldTexts& texts) {
  OnHeld action = OnHeld::kTake;
  const char* text = nullptr;
  switch (session.reg.DioPinUse[static_cast<size_t>(line)]) {
    case pin_use::kGpio:
      action = rule.gpio;
      text = texts.gpio;
      break;
    case pin_use::kAlarm:
      action = rule.alarm;
      text = texts.alarm;
      break;
    case pin_use::kDataReady:
      action = rule.dataReady;
      text = texts.dataReady;
      break;
    default:
      break;  // free, or no owner this program knows
  }
  switch (action) {
    case OnHeld::kAsk:
      return session.messages.Ask(text);
    case OnHeld::kRefuse:
      session.messages.Show(text);
      return false;
    case OnHeld::kTake:
      break;
  }
  return true;
}

bool SwitchOutput(Session& session, const SharedOutput& output, bool on, int line,
                  const HeldTexts& texts) {
  if (on && !MayTakeLine(session, line, output.rule, texts)) return false;
  WriteBit(session, output, output.enableBit, on);
  return true;
}

bool MoveOutput(Session& session, const SharedOutput& output, int line, bool enabled,
                const HeldTexts& texts) {
  if (enabled && !MayTakeLine(session, line, output.rule, texts)) return false;
  WriteBit(session, output, output.dio1Bit, line == 1);
  return true;
}

}  // namespace velk
