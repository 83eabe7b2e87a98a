// The COM ports Windows remembers beyond those it lists: the ports of adapters it knows that
// are absent, and the numbers its COM database (HKLM\SYSTEM\CurrentControlSet\Control\COM Name
// Arbiter, REG_BINARY ComDB, bit n-1 for COMn) reserves for no device it knows. Read only:
// freeing a number is the user's act, through Device Manager.
#pragma once

#include <optional>

#include "ports/win32/port_facts_win32.h"
#include "ports/model/port_row.h"

// Rows for the ports `listed` lacks, not in the port list, with status "not found": first each
// absent adapter's port by COM number (reason "not present", the device's facts), then each
// number reserved for no known device (reason "reserved", no facts). Empty when the system
// remembers nothing, or nothing can be read.
PortRows ReadRememberedPorts(const PortRows& listed);

// Every serial port device the system knows, present or not, by its port: the Ports setup
// class and the COM port interface, as ReadPortFacts walks them. Nothing when the device list
// cannot be read.
std::optional<PortFactsByPort> ReadKnownPortFacts();
