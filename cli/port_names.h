// The names a port has beyond the port list: on Windows the ports the system remembers (an
// absent adapter's, a reserved COM number), for --all and for a --port that is not listed; on
// Linux the udev links that last across re-plugs, for the table's tip.
#pragma once

#include <optional>
#include <string>

#include "ports/model/port_row.h"

// --all: adds the remembered ports after the listed ones (Windows; Linux keeps no such record),
// with a name only that port. The rows' text is still the system's.
void AddRememberedPorts(PortRows& rows, const std::optional<std::string>& onlyPort);

// A message line, in UTF-8, for a --port that names no listed port but one the system
// remembers: which absent adapter holds its number, or that the number is reserved. Empty
// otherwise.
std::string RememberedPortNote(const std::string& name, const PortRows& rows);

// A line under the table naming the first port's link that lasts ("Tip: /dev/serial/by-id/...
// names /dev/ttyUSB0 ..."); empty when no row has one.
std::string LastingNameTip(const PortRows& rows);
