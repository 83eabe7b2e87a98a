// Whether a port can be opened right now: an exclusive open, closed again at once.
#pragma once

#include "ports/port_status.h"

// The port name exactly as the port list gives it: "COM3" on Windows, a device node such as
// "/dev/ttyUSB0" elsewhere.
PortStatus ProbePort(const char* portName);
