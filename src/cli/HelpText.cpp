#include "cli/HelpText.h"

namespace velk {

namespace {

const char* const kCommon =
    "Options for every command:\n"
    "  --simulate[=47121]       the built-in simulated sensor (or VELK47120_SIMULATE=1|47121)\n"
    "  --interface parallel|usb the interface to use\n"
    "  --port ADDR              parallel port address in hex, such as 378 or 0x378\n"
    "  --card N                 USB SPI card Ezusb-N, N from 0 to 3\n"
    "  --config FILE            read the window's settings from FILE\n"
    "  -h, --help, --version\n"
    "Without them the interface and port are those of the window's configuration,\n"
    "Velk47120.cfg, found where the window finds it; the tool never writes that file.\n";

const char* const kExit =
    "Exit status:\n"
    "  0  done\n"
    "  1  bad usage, or output that could not be written (the message says which)\n"
    "  2  no interface, no hardware or no permission\n"
    "  3  no chip answering (Product reads neither 47120 nor 47121)\n"
    "  4  a read-back did not match\n";

struct CommandHelp {
  const char* name;
  const char* text;
};

const CommandHelp kCommands[] = {
    {"identify",
     "Usage: velk47120-cli identify [--json]\n"
     "Prints the product, firmware revision, revision date, flash cycles and interface; with\n"
     "--json as one JSON object.\n"},
    {"read",
     "Usage: velk47120-cli read [--json]\n"
     "One reading of supply, gyro, ADC in, temperature and angle in engineering units, each\n"
     "with its new-data and error flag, and the Status word.\n"},
    {"log",
     "Usage: velk47120-cli log [--count N] [--duration SECONDS] [--interval MS] [--out FILE]\n"
     "                         [--format csv|tsv]\n"
     "One row per cycle: UTC time, seconds since the start, supply, gyro, ADC in, temp, angle,\n"
     "new, error, status. Comment lines start with \"# \"; a header line with units follows.\n"
     "  --count N          stop after N rows\n"
     "  --duration S       stop after S seconds (with --count, whichever comes first)\n"
     "  --interval MS      from the start of one row to the next, default 100; 0 = at once\n"
     "  --out FILE         append to FILE instead of standard output (- is standard output)\n"
     "  --format csv|tsv   comma- or tab-separated, default csv\n"
     "Without --count or --duration it runs until Ctrl-C or SIGTERM, which end it after the\n"
     "current row with status 0. A chip that answers nothing (asleep after a power-down) gives\n"
     "no rows; after 128 s of that the log ends with status 3.\n"},
    {"reg",
     "Usage: velk47120-cli reg get NAME|ADDRESS\n"
     "       velk47120-cli reg set NAME|ADDRESS VALUE\n"
     "       velk47120-cli reg dump [--json]\n"
     "A register by its name in the register table or its own address in hex. Prints\n"
     "\"Name 0xAA 0xVVVV\". VALUE is the raw word, 0x hex or decimal, 0 to 0xFFFF (0 to 0xFF\n"
     "for a one-byte register); only writable registers are written.\n"
     "  --factory          also the factory registers after Command\n"},
    {"setup",
     "Usage: velk47120-cli setup save FILE\n"
     "       velk47120-cli setup load FILE\n"
     "save writes the user configuration (Gyro_Ofst, Gyro_Scale, the alarms, Aux_DAC,\n"
     "Gpio_Ctrl, Msc_Ctrl without its self-test bits, Smpl_Prd, Sens_Avg) to a text file with\n"
     "the product and date. load checks the whole file first and writes nothing when any line\n"
     "is wrong; then it writes the registers and reads them back.\n"},
};

}  // namespace

std::string HelpText(const std::string& command) {
  if (command.empty()) {
    return std::string(
               "Usage: velk47120-cli [OPTIONS] COMMAND [ARGUMENTS]\n"
               "Scripted measurements with the VELK 47120 digital gyroscope.\n\n"
               "Commands:\n"
               "  identify                     the chip and the interface\n"
               "  read                         one reading of the outputs and Status\n"
               "  log                          one row per cycle, to standard output or a file\n"
               "  reg get NAME|ADDRESS         read one register\n"
               "  reg set NAME|ADDRESS VALUE   write one register\n"
               "  reg dump                     every readable register\n"
               "  setup save FILE              save the user configuration\n"
               "  setup load FILE              check, write and confirm a saved setup\n"
               "\"velk47120-cli COMMAND --help\" tells more.\n\n") +
           kCommon + "\n" + kExit;
  }
  const std::string first = command.substr(0, command.find(' '));
  for (const CommandHelp& c : kCommands)
    if (first == c.name) return std::string(c.text) + "\n" + kCommon + "\n" + kExit;
  return {};
}

}  // namespace velk
