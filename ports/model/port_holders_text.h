// Holders as a person reads them: "putty.exe (PID 4312)", and for a process this user may not
// inspect, "another program (not visible to this user)".
#pragma once

#include <string>
#include <vector>

#include "ports/model/port_holder.h"

std::string DescribePortHolder(const PortHolder& holder);

// Each holder's text once, in order: processes that cannot be seen all read the same.
std::vector<std::string> DescribePortHolders(const PortHolders& holders);

// A line "Held by: ..." per text, joined by line feeds; empty when there are no holders.
std::string HeldByLines(const PortHolders& holders);
