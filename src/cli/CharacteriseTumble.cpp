// characterise tumble: the rate's sensitivity to gravity from six positions and back again,
// measured live (the user or a fixture turning the board) or read from a record.
#include <cstdio>

#include "characterise/Sha256.h"
#include "characterise/Tumble.h"
#include "cli/Characterise.h"
#include "cli/CharacteriseRun.h"
#include "cli/Cli.h"
#include "cli/CommandTable.h"
#include "cli/Commands.h"
#include "cli/Connection.h"
#include "cli/Options.h"
#include "cli/Plan.h"
#include "cli/PowerCommand.h"
#include "core/EchoText.h"
#include "measure/PowerCycles.h"
#include "noise/read/RunHeader.h"
#include "registers/Session.h"

#ifndef VELK_VERSION
#define VELK_VERSION "unknown"
#endif

namespace velk {

namespace {

// What the prompt shows before the first position: the axes, the sign and why flips about Z
// leave the Earth's horizontal rate out.
constexpr const char* kPicture =
    "Tumble: the board's six faces up in turn, then back in reverse.\n"
    "        +Z (the sensitive axis, out of the board's top face)\n"
    "         |   +Y\n"
    "         |  /\n"
    "         | /\n"
    "         +------ +X\n"
    "A positive rate turns counter-clockwise seen from +Z (characterise turn checks it).\n"
    "Turn the board over about Z between +X and -X and between +Y and -Y: Z keeps its\n"
    "heading, so the Earth's horizontal rate along it cancels; with Z up and down the Earth's\n"
    "vertical rate is taken out by --latitude.\n";

bool Stopped(const CliContext& context) {
  return context.stop != nullptr && *context.stop != 0;
}

std::string Label(int index) {
  return std::string(characterise::TumblePositionName(characterise::kTumbleSequence[index])) +
         (index < 6 ? " forward" : " reverse");
}

// The board to its position: the user told and Enter waited for, or the fixture moved.
Result<void, std::string> Place(const CliOptions& options, CliContext& context, int position) {
  const std::string name(characterise::TumblePositionName(position));
  const std::optional<std::string>& fixture = options.characterise.fixtureCommand;
  if (fixture && *fixture == "sim") {
    if (!context.simulatedFixture)
      return Unexpected("--fixture-command sim moves the simulated fixture: run with --simulate");
    context.simulatedFixture(position);
    return {};
  }
  if (fixture) return RunPowerCommand(*fixture, name.c_str(), "fixture command");
  if (context.in == nullptr)
    return Unexpected("nobody can answer the prompt: give --fixture-command CMD");
  context.err << "Place the board with " << name << " up, then press Enter" << std::flush;
  std::string line;
  if (!std::getline(*context.in, line))
    return Unexpected("standard input ended before the board was placed with " + name +
                      " up: run from a terminal, or give --fixture-command CMD");
  // A terminal echoes the Enter; a pipe leaves the prompt's line open.
  if (!context.errIsTerminal) context.err << "\n";
  return {};
}

class TumbleWindows final : public CycleRecorder {
 public:
  TumbleWindows(RecordOutput& output, CliContext& context, double start)
      : CycleRecorder(output, context.clock, start), context_(context) {}
  void Progress(const AcquisitionProgress& p) override {
    if (!context_.errIsTerminal) return;
    char text[80];
    std::snprintf(text, sizeof text, "\r%.0f s, %lld lost  ", p.seconds,
                  static_cast<long long>(p.lost));
    context_.err << text << std::flush;
  }

 private:
  CliContext& context_;
};

ExitStatus Report(const CliOptions& options, const Plan& plan, CliContext& context,
                  const CharacteriseRecord& record, const std::string& name,
                  std::optional<characterise::Source> source) {
  if (record.test != "tumble")
    return CharacteriseRefuse(context, name + " is a " + record.test +
                                           " record, not a tumble: give it to characterise " +
                                           record.test + " --from");
  characterise::TumbleInput in;
  in.tau0 = record.chip->samplePeriodS;
  in.latitude = options.characterise.latitude;
  if (!in.latitude) in.latitude = record.Number("latitude_deg");
  for (const RecordWindow& w : record.windows) {
    int position = -1;
    for (int p = 0; p < characterise::kTumblePositions; ++p)
      if (w.label.starts_with(characterise::TumblePositionName(p))) position = p;
    if (position < 0 || !w.whole) continue;
    in.windows.push_back({position, w.rates});
  }
  if (in.windows.empty())
    return CharacteriseRefuse(context, name + " holds no whole position window: measure again");
  characterise::Tumble tumble = characterise::AnalyseTumble(in);
  characterise::Characterisation& doc = tumble.doc;
  doc.programVersion = VELK_VERSION;
  if (source) doc.sources.insert(doc.sources.begin(), *source);
  doc.conditions.push_back({"chip", record.comment});
  doc.warnings.insert(doc.warnings.end(), record.notes.begin(), record.notes.end());
  return Deliver(options, plan, context, doc);
}

}  // namespace

ExitStatus CharacteriseTumbleFrom(const CliOptions& options, const Plan& plan,
                                  CliContext& context) {
  return ReportFrom(options, plan, context, Report);
}

ExitStatus CharacteriseTumble(const CommandCall& call) {
  Session& session = call.session;
  CliContext& context = call.context;
  const CliOptions& options = call.options;
  const CharacteriseRequest& r = options.characterise;

  int32_t smplPrd = 0;
  const std::string comment = LogComment(session, call.chip, smplPrd);
  const noise::ChipSettings chip =
      noise::ChipFromWords(smplPrd, call.chip.sensAvg, call.chip.model);
  std::vector<std::pair<std::string, std::string>> conditions = {
      {"settle_s", RecordNumber(r.settleS)}, {"average_s", RecordNumber(r.averageS)}};
  if (r.latitude) conditions.push_back({"latitude_deg", RecordNumber(*r.latitude)});
  const RecordWords words = ReadRecordWords(session.spi);
  const std::string header =
      comment +
      RecordConditionLines("tumble", conditions, words,
                           "every Gyro_Out sample of each position's average (each known by its "
                           "new-data flag), Cycle the position and pass; Supply, ADC In, Angle, "
                           "Error and Status are not read") +
      RecordColumns("Cycle");

  AppendLog* const file = call.file;
  std::optional<RecordOutput::RowWriter> writer;
  RowsTo(writer, file);
  RecordOutput output(writer ? &*writer : nullptr, context.wallClock());
  output.Lines(header);
  output.Hand();

  if (!r.fixtureCommand) context.err << kPicture << std::flush;
  const AcquisitionTime time{context.clock, context.sleep, [&] { return Stopped(context); }};
  TumbleWindows sink(output, context, context.clock.Seconds());
  bool cardLost = false;
  std::optional<std::string> failed;
  for (int i = 0; i < 12 && !Stopped(context) && !cardLost; ++i) {
    if (auto placed = Place(options, context, characterise::kTumbleSequence[i]); !placed) {
      failed = placed.error();
      break;
    }
    if (!WaitFor(time, r.settleS)) break;
    const std::string label = Label(i);
    sink.Begin(label, words);
    AcquisitionPlan plan;
    plan.period = chip.samplePeriodS;
    plan.duration = r.averageS;
    const AcquisitionOutcome outcome =
        AcquireOnOwnThread(session, plan, time, sink, context.realtime);
    if (outcome.end == AcquisitionEnd::kDone) sink.End(label, outcome);
    output.Hand();
    cardLost = outcome.end == AcquisitionEnd::kCardLost;
    if (context.errIsTerminal) context.err << "\n";
  }
  if (writer) {
    if (const auto error = writer->Finish())
      return OutputFailed(context, Escaped(*options.out), error->error);
  }
  if (cardLost) context.err << "velk47120-cli: the USB card went away; the run ends\n";
  if (failed) context.err << "velk47120-cli: " << *failed << "; the positions taken are analysed\n";
  Result<WrittenRecord, ExitStatus> written =
      WrittenBack(output, options, context, file != nullptr);
  if (!written) return written.error();
  const ExitStatus reported =
      Report(options, call.plan, context, written->record, "the run", written->source);
  return cardLost ? ExitStatus::kNoInterface : failed ? ExitStatus::kNoInterface : reported;
}

}  // namespace velk
