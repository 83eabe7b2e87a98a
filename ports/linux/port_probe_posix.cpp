#include <cerrno>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>

#include "base/unique_handle.h"
#include "ports/engine/port_probe.h"
#include "ports/linux/port_open_probe.h"

namespace {

OpenProbeResult FromErrno(int error) {
    switch (error) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return {PortStatus::NotFound, PortReason::NotPresent};
        case EBUSY:  // another holder took it with TIOCEXCL
            return {PortStatus::Busy, PortReason::Exclusive};
        case EWOULDBLOCK:  // another holder has it locked
            return {PortStatus::Busy, PortReason::Locked};
        case EACCES:
        case EPERM:
            return {PortStatus::Busy, PortReason::NoPermission};
        default:
            return {PortStatus::Unknown, PortReason::OpenFailed};
    }
}

}  // namespace

OpenProbeResult ProbePortByOpen(const char* portName) {
    const UniqueFd port(::open(portName, kProbeOpenFlags));
    if (!port.IsValid()) return FromErrno(errno);
    // Holders that lock the port are seen through the lock; TIOCEXCL keeps newcomers out for
    // as long as we hold it, and must not outlive us.
    if (::flock(port.Get(), LOCK_EX | LOCK_NB) != 0) return FromErrno(errno);
    if (::ioctl(port.Get(), TIOCEXCL) == 0) ::ioctl(port.Get(), TIOCNXCL);
    return {PortStatus::Available, PortReason::None};
}

ProbeResult ProbePortWithReason(const char* portName) {
    const OpenProbeResult result = ProbePortByOpen(portName);
    return ProbeResult(result.status, result.reason);
}

PortStatus ProbePort(const char* portName) { return ProbePortByOpen(portName).status; }
