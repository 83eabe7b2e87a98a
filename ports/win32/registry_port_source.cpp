#include "ports/win32/registry_port_source.h"

RegistryPortSource::RegistryPortSource() {
    // Read access only: the program never writes, and a standard user may not open this key
    // for writing.
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) ==
        ERROR_SUCCESS) {
        m_key.Reset(key);
    }
}

bool RegistryPortSource::ReadValue(std::uint32_t index, char* name, std::uint32_t* nameLength,
                                   unsigned char* data, std::uint32_t* dataLength) {
    // DWORD is unsigned long here, a type of its own beside std::uint32_t.
    DWORD nameCapacity = *nameLength;
    DWORD dataCapacity = *dataLength;
    const bool read = ::RegEnumValueA(m_key.Get(), index, name, &nameCapacity, nullptr, nullptr,
                                      data, &dataCapacity) == ERROR_SUCCESS;
    *nameLength = nameCapacity;
    *dataLength = dataCapacity;
    return read;
}
