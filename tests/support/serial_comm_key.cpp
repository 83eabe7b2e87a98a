#include "tests/support/serial_comm_key.h"

#include <cstdio>
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

namespace {
constexpr size_t kLongestName = 260;  // characters, terminator included
constexpr size_t kLongestData = 260;  // bytes
}  // namespace

std::vector<KeyValue> ReadValues(HKEY key) {
    std::vector<KeyValue> values;
    // Far beyond any value a test writes: a value name may have 16383 characters.
    std::vector<char> name(32768);
    std::vector<BYTE> data(65536);
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD dataLength = static_cast<DWORD>(data.size());
        DWORD type = 0;
        if (::RegEnumValueA(key, index, name.data(), &nameLength, nullptr, &type, data.data(),
                            &dataLength) != ERROR_SUCCESS) {
            break;
        }
        values.push_back(
            KeyValue{std::string(name.data(), nameLength), type,
                     std::string(reinterpret_cast<const char*>(data.data()), dataLength)});
    }
    return values;
}

Rows ExpectedRows(const std::vector<KeyValue>& values, const StatusOf& statusOf) {
    Rows rows;
    for (const KeyValue& value : values) {
        if (value.name.size() + 1 > kLongestName || value.data.size() > kLongestData) break;
        const std::string port = value.data.substr(0, value.data.find('\0'));
        rows.push_back({value.name, port, statusOf(port)});
    }
    return rows;
}

std::string OpenStatus(const std::string& port) {
    const std::string path = "\\\\.\\" + port;
    const FileHandle opened(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
    if (opened.IsValid()) return "available";
    switch (::GetLastError()) {
        case ERROR_FILE_NOT_FOUND:
            return "not found";
        case ERROR_ACCESS_DENIED:
            return "busy";
        default:
            return "unknown";
    }
}

std::string FirstDifference(const Rows& actual, const Rows& expected) {
    // Cells may hold any byte: show their length and the start of them, escaped.
    const auto show = [](const std::vector<std::string>& row) {
        std::string text = "[";
        for (const std::string& cell : row) {
            if (text.size() > 1) text += " | ";
            text += std::to_string(cell.size()) + ":";
            for (const char c : cell.substr(0, 40)) {
                const auto code = static_cast<unsigned char>(c);
                char escaped[8];
                std::snprintf(escaped, sizeof escaped,
                              code >= 0x20 && code < 0x7F ? "%c" : "\\x%02X", code);
                text += escaped;
            }
        }
        return text + "]";
    };
    for (size_t row = 0; row < actual.size() && row < expected.size(); ++row) {
        if (actual[row] != expected[row]) {
            return "row " + std::to_string(row) + ": " + show(actual[row]) + " expected " +
                   show(expected[row]);
        }
    }
    if (actual.size() != expected.size()) {
        return std::to_string(actual.size()) + " rows, expected " + std::to_string(expected.size());
    }
    return "";
}
