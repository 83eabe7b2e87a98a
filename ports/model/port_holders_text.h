// Holders as a person reads them: "putty.exe (PID 4312)", and for a process this user may not
// inspect, "another program (not visible to this user)".
#pragma once

#include <string>
#include <vector>

#include "ports/model/port_holder.h"

std::string DescribePortHolder(const PortHolder& holder);

// Each holder's text once, in order: processes that cannot be seen all read the same.
std::vector<std::string> DescribePortHolders(const PortHolders& holders);

// What stands for holders that could not be looked up: "(could not be looked up)".
extern const char kHoldersUnknownText[];

// A line "Held by: ..." per text, joined by line feeds; empty when there are no holders. When
// the holders could not be looked up, the one line "Held by: (could not be looked up)".
std::string HeldByLines(const PortHolders& holders, bool failed);
