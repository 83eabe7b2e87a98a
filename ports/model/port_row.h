// One port of a survey as plain data: whoever shows the ports (the window's list, a console)
// works from these rows.
#pragma once

#include <string>
#include <vector>

#include "ports/model/port_facts.h"
#include "ports/model/port_holder.h"
#include "ports/model/port_reason.h"
#include "ports/model/port_status.h"

struct PortRow {
    std::string device;  // the value's name: how the system names the port's device
    std::string port;    // the value's data: the name a program opens
    PortStatus status = PortStatus::Unknown;
    PortReason reason = PortReason::None;  // why it has that status, where that is known
    // The reason as told to a person when that says more than its key: "no permission: join
    // group dialout", "stale lock file".
    std::string reasonText{};
    PortFacts facts{};           // filled in by whoever looks the device up
    PortHolders holders{};       // of a busy port, filled in by whoever looks them up
    bool pending = false;        // its probe has not answered yet: the status says nothing
    bool holdersFailed = false;  // its holders could not be looked up: `holders` says nothing
    // False for a port the system remembers but does not list: an absent adapter's, or a
    // reserved number's. It has no device name.
    bool inPortList = true;
};
using PortRows = std::vector<PortRow>;
