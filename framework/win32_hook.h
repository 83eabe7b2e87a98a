// Ownership of a windows hook: unhooked when the owner ends.
#pragma once

#include "framework/platform.h"
#include "framework/unique_handle.h"

struct WindowsHookTraits {
    using Handle = HHOOK;
    static HHOOK Invalid() { return nullptr; }
    static void Close(HHOOK hook) { ::UnhookWindowsHookEx(hook); }
};
using WindowsHook = UniqueHandle<WindowsHookTraits>;
