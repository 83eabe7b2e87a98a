// The SERIALCOMM key of this run's Wine prefix, written by tests: the port list they want the
// program to see.
#pragma once

#include <string>
#include <vector>

#include "base/win32_handles.h"

class SerialCommKey {
public:
    static constexpr char kPath[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

    // Opens the key for writing, creating it if need be, and removes every value.
    SerialCommKey();
    bool IsOpen() const { return m_key.IsValid(); }
    HKEY Get() const { return m_key.Get(); }
    void Close() { m_key.Reset(); }

    void Clear();
    bool SetText(const std::string& name, const std::string& port);
    bool SetRaw(const std::string& name, DWORD type, const std::string& bytes);
    bool Remove(const std::string& name);
    // The names in the key's own enumeration order.
    std::vector<std::string> Names() const;

private:
    RegKey m_key;
};

// Ports the test runner provides (scripts/wine-run); empty when not run through it.
std::string EnvironmentValue(const char* name);
std::vector<std::string> AvailablePorts();
