// The facts of the serial ports Windows knows, from its device list.
#pragma once

#include <optional>

#include "ports/engine/port_facts_reader.h"

// Devices of the Ports setup class, then devices with the COM port interface; nothing when the
// device list cannot be read at all.
std::optional<PortFactsByPort> ReadPortFacts();
