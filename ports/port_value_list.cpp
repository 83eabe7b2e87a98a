#include "ports/port_value_list.h"

#include <cstring>

bool PortValueList::ReadValue(DWORD index, char* name, DWORD* nameLength, BYTE* data,
                              DWORD* dataLength) {
    if (index >= m_values.size()) return false;
    const Value& value = m_values[index];
    if (value.name.size() + 1 > *nameLength || value.data.size() > *dataLength) return false;
    std::memcpy(name, value.name.data(), value.name.size());
    name[value.name.size()] = '\0';
    *nameLength = static_cast<DWORD>(value.name.size());
    std::memcpy(data, value.data.data(), value.data.size());
    *dataLength = static_cast<DWORD>(value.data.size());
    return true;
}
