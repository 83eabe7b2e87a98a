// Device facts through SetupAPI's registry properties, the route every Windows (and Wine)
// answers: the unified property calls and the configuration manager fail under Wine.
#include <algorithm>
#include <cctype>
#include <string>
#include <utility>
#include <vector>

#include "base/win32_handles.h"
#include "ports/win32/device_info_set.h"
#include "ports/win32/port_device_classes.h"
#include "ports/win32/remembered_ports.h"
#include "ports/win32/port_facts_win32.h"
#include "ports/engine/port_survey.h"

namespace {

// A device instance id holds at most 200 characters.
constexpr DWORD kInstanceIdCapacity = 201;

std::string UpperCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

// A text property up to its first terminator (for a list, its first entry); empty when the
// device has none.
std::string TextProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
    std::vector<char> buffer(256);
    for (int attempt = 0; attempt < 2; ++attempt) {
        DWORD type = 0;
        DWORD required = 0;
        if (::SetupDiGetDeviceRegistryPropertyA(set, &device, property, &type,
                                                reinterpret_cast<BYTE*>(buffer.data()),
                                                static_cast<DWORD>(buffer.size()), &required)) {
            if (type != REG_SZ && type != REG_MULTI_SZ && type != REG_EXPAND_SZ) return {};
            const auto end = std::find(buffer.begin(), buffer.end(), '\0');
            return std::string(buffer.begin(), end);
        }
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || required <= buffer.size()) break;
        buffer.assign(required + 1, '\0');  // the spare zero ends text stored without one
    }
    return {};
}

// The port a device serves, from "PortName" in its device parameters; empty for none.
std::string PortName(HDEVINFO set, SP_DEVINFO_DATA& device) {
    const HKEY opened =
        ::SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE);
    const RegKey key(opened == INVALID_HANDLE_VALUE ? nullptr : opened);
    if (!key.IsValid()) return {};
    char name[kPortValueCapacity + 1] = {};  // the spare zero ends data stored without one
    DWORD type = 0;
    DWORD size = kPortValueCapacity;
    if (::RegQueryValueExA(key.Get(), "PortName", nullptr, &type, reinterpret_cast<BYTE*>(name),
                           &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return {};
    }
    return name;
}

std::vector<std::string> SplitInstanceId(const std::string& id) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t slash; (slash = id.find('\\', start)) != std::string::npos; start = slash + 1) {
        parts.push_back(id.substr(start, slash - start));
    }
    parts.push_back(id.substr(start));
    return parts;
}

// The hex digits after a tag such as "VID_", lower-cased; empty when there are not that many.
std::string HexAfter(const std::string& id, const char* tag, size_t count) {
    const size_t at = UpperCase(id).find(tag);
    if (at == std::string::npos) return {};
    std::string digits = id.substr(at + std::char_traits<char>::length(tag), count);
    const bool hex =
        digits.size() == count && std::all_of(digits.begin(), digits.end(), [](char c) {
            return std::isxdigit(static_cast<unsigned char>(c)) != 0;
        });
    if (!hex) return {};
    std::transform(digits.begin(), digits.end(), digits.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return digits;
}

// The bus an enumerator stands for. FTDI's driver enumerates its USB ports itself.
std::string BusOfEnumerator(const std::string& enumerator) {
    constexpr std::pair<const char*, const char*> kBuses[] = {
        {"USB", "usb"}, {"FTDIBUS", "usb"}, {"BTHENUM", "bluetooth"}, {"BTHMODEM", "bluetooth"},
        {"PCI", "pci"}, {"ACPI", "acpi"},   {"ROOT", "virtual"}};
    const std::string upper = UpperCase(enumerator);
    for (const auto& bus : kBuses) {
        if (upper == bus.first) return bus.second;
    }
    return {};
}

// FTDIBUS\VID_0403+PID_6001+A1B2C3A\0000: the device's serial number with the channel's
// letter after it (A for the first interface), where the device has a serial number;
// Windows makes up ids with '&' in them for devices without one.
void AddFtdiSerial(const std::vector<std::string>& parts, PortFacts& facts) {
    if (parts.size() < 2) return;
    const size_t plus = parts[1].rfind('+');
    if (plus == std::string::npos || parts[1].find('&') != std::string::npos) return;
    const std::string serial = parts[1].substr(plus + 1);
    const char channel = serial.empty() ? '\0' : serial.back();
    if (serial.size() < 2 || channel < 'A' || channel > 'D') return;  // four at most
    facts.serial = serial.substr(0, serial.size() - 1);
    facts.usbInterface = std::string("0") + static_cast<char>('0' + (channel - 'A'));
}

PortFacts DeviceFacts(HDEVINFO set, SP_DEVINFO_DATA& device) {
    PortFacts facts;
    facts.description = TextProperty(set, device, SPDRP_FRIENDLYNAME);
    if (facts.description.empty()) facts.description = TextProperty(set, device, SPDRP_DEVICEDESC);
    facts.manufacturer = TextProperty(set, device, SPDRP_MFG);
    facts.hardwareId = TextProperty(set, device, SPDRP_HARDWAREID);
    facts.location = TextProperty(set, device, SPDRP_LOCATION_INFORMATION);
    if (facts.location.empty()) facts.location = TextProperty(set, device, SPDRP_LOCATION_PATHS);
    facts.driver = TextProperty(set, device, SPDRP_SERVICE);

    char id[kInstanceIdCapacity] = {};
    const std::string instanceId =
        ::SetupDiGetDeviceInstanceIdA(set, &device, id, kInstanceIdCapacity, nullptr) ? id : "";
    const std::vector<std::string> parts = SplitInstanceId(instanceId);
    std::string enumerator = TextProperty(set, device, SPDRP_ENUMERATOR_NAME);
    if (enumerator.empty()) enumerator = parts[0];
    for (const std::string& source : {facts.hardwareId, instanceId}) {
        if (facts.vid.empty()) facts.vid = HexAfter(source, "VID_", 4);
        if (facts.pid.empty()) facts.pid = HexAfter(source, "PID_", 4);
        if (facts.usbInterface.empty()) facts.usbInterface = HexAfter(source, "&MI_", 2);
    }
    facts.bus = BusOfEnumerator(enumerator);
    // Other vendors' drivers that enumerate USB ports themselves keep the USB ids.
    if (facts.bus.empty() && !facts.vid.empty() && !facts.pid.empty()) facts.bus = "usb";
    if (UpperCase(enumerator) == "FTDIBUS") {
        AddFtdiSerial(parts, facts);
    } else if (parts.size() == 3 && UpperCase(parts[0]) == "USB" &&
               parts[2].find('&') == std::string::npos) {
        // USB\VID_0403&PID_6001\A1B2C3 carries the device's serial number; a made-up id has
        // '&' in it.
        facts.serial = parts[2];
    }
    return facts;
}

// Adds the ports of a device list; a port already known keeps its facts.
bool AddPorts(const GUID& guid, DWORD flags, PortFactsByPort& facts) {
    const DeviceInfoSet set(::SetupDiGetClassDevsA(&guid, nullptr, nullptr, flags));
    if (!set.IsValid()) return false;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; ::SetupDiEnumDeviceInfo(set.Get(), index, &device); ++index) {
        const std::string port = PortName(set.Get(), device);
        if (!port.empty() && facts.find(port) == facts.end()) {
            facts.emplace(port, DeviceFacts(set.Get(), device));
        }
    }
    return true;
}

}  // namespace

std::optional<PortFactsByPort> ReadPortFacts() {
    PortFactsByPort facts(PortNameLess{true});
    if (!AddPorts(kPortsSetupClass, DIGCF_PRESENT, facts) ||
        !AddPorts(kComPortInterface, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE, facts)) {
        return std::nullopt;
    }
    return facts;
}

std::optional<PortFactsByPort> ReadKnownPortFacts() {
    PortFactsByPort facts(PortNameLess{true});
    if (!AddPorts(kPortsSetupClass, 0, facts) ||
        !AddPorts(kComPortInterface, DIGCF_DEVICEINTERFACE, facts)) {
        return std::nullopt;
    }
    return facts;
}
