// A device node made with SetupAPI in this run's Wine prefix, as a driver's installation
// makes one; removed again when the object ends.
#pragma once

#include <string>

#include "ports/device_info_set.h"
#include "ports/port_device_classes.h"

struct PortDeviceSpec {
    std::string instanceId;  // "USB\VID_0403&PID_6001\A1B2C3"
    std::string port;        // "PortName" in its device key
    std::string friendlyName;
    std::string deviceDescription;
    std::string hardwareIds;  // each ended by a zero
    std::string manufacturer;
    std::string location;
    std::string service;
    GUID setupClass = kPortsSetupClass;
    bool comPortInterface = false;
};

class PortDeviceNode {
public:
    explicit PortDeviceNode(const PortDeviceSpec& spec);
    ~PortDeviceNode();
    PortDeviceNode(const PortDeviceNode&) = delete;
    PortDeviceNode& operator=(const PortDeviceNode&) = delete;

    // Empty once the node is made; else the step that failed and its error.
    const std::string& Failure() const { return m_failure; }

private:
    bool SetText(DWORD property, const std::string& bytes);

    DeviceInfoSet m_set;
    SP_DEVINFO_DATA m_device{};
    bool m_registered = false;
    std::string m_failure;
};
