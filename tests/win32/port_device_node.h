// A device node made with SetupAPI in this run's Wine prefix, as a driver's installation
// makes one; removed again when the object ends.
#pragma once

#include <string>

#include "ports/win32/device_info_set.h"
#include "ports/win32/port_device_classes.h"

struct PortDeviceFields {
    std::string instanceId{};  // "USB\VID_0403&PID_6001\A1B2C3"
    std::string port{};        // "PortName" in its device key
    std::string friendlyName{}, deviceDescription{}, manufacturer{}, location{}, service{};
    std::string hardwareIds{};  // each ended by a zero
    GUID setupClass = kPortsSetupClass;
    bool comPortInterface = false;
};

class PortDeviceNode {
public:
    explicit PortDeviceNode(const PortDeviceFields& fields);
    ~PortDeviceNode();
    // 0 once the node is made, else the error of the step that failed.
    DWORD Error() const { return m_error; }

private:
    DeviceInfoSet m_set;
    SP_DEVINFO_DATA m_device{};
    bool m_registered = false;
    DWORD m_error = 0;
};
