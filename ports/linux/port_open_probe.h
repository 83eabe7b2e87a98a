// The open probe with the reason for its answer: the test by opening, for those who ask for
// it, where the usage scan is the default.
#pragma once

#include <fcntl.h>

#include "ports/model/port_reason.h"
#include "ports/model/port_status.h"

// Never waits for a carrier, never becomes our controlling terminal.
constexpr int kProbeOpenFlags = O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC;

struct OpenProbeResult {
    PortStatus status = PortStatus::Unknown;
    PortReason reason = PortReason::None;
};

// ProbePort's answer, and why: NoPermission (EACCES, EPERM), Exclusive (a TIOCEXCL holder's
// EBUSY), Locked (a flock held elsewhere), NotPresent (ENOENT, ENODEV, ENXIO), else
// OpenFailed.
OpenProbeResult ProbePortByOpen(const char* portName);
