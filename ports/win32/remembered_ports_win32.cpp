#include "ports/win32/remembered_ports.h"

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "base/win32_handles.h"

namespace {

// Windows numbers ports up to COM4096, which ComDB's 512 bytes cover.
constexpr unsigned kLastComNumber = 4096;

// n for "COMn" in any case, without leading zeros; 0 for any other name.
unsigned ComNumber(const std::string& port) {
    if (port.size() < 4 || port.size() > 7 || port[3] == '0') return 0;
    for (size_t i = 0; i < 3; ++i) {
        if ((port[i] & ~0x20) != "COM"[i]) return 0;
    }
    unsigned number = 0;
    for (size_t i = 3; i < port.size(); ++i) {
        if (port[i] < '0' || port[i] > '9') return 0;
        number = number * 10 + static_cast<unsigned>(port[i] - '0');
    }
    return number <= kLastComNumber ? number : 0;
}

// The numbers ComDB reserves, ascending; none when it is missing, not binary or unreadable.
// A value shorter than the usual 32 bytes reserves what its bytes hold.
std::vector<unsigned> ReservedNumbers() {
    HKEY opened = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter",
                        0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS) {
        return {};
    }
    const RegKey key(opened);
    std::vector<unsigned char> bits(kLastComNumber / 8);
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(bits.size());
    if (::RegQueryValueExA(key.Get(), "ComDB", nullptr, &type, bits.data(), &size) !=
            ERROR_SUCCESS ||
        type != REG_BINARY) {
        return {};
    }
    std::vector<unsigned> numbers;
    for (unsigned bit = 0; bit < size * 8; ++bit) {
        if (bits[bit / 8] & (1u << (bit % 8))) numbers.push_back(bit + 1);
    }
    return numbers;
}

PortRow RememberedRow(const std::string& port, PortReason reason) {
    PortRow row;
    row.port = port;
    row.status = PortStatus::NotFound;
    row.reason = reason;
    row.inPortList = false;
    return row;
}

}  // namespace

PortRows ReadRememberedPorts(const PortRows& listed) {
    std::set<unsigned> held;  // the numbers a listed port or a known device holds
    for (const PortRow& row : listed) held.insert(ComNumber(row.port));
    PortRows absent;
    if (const std::optional<PortFactsByPort> known = ReadKnownPortFacts()) {
        for (const auto& [port, facts] : *known) {
            const unsigned number = ComNumber(port);
            if (number == 0 || !held.insert(number).second) continue;
            absent.push_back(RememberedRow(port, PortReason::NotPresent));
            absent.back().reasonText = "absent adapter";  // a listed port may be gone too
            absent.back().facts = facts;
        }
    }
    std::sort(absent.begin(), absent.end(), [](const PortRow& a, const PortRow& b) {
        return ComNumber(a.port) < ComNumber(b.port);
    });
    for (const unsigned number : ReservedNumbers()) {
        if (held.count(number) == 0) {
            absent.push_back(RememberedRow("COM" + std::to_string(number), PortReason::Reserved));
        }
    }
    return absent;
}
