#include "tests/win32/port_device_node.h"

#include <gtest/gtest.h>

#include "framework/win32_handles.h"

namespace {

std::string Failed(const char* step) {
    return step + (" failed: " + std::to_string(::GetLastError()));
}

}  // namespace

PortDeviceNode::PortDeviceNode(const PortDeviceSpec& spec)
    : m_set(::SetupDiCreateDeviceInfoList(&spec.setupClass, nullptr)) {
    m_device.cbSize = sizeof m_device;
    if (!m_set.IsValid()) {
        m_failure = Failed("SetupDiCreateDeviceInfoList");
        return;
    }
    const char* description =
        spec.deviceDescription.empty() ? nullptr : spec.deviceDescription.c_str();
    if (!::SetupDiCreateDeviceInfoA(m_set.Get(), spec.instanceId.c_str(), &spec.setupClass,
                                    description, nullptr, 0, &m_device)) {
        m_failure = Failed("SetupDiCreateDeviceInfo");
        return;
    }
    // Text properties are stored with their terminator; hardware ids end with a second one.
    const bool propertiesSet =
        SetText(SPDRP_FRIENDLYNAME, spec.friendlyName + '\0') &&
        SetText(SPDRP_HARDWAREID, spec.hardwareIds.empty() ? "" : spec.hardwareIds + '\0') &&
        SetText(SPDRP_MFG, spec.manufacturer + '\0') &&
        SetText(SPDRP_LOCATION_INFORMATION, spec.location + '\0') &&
        SetText(SPDRP_SERVICE, spec.service + '\0');
    if (!propertiesSet) return;
    if (!::SetupDiRegisterDeviceInfo(m_set.Get(), &m_device, 0, nullptr, nullptr, nullptr)) {
        m_failure = Failed("SetupDiRegisterDeviceInfo");
        return;
    }
    m_registered = true;
    const HKEY created = ::SetupDiCreateDevRegKeyA(m_set.Get(), &m_device, DICS_FLAG_GLOBAL, 0,
                                                   DIREG_DEV, nullptr, nullptr);
    const RegKey key(created == INVALID_HANDLE_VALUE ? nullptr : created);
    if (!key.IsValid()) {
        m_failure = Failed("SetupDiCreateDevRegKey");
        return;
    }
    if (::RegSetValueExA(key.Get(), "PortName", 0, REG_SZ,
                         reinterpret_cast<const BYTE*>(spec.port.c_str()),
                         static_cast<DWORD>(spec.port.size() + 1)) != ERROR_SUCCESS) {
        m_failure = "PortName not written";
        return;
    }
    SP_DEVICE_INTERFACE_DATA interfaceData{};
    interfaceData.cbSize = sizeof interfaceData;
    if (spec.comPortInterface &&
        !::SetupDiCreateDeviceInterfaceA(m_set.Get(), &m_device, &kComPortInterface, nullptr, 0,
                                         &interfaceData)) {
        m_failure = Failed("SetupDiCreateDeviceInterface");
    }
}

PortDeviceNode::~PortDeviceNode() {
    if (m_registered && !::SetupDiRemoveDevice(m_set.Get(), &m_device)) {
        ADD_FAILURE() << Failed("SetupDiRemoveDevice");
    }
}

bool PortDeviceNode::SetText(DWORD property, const std::string& bytes) {
    if (bytes.size() <= 1) return true;  // nothing to set
    if (::SetupDiSetDeviceRegistryPropertyA(m_set.Get(), &m_device, property,
                                            reinterpret_cast<const BYTE*>(bytes.data()),
                                            static_cast<DWORD>(bytes.size()))) {
        return true;
    }
    m_failure = Failed("SetupDiSetDeviceRegistryProperty");
    return false;
}
