#include "cli/cli_arguments.h"

#include <cstring>

#ifdef _WIN32
const char kCliProgramName[] = "portlook-cli";
#else
const char kCliProgramName[] = "portlook";
#endif

namespace {

CliArguments Problem(const std::string& problem) {
    CliArguments arguments;
    arguments.action = CliArguments::Action::Usage;
    arguments.problem = problem;
    return arguments;
}

}  // namespace

CliArguments ParseCliArguments(int argc, const char* const* argv) {
    CliArguments arguments;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            arguments.action = CliArguments::Action::Help;
            return arguments;
        }
        if (argument == "--version") {
            arguments.action = CliArguments::Action::Version;
            return arguments;
        }
        if (argument == "--json") {
            arguments.json = true;
            continue;
        }
        if (argument == "--open" || argument == "--no-open") {
            arguments.open = argument == "--open";
            continue;
        }
        std::string name;
        if (argument == "--port") {
            // No port name starts with a dash: "--port --json" lacks its name.
            if (i + 1 >= argc || argv[i + 1][0] == '-' || argv[i + 1][0] == '\0') {
                return Problem("--port needs a port name");
            }
            name = argv[++i];
        } else if (argument.compare(0, 7, "--port=") == 0) {
            name = argument.substr(7);
            if (name.empty()) return Problem("--port needs a port name");
        } else {
            return Problem("unknown argument '" + argument + "'");
        }
        if (arguments.port) return Problem("--port may be given once");
        arguments.port = name;
    }
    return arguments;
}

std::string UsageText() {
#ifdef _WIN32
    const char* example = "COM5";
    const char* defaultOpen = " (the default)";
    const char* defaultNoOpen = "";
#else
    const char* example = "/dev/ttyUSB0";
    const char* defaultOpen = "";
    const char* defaultNoOpen = " (the default)";
#endif
    const std::string program = kCliProgramName;
    return "Usage: " + program + " [--json] [--port NAME] [--open | --no-open]\n" + "       " +
           program +
           " --help | --version\n"
           "\n"
           "Lists the serial ports and whether each can be opened right now, and why not.\n"
           "\n"
           "  --json       a JSON array, one object per port\n"
           "  --port NAME  only that port (" +
           example +
           "); the exit status tells its state\n"
           "  --open       test each port by opening it" +
           defaultOpen +
           "\n"
           "  --no-open    tell from who uses each port, opening none" +
           defaultNoOpen +
           "\n"
           "  --help       this text\n"
           "  --version    the program's version\n"
           "\n"
           "Exit status: 0 available (or the full list shown), 1 busy, 2 usage error,\n"
           "3 not found or not in the list, 4 unknown, 5 the port list cannot be read,\n"
           "6 the output cannot be written (or the version read).\n";
}
