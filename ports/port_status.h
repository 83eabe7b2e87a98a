// The outcome of trying to open a port, and its display text.
#pragma once

#include "framework/platform.h"

enum class PortStatus : int { Available = 0, NotFound = 1, Busy = 2, Unknown = 3 };

// One of four constant texts; the caller neither owns nor frees it.
const char* StatusText(PortStatus status);

// How a failed open is read, whatever the platform: its error in Win32 terms.
PortStatus StatusFromOpenError(DWORD error);
