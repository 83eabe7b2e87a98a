// Where the ordered list of ports comes from: value k names the device and carries the port
// name as its data. Reads follow the registry's rules: the capacities go in and the lengths
// come out, and a value whose name (with its terminator) or data does not fit fails.
#pragma once

#include <cstdint>

class PortSource {
public:
    virtual ~PortSource() = default;
    // False when the list cannot be read at all; nothing is then to be changed.
    virtual bool IsOpen() const = 0;
    virtual bool ReadValue(std::uint32_t index, char* name, std::uint32_t* nameLength,
                           unsigned char* data, std::uint32_t* dataLength) = 0;
};
