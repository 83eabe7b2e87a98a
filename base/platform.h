// One include for the Win32 vocabulary.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <commctrl.h>

// A notification handed back by a parent to the child it came from: the child's map sees it
// under this code.
constexpr UINT OCM__BASE = WM_USER + 0x1c00;
constexpr UINT OCM_NOTIFY = OCM__BASE + WM_NOTIFY;
