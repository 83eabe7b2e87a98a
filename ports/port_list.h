// Brings a port list in line with the system's serial ports. Rows are matched to ports by
// position: row k shows value k of the port source, with its device name, port name and
// the status of a probe; rows beyond the last value go.
#pragma once

#include "colorlist/color_list_ctrl.h"
#include "ports/port_source.h"

// The 259 characters and terminator of a value name; data gets as many bytes.
constexpr DWORD kPortValueCapacity = 260;

// With the system's own port list. When that list cannot be read, the rows stay as they are.
void UpdatePortList(CColorListCtrl& list);

void UpdatePortList(CColorListCtrl& list, PortSource& source);
