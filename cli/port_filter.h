// The ports a script asks for by what they are: --match FIELD=VALUE, every one of which must
// hold. Names and ids match whole, descriptions and makers by a part; letters in any case.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ports/engine/port_survey.h"

struct PortMatch {
    enum class Field {
        Port,
        Device,
        Vid,
        Pid,
        Serial,
        Bus,
        Description,
        Manufacturer,
        ById,  // the link, whole or by its name
        ByPath
    };
    Field field = Field::Port;
    std::string value;  // UTF-8; for vid and pid four lower-case hex digits; a port as given
    std::string given;  // as written, "serial=A1B2", for messages
};
using PortMatches = std::vector<PortMatch>;

// Reads "FIELD=VALUE" (VALUE in the system's text); nothing, and *problem says why, for an
// unknown field or an id that is no hex number of at most four digits.
std::optional<PortMatch> ParsePortMatch(const std::string& text, std::string* problem);

// Whether a name given on the command line names the port the list gives: "com5" names COM5
// on Windows; elsewhere "ttyUSB0" or any path to the same node names /dev/ttyUSB0. --port and
// --match port= both take these names.
bool NamesPort(const std::string& name, const std::string& port);

bool MatchesAll(const PortRow& row, const PortMatches& matches);

// Only the rows every match holds for, in their order.
void KeepMatching(PortRows& rows, const PortMatches& matches);

// "--match serial=A1B2 --match bus=usb"; empty when there are none.
std::string DescribeMatches(const PortMatches& matches);
