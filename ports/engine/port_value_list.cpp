#include "ports/engine/port_value_list.h"

#include <cstring>

bool PortValueList::ReadValue(std::uint32_t index, char* name, std::uint32_t* nameLength,
                              unsigned char* data, std::uint32_t* dataLength) {
    if (index >= m_values.size()) return false;
    const Value& value = m_values[index];
    if (value.name.size() + 1 > *nameLength || value.data.size() > *dataLength) return false;
    std::memcpy(name, value.name.data(), value.name.size());
    name[value.name.size()] = '\0';
    *nameLength = static_cast<std::uint32_t>(value.name.size());
    std::memcpy(data, value.data.data(), value.data.size());
    *dataLength = static_cast<std::uint32_t>(value.data.size());
    return true;
}
