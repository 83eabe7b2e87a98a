// The serial ports Linux knows of: ttys in /sys/class/tty backed by a device, without the
// placeholders the 8250 driver makes for absent UARTs, in natural order (ttyS2 before
// ttyS10). Each is named for its hardware (its /dev/serial/by-id name, else its driver) and
// carries its device node as the port name.
#pragma once

#include <string>

#include "ports/engine/port_value_list.h"

class SysfsPortSource : public PortValueList {
public:
    explicit SysfsPortSource(const std::string& ttyClassDir = "/sys/class/tty",
                             const std::string& byIdDir = "/dev/serial/by-id",
                             const std::string& devDir = "/dev");
};

// Orders names as people do: digit runs by their value.
bool NaturalLess(const std::string& a, const std::string& b);
