// Who holds ports open. One lookup serves every port asked about: it goes over the system's
// processes once, through a snapshot of every open handle on Windows and through /proc on
// Linux. Holders are named only where the system shows them. Processes this user may not
// inspect are reported as not visible, and only for a port with no visible holder; on Linux
// also only when the user may open the port's node, so that only a holder can make it busy.
#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "ports/model/port_row.h"

// The holders of each row's port, in the rows' order; nothing for a row whose holders could
// not be looked up.
using PortHolderLookup =
    std::function<std::vector<std::optional<PortHolders>>(const PortRows& rows)>;

// The system's lookup; on Windows with one finder kept from lookup to lookup.
PortHolderLookup SystemHolderLookup();
