// The holders of ports, from the usage scan of /proc: the processes with a port's node open,
// and those its locks and lock files name.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ports/engine/port_holders.h"

class PortHolderFinder {
public:
    PortHolderFinder();
    // Another tree laid out as /proc.
    explicit PortHolderFinder(std::string procDir);

    // The holders of each row's port, in the rows' order; nothing for a row whose holders
    // could not be looked up.
    std::vector<std::optional<PortHolders>> Find(const PortRows& rows);
    // Whether the last Find could not go over the processes at all: its rows got no holders.
    bool LastFindFailed() const { return m_lastFindFailed; }

private:
    std::string m_procDir;
    bool m_lastFindFailed = false;
};
