// Owners for the kernel, registry, hook and icon handles the program opens.
#pragma once

#include "base/platform.h"
#include "base/unique_handle.h"

struct FileHandleTraits {
    using Handle = HANDLE;
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE handle) { ::CloseHandle(handle); }
};
using FileHandle = UniqueHandle<FileHandleTraits>;

// Kernel objects whose failure value is null: mappings, mutexes, processes.
struct KernelHandleTraits {
    using Handle = HANDLE;
    static HANDLE Invalid() { return nullptr; }
    static void Close(HANDLE handle) { ::CloseHandle(handle); }
};
using KernelHandle = UniqueHandle<KernelHandleTraits>;

struct RegKeyTraits {
    using Handle = HKEY;
    static HKEY Invalid() { return nullptr; }
    static void Close(HKEY key) { ::RegCloseKey(key); }
};
using RegKey = UniqueHandle<RegKeyTraits>;

struct WindowsHookTraits {
    using Handle = HHOOK;
    static HHOOK Invalid() { return nullptr; }
    static void Close(HHOOK hook) { ::UnhookWindowsHookEx(hook); }
};
using WindowsHook = UniqueHandle<WindowsHookTraits>;

struct DeviceNotificationTraits {
    using Handle = HDEVNOTIFY;
    static HDEVNOTIFY Invalid() { return nullptr; }
    static void Close(HDEVNOTIFY notification) { ::UnregisterDeviceNotification(notification); }
};
using DeviceNotification = UniqueHandle<DeviceNotificationTraits>;

// Icons loaded at a size of the program's choosing; those of LoadIcon are the system's.
struct IconHandleTraits {
    using Handle = HICON;
    static HICON Invalid() { return nullptr; }
    static void Close(HICON icon) { ::DestroyIcon(icon); }
};
using IconHandle = UniqueHandle<IconHandleTraits>;
