#include "ports/registry_port_source.h"

RegistryPortSource::RegistryPortSource() {
    // Read access only: the program never writes, and a standard user may not open this key
    // for writing.
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) ==
        ERROR_SUCCESS) {
        m_key.Reset(key);
    }
}

bool RegistryPortSource::ReadValue(DWORD index, char* name, DWORD* nameLength, BYTE* data,
                                   DWORD* dataLength) {
    return ::RegEnumValueA(m_key.Get(), index, name, nameLength, nullptr, nullptr, data,
                           dataLength) == ERROR_SUCCESS;
}
