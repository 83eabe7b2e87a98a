// Where Windows keeps serial ports among its devices.
#pragma once

#include "base/platform.h"

// The Ports (COM & LPT) setup class.
constexpr GUID kPortsSetupClass = {
    0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

// The COM port device interface: modems and Bluetooth links of other classes expose it too.
constexpr GUID kComPortInterface = {
    0x86e0d1e0, 0x8089, 0x11d0, {0x9c, 0xe4, 0x08, 0x00, 0x3e, 0x30, 0x1f, 0x73}};
