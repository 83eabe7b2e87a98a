#include "ports/engine/port_survey.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "ports/engine/port_probe.h"

std::optional<PortRows> ReadPortRows(PortSource& source) {
    if (!source.IsOpen()) return std::nullopt;
    char name[kPortValueCapacity];
    // One byte beyond what the source may fill stays zero, so data that fills its whole
    // capacity without a terminator still ends.
    unsigned char data[kPortValueCapacity + 1];
    PortRows rows;
    for (std::uint32_t index = 0;; ++index) {
        std::memset(name, 0, sizeof name);
        std::memset(data, 0, sizeof data);
        std::uint32_t nameLength = kPortValueCapacity;
        std::uint32_t dataLength = kPortValueCapacity;
        if (!source.ReadValue(index, name, &nameLength, data, &dataLength)) break;
        // Trust no length beyond the buffers; data of any type is text up to its first zero.
        name[std::min(nameLength, kPortValueCapacity - 1)] = '\0';
        data[std::min(dataLength, kPortValueCapacity)] = 0;
        PortRow row;
        row.device = name;
        row.port = reinterpret_cast<const char*>(data);
        rows.push_back(std::move(row));
    }
    return rows;
}

std::optional<PortRows> SurveyPorts(PortSource& source, PortProbe probe) {
    std::optional<PortRows> rows = ReadPortRows(source);
    if (rows) {
        for (PortRow& row : *rows) {
            const ProbeResult result = probe(row.port.c_str());
            row.status = result.status;
            row.reason = result.reason;
        }
    }
    return rows;
}
