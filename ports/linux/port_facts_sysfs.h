// The facts of the serial ports Linux knows, from sysfs.
#pragma once

#include <optional>
#include <string>

#include "ports/engine/port_facts_reader.h"

// The ttys of ttyClassDir that have a device, by their node in devDir; nothing when the class
// cannot be read at all.
std::optional<PortFactsByPort> ReadPortFacts(const std::string& ttyClassDir = "/sys/class/tty",
                                             const std::string& devDir = "/dev");
