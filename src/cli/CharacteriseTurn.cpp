// characterise turn: the scale factor without a rate table, from N full turns by hand between
// hard stops, both ways, measured live or read from a record.
#include <algorithm>
#include <cstdio>

#include "characterise/Sha256.h"
#include "characterise/Turn.h"
#include "cli/Characterise.h"
#include "cli/CharacteriseRun.h"
#include "cli/Cli.h"
#include "cli/CommandTable.h"
#include "cli/Commands.h"
#include "cli/Connection.h"
#include "cli/Options.h"
#include "cli/Plan.h"
#include "core/EchoText.h"
#include "core/GyroRange.h"
#include "core/NumberText.h"
#include "measure/PowerCycles.h"
#include "noise/read/RunHeader.h"
#include "registers/Reg47120.h"
#include "registers/Session.h"

#ifndef VELK_VERSION
#define VELK_VERSION "unknown"
#endif

namespace velk {

namespace {

// Gyro_Out's largest code.
constexpr double kCodeLimit = 8191.0;
// Where the element stops following, of the nominal full scale.
constexpr double kElementHeadroom = 1.1;
// The still time the prompts ask for each side of the turn (s): a margin over the 3 s needed.
constexpr double kStillAsked = 4.0;

bool Stopped(const CliContext& context) {
  return context.stop != nullptr && *context.stop != 0;
}

int TurnsOf(const CliOptions& options, const CharacteriseRecord* record) {
  if (options.characterise.turns) return *options.characterise.turns;
  if (record != nullptr)
    if (const std::optional<double> n = record->Number("turns")) return static_cast<int>(*n);
  return 1;
}

// Still, a turn of about 4.5 s a turn at a brisk hand's 150 deg/s peak, and still again.
double DefaultDuration(int turns) {
  return 10.0 + 5.0 * turns;
}

// Each sample a row (elapsed the host's time of the read, Sample its number), and what the
// user is to do now on the terminal.
class TurnRows final : public AcquisitionSink {
 public:
  TurnRows(RecordOutput& output, CliContext& context, std::string label, double offset,
           double duration, std::string turning)
      : output_(output),
        context_(context),
        label_(std::move(label)),
        offset_(offset),
        duration_(duration),
        turning_(std::move(turning)) {}

  bool Take(const AcquiredSample& s) override {
    if (output_.Failed()) return false;
    const double elapsed = offset_ + s.host;
    output_.Lines(RecordRow(output_.Utc(elapsed), elapsed, FormatGeneral(s.rate), s.temp,
                            label_ + "," + std::to_string(s.number)));
    if (s.temp) output_.Hand();
    return true;
  }
  void Progress(const AcquisitionProgress& p) override {
    const int phase = p.seconds < kStillAsked ? 0 : p.seconds < duration_ - kStillAsked ? 1 : 2;
    if (phase == phase_) return;
    phase_ = phase;
    static constexpr const char* kSay[] = {"hold still", "", "hold still against the stop"};
    context_.err << "velk47120-cli: " << (phase == 1 ? "turn now: " + turning_ : kSay[phase])
                 << "\n"
                 << std::flush;
  }
  void Silence(double seconds) override { SayNoNewSample(context_, seconds); }

 private:
  RecordOutput& output_;
  CliContext& context_;
  std::string label_;
  double offset_, duration_;
  std::string turning_;
  int phase_ = -1;
};

ExitStatus Report(const CliOptions& options, const Plan& plan, CliContext& context,
                  const CharacteriseRecord& record, const std::string& name,
                  std::optional<characterise::Source> source) {
  if (record.test != "turn")
    return CharacteriseRefuse(context, name + " is a " + record.test +
                                           " record, not a turn: give it to characterise " +
                                           record.test + " --from");
  characterise::TurnInput in;
  in.turnsN = TurnsOf(options, &record);
  in.lsb = record.chip->lsbDps;
  in.limit = std::min(kCodeLimit * in.lsb, kElementHeadroom * record.chip->rangeDps);
  in.nominalPeriod = record.chip->samplePeriodS;
  in.stopError = options.characterise.stopError;
  for (const RecordWindow& w : record.windows) {
    if (!w.whole) continue;
    characterise::TurnRecord t;
    t.number = w.numbers;
    t.time = w.times;
    t.rate = w.rates;
    if (w.angles.size() >= 2) {
      t.angleBefore = characterise::AngleReading{w.angles.front().first, w.angles.front().second};
      t.angleAfter = characterise::AngleReading{w.angles.back().first, w.angles.back().second};
    }
    in.turns.push_back(std::move(t));
  }
  if (in.turns.empty())
    return CharacteriseRefuse(context, name + " holds no whole turn: record the turn again");
  Result<characterise::Turn, std::string> turn = characterise::AnalyseTurn(in);
  if (!turn) return CharacteriseRefuse(context, turn.error());
  characterise::Characterisation& doc = turn->doc;
  doc.programVersion = VELK_VERSION;
  if (source) doc.sources.insert(doc.sources.begin(), *source);
  if (record.words)
    doc.words = characterise::ChipWords{static_cast<uint16_t>(record.words->gyroOfst),
                                        static_cast<uint16_t>(record.words->gyroScale)};
  doc.conditions.push_back({"chip", record.comment});
  doc.warnings.insert(doc.warnings.end(), record.notes.begin(), record.notes.end());
  return Deliver(options, plan, context, doc);
}

}  // namespace

ExitStatus CharacteriseTurnFrom(const CliOptions& options, const Plan& plan, CliContext& context) {
  return ReportFrom(options, plan, context, Report);
}

ExitStatus CharacteriseTurn(const CommandCall& call) {
  Session& session = call.session;
  CliContext& context = call.context;
  const CliOptions& options = call.options;
  const int turns = TurnsOf(options, nullptr);
  const double duration = options.duration ? *options.duration : DefaultDuration(turns);

  int32_t smplPrd = 0;
  const std::string comment = LogComment(session, call.chip, smplPrd);
  const noise::ChipSettings chip =
      noise::ChipFromWords(smplPrd, call.chip.sensAvg, call.chip.model);
  if (call.chip.model == 47121)
    context.err << "velk47120-cli: a 47121 reads at most " << FormatGeneral(chip.rangeDps)
                << " deg/s, and a hand turn passes 150 deg/s easily: turn slowly, or measure "
                   "on a 47120 at 320 deg/s\n";
  else if (RangePosition(call.chip.sensAvg) != 2)
    context.err << "velk47120-cli: the chip is on the " << FormatGeneral(chip.rangeDps)
                << " deg/s range, and a hand turn passes 150 deg/s easily: the 320 deg/s range "
                   "keeps it from clipping (Sens_Avg's range bits 0x400, with reg set "
                   "Sens_Avg)\n";
  const RecordWords words = ReadRecordWords(session.spi);
  const std::string header =
      comment +
      RecordConditionLines(
          "turn", {{"turns", std::to_string(turns)}, {"duration_s", RecordNumber(duration)}}, words,
          "every Gyro_Out sample (each known by its new-data flag), elapsed the host's time of "
          "its read, Sample the chip's number for it, Cycle the turn; Angle_Out read while "
          "still before and after; Supply, ADC In, Error and Status are not read") +
      RecordColumns("Cycle,Sample");

  AppendLog* const file = call.file;
  std::optional<RecordOutput::RowWriter> writer;
  RowsTo(writer, file);
  RecordOutput output(writer ? &*writer : nullptr, context.wallClock());
  output.Lines(header);
  output.Hand();

  const double start = context.clock.Seconds();
  const AcquisitionTime time{context.clock, context.sleep, [&] { return Stopped(context); }};
  const std::string count = std::to_string(turns) + (turns == 1 ? " full turn " : " full turns ");
  const struct {
    const char* label;
    std::string turning;
  } ways[] = {{"ccw", count + "counter-clockwise seen from +Z, to the stop"},
              {"cw", count + "clockwise seen from +Z, back to the stop"}};
  bool cardLost = false;
  for (int i = 0; i < 2 && !Stopped(context) && !cardLost; ++i) {
    context.err << "Turn " << i + 1 << " of 2: hold the board still against its stop; "
                << kStillAsked << " s after the start, turn it " << ways[i].turning
                << ", and hold it still there until the end (" << FormatGeneral(duration)
                << " s in all).\n";
    if (context.in != nullptr) {
      context.err << "Press Enter to start" << std::flush;
      std::string line;
      if (!std::getline(*context.in, line)) break;
      if (!context.errIsTerminal) context.err << "\n";
    }
    const auto angle = [&] {
      output.Lines(WindowAngleLine(ways[i].label, session.spi.ReadRegister(slot::Angle_Out).value,
                                   context.clock.Seconds() - start));
    };
    output.Lines(WindowStartLine(ways[i].label, words));
    angle();
    // Under --simulate a simulated hand turns the board (5 s from now); null on hardware.
    if (context.simulatedTurn) context.simulatedTurn(i == 0 ? turns : -turns);
    AcquisitionPlan plan;
    plan.period = chip.samplePeriodS;
    plan.duration = duration;
    TurnRows rows(output, context, ways[i].label, context.clock.Seconds() - start, duration,
                  ways[i].turning);
    const AcquisitionOutcome outcome =
        AcquireOnOwnThread(session, plan, time, rows, context.realtime);
    cardLost = outcome.end == AcquisitionEnd::kCardLost;
    if (outcome.end == AcquisitionEnd::kDone) {
      angle();
      output.Lines(WindowEndLine(ways[i].label, outcome.taken, outcome.lost));
    }
    output.Hand();
  }
  if (writer) {
    if (const auto error = writer->Finish())
      return OutputFailed(context, Escaped(*options.out), error->error);
  }
  if (cardLost) context.err << "velk47120-cli: the USB card went away; the run ends\n";
  Result<WrittenRecord, ExitStatus> written =
      WrittenBack(output, options, context, file != nullptr);
  if (!written) return written.error();
  const ExitStatus reported =
      Report(options, call.plan, context, written->record, "the run", written->source);
  return cardLost ? ExitStatus::kNoInterface : reported;
}

}  // namespace velk
