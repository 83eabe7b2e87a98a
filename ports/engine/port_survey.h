// The survey as plain data: the ports a source lists, in its order, each with the status of a
// probe. Whoever shows the ports (the window's list, a console) works from these rows.
#pragma once

#include <functional>
#include <optional>

#include "ports/engine/port_probe.h"
#include "ports/engine/port_source.h"
#include "ports/model/port_row.h"

// The 259 characters and terminator of a value name; data gets as many bytes.
constexpr std::uint32_t kPortValueCapacity = 260;

using PortProbe = std::function<ProbeResult(const char* portName)>;

// The rows of every value up to the first that cannot be read, not yet probed; nothing when
// the list cannot be read at all.
std::optional<PortRows> ReadPortRows(PortSource& source);

// Every row read and probed.
std::optional<PortRows> SurveyPorts(PortSource& source, PortProbe probe);

// The system's own port list, probed by the system's exclusive open.
std::optional<PortRows> SurveySystemPorts();
