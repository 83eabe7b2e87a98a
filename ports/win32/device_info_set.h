// Owner of a SetupAPI device information set.
#pragma once

#include "base/platform.h"
#include "base/unique_handle.h"
// After <windows.h>, which it needs.
#include <setupapi.h>

struct DeviceInfoSetTraits {
    using Handle = HDEVINFO;
    static HDEVINFO Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HDEVINFO set) { ::SetupDiDestroyDeviceInfoList(set); }
};
using DeviceInfoSet = UniqueHandle<DeviceInfoSetTraits>;
