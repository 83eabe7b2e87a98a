#include "tests/win32/serial_comm_key.h"

#include <cstdlib>
#include <sstream>

SerialCommKey::SerialCommKey() {
    HKEY key = nullptr;
    if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kPath, 0, nullptr, REG_OPTION_VOLATILE,
                          KEY_ALL_ACCESS, nullptr, &key, nullptr) == ERROR_SUCCESS) {
        m_key.Reset(key);
        Clear();
    }
}

void SerialCommKey::Clear() {
    for (const std::string& name : Names()) Remove(name);
}

bool SerialCommKey::SetText(const std::string& name, const std::string& port) {
    return SetRaw(name, REG_SZ, port + '\0');
}

bool SerialCommKey::SetRaw(const std::string& name, DWORD type, const std::string& bytes) {
    return ::RegSetValueExA(m_key.Get(), name.c_str(), 0, type,
                            reinterpret_cast<const BYTE*>(bytes.data()),
                            static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS;
}

bool SerialCommKey::Remove(const std::string& name) {
    return ::RegDeleteValueA(m_key.Get(), name.c_str()) == ERROR_SUCCESS;
}

std::vector<std::string> SerialCommKey::Names() const {
    std::vector<std::string> names;
    char name[1024];
    DWORD length = sizeof name;
    for (DWORD index = 0; ::RegEnumValueA(m_key.Get(), index, name, &length, nullptr, nullptr,
                                          nullptr, nullptr) == ERROR_SUCCESS;
         ++index, length = sizeof name) {
        names.emplace_back(name, length);
    }
    return names;
}

std::string EnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::vector<std::string> AvailablePorts() {
    std::vector<std::string> ports;
    std::istringstream list(EnvironmentValue("PORTLOOK_PORTS_AVAILABLE"));
    for (std::string port; std::getline(list, port, ',');) ports.push_back(port);
    return ports;
}
