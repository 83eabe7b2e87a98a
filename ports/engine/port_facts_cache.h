// Device facts for the survey's rows, read once per device and kept while the device stays:
// a survey of unchanged ports costs no walk over the system's devices. Facts belong to a port,
// never to a row. One owner at a time; it does no locking.
#pragma once

#include "ports/engine/port_facts_reader.h"
#include "ports/engine/port_survey.h"

class PortFactsCache {
public:
    // Walks with `walk`, the system's own or a test's.
    explicit PortFactsCache(PortFactsWalk walk);

    // Fills every row's facts; a port with no known device gets empty ones. Walks the
    // system's devices only when a row's port was not seen at the last walk, or after Forget.
    void Fill(PortRows& rows);
    // Devices came or went: the next Fill reads everything again.
    void Forget();

    // How many walks the cache has made.
    int Walks() const { return m_walks; }
    // Whether the last walk could not read the device list: its rows got empty facts, and the
    // next Fill tries again.
    bool LastWalkFailed() const { return m_lastWalkFailed; }

private:
    PortFactsWalk m_walk;
    // Every port seen at the last walk, those without a device with empty facts.
    PortFactsByPort m_known;
    int m_walks = 0;
    bool m_lastWalkFailed = false;
};
