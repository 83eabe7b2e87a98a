// What the console program is asked to do, read from its command line.
#pragma once

#include <optional>
#include <string>

#include "cli/port_filter.h"

struct CliArguments {
    enum class Action { Report, Help, Version, Usage };
    Action action = Action::Report;
    bool json = false;
    std::optional<std::string> port;  // report only this port
    PortMatches matches;              // and only ports that pass these
    std::string problem;              // with Action::Usage: what was wrong
};

CliArguments ParseCliArguments(int argc, const char* const* argv);

// The usage text, ending in a newline.
std::string UsageText();

// The program's file name without extension, for messages.
extern const char kCliProgramName[];
