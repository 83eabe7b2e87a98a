#include "ports/model/port_status.h"

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

PortStatus StatusFromOpenError(std::uint32_t error) {
    switch (error) {
        case kOpenErrorFileNotFound:
            return PortStatus::NotFound;
        case kOpenErrorAccessDenied:  // what an exclusive open of a port held elsewhere gets
            return PortStatus::Busy;
        default:
            return PortStatus::Unknown;
    }
}
