#include "cli/CommandTable.h"

#include <algorithm>

#include "cli/Characterise.h"
#include "cli/CharacteriseApply.h"
#include "cli/Commands.h"
#include "cli/Noise.h"
#include "cli/Registers.h"
#include "cli/Setup.h"

namespace velk {

namespace {

// The help of each word after its Usage lines, one source line an output line.
constexpr std::string_view kIdentifyHelp =
    "Prints the product, firmware revision, revision date, flash cycles and interface; with\n"
    "--json as one JSON object.\n";

constexpr std::string_view kReadHelp =
    "One reading of supply, gyro, ADC in, temperature and angle in engineering units, each\n"
    "with its new-data and error flag, and the Status word.\n";

constexpr std::string_view kLogHelp =
    "One row per cycle: UTC time, seconds since the start (6 decimals), supply, gyro, ADC in,\n"
    "temp, angle, new, error, status. A comment line (\"# \") names the chip, the interface and\n"
    "the settings, ending in \"Smpl_Prd=0x01, Sens_Avg=0x0402, model 47120\" as read; a header\n"
    "line with units follows.\n"
    "  --count N          stop after N rows\n"
    "  --duration S       stop after S seconds (with --count, whichever comes first)\n"
    "  --interval MS      from the start of one row to the next, default 100; 0 = at once\n"
    "  --out FILE         append to FILE instead of standard output (- is standard output)\n"
    "  --format csv|tsv   comma- or tab-separated, default csv\n"
    "  --reconnect-wait S when the USB card goes away, wait up to S seconds for the same\n"
    "                     card and chip to come back, then go on after a new comment line;\n"
    "                     default 0 = end at once\n"
    "Without --count or --duration it runs until Ctrl-C or SIGTERM, which end it after the\n"
    "current row with status 0. A chip that answers nothing (asleep after a power-down) gives\n"
    "no rows; after 128 s of that the log ends with status 3. A USB card that goes away (and\n"
    "is not back in time, or comes back as another card or chip) ends it with status 2; the\n"
    "rows taken are kept.\n";

constexpr std::string_view kRegHelp =
    "A register by its name in the register table or its own address in hex. Prints\n"
    "\"Name 0xAA 0xVVVV\". VALUE is the raw word, 0x hex or decimal, 0 to 0xFFFF (0 to 0xFF\n"
    "for a one-byte register); only writable registers are written.\n"
    "  --factory          also the factory registers after Command\n";

constexpr std::string_view kSetupHelp =
    "save writes the user configuration (Gyro_Ofst, Gyro_Scale, the alarms, Aux_DAC,\n"
    "Gpio_Ctrl, Msc_Ctrl without its self-test bits, Smpl_Prd, Sens_Avg) to a text file with\n"
    "the product and date. load checks the whole file first and writes nothing when any line\n"
    "is wrong; then it writes the registers and reads them back.\n";

constexpr std::string_view kNoiseHelp =
    "The gyro's noise: the Allan deviation with its intervals, angle random walk N, bias\n"
    "instability B and rate random walk K fitted with their intervals, the classic readings,\n"
    "checks of the sampling and a verdict against datasheet limits.\n"
    "FILE, read without touching the chip, is a log (\"log\" writes one), an acquisition file\n"
    "or the window's datalog (which needs --tau0); a file of several runs gives its last unless\n"
    "--run names one; - reads standard input.\n"
    "Without FILE it acquires for --duration seconds: every sample of Gyro_Out at the chip's\n"
    "sample period, each known by its new-data flag, and Temp_Out once a second; Ctrl-C ends\n"
    "it early and the samples taken are analysed. A sample the host was too late for counts as\n"
    "lost and is marked missing: on the real clock losses are reported, not promised away.\n"
    "Another program reading the chip meanwhile steals its new-data flags, and so samples.\n"
    "  --duration S        acquire for S seconds\n"
    "  --out FILE          append the samples to FILE as an acquisition file (not -)\n"
    "  --reconnect-wait S  when the USB card goes away, wait up to S seconds for the same card\n"
    "                      and chip to come back and go on after a gap (a new segment, the\n"
    "                      samples numbered on); not back: status 2 after the analysis;\n"
    "                      default 0 = end at once\n"
    "  --run K             the K-th run of the file, from 1\n"
    "  --tau0 S            seconds between samples, over the file's time column\n"
    "  --skip S            leave out the first S seconds (warm-up)\n"
    "  --non-overlapping   the non-overlapping estimate (default: overlapping)\n"
    "  --tau octave|decade|N  the table's taus: octaves (default), 1-2-5, or N a decade\n"
    "  --terms auto|nbk|qnbkr  the terms considered: all five, Q and R shown only when\n"
    "                      detected (default); N, B, K; or all five shown\n"
    "  --fit-from TAU      fit from TAU seconds (default 20 averaging windows)\n"
    "  --confidence 68.3|95  the intervals shown, default 68.3 %\n"
    "  --limit-arw X       limit for N in deg/sqrt(h)\n"
    "  --limit-bi X        limit for B in deg/h\n"
    "  --limit-rrw X       limit for K in deg/h/sqrt(h)\n"
    "  --bi-convention ieee|min  judge the fitted B (default) or the minimum / 0.664\n"
    "  --json              the results as JSON (schema velk47120-noise/2)\n"
    "  --table F.csv       save the table of taus\n"
    "  --kalibr F.yaml     save the gyro's noise density, random walk and update rate\n"
    "For --table or --kalibr, - is standard output; the report then goes to standard error.\n"
    "A term is claimed only when the data show it: dropping it must raise the fit's chi-square\n"
    "by over 5.41; a term not detected gets no value, only its 95 % upper limit.\n"
    "With limits the verdict takes the 95 % ends: pass when the upper end (of the interval, or\n"
    "the upper limit) is within the limit, fail only when a detected term's lower end is beyond\n"
    "it, else inconclusive (also when nothing could be fitted); exit status 5 for fail and 6\n"
    "for inconclusive.\n";

constexpr std::string_view kCharacteriseHelp =
    "The datasheet's bias figures measured on the chip, each with its 95 % interval and, given\n"
    "a limit, a verdict: pass when the interval is within it, fail when it is beyond, else\n"
    "inconclusive (exit status 5 and 6). A signed figure is judged by its size.\n"
    "repeatability: --cycles K power-down cycles (default 12), each powered down --off S\n"
    "  (0.5 to 127.5 in 0.5 s steps, default 30), then settled --settle S (default 10, at\n"
    "  least 5 averaging windows) and averaged --average S (default 60). The wake-to-wake\n"
    "  figure keeps the die warm and the registers set, so it understates a power cycle;\n"
    "  --power-command CMD runs \"CMD off\" and \"CMD on\" (sim: the simulated supply) and\n"
    "  gives the turn-on figure. --tempco F.json corrects each bias to 25 degC.\n"
    "tempco: the bias against Temp_Out over a temperature ramp: --duration S while a chamber\n"
    "  ramps, or --from a record.\n"
    "apply: measures what a Gyro_Ofst and a Gyro_Scale count do on this chip (Gyro_Out\n"
    "  averaged at Gyro_Ofst 100 counts either side and under both self-tests at two\n"
    "  Gyro_Scale words, the old words put back after), then the Gyro_Ofst that takes out the\n"
    "  bias of RESULT.json and the Gyro_Scale that takes out its scale_factor_error or\n"
    "  relative_scale_factor (scale, turn); written only with --yes and read back, to flash\n"
    "  only with --flash.\n"
    "  The chip must hold the words RESULT.json was measured with. --undo-file F saves the\n"
    "  configuration first (a setup file); --undo F puts its Gyro_Ofst and Gyro_Scale back.\n"
    "scale: the output on a rate table's plateaus fitted by a line: scale_factor (LSB/(deg/s)),\n"
    "  its error against the range's nominal, nonlinearity (largest residual, % FS) and\n"
    "  asymmetry. --rates lists deg/s (default 0 and +-1 to 95 % of full scale, a zero every\n"
    "  four). --table-command CMD runs \"CMD RATE\" before each plateau (sim: the simulated\n"
    "  table) and holds it --dwell S (default 10); --duration S records while someone runs the\n"
    "  table and the plateaus are found (--plateau-sigmas, --plateau-spread, --plateau-min).\n"
    "turn: relative_scale_factor (1), the angle of --turns N full turns (1) by hand between\n"
    "  hard stops over N x 360, counter-clockwise and back: the bias taken from the still\n"
    "  windows (3 s at least each side) and the period from the host's times; the interval\n"
    "  counts the noise, the bias, --stop-error DEG (0.3, rms of each rest at a stop), the\n"
    "  period and the quantisation. Each turn records --duration S (default 10 + 5 N). Use the\n"
    "  320 deg/s range: a sample near the output's limit refuses the turn.\n"
    "tumble: g_sensitivity_x, _y and _z (deg/s/g) from the board with +X -X +Y -Y +Z -Z up,\n"
    "  then in reverse, each settled --settle S (10) and averaged --average S (60). The\n"
    "  terminal prompts each position; --fixture-command CMD runs \"CMD +X\" and so on instead\n"
    "  (sim: the simulated fixture). --latitude DEG takes the Earth's vertical rate out of Z.\n"
    "report: the figures of characterise and noise JSON files in one table, judged against the\n"
    "  limits given to it, with each file's SHA-256; --html F a one-page report that prints on\n"
    "  A4 (- for standard output), --json the table as schema velk47120-report/1.\n"
    "  --out FILE          the record of a live run (the log's columns and the cycle)\n"
    "  --from FILE         analyse a record --out wrote instead of measuring\n"
    "  --json              the figures as JSON (schema velk47120-characterise/1)\n"
    "  --limits FILE       \"name = value\" a line, # comments; --limit-NAME X overrides\n"
    "  --limit-NAME X      a figure's limit in its unit, NAME as bias-tempco\n"
    "Ctrl-C ends a live run early; the record stays whole and what was taken is analysed.\n";

std::vector<std::string_view> WithLimits(std::vector<std::string_view> options) {
  for (std::string_view limit : CharacteriseLimitOptions()) options.push_back(limit);
  return options;
}

}  // namespace

const std::vector<CliCommand> kCliCommands = {
    {.word = "identify",
     .options = {"--json"},
     .summary = "the chip and the interface",
     .usageOptions = " [--json]",
     .help = kIdentifyHelp,
     .run = Identify},
    {.word = "read",
     .options = {"--json"},
     .summary = "one reading of the outputs and Status",
     .usageOptions = " [--json]",
     .help = kReadHelp,
     .run = Read},
    {.word = "log",
     .options = {"--count", "--duration", "--interval", "--out", "--format", "--reconnect-wait"},
     .summary = "one row per cycle, to standard output or a file",
     .usageOptions = " [--count N] [--duration SECONDS] [--interval MS] [--out FILE]\n"
                     "                         [--format csv|tsv] [--reconnect-wait S]",
     .help = kLogHelp,
     .endsOnStop = true,
     .run = Log},
    {.word = "reg",
     .subcommand = "get",
     .operands = "NAME|ADDRESS",
     .operandCount = 1,
     .options = {"--factory"},
     .summary = "read one register",
     .help = kRegHelp,
     .check = CheckRegGet,
     .run = RegGet},
    {.word = "reg",
     .subcommand = "set",
     .operands = "NAME|ADDRESS VALUE",
     .operandCount = 2,
     .options = {"--factory"},
     .summary = "write one register",
     .check = CheckRegSet,
     .run = RegSet},
    {.word = "reg",
     .subcommand = "dump",
     .options = {"--json", "--factory"},
     .summary = "every readable register",
     .usageOptions = " [--json]",
     .run = RegDump},
    {.word = "setup",
     .subcommand = "save",
     .operands = "FILE",
     .operandCount = 1,
     .summary = "save the user configuration",
     .help = kSetupHelp,
     .check = CheckSetupSave,
     .run = SetupSave},
    {.word = "setup",
     .subcommand = "load",
     .operands = "FILE",
     .operandCount = 1,
     .summary = "check, write and confirm a saved setup",
     .check = CheckSetupLoad,
     .run = SetupLoad},
    {.word = "noise",
     .operands = "FILE|-",
     .operandCount = 1,
     .optionalOperands = 1,
     .options = {"--json", "--duration", "--out", "--reconnect-wait", "--run", "--tau0", "--skip",
                 "--non-overlapping", "--tau", "--terms", "--fit-from", "--confidence",
                 "--limit-arw", "--limit-bi", "--limit-rrw", "--bi-convention", "--table",
                 "--kalibr"},
     .summary = "Allan deviation, noise terms and a verdict",
     .usageOptions = " [--duration S [--out FILE] [--reconnect-wait S]]\n"
                     "                         [--run K] [--tau0 S] [--skip S] [--json]\n"
                     "                         [analysis options]",
     .help = kNoiseHelp,
     .check = CheckNoise,
     .run = NoiseAcquire,
     .runOffline = NoiseFile},
    {.word = "characterise",
     .subcommand = "repeatability",
     .options = WithLimits({"--json", "--out", "--from", "--cycles", "--off", "--settle",
                            "--average", "--power-command", "--tempco", "--limits"}),
     .summary = "bias repeatability over power-down cycles",
     .usageOptions = " [--cycles K] [--off S] [--settle S]\n"
                     "                         [--average S] [--power-command CMD|sim]\n"
                     "                         [--tempco F.json] [--out FILE | --from FILE]",
     .help = kCharacteriseHelp,
     .endsOnStop = true,
     .check = CheckCharacterise,
     .run = CharacteriseRepeatability,
     .runOffline = CharacteriseRepeatabilityFrom,
     .offlineOption = "--from"},
    {.word = "characterise",
     .subcommand = "tempco",
     .options = WithLimits({"--json", "--out", "--from", "--duration", "--limits"}),
     .summary = "bias over temperature",
     .usageOptions = " [--duration S [--out FILE] | --from FILE]",
     .endsOnStop = true,
     .check = CheckCharacterise,
     .run = CharacteriseTempco,
     .runOffline = CharacteriseTempcoFrom,
     .offlineOption = "--from"},
    {.word = "characterise",
     .subcommand = "scale",
     .options = WithLimits({"--json", "--out", "--from", "--duration", "--limits", "--rates",
                            "--table-command", "--dwell", "--plateau-sigmas", "--plateau-spread",
                            "--plateau-min"}),
     .summary = "scale factor, nonlinearity and asymmetry on a rate table",
     .usageOptions = " [--rates R,R,...] [--table-command CMD|sim [--dwell S]\n"
                     "                         | --duration S] [--out FILE | --from FILE]",
     .endsOnStop = true,
     .check = CheckCharacterise,
     .run = CharacteriseScale,
     .runOffline = CharacteriseScaleFrom,
     .offlineOption = "--from"},
    {.word = "characterise",
     .subcommand = "turn",
     .options = WithLimits(
         {"--json", "--out", "--from", "--duration", "--turns", "--stop-error", "--limits"}),
     .summary = "the scale factor from full turns by hand",
     .usageOptions = " [--turns N] [--stop-error DEG] [--duration S]\n"
                     "                         [--out FILE | --from FILE]",
     .endsOnStop = true,
     .check = CheckCharacterise,
     .run = CharacteriseTurn,
     .runOffline = CharacteriseTurnFrom,
     .offlineOption = "--from"},
    {.word = "characterise",
     .subcommand = "tumble",
     .options = WithLimits({"--json", "--out", "--from", "--settle", "--average", "--latitude",
                            "--fixture-command", "--limits"}),
     .summary = "sensitivity to gravity over six positions and back",
     .usageOptions = " [--latitude DEG] [--fixture-command CMD|sim]\n"
                     "                         [--settle S] [--average S] [--out FILE | --from "
                     "FILE]",
     .endsOnStop = true,
     .check = CheckCharacterise,
     .run = CharacteriseTumble,
     .runOffline = CharacteriseTumbleFrom,
     .offlineOption = "--from"},
    {.word = "characterise",
     .subcommand = "apply",
     .operands = "RESULT.json",
     .operandCount = 1,
     .optionalOperands = 1,
     .options = {"--yes", "--flash", "--undo-file", "--undo"},
     .summary = "calibration words from a result, measured first",
     .usageOptions = " [--yes [--flash]] [--undo-file F]\n"
                     "                         | --undo F [--flash]",
     .check = CheckCharacteriseApply,
     .run = CharacteriseApply},
    {.word = "characterise",
     .subcommand = "report",
     .operands = "JSON...",
     .operandCount = 32,
     .optionalOperands = 31,
     .options = WithLimits({"--json", "--limits", "--html"}),
     .summary = "the datasheet table of results, with an HTML page",
     .usageOptions = " [--limits FILE] [--html F] [--json]",
     .check = CheckCharacterise,
     .runOffline = CharacteriseReport},
};

std::string CliCommand::Name() const {
  std::string name(word);
  if (!subcommand.empty()) name.append(" ").append(subcommand);
  return name;
}

std::string CliCommand::Synopsis() const {
  std::string synopsis = Name();
  if (operands.empty()) return synopsis;
  // The optional operands are the last words of `operands`, bracketed together.
  std::vector<std::string_view> names;
  for (size_t start = 0; start <= operands.size();) {
    const size_t end = std::min(operands.find(' ', start), operands.size());
    names.push_back(operands.substr(start, end - start));
    start = end + 1;
  }
  // "JSON..." stands for up to operandCount of them, the first required.
  const size_t required = operandCount > names.size()
                              ? names.size()
                              : names.size() - std::min(optionalOperands, names.size());
  for (size_t i = 0; i < names.size(); ++i)
    synopsis.append(i == required ? " [" : " ").append(names[i]);
  if (required < names.size()) synopsis.append("]");
  return synopsis;
}

bool CliCommand::Offline(size_t operandsGiven, const std::vector<std::string>& optionsGiven) const {
  if (runOffline == nullptr) return false;
  if (!offlineOption.empty())
    return std::find(optionsGiven.begin(), optionsGiven.end(), offlineOption) != optionsGiven.end();
  return run == nullptr || operandsGiven == operandCount;
}

}  // namespace velk
