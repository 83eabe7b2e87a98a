#include "ports/port_status.h"

const char* StatusText(PortStatus status) {
    switch (status) {
        case PortStatus::Available:
            return "available";
        case PortStatus::NotFound:
            return "not found";
        case PortStatus::Busy:
            return "busy";
        default:
            return "unknown";
    }
}

PortStatus StatusFromOpenError(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
            return PortStatus::NotFound;
        case ERROR_ACCESS_DENIED:  // what an exclusive open of a port held elsewhere gets
            return PortStatus::Busy;
        default:
            return PortStatus::Unknown;
    }
}
