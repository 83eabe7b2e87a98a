// What the console program reports of a survey: a table or JSON, of every port or of one,
// and the exit status that goes with it.
#pragma once

#include <optional>
#include <string>

#include "cli/cli_arguments.h"
#include "cli/console_output.h"
#include "ports/engine/survey_engine.h"

// Exit statuses; scripts rely on them.
constexpr int kExitAvailable = 0;  // also: the whole list reported
constexpr int kExitBusy = 1;
constexpr int kExitUsage = 2;
constexpr int kExitNotFound = 3;  // also: the named port is not in the list
constexpr int kExitUnknown = 4;
constexpr int kExitNoPortList = 5;
constexpr int kExitFailed = 6;    // the output cannot be written, or the version read
constexpr int kExitTimedOut = 7;  // --wait gave up

int ExitStatusFor(PortStatus status);

// The end of a program whose output could not be written: kExitFailed, with a message unless
// the reader left, which is how a pipeline such as `portlook --watch | head -1` ends.
int OutputFailed(Written written);

// Every port the stages read, probed, with the holders of the busy ones, within the deadline;
// with a name, only the first port of that name, and no other port is opened.
std::optional<PortRows> SurveyForReport(SurveyStages stages,
                                        const std::optional<std::string>& onlyPort,
                                        std::chrono::milliseconds deadline = kConsoleDeadline);

// A line per row, under a header if asked, each column as wide as its widest text, the status
// with its reason in parentheses; a column of holders follows when some row has them, or has
// holders that could not be looked up. Control characters show as '?' so that a name cannot
// break a line or steer the terminal.
std::string TableText(const PortRows& rows, bool withHeader);
// The text with control characters and bytes that are no UTF-8 as '?', for a terminal.
std::string PrintableText(const std::string& utf8);
// A JSON array with an object per row, its "reason" after its "status" (null for none); valid
// UTF-8 whatever bytes the rows hold. A holder that cannot be seen has a null name; holders that
// could not be looked up are null.
std::string JsonText(const PortRows& rows);
// One row's object on one line, as --watch and --wait print them.
std::string JsonLine(const PortRow& row);

struct Report {
    std::string out;
    std::string error;
    int exitStatus = kExitAvailable;
};

// What to print for the rows SurveyForReport gave (nothing when the list could not be read),
// of the rows that pass the arguments' matches.
Report MakeReport(std::optional<PortRows> rows, const CliArguments& arguments);
