// The holders of ports, from a snapshot of every process's handles: each file handle of another
// process is named through a duplicate, asked on a thread of the call pool, since a name query
// can wait for ever.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "ports/engine/port_holders.h"

class PortHolderFinder {
public:
    PortHolderFinder();
    ~PortHolderFinder();
    PortHolderFinder(const PortHolderFinder&) = delete;
    PortHolderFinder& operator=(const PortHolderFinder&) = delete;

    // The holders of each row's port, in the rows' order; nothing for a row whose holders
    // could not be looked up.
    std::vector<std::optional<PortHolders>> Find(const PortRows& rows);
    // Whether the last Find could not go over the processes at all: its rows got no holders.
    bool LastFindFailed() const { return m_lastFindFailed; }
    // Whether the last Find inspected every process that has files open: then a port it saw
    // nobody hold is free.
    bool LastFindSawAll() const { return m_lastFindSawAll; }

private:
    // The name queries that still hang, kept from one lookup to the next.
    struct State;
    std::unique_ptr<State> m_state;
    bool m_lastFindFailed = false;
    bool m_lastFindSawAll = false;
};
