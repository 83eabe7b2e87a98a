#include "ports/model/port_reason.h"

const char* ReasonKey(PortReason reason) {
    switch (reason) {
        case PortReason::Held:
            return "held";
        case PortReason::Locked:
            return "locked";
        case PortReason::LockFile:
            return "lock file";
        case PortReason::Exclusive:
            return "exclusive";
        case PortReason::NoPermission:
            return "no permission";
        case PortReason::OpenFailed:
            return "open failed";
        case PortReason::NoAnswer:
            return "no answer";
        case PortReason::NotPresent:
            return "not present";
        case PortReason::Reserved:
            return "reserved";
        case PortReason::None:
            break;
    }
    return nullptr;
}
