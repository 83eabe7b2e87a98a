// The system's own list of serial ports: the values of HKLM\HARDWARE\DEVICEMAP\SERIALCOMM,
// in the registry's enumeration order. The key is open for as long as the object lives.
#pragma once

#include "base/win32_handles.h"
#include "ports/engine/port_source.h"

class RegistryPortSource : public PortSource {
public:
    RegistryPortSource();
    bool IsOpen() const override { return m_key.IsValid(); }
    bool ReadValue(std::uint32_t index, char* name, std::uint32_t* nameLength, unsigned char* data,
                   std::uint32_t* dataLength) override;

private:
    RegKey m_key;
};
