// characterise apply: the Gyro_Ofst that takes out a measured bias, from what a count does on
// this chip, measured first; and --undo, the old words back.
#include "cli/CharacteriseApply.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string_view>

#include "cli/Characterise.h"
#include "cli/Cli.h"
#include "cli/CommandTable.h"
#include "cli/Connection.h"
#include "cli/Options.h"
#include "cli/Plan.h"
#include "cli/Registers.h"
#include "cli/Setup.h"
#include "core/Delay.h"
#include "core/EchoText.h"
#include "core/SafeSave.h"
#include "measure/Acquisition.h"
#include "measure/CalibrationSteps.h"
#include "measure/OutputCycle.h"
#include "noise/read/RunHeader.h"
#include "registers/Session.h"

namespace velk {

namespace {

// The Command register's flash-update bit, as the register dialog's Update Flash writes it;
// the chip takes a quarter second over it.
constexpr int32_t kFlashUpdate = 0x08;
constexpr float kFlashUpdateMs = 250.0f;

struct ApplyInput {
  double bias = 0.0;
  std::optional<double> lo, hi;
  characterise::ChipWords words;
};

Result<ApplyInput, std::string> ReadResult(const std::string& file) {
  const Result<std::string, std::string> text = ReadSmallText(file);
  if (!text) return Unexpected(text.error());
  const std::string name = Escaped(file);
  const auto doc = characterise::ReadCharacteriseJson(*text);
  if (!doc) return Unexpected(name + " " + doc.error());
  const characterise::Figure* bias = doc->Find("bias");
  if (bias == nullptr)
    return Unexpected(name + " holds no bias figure: characterise tempco measures one");
  if (!bias->value)
    return Unexpected(name + " has no value for the bias (" + bias->reason +
                      "): characterise tempco measures one");
  if (!doc->words)
    return Unexpected(name +
                      " does not say which Gyro_Ofst and Gyro_Scale its bias was measured with; "
                      "save it again from characterise --json");
  return ApplyInput{*bias->value, bias->lo, bias->hi, *doc->words};
}

std::string Hex(int32_t word) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(word & 0xFFFF));
  return text;
}

std::string Fixed(const char* format, double value) {
  char text[48];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

ExitStatus Refused(CliContext& context, const std::string& message) {
  context.err << "velk47120-cli: " << message << "\n" << std::flush;
  return ExitStatus::kUsage;
}

int StopSignal(const CliContext& context) {
  return context.stop != nullptr ? static_cast<int>(*context.stop) : 0;
}

// Reads the two words back as a setup holds them: the lines of any that differ, on stderr.
bool ReadBack(const CommandCall& call, int32_t gyroOfst, int32_t gyroScale) {
  Spi47120& spi = call.session.spi;
  bool same = true;
  for (const auto& [s, wanted] :
       {std::pair{slot::Gyro_Ofst, gyroOfst}, {slot::Gyro_Scale, gyroScale}}) {
    spi.ReadRegister(s);
    const int32_t read = SetupWord(call.session.reg, s, RawWord(spi));
    const int32_t want = SetupWord(call.session.reg, s, wanted & 0xFFFF);
    if (read == want) continue;
    call.context.err << "velk47120-cli: " << RegisterName(call.session.reg, s) << " reads "
                     << Hex(read) << " after " << Hex(want) << " was written\n";
    same = false;
  }
  return same;
}

void UpdateFlash(Spi47120& spi) {
  spi.WriteRegister(slot::Command, kFlashUpdate);
  DelayMs(float{kFlashUpdateMs});
}

ExitStatus Undo(const CommandCall& call) {
  CliContext& context = call.context;
  const SetupFile& setup = call.plan.setup;
  const std::string name = Escaped(*call.options.characterise.undo);
  if (setup.product != call.chip.model)
    return Refused(context, name + " is for the VELK" + std::to_string(setup.product) +
                                ", but the chip is a VELK" + std::to_string(call.chip.model) +
                                "; nothing was written");
  const auto valueOf = [&](int16_t s) {
    return setup.values[std::find(kSetupSlots.begin(), kSetupSlots.end(), s) - kSetupSlots.begin()];
  };
  const int32_t gyroOfst = valueOf(slot::Gyro_Ofst), gyroScale = valueOf(slot::Gyro_Scale);
  Spi47120& spi = call.session.spi;
  context.chipWritten = true;
  spi.WriteRegister(slot::Gyro_Ofst, gyroOfst);
  spi.WriteRegister(slot::Gyro_Scale, gyroScale);
  if (!ReadBack(call, gyroOfst, gyroScale)) return ExitStatus::kMismatch;
  if (call.options.characterise.flash) UpdateFlash(spi);
  context.out << "put back Gyro_Ofst " << Hex(gyroOfst) << " and Gyro_Scale " << Hex(gyroScale)
              << " from " << name << ", read back"
              << (call.options.characterise.flash ? " and kept in flash" : "") << "\n"
              << std::flush;
  return ExitStatus::kDone;
}

void ShowMeaning(std::ostream& out, const CountMeaning& m) {
  out << "Gyro_Ofst:  one count moves the output by " << Fixed("%.6f", m.ofstStep) << " deg/s (+- "
      << Fixed("%.6f", m.ofstStepSe) << "), between " << Hex(m.ofstLow) << " and "
      << Hex(m.ofstHigh) << "\n";
  out << "Gyro_Scale: one count moves the self-test swing by " << Fixed("%.5f", m.swingPerCount)
      << " deg/s (+- " << Fixed("%.5f", m.swingPerCountSe)
      << "): " << Fixed("%.3f", m.swingOld.mean) << " deg/s at " << Hex(m.scaleOld) << ", "
      << Fixed("%.3f", m.swingOther.mean) << " at " << Hex(m.scaleOther) << "\n";
  if (m.gainPerCount)
    out << "            the gain by " << Fixed("%.5f", *m.gainPerCount * 100.0) << " % (+- "
        << Fixed("%.5f", *m.gainPerCountSe * 100.0) << ") of the gain at " << Hex(m.scaleOld)
        << "\n";
  else
    out << "            the gain per count cannot be told: no self-test swing at "
        << Hex(m.scaleOld) << "\n";
}

ExitStatus StepFailed(CliContext& context, const StepError& error, const CalibrationWords& old) {
  switch (error.kind) {
    case StepError::Kind::kNotRestored:
      context.err << "velk47120-cli: " << error.message
                  << ": set it right with reg set, or --undo with the --undo-file\n";
      return ExitStatus::kMismatch;
    case StepError::Kind::kStopped:
      context.err << "velk47120-cli: stopped; Gyro_Ofst " << Hex(old.gyroOfst) << ", Gyro_Scale "
                  << Hex(old.gyroScale) << " and Msc_Ctrl " << Hex(old.mscCtrl)
                  << " are back as they were\n";
      return StoppedBy(StopSignal(context));
    case StepError::Kind::kCardLost:
      context.err << "velk47120-cli: " << error.message << "\n";
      return ExitStatus::kNoInterface;
    default:
      context.err << "velk47120-cli: " << error.message << "; the old words are back\n";
      return ExitStatus::kUsage;
  }
}

ExitStatus Apply(const CommandCall& call) {
  CliContext& context = call.context;
  Session& session = call.session;
  Spi47120& spi = session.spi;
  const CharacteriseRequest& r = call.options.characterise;
  const std::string file = call.plan.operands[0];
  const Result<ApplyInput, std::string> input = ReadResult(file);
  if (!input) return Refused(context, input.error());

  const CalibrationWords old = ReadCalibrationWords(spi);
  const int32_t jsonOfst = SetupWord(session.reg, slot::Gyro_Ofst, input->words.gyroOfst);
  const int32_t jsonScale = SetupWord(session.reg, slot::Gyro_Scale, input->words.gyroScale);
  if ((old.gyroOfst & 0xFFFF) != jsonOfst || old.gyroScale != jsonScale)
    return Refused(context, "the chip's Gyro_Ofst " + Hex(old.gyroOfst) + " and Gyro_Scale " +
                                Hex(old.gyroScale) + " are not " + Escaped(file) + "'s " +
                                Hex(jsonOfst) + " and " + Hex(jsonScale) +
                                ", which its bias was measured with; nothing was written");

  if (r.undoFile) {
    const auto saved =
        SaveFileSafely(*r.undoFile, SetupText(session, call.chip.model, context.err));
    if (!saved) {
      SaveFailed(context, Escaped(*r.undoFile), saved.error());
      return ExitStatus::kOutputFailed;
    }
    context.err << "velk47120-cli: the configuration is saved in " << Escaped(*r.undoFile)
                << "; --undo " << Escaped(*r.undoFile) << " puts the two words back\n";
  }
  if (StopSignal(context) != 0) {
    context.err << "velk47120-cli: stopped; nothing was written to the chip\n";
    return StoppedBy(StopSignal(context));
  }

  spi.ReadRegister(slot::Smpl_Prd);
  const noise::ChipSettings chip =
      noise::ChipFromWords(spi.RegData, call.chip.sensAvg, call.chip.model);
  const StepTiming timing = TimingFor(chip);
  context.err << "velk47120-cli: measuring what a Gyro_Ofst and a Gyro_Scale count do: Gyro_Out "
                 "averaged "
              << Fixed("%.3g", 2 * timing.halfS) << " s at each of 6 settings, the old words put "
              << "back after\n"
              << std::flush;
  context.chipWritten = true;
  const AcquisitionTime time{context.clock, context.sleep,
                             [&context] { return StopSignal(context) != 0; }};
  const Result<CountMeaning, StepError> measured = MeasureCountMeaning(session, chip, time);
  if (!measured) return StepFailed(context, measured.error(), old);
  const CountMeaning& m = *measured;

  std::ostream& out = context.out;
  ShowMeaning(out, m);
  const double counts = input->bias / m.ofstStep;
  const double countsSe = std::fabs(counts) * m.ofstStepSe / std::fabs(m.ofstStep);
  out << "bias:       " << Fixed("%.5f", input->bias) << " deg/s";
  if (input->lo && input->hi)
    out << " (95 %: " << Fixed("%.5f", *input->lo) << " to " << Fixed("%.5f", *input->hi) << ")";
  out << " = " << Fixed("%.2f", counts) << " counts (+- " << Fixed("%.2f", countsSe)
      << " from the count's own)\n";
  const long newOfst = old.gyroOfst - std::lround(counts);
  if (newOfst < kGyroOfstLowest || newOfst > kGyroOfstHighest) {
    const long beyond =
        newOfst < kGyroOfstLowest ? kGyroOfstLowest - newOfst : newOfst - kGyroOfstHighest;
    return Refused(context, "the bias needs Gyro_Ofst " + std::to_string(newOfst) + ", " +
                                std::to_string(beyond) +
                                " counts beyond its reach (-2048 to 2047); the old words are "
                                "back and nothing else was written");
  }
  const int32_t ofst = static_cast<int32_t>(newOfst);
  out << "            old     new\n"
      << "Gyro_Ofst   " << Hex(old.gyroOfst) << "  " << Hex(ofst) << "  ("
      << (ofst >= old.gyroOfst ? "+" : "") << ofst - old.gyroOfst << " counts)\n"
      << "Gyro_Scale  " << Hex(old.gyroScale) << "  " << Hex(old.gyroScale)
      << "  (unchanged: the measured gain is not applied)\n";
  if (!r.yes) {
    out << "nothing written: with --yes the new words are written and read back\n" << std::flush;
    return ExitStatus::kDone;
  }
  spi.WriteRegister(slot::Gyro_Ofst, ofst & 0xFFFF);
  spi.WriteRegister(slot::Gyro_Scale, old.gyroScale);
  if (!ReadBack(call, ofst, old.gyroScale)) return ExitStatus::kMismatch;
  if (r.flash) {
    UpdateFlash(spi);
    out << "written, read back and kept in flash\n" << std::flush;
  } else {
    out << "written and read back; the chip powers on with its old words (--flash keeps the "
           "new ones)\n"
        << std::flush;
  }
  return ExitStatus::kDone;
}

}  // namespace

Result<void, std::string> CheckCharacteriseApply(const CliOptions& o, const Reg47120& table,
                                                 Plan& plan) {
  const CharacteriseRequest& r = o.characterise;
  if (r.undo) {
    if (!plan.operands.empty())
      return Unexpected("--undo F puts back the words F holds: give it without RESULT.json");
    if (r.yes || r.undoFile)
      return Unexpected(std::string(r.yes ? "--yes" : "--undo-file") +
                        " does not go with --undo, which writes the two words F holds");
    Result<SetupFile, std::string> setup = ReadSetupFile(*r.undo, table);
    if (!setup) return Unexpected(std::move(setup).error() + "; nothing was written");
    plan.setup = *setup;
    return {};
  }
  if (plan.operands.empty()) return Unexpected("characterise apply needs RESULT.json, or --undo F");
  if (r.flash && !r.yes) return Unexpected("--flash keeps the new words in flash: give --yes too");
  if (r.undoFile) {
    std::error_code error;
    if (std::filesystem::equivalent(*r.undoFile, plan.operands[0], error))
      return Unexpected("--undo-file would replace " + Escaped(plan.operands[0]) +
                        ": give another file");
    Plan target;
    target.operands = {*r.undoFile};
    if (auto usable = CheckSetupSave(o, table, target); !usable)
      return Unexpected(std::move(usable).error());
  }
  if (auto input = ReadResult(plan.operands[0]); !input)
    return Unexpected(std::move(input).error());
  return {};
}

ExitStatus CharacteriseApply(const CommandCall& call) {
  return call.options.characterise.undo ? Undo(call) : Apply(call);
}

}  // namespace velk
