// Whether a port can be opened right now: an exclusive open, closed again at once.
#pragma once

#include "ports/model/port_reason.h"
#include "ports/model/port_status.h"

// What a probe tells of a port. A bare status converts, with no reason.
struct ProbeResult {
    ProbeResult(PortStatus portStatus = PortStatus::Unknown, PortReason why = PortReason::None)
        : status(portStatus), reason(why) {}
    PortStatus status;
    PortReason reason;
};

// The port name exactly as the port list gives it: "COM3" on Windows, a device node such as
// "/dev/ttyUSB0" elsewhere.
PortStatus ProbePort(const char* portName);
// The same open, and why it gave its answer.
ProbeResult ProbePortWithReason(const char* portName);
