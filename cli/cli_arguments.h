// What the console program is asked to do, read from its command line.
#pragma once

#include <optional>
#include <string>

struct CliArguments {
    enum class Action { Report, Help, Version, Usage };
    Action action = Action::Report;
    bool json = false;
    std::optional<std::string> port;  // report only this port
    std::string problem;              // with Action::Usage: what was wrong
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
