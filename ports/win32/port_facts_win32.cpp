// Device facts through SetupAPI's registry properties, the route every Windows (and Wine)
// answers: the unified property calls and the configuration manager fail under Wine.
#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "base/win32_handles.h"
#include "ports/win32/device_info_set.h"
#include "ports/win32/port_device_classes.h"
#include "ports/engine/port_facts_reader.h"
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

// The four hex digits after a tag such as "VID_", lower-cased; empty when there are none.
std::string UsbIdAfter(const std::string& id, const char* tag) {
    const size_t at = UpperCase(id).find(tag);
    if (at == std::string::npos) return {};
    std::string digits = id.substr(at + 4, 4);
    const bool hex = digits.size() == 4 && std::all_of(digits.begin(), digits.end(), [](char c) {
                         return std::isxdigit(static_cast<unsigned char>(c)) != 0;
                     });
    if (!hex) return {};
    std::transform(digits.begin(), digits.end(), digits.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return digits;
}

PortFacts DeviceFacts(HDEVINFO set, SP_DEVINFO_DATA& device) {
    PortFacts facts;
    facts.description = TextProperty(set, device, SPDRP_FRIENDLYNAME);
    if (facts.description.empty()) facts.description = TextProperty(set, device, SPDRP_DEVICEDESC);
    facts.manufacturer = TextProperty(set, device, SPDRP_MFG);
    facts.hardwareId = TextProperty(set, device, SPDRP_HARDWAREID);
    facts.location = TextProperty(set, device, SPDRP_LOCATION_INFORMATION);
    facts.driver = TextProperty(set, device, SPDRP_SERVICE);

    char id[kInstanceIdCapacity] = {};
    const std::string instanceId =
        ::SetupDiGetDeviceInstanceIdA(set, &device, id, kInstanceIdCapacity, nullptr) ? id : "";
    const std::vector<std::string> parts = SplitInstanceId(instanceId);
    facts.bus = TextProperty(set, device, SPDRP_ENUMERATOR_NAME);
    if (facts.bus.empty()) facts.bus = parts[0];
    for (const std::string& source : {facts.hardwareId, instanceId}) {
        if (facts.vid.empty()) facts.vid = UsbIdAfter(source, "VID_");
        if (facts.pid.empty()) facts.pid = UsbIdAfter(source, "PID_");
    }
    // USB\VID_0403&PID_6001\A1B2C3 carries the device's serial number; Windows makes up ids
    // with '&' in them for devices without one.
    if (parts.size() == 3 && UpperCase(parts[0]) == "USB" &&
        parts[2].find('&') == std::string::npos) {
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
    PortFactsByPort facts;
    if (!AddPorts(kPortsSetupClass, DIGCF_PRESENT, facts) ||
        !AddPorts(kComPortInterface, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE, facts)) {
        return std::nullopt;
    }
    return facts;
}
