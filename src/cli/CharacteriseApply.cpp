// characterise apply: the Gyro_Ofst that takes out a measured bias and the Gyro_Scale that
// takes out a measured scale error, from what a count does on this chip, measured first; and
// --undo, the old words back.
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

// A measured figure: its value and 95 % interval.
struct Measured {
  double value = 0.0;
  std::optional<double> lo, hi;
};

// What a result asks of the words: the bias to take out, the gain's error against nominal
// (a share: 0.01 is 1 % too much gain), or both.
struct ApplyInput {
  std::optional<Measured> bias, gainError;
  characterise::ChipWords words;
};

constexpr double kZ95 = 1.959964;

Result<ApplyInput, std::string> ReadResult(const std::string& file) {
  const Result<std::string, std::string> text = ReadSmallText(file);
  if (!text) return Unexpected(text.error());
  const std::string name = Escaped(file);
  const auto doc = characterise::ReadCharacteriseJson(*text);
  if (!doc) return Unexpected(name + " " + doc.error());
  ApplyInput input;
  std::string unvalued;
  const auto take = [&](const char* figure, double scale, double shift) -> std::optional<Measured> {
    const characterise::Figure* f = doc->Find(figure);
    if (f == nullptr) return std::nullopt;
    if (!f->value) {
      unvalued += std::string(unvalued.empty() ? "" : "; ") + figure + ": " + f->reason;
      return std::nullopt;
    }
    const auto in = [&](std::optional<double> v) {
      return v ? std::optional<double>((*v - shift) * scale) : std::nullopt;
    };
    return Measured{(*f->value - shift) * scale, in(f->lo), in(f->hi)};
  };
  input.bias = take("bias", 1.0, 0.0);
  input.gainError = take("scale_factor_error", 0.01, 0.0);
  if (!input.gainError) input.gainError = take("relative_scale_factor", 1.0, 1.0);
  if (!input.bias && !input.gainError)
    return Unexpected(
        name +
        (unvalued.empty() ? " holds no bias, scale_factor_error or relative_scale_factor figure"
                          : " has no value to apply (" + unvalued + ")") +
        ": characterise tempco measures the bias, characterise scale or turn the scale error");
  if (!doc->words)
    return Unexpected(name +
                      " does not say which Gyro_Ofst and Gyro_Scale it was measured with; "
                      "save it again from characterise --json");
  input.words = *doc->words;
  return input;
}

// The 1-sigma error of a figure from its 95 % interval; 0 when it has none.
double SigmaOf(const Measured& m) {
  return m.lo && m.hi ? (*m.hi - *m.lo) / (2.0 * kZ95) : 0.0;
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
                                ", which it was measured with; nothing was written");

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

  // The gain: the word that brings it to nominal, from the gain a count moves on this chip.
  // Gain after = gain now x (1 + g x counts), so 1 + e becomes 1 at counts = -e / (1 + e) / g.
  int32_t scale = old.gyroScale;
  double gainRatio = 1.0;
  if (input->gainError) {
    if (!m.gainPerCount || *m.gainPerCount == 0.0)
      return Refused(context,
                     "the gain per Gyro_Scale count cannot be told on this chip, so the "
                     "scale error cannot be taken out; the old words are back and "
                     "nothing else was written");
    const double e = input->gainError->value, g = *m.gainPerCount;
    const double counts = -e / (1.0 + e) / g;
    const double countsSe = std::fabs(counts) * *m.gainPerCountSe / std::fabs(g);
    const double resultSe = SigmaOf(*input->gainError) / ((1.0 + e) * (1.0 + e) * std::fabs(g));
    out << "scale:      " << Fixed("%+.5f", e * 100.0) << " % of nominal";
    if (input->gainError->lo && input->gainError->hi)
      out << " (95 %: " << Fixed("%+.5f", *input->gainError->lo * 100.0) << " to "
          << Fixed("%+.5f", *input->gainError->hi * 100.0) << ")";
    out << " = " << Fixed("%.2f", -counts) << " counts (+- " << Fixed("%.2f", countsSe)
        << " from the count's own, +- " << Fixed("%.2f", resultSe) << " from the result's)\n";
    const long newScale = old.gyroScale + std::lround(counts);
    if (newScale < 1 || newScale > kGyroScaleHighest)
      return Refused(context, "the scale error needs Gyro_Scale " + std::to_string(newScale) +
                                  ", beyond its reach (1 to 4095); the old words are back and "
                                  "nothing else was written");
    scale = static_cast<int32_t>(newScale);
    gainRatio = 1.0 + g * static_cast<double>(scale - old.gyroScale);
  }

  // The bias: Gyro_Ofst adds after the gain, but the element's own bias passes through it, so
  // with a new gain the part not from Gyro_Ofst scales with it.
  int32_t ofst = old.gyroOfst;
  if (input->bias) {
    const Measured& bias = *input->bias;
    const double counts = bias.value / m.ofstStep;
    const double countsSe = std::fabs(counts) * m.ofstStepSe / std::fabs(m.ofstStep);
    out << "bias:       " << Fixed("%.5f", bias.value) << " deg/s";
    if (bias.lo && bias.hi)
      out << " (95 %: " << Fixed("%.5f", *bias.lo) << " to " << Fixed("%.5f", *bias.hi) << ")";
    out << " = " << Fixed("%.2f", counts) << " counts (+- " << Fixed("%.2f", countsSe)
        << " from the count's own)\n";
    const double exact = (old.gyroOfst - counts) * gainRatio;
    if (gainRatio != 1.0)
      out << "            at the new gain: Gyro_Ofst " << Fixed("%.2f", exact) << " (not "
          << Fixed("%.2f", old.gyroOfst - counts) << ")\n";
    const long newOfst = std::lround(exact);
    if (newOfst < kGyroOfstLowest || newOfst > kGyroOfstHighest) {
      const long beyond =
          newOfst < kGyroOfstLowest ? kGyroOfstLowest - newOfst : newOfst - kGyroOfstHighest;
      return Refused(context, "the bias needs Gyro_Ofst " + std::to_string(newOfst) + ", " +
                                  std::to_string(beyond) +
                                  " counts beyond its reach (-2048 to 2047); the old words are "
                                  "back and nothing else was written");
    }
    ofst = static_cast<int32_t>(newOfst);
  }

  const auto row = [&out](const char* name, int32_t from, int32_t to, const char* unchanged) {
    out << name << Hex(from) << "  " << Hex(to) << "  ";
    if (to == from && unchanged != nullptr)
      out << "(unchanged: " << unchanged << ")\n";
    else
      out << "(" << (to >= from ? "+" : "") << to - from << " counts)\n";
  };
  out << "            old     new\n";
  row("Gyro_Ofst   ", old.gyroOfst, ofst, input->bias ? nullptr : "the result has no bias");
  row("Gyro_Scale  ", old.gyroScale, scale,
      input->gainError ? nullptr : "the result has no scale error");
  if (!r.yes) {
    out << "nothing written: with --yes the new words are written and read back\n" << std::flush;
    return ExitStatus::kDone;
  }
  if (input->bias) spi.WriteRegister(slot::Gyro_Ofst, ofst & 0xFFFF);
  if (input->gainError) spi.WriteRegister(slot::Gyro_Scale, scale);
  if (!ReadBack(call, ofst, scale)) return ExitStatus::kMismatch;
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
