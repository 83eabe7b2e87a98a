// The SERIALCOMM key of this run's Wine prefix, written by tests: the port list they want the
// program to see; and what the port list must show for it, worked out apart from the product:
// the key is read with buffers large enough for anything and the rules are applied to that.
#pragma once

#include <functional>
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

struct KeyValue {
    std::string name;
    DWORD type;
    std::string data;  // every byte, as RegEnumValueA gives them
};

using Rows = std::vector<std::vector<std::string>>;
using StatusOf = std::function<std::string(const std::string& port)>;

// Every value of the key, in its enumeration order.
std::vector<KeyValue> ReadValues(HKEY key);

// The values in order up to the first whose name has 260 characters or more or whose data
// has more than 260 bytes; each gives its name, its data up to the first zero byte and the
// status of that port.
Rows ExpectedRows(const std::vector<KeyValue>& values, const StatusOf& statusOf);

// The status text an exclusive open of "\\.\port" earns right now.
std::string OpenStatus(const std::string& port);

// The first difference between two row lists, for failure messages; empty when equal.
std::string FirstDifference(const Rows& actual, const Rows& expected);
