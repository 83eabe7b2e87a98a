#include "cli/cli_arguments.h"

#include <cstdlib>
#include <utility>

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

// The shortest and longest --interval and --timeout: a tenth of a second keeps a watch from
// spinning, and a day keeps any wait well inside what poll() and the clocks can count.
constexpr double kFewestSeconds = 0.1;
constexpr double kMostSeconds = 86400;

// A number of seconds in that range, such as "2" or "0.5", as milliseconds; nothing for
// anything else.
std::optional<std::chrono::milliseconds> Seconds(const std::string& text) {
    char* end = nullptr;
    const double seconds = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(seconds >= kFewestSeconds && seconds <= kMostSeconds)) {
        return std::nullopt;
    }
    return std::chrono::milliseconds(static_cast<long long>(seconds * 1000 + 0.5));
}

}  // namespace

CliArguments ParseCliArguments(int argc, const char* const* argv) {
    CliArguments arguments;
    bool watch = false;
    bool wait = false;
    bool interval = false;
    bool help = false;
    bool version = false;
    // Every argument is read before --help or --version counts, so that their order cannot
    // change the result: "--version --bogus" is as wrong as "--bogus --version".
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help" || argument == "-h" || argument == "--version") {
            (argument == "--version" ? version : help) = true;
            continue;
        }
        if (argument == "--json" || argument == "--watch" || argument == "--wait") {
            (argument == "--json" ? arguments.json : argument == "--watch" ? watch : wait) = true;
            continue;
        }
        if (argument == "--all") {
            arguments.all = true;
            continue;
        }
        if (argument == "--open" || argument == "--no-open") {
            arguments.open = argument == "--open";
            continue;
        }
        // The options with a value: "--port COM5" or "--port=COM5".
        const size_t equals = argument.find('=');
        const std::string option = argument.substr(0, equals);
        if (option != "--port" && option != "--match" && option != "--interval" &&
            option != "--timeout") {
            return Problem("unknown argument '" + argument + "'");
        }
        const bool number = option == "--interval" || option == "--timeout";
        std::string value;
        if (equals != std::string::npos) {
            value = argument.substr(equals + 1);
        } else if (i + 1 < argc && (number || argv[i + 1][0] != '-')) {
            // No name starts with a dash, so "--port --json" lacks its name; a number may
            // ("--interval -1"), and is then refused for its value, not for its absence.
            value = argv[++i];
        }
        if (option == "--port") {
            if (value.empty()) return Problem("--port needs a port name");
            if (arguments.port) return Problem("--port may be given once");
            arguments.port = value;
        } else if (option == "--match") {
            std::string problem;
            std::optional<PortMatch> match = ParsePortMatch(value, &problem);
            if (!match) return Problem(problem);
            arguments.matches.push_back(std::move(*match));
        } else {
            const std::optional<std::chrono::milliseconds> seconds = Seconds(value);
            if (!seconds) {
                return Problem(option + " takes 0.1 to 86,400 seconds (got '" + value + "')");
            }
            (option == "--interval" ? arguments.interval : arguments.timeout.emplace()) = *seconds;
            interval = interval || option == "--interval";
        }
    }
    if (watch && wait) return Problem("--watch and --wait do not go together");
    if (arguments.all && (watch || wait)) {
        return Problem("--all goes with the list, not with --watch or --wait");
    }
    if (interval && !watch && !wait) return Problem("--interval goes with --watch or --wait");
    if (arguments.timeout && !wait) return Problem("--timeout goes with --wait");
    if (help || version) {
        arguments.action = help ? CliArguments::Action::Help : CliArguments::Action::Version;
        return arguments;
    }
    if (watch) arguments.action = CliArguments::Action::Watch;
    if (wait) arguments.action = CliArguments::Action::Wait;
    return arguments;
}

std::string UsageText() {
#ifdef _WIN32
    const char* example = "COM5";
    const char* defaultOpen = " (the default)";
    const char* defaultNoOpen = "";
    const char* all =
        "also the ports Windows remembers: absent adapters' ports and\n"
        "                  COM numbers reserved for no known device (not found)\n";
    const char* lasting = "";
#else
    const char* example = "/dev/ttyUSB0";
    const char* defaultOpen = "";
    const char* defaultNoOpen = " (the default)";
    const char* all = "the same list: Linux remembers no absent adapters\n";
    const char* lasting =
        "                  with byId and byPath, the /dev/serial links that last\n";
#endif
    // At most 79 columns, for an 80-column console and README.txt.
    const std::string program = kCliProgramName;
    return "Usage: " + program + " [OPTION]...\n" + "       " + program +
           " --watch [OPTION]... [--interval S]\n" + "       " + program +
           " --wait [OPTION]... [--interval S] [--timeout S]\n" + "       " + program +
           " --help | --version\n" +
           "\n"
           "Lists the serial ports and whether each can be opened right now, and why not.\n"
           "\n"
           "Options:\n"
           "  --json          a JSON array, one object per port (with --watch and --wait,\n"
           "                  one object per line)\n" +
           lasting + "  --port NAME     only that port (" + example +
           "); its state is the exit status\n"
           "  --all           " +
           all +
           "  --match F=V     only ports whose F is V: port, device, vid, pid, serial, bus,\n"
           "                  byid, bypath (whole; a link also by its name), description,\n"
           "                  manufacturer (a part); any case; may be repeated, and every\n"
           "                  one must hold\n"
           "  --open          test each port by opening it" +
           defaultOpen +
           "\n"
           "  --no-open       tell from who uses each port, opening none" +
           defaultNoOpen +
           "\n"
           "  --watch         a line for each port, then one for each port added, removed\n"
           "                  or changed, until interrupted\n"
           "  --wait          wait until a port is there and available, and print it\n"
           "  --interval S    with --watch and --wait: look again every S seconds (2)\n"
           "  --timeout S     with --wait: give up after S seconds\n"
           "                  (for both, S is from 0.1 to 86,400)\n"
           "  --help          this text\n"
           "  --version       the program's version\n"
           "\n"
           "Exit status: 0 available (or the list shown), 1 busy, 2 usage error,\n"
           "3 not found (or --port or --match selected no port), 4 unknown, 5 the port\n"
           "list cannot be read, 6 the output cannot be written (or the version read),\n"
           "7 --wait timed out.\n";
}
