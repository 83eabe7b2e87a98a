#include <string>

#include "base/win32_handles.h"
#include "ports/engine/port_probe.h"

namespace {

// A refused open is someone's exclusive open of the port: Windows gives each port one user.
PortReason ReasonFor(PortStatus status) {
    switch (status) {
        case PortStatus::Busy:
            return PortReason::Exclusive;
        case PortStatus::NotFound:
            return PortReason::NotPresent;
        case PortStatus::Unknown:
            return PortReason::OpenFailed;
        case PortStatus::Available:
            break;
    }
    return PortReason::None;
}

}  // namespace

ProbeResult ProbePortWithReason(const char* portName) {
    const std::string path = std::string("\\\\.\\") + portName;
    const FileHandle port(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
    const PortStatus status =
        port.IsValid() ? PortStatus::Available : StatusFromOpenError(::GetLastError());
    return ProbeResult(status, ReasonFor(status));
}

PortStatus ProbePort(const char* portName) { return ProbePortWithReason(portName).status; }
