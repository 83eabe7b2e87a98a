#include <string>

#include "base/win32_handles.h"
#include "ports/engine/port_probe.h"

PortStatus ProbePort(const char* portName) {
    const std::string path = std::string("\\\\.\\") + portName;
    const FileHandle port(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
    if (port.IsValid()) return PortStatus::Available;
    return StatusFromOpenError(::GetLastError());
}
