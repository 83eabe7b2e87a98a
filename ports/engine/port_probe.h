// Whether a port can be opened right now: an exclusive open, closed again at once.
#pragma once

#include "ports/model/port_status.h"

#ifndef _WIN32
#include <fcntl.h>
// Never waits for a carrier, never becomes our controlling terminal.
constexpr int kProbeOpenFlags = O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC;
#endif

// The port name exactly as the port list gives it: "COM3" on Windows, a device node such as
// "/dev/ttyUSB0" elsewhere.
PortStatus ProbePort(const char* portName);
