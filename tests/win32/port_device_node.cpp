#include "tests/win32/port_device_node.h"

#include <gtest/gtest.h>

#include "base/win32_handles.h"

PortDeviceNode::PortDeviceNode(const PortDeviceFields& fields)
    : m_set(::SetupDiCreateDeviceInfoList(&fields.setupClass, nullptr)) {
    m_device.cbSize = sizeof m_device;
    const auto text = [this](DWORD property, const std::string& value) {
        // Stored with the terminator; a list of hardware ids ends with a second one.
        return value.empty() ||
               ::SetupDiSetDeviceRegistryPropertyA(m_set.Get(), &m_device, property,
                                                   reinterpret_cast<const BYTE*>(value.c_str()),
                                                   static_cast<DWORD>(value.size() + 1));
    };
    const char* description =
        fields.deviceDescription.empty() ? nullptr : fields.deviceDescription.c_str();
    const bool described =
        m_set.IsValid() &&
        ::SetupDiCreateDeviceInfoA(m_set.Get(), fields.instanceId.c_str(), &fields.setupClass,
                                   description, nullptr, 0, &m_device) &&
        text(SPDRP_FRIENDLYNAME, fields.friendlyName) &&
        text(SPDRP_HARDWAREID, fields.hardwareIds) && text(SPDRP_MFG, fields.manufacturer) &&
        text(SPDRP_LOCATION_INFORMATION, fields.location) && text(SPDRP_SERVICE, fields.service);
    m_registered = described && ::SetupDiRegisterDeviceInfo(m_set.Get(), &m_device, 0, nullptr,
                                                            nullptr, nullptr);
    RegKey key;
    if (m_registered) {
        const HKEY created = ::SetupDiCreateDevRegKeyA(m_set.Get(), &m_device, DICS_FLAG_GLOBAL, 0,
                                                       DIREG_DEV, nullptr, nullptr);
        if (created != INVALID_HANDLE_VALUE) key.Reset(created);
    }
    SP_DEVICE_INTERFACE_DATA interfaceData{};
    interfaceData.cbSize = sizeof interfaceData;
    const bool made =
        key.IsValid() &&
        ::RegSetValueExA(key.Get(), "PortName", 0, REG_SZ,
                         reinterpret_cast<const BYTE*>(fields.port.c_str()),
                         static_cast<DWORD>(fields.port.size() + 1)) == ERROR_SUCCESS &&
        (!fields.comPortInterface ||
         ::SetupDiCreateDeviceInterfaceA(m_set.Get(), &m_device, &kComPortInterface, nullptr, 0,
                                         &interfaceData));
    if (!made) m_error = ::GetLastError() ? ::GetLastError() : ERROR_GEN_FAILURE;
}

PortDeviceNode::~PortDeviceNode() {
    if (m_registered && !::SetupDiRemoveDevice(m_set.Get(), &m_device)) {
        ADD_FAILURE() << "SetupDiRemoveDevice: " << ::GetLastError();
    }
}
