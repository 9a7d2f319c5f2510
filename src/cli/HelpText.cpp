#include "cli/HelpText.h"

#include <algorithm>

#include "cli/CommandTable.h"

namespace velk {

namespace {

// Where the summaries of the commands line up.
constexpr size_t kSummaryColumn = 31;

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
    "  4  a read-back did not match\n"
    "  5  noise, characterise: a term or figure is beyond its limit\n"
    "  6  noise, characterise: a term or figure may be beyond its limit; a longer record tells\n";

}  // namespace

std::string HelpText(const std::string& command) {
  std::string text;
  if (command.empty()) {
    text =
        "Usage: velk47120-cli [OPTIONS] COMMAND [ARGUMENTS]\n"
        "Scripted measurements with the VELK 47120 digital gyroscope.\n\n"
        "Commands:\n";
    for (const CliCommand& c : kCliCommands) {
      std::string line = "  " + c.Synopsis();
      line.resize(std::max<size_t>(line.size() + 1, kSummaryColumn), ' ');
      text.append(line).append(c.summary).append("\n");
    }
    text += "\"velk47120-cli COMMAND --help\" tells more.\n\n";
  } else {
    // The help of the first word, with every command it starts.
    const std::string word = command.substr(0, command.find(' '));
    std::string_view help;
    for (const CliCommand& c : kCliCommands) {
      if (c.word != word) continue;
      text.append(text.empty() ? "Usage: " : "       ").append("velk47120-cli ");
      text.append(c.Synopsis()).append(c.usageOptions).append("\n");
      if (help.empty()) help = c.help;
    }
    if (text.empty()) return {};
    text.append(help).append("\n");
  }
  return text + kCommon + "\n" + kExit;
}

}  // namespace velk
