// One walk over the system's devices: the facts of every serial port device it knows, by the
// name a program opens ("COM5", "/dev/ttyUSB0").
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>

#include "ports/model/port_facts.h"

// Windows port names are case-insensitive; device node paths are not: each system's walk makes
// its map with the order its names need.
struct PortNameLess {
    bool ignoreCase = false;
    bool operator()(const std::string& a, const std::string& b) const;
};
using PortFactsByPort = std::map<std::string, PortFacts, PortNameLess>;

// One walk over the system's devices; nothing when the device list cannot be read at all.
using PortFactsWalk = std::function<std::optional<PortFactsByPort>()>;
