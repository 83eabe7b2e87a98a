#include "ports/engine/port_facts_cache.h"

#include <algorithm>
#include <utility>

bool PortNameLess::operator()(const std::string& a, const std::string& b) const {
    if (!ignoreCase) return a < b;
    // Port names are ASCII; the runtime's toupper is a call per character, and every survey
    // looks every port up.
    const auto upper = [](char c) {
        return static_cast<unsigned char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    };
    return std::lexicographical_compare(
        a.begin(), a.end(), b.begin(), b.end(),
        [&upper](char left, char right) { return upper(left) < upper(right); });
}

PortFactsCache::PortFactsCache(PortFactsWalk walk) : m_walk(std::move(walk)) {}

void PortFactsCache::Fill(PortRows& rows) {
    const bool unseen = std::any_of(rows.begin(), rows.end(), [this](const PortRow& row) {
        return m_known.find(row.port) == m_known.end();
    });
    if (unseen) {
        ++m_walks;
        std::optional<PortFactsByPort> walked = m_walk();
        m_lastWalkFailed = !walked;
        m_known = walked ? std::move(*walked) : PortFactsByPort{};
        // Ports without a device are remembered too, so that they cost no walk next time.
        if (walked) {
            for (const PortRow& row : rows) m_known.emplace(row.port, PortFacts{});
        }
    }
    for (PortRow& row : rows) {
        const auto found = m_known.find(row.port);
        row.facts = found != m_known.end() ? found->second : PortFacts{};
    }
}

void PortFactsCache::Forget() { m_known.clear(); }
