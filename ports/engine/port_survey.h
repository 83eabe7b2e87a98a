// The survey as plain data: the ports a source lists, in its order, each with the status of a
// probe. Whoever shows the ports (the window's list, a console) works from these rows.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ports/model/port_facts.h"
#include "ports/model/port_holder.h"
#include "ports/engine/port_source.h"
#include "ports/model/port_reason.h"
#include "ports/model/port_status.h"

struct PortRow {
    std::string device;  // the value's name: how the system names the port's device
    std::string port;    // the value's data: the name a program opens
    PortStatus status = PortStatus::Unknown;
    PortReason reason = PortReason::None;  // why it has that status, where that is known
    PortFacts facts{};                     // filled in by whoever looks the device up
    PortHolders holders{};                 // of a busy port, filled in by whoever looks them up
};
using PortRows = std::vector<PortRow>;

// The 259 characters and terminator of a value name; data gets as many bytes.
constexpr std::uint32_t kPortValueCapacity = 260;

using PortProbe = PortStatus (*)(const char* portName);

// The rows of every value up to the first that cannot be read, not yet probed; nothing when
// the list cannot be read at all.
std::optional<PortRows> ReadPortRows(PortSource& source);

// Every row read and probed.
std::optional<PortRows> SurveyPorts(PortSource& source, PortProbe probe);

// The system's own port list, not yet probed.
std::optional<PortRows> ReadSystemPortRows();

// The system's own port list, probed by the system's exclusive open.
std::optional<PortRows> SurveySystemPorts();
