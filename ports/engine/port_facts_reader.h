// One walk over the system's devices: the facts of every serial port device it knows, by the
// name a program opens ("COM5", "/dev/ttyUSB0").
#pragma once

#include <map>
#include <optional>
#include <string>

#include "ports/model/port_facts.h"

// Windows port names are case-insensitive; device node paths are not.
struct PortNameLess {
    bool operator()(const std::string& a, const std::string& b) const;
};
using PortFactsByPort = std::map<std::string, PortFacts, PortNameLess>;

// Nothing when the system's device list cannot be read at all.
#ifdef _WIN32
// Devices of the Ports setup class, then devices with the COM port interface.
std::optional<PortFactsByPort> ReadPortFacts();
#else
// The ttys of ttyClassDir that have a device, by their node in devDir.
std::optional<PortFactsByPort> ReadPortFacts(const std::string& ttyClassDir,
                                             const std::string& devDir);
#endif
