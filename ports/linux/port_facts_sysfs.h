// The facts of the serial ports Linux knows, from sysfs.
#pragma once

#include <optional>
#include <string>

#include "ports/engine/port_facts_reader.h"
#include "ports/model/port_row.h"

// The ttys of ttyClassDir that have a device, by their node in devDir; nothing when the class
// cannot be read at all.
std::optional<PortFactsByPort> ReadPortFacts(const std::string& ttyClassDir = "/sys/class/tty",
                                             const std::string& devDir = "/dev");

// Each row's by-id and by-path links, read afresh: udev makes them after the kernel's event
// that made the facts be read, so cached facts may not have them yet.
void FillLastingNames(PortRows& rows, const std::string& devDir = "/dev");
