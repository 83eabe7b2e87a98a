#include <cerrno>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>

#include "base/unique_handle.h"
#include "ports/engine/port_probe.h"

namespace {

std::uint32_t ErrorFromErrno(int error) {
    switch (error) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return kOpenErrorFileNotFound;
        case EBUSY:        // another holder took it with TIOCEXCL
        case EWOULDBLOCK:  // another holder has it locked
        case EACCES:
        case EPERM:
            return kOpenErrorAccessDenied;
        default:
            return kOpenErrorGenFailure;
    }
}

}  // namespace

PortStatus ProbePort(const char* portName) {
    const UniqueFd port(::open(portName, kProbeOpenFlags));
    if (!port.IsValid()) return StatusFromOpenError(ErrorFromErrno(errno));
    // Holders that lock the port are seen through the lock; TIOCEXCL keeps newcomers out for
    // as long as we hold it, and must not outlive us.
    if (::flock(port.Get(), LOCK_EX | LOCK_NB) != 0) {
        return StatusFromOpenError(ErrorFromErrno(errno));
    }
    if (::ioctl(port.Get(), TIOCEXCL) == 0) ::ioctl(port.Get(), TIOCNXCL);
    return PortStatus::Available;
}
