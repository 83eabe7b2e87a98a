// What the console program is asked to do, read from its command line.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "cli/port_filter.h"

struct CliArguments {
    enum class Action { Report, Watch, Wait, Help, Version, Usage };
    Action action = Action::Report;
    bool json = false;
    bool all = false;  // also the ports the system remembers but does not list (Windows)
    std::optional<std::string> port;  // report only this port
    PortMatches matches;              // and only ports that pass these
    // Watch and Wait: how often to look again when no device notification comes, and how
    // long Wait waits (none: for ever).
    std::chrono::milliseconds interval{2000};
    std::optional<std::chrono::milliseconds> timeout;
    std::string problem;  // with Action::Usage: what was wrong
#ifdef _WIN32
    bool open = true;  // test each port by opening it; else tell from who holds it
#else
    bool open = false;  // opening raises DTR and RTS, which resets some boards
#endif
};

CliArguments ParseCliArguments(int argc, const char* const* argv);

// The usage text, ending in a newline.
std::string UsageText();

// The program's file name without extension, for messages.
extern const char kCliProgramName[];
