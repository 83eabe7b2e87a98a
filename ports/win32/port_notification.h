// Asks the system to tell a window when COM port interfaces come and go: it tells only those
// who ask.
#pragma once

#include <dbt.h>

#include "base/win32_handles.h"
#include "ports/win32/port_device_classes.h"

inline DeviceNotification NotifyOfComPorts(HWND window) {
    DEV_BROADCAST_DEVICEINTERFACE_A filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = kComPortInterface;
    return DeviceNotification(
        ::RegisterDeviceNotificationA(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE));
}
