#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "framework/unique_handle.h"
#include "ports/port_probe.h"

namespace {

struct FdTraits {
    using Handle = int;
    static int Invalid() { return -1; }
    static void Close(int fd) { ::close(fd); }
};
using UniqueFd = UniqueHandle<FdTraits>;

DWORD ErrorFromErrno(int error) {
    switch (error) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return ERROR_FILE_NOT_FOUND;
        case EBUSY:        // another holder took it with TIOCEXCL
        case EWOULDBLOCK:  // another holder has it locked
        case EACCES:
        case EPERM:
            return ERROR_ACCESS_DENIED;
        default:
            return ERROR_GEN_FAILURE;
    }
}

}  // namespace

PortStatus ProbePort(const char* portName) {
    const UniqueFd port(::open(portName, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!port.IsValid()) return StatusFromOpenError(ErrorFromErrno(errno));
    // Holders that lock the port are seen through the lock; TIOCEXCL keeps newcomers out for
    // as long as we hold it, and must not outlive us.
    if (::flock(port.Get(), LOCK_EX | LOCK_NB) != 0) {
        return StatusFromOpenError(ErrorFromErrno(errno));
    }
    if (::ioctl(port.Get(), TIOCEXCL) == 0) ::ioctl(port.Get(), TIOCNXCL);
    return PortStatus::Available;
}
