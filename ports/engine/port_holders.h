// Who holds ports open. One lookup serves every port asked about: it goes over the system's
// processes once, through a snapshot of every open handle on Windows and through /proc on
// Linux. Holders are named only where the system shows them. Processes this user may not
// inspect are reported as not visible, and only for a port with no visible holder; on Linux
// also only when the user may open the port's node, so that only a holder can make it busy.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ports/model/port_row.h"

class PortHolderFinder {
public:
    PortHolderFinder();
#ifndef _WIN32
    // Another tree laid out as /proc.
    explicit PortHolderFinder(std::string procDir);
#endif
    ~PortHolderFinder();
    PortHolderFinder(const PortHolderFinder&) = delete;
    PortHolderFinder& operator=(const PortHolderFinder&) = delete;

    // The holders of each row's port, in the rows' order; nothing for a row whose holders
    // could not be looked up.
    std::vector<std::optional<PortHolders>> Find(const PortRows& rows);
    // Whether the last Find could not go over the processes at all: its rows got no holders.
    bool LastFindFailed() const { return m_lastFindFailed; }
#ifdef _WIN32
    // Whether the last Find inspected every process that has files open: then a port it saw
    // nobody hold is free.
    bool LastFindSawAll() const { return m_lastFindSawAll; }
#endif

private:
    // Where to look, and what one lookup leaves for the next.
    struct State;
    std::unique_ptr<State> m_state;
    bool m_lastFindFailed = false;
#ifdef _WIN32
    bool m_lastFindSawAll = false;
#endif
};

// The holders of each row's port, in the rows' order; nothing for a row whose holders could
// not be looked up.
using PortHolderLookup =
    std::function<std::vector<std::optional<PortHolders>>(const PortRows& rows)>;

// The system's lookup; on Windows with one finder kept from lookup to lookup.
PortHolderLookup SystemHolderLookup();
